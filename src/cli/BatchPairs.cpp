#include "cli/BatchPairs.h"

#include "platform/ByteSize.h"
#include "platform/InputFile.h"
#include "platform/NaturalOrder.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <functional>
#include <istream>
#include <sstream>
#include <map>
#include <set>
#include <string_view>
#include <system_error>

namespace vantorell::cli {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void refuse(std::string text) { throw BatchError{std::move(text)}; }

std::string lineText(std::size_t line) { return " (line " + std::to_string(line) + ")"; }

// One record of the CSV and the line it starts on.
struct Record {
    std::vector<std::string> fields;
    std::size_t line = 0;
};

// Splits a CSV into records one at a time, from a stream: a file of any length is read in
// the memory of one record.
class CsvReader {
public:
    explicit CsvReader(std::istream& in) : m_in(*in.rdbuf())
    {
        const auto starts = [&](std::string_view magic) {
            char head[3] = {};
            const std::streamsize got = m_in.sgetn(head, std::streamsize(magic.size()));
            m_in.pubseekpos(0, std::ios::in);
            return std::string_view(head, std::size_t(got)) == magic;
        };
        if (starts("\xFF\xFE") || starts("\xFE\xFF"))
            refuse("it is UTF-16 text; save it as \"CSV UTF-8\"");
        if (starts("\xEF\xBB\xBF"))
            m_in.pubseekpos(3, std::ios::in);
    }

    // The next record; nullopt at the end of the text.
    std::optional<Record> next()
    {
        while (!m_ended) {
            const int got = m_in.sbumpc();
            if (got == std::char_traits<char>::eof()) {
                m_ended = true;
                if (m_quoted)
                    refuse("unbalanced quotes: the quoted field opened on line " + std::to_string(m_quoteLine) +
                           " never closes");
                if (m_recordStarted || !m_field.empty())
                    if (std::optional<Record> record = endRecord())
                        return record;
                break;
            }
            if (std::optional<Record> record = take(char(got)))
                return record;
        }
        return std::nullopt;
    }

private:
    bool nextIs(char c)
    {
        if (m_in.sgetc() != std::char_traits<char>::to_int_type(c))
            return false;
        m_in.sbumpc();
        return true;
    }

    void addToField(char c)
    {
        if (m_field.size() >= kMaxPairsFieldBytes)
            refuse("a field is longer than " + std::to_string(kMaxPairsFieldBytes) + " bytes" + lineText(m_line));
        m_field += c;
    }

    void endField()
    {
        m_record.fields.push_back(std::move(m_field));
        m_field.clear();
        m_wasQuoted = false;
    }

    // A blank line is no record.
    std::optional<Record> endRecord()
    {
        endField();
        std::optional<Record> done;
        if (!(m_record.fields.size() == 1 && m_record.fields[0].empty() && !m_recordStarted))
            done = std::move(m_record);
        m_record = Record{};
        m_recordStarted = false;
        return done;
    }

    // Takes one character; a record when it ends one.
    std::optional<Record> take(char c)
    {
        if (c == '\0')
            refuse("it holds a NUL byte" + lineText(m_line));
        if (m_record.fields.empty() && m_field.empty() && !m_recordStarted)
            m_record.line = m_line;
        if (m_quoted) {
            if (c == '"') {
                if (nextIs('"'))
                    addToField('"');
                else
                    m_quoted = false;
            } else {
                if (c == '\n')
                    ++m_line;
                addToField(c);
            }
            return std::nullopt;
        }
        switch (c) {
        case '"':
            if (!m_field.empty() || m_wasQuoted)
                refuse("a quote inside an unquoted field" + lineText(m_line));
            m_quoted = m_wasQuoted = m_recordStarted = true;
            m_quoteLine = m_line;
            return std::nullopt;
        case ',':
            endField();
            m_recordStarted = true;
            return std::nullopt;
        case '\r':
            nextIs('\n');
            [[fallthrough]];
        case '\n': {
            std::optional<Record> record = endRecord();
            ++m_line;
            return record;
        }
        default:
            if (m_wasQuoted)
                refuse("text after a closing quote" + lineText(m_line));
            addToField(c);
            m_recordStarted = true;
            return std::nullopt;
        }
    }

    std::streambuf& m_in;
    Record m_record;
    std::string m_field;
    std::size_t m_line = 1, m_quoteLine = 0;
    bool m_quoted = false, m_wasQuoted = false, m_recordStarted = false, m_ended = false;
};

std::string trimmedLower(std::string text)
{
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isPictureName(const fs::path& path)
{
    static const std::set<std::string> kExtensions = {".jpg", ".jpeg", ".jpe", ".bmp", ".dib", ".png",
                                                      ".gif", ".webp", ".tif", ".tiff"};
    return kExtensions.count(trimmedLower(path.extension().string())) > 0;
}

// What the GIF maker takes as a whole animation; a folder's stills are left out (each would
// make a GIF of one frame).
bool isAnimationName(const fs::path& path)
{
    static const std::set<std::string> kExtensions = {".gif", ".webp", ".mp4", ".m4v", ".mov", ".mkv", ".webm",
                                                      ".avi", ".mpg", ".mpeg", ".ts", ".m2ts", ".mts", ".flv",
                                                      ".wmv", ".ogv", ".3gp"};
    return kExtensions.count(trimmedLower(path.extension().string())) > 0;
}

// The regular, visible files of a folder that `wanted` takes, in name order with runs of digits
// compared by value.
std::vector<fs::path> filesIn(const fs::path& folder, bool (*wanted)(const fs::path&))
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        refuse("\"" + folder.string() + "\" is not a folder");
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (path.filename().string().starts_with(".") || !wanted(path) || !it->is_regular_file(ec))
            continue;
        files.push_back(path);
    }
    if (ec)
        refuse("\"" + folder.string() + "\" cannot be listed");
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return naturalLess(a.filename().string(), b.filename().string()); });
    return files;
}

}  // namespace

// A pairs file read row by row: its header's columns, then one pair a row.
struct PairList::CsvState {
    CsvState(std::unique_ptr<std::istream> in, fs::path base, bool single)
        : in(std::move(in)), base(std::move(base)), single(single)
    {
    }

    void restart()
    {
        in->clear();
        in->seekg(0);
        reader.emplace(*in);
        index = 0;
        const std::optional<Record> header = reader->next();
        if (!header)
            refuse(single ? "it is empty; its first row must name the column input"
                          : "it is empty; its first row must name the columns image1,image2");
        std::map<std::string, std::size_t> columns;
        for (std::size_t i = 0; i < header->fields.size(); ++i) {
            const std::string name = trimmedLower(header->fields[i]);
            if (!name.empty() && !columns.emplace(name, i).second)
                refuse("its header names the column \"" + name + "\" twice");
        }
        if (single && !columns.count("input"))
            refuse("its first row must be a header naming the column input (and optionally output)");
        if (!single && (!columns.count("image1") || !columns.count("image2")))
            refuse("its first row must be a header naming the columns image1 and image2 (and optionally output)");
        image1 = columns[single ? "input" : "image1"];
        image2 = single ? image1 : columns["image2"];
        hasOutput = columns.count("output") > 0;
        output = hasOutput ? columns["output"] : 0;
        width = header->fields.size();
    }

    std::optional<BatchPair> next()
    {
        const std::optional<Record> record = reader->next();
        if (!record) {
            if (index == 0)
                refuse(single ? "it names no inputs" : "it names no pairs");
            return std::nullopt;
        }
        if (record->fields.size() != width)
            refuse("a row has " + std::to_string(record->fields.size()) + " fields where the header has " +
                   std::to_string(width) + lineText(record->line));
        BatchPair pair;
        pair.index = ++index;
        pair.single = single;
        for (const auto& [column, path] : {std::pair{image1, &pair.image1}, std::pair{image2, &pair.image2}}) {
            if (single && path == &pair.image2)
                break;
            const std::string& field = record->fields[column];
            if (field.empty())
                refuse(single ? "a row names no input" + lineText(record->line)
                              : "a row names no picture" + lineText(record->line));
            const fs::path named(field);
            *path = named.is_absolute() ? named : base / named;
        }
        if (hasOutput)
            pair.outputName = record->fields[output];
        return pair;
    }

    std::unique_ptr<std::istream> in;
    fs::path base;
    std::optional<CsvReader> reader;
    std::size_t image1 = 0, image2 = 0, output = 0, width = 0, index = 0;
    bool hasOutput = false;
    const bool single;
};

PairList::PairList(std::vector<BatchPair> pairs) : m_pairs(std::move(pairs)) {}

PairList::PairList(std::unique_ptr<std::istream> csv, const fs::path& base, std::string errorPrefix,
                   bool singleInputs)
    : m_csv(std::make_unique<CsvState>(std::move(csv), base, singleInputs)), m_errorPrefix(std::move(errorPrefix))
{
    restart();
}

PairList::PairList(PairList&&) noexcept = default;
PairList& PairList::operator=(PairList&&) noexcept = default;
PairList::~PairList() = default;

void PairList::restart()
{
    m_next = 0;
    if (m_csv)
        prefixed([&] { m_csv->restart(); });
}

std::optional<BatchPair> PairList::next()
{
    if (m_csv) {
        std::optional<BatchPair> pair;
        prefixed([&] { pair = m_csv->next(); });
        return pair;
    }
    if (m_next >= m_pairs.size())
        return std::nullopt;
    return m_pairs[m_next++];
}

void PairList::prefixed(const std::function<void()>& read)
{
    try {
        read();
    } catch (const BatchError& error) {
        throw BatchError{m_errorPrefix + error.text};
    }
}

PairList parsePairsCsv(std::string_view text, const fs::path& base)
{
    return PairList(std::make_unique<std::istringstream>(std::string(text)), base, {});
}

namespace {

PairList readListFile(const fs::path& file, const std::string& option, bool singleInputs)
{
    const std::string prefix = option + " " + file.string() + ": ";
    std::error_code ec;
    if (const std::string problem = inputFileProblem(file); !problem.empty())
        refuse(prefix + "it cannot be read: " + problem);
    const auto size = fs::file_size(file, ec);
    if (ec)
        refuse(prefix + "it cannot be read");
    if (size > kMaxPairsFileBytes)
        refuse(prefix + "it is larger than " + formatByteSize(kMaxPairsFileBytes));
    auto in = std::make_unique<std::ifstream>(file, std::ios::binary);
    if (!*in)
        refuse(prefix + "it cannot be read");
    const fs::path base = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return PairList(std::move(in), base, prefix, singleInputs);
}

}  // namespace

PairList readPairsFile(const fs::path& file) { return readListFile(file, "--pairs", false); }

PairList readInputsFile(const fs::path& file) { return readListFile(file, "--inputs", true); }

std::vector<fs::path> picturesIn(const fs::path& folder) { return filesIn(folder, isPictureName); }

std::vector<BatchPair> animationsIn(const fs::path& folder)
{
    std::vector<BatchPair> inputs;
    for (const fs::path& file : filesIn(folder, isAnimationName))
        inputs.push_back({inputs.size() + 1, file, {}, {}, true});
    if (inputs.empty())
        refuse("\"" + folder.string() + "\" holds no video or animation (by extension: MP4, MOV, MKV, WebM, AVI, GIF, WebP, ...)");
    return inputs;
}

std::vector<BatchPair> pairsByName(const fs::path& folder1, const fs::path& folder2, std::size_t& unmatched)
{
    const std::vector<fs::path> first = picturesIn(folder1), second = picturesIn(folder2);
    std::set<std::string> secondNames;
    for (const fs::path& path : second)
        secondNames.insert(path.filename().string());
    std::vector<BatchPair> pairs;
    for (const fs::path& path : first) {
        if (!secondNames.count(path.filename().string()))
            continue;
        BatchPair pair;
        pair.index = pairs.size() + 1;
        pair.image1 = path;
        pair.image2 = folder2 / path.filename();
        pairs.push_back(std::move(pair));
    }
    unmatched = first.size() + second.size() - 2 * pairs.size();
    if (pairs.empty())
        refuse("no picture of \"" + folder1.string() + "\" has a namesake in \"" + folder2.string() + "\"");
    return pairs;
}

std::vector<BatchPair> sequencePairs(const fs::path& folder)
{
    const std::vector<fs::path> pictures = picturesIn(folder);
    if (pictures.size() < 2)
        refuse("\"" + folder.string() + "\" holds fewer than two pictures");
    std::vector<BatchPair> pairs;
    for (std::size_t i = 0; i + 1 < pictures.size(); ++i)
        pairs.push_back({i + 1, pictures[i], pictures[i + 1], {}});
    return pairs;
}

std::string outputName(const BatchPair& pair, const std::string& pattern, const std::string& extension,
                       std::size_t count)
{
    const std::size_t width = std::to_string(count).size();
    std::string name;
    if (!pair.outputName.empty()) {
        name = pair.outputName;
    } else {
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] != '{') {
                name += pattern[i];
                continue;
            }
            const std::size_t close = pattern.find('}', i);
            const std::string key = close == std::string::npos ? "" : pattern.substr(i + 1, close - i - 1);
            if (key == (pair.single ? "stem" : "stem1"))
                name += pair.image1.stem().string();
            else if (key == "stem2" && !pair.single)
                name += pair.image2.stem().string();
            else if (key == "ext")
                name += extension;
            else if (key == "index") {
                const std::string number = std::to_string(pair.index);
                name += std::string(width > number.size() ? width - number.size() : 0, '0') + number;
            } else
                refuse("--name: unknown field \"" + pattern.substr(i, close == std::string::npos ? std::string::npos : close - i + 1) +
                       (pair.single ? "\" (known: {stem}, {index}, {ext})" : "\" (known: {stem1}, {stem2}, {index}, {ext})"));
            i = close;
        }
    }
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        refuse((pair.single ? "input " + std::to_string(pair.index) + " (" + pair.image1.string()
                            : "pair " + std::to_string(pair.index) + " (" + pair.image1.string() + ", " + pair.image2.string()) +
               ") would get the output name \"" + name + "\", which is not a file name inside the output folder");
    if (!fs::path(name).has_extension())
        name += "." + extension;
    return name;
}

std::size_t checkOutputNames(PairList& pairs, const std::string& pattern, const std::string& extension)
{
    // The count first: {index} is padded to its width.
    std::size_t count = 0;
    pairs.restart();
    while (pairs.next())
        ++count;
    // Every name as a hash: millions of pairs are checked in a few bytes each. Only when two
    // hashes meet are the names read again, to find the first pair that repeats a name.
    std::vector<std::uint64_t> hashes;
    hashes.reserve(count);
    pairs.restart();
    while (const std::optional<BatchPair> pair = pairs.next())
        hashes.push_back(std::hash<std::string>{}(outputName(*pair, pattern, extension, count)));
    std::sort(hashes.begin(), hashes.end());
    std::set<std::uint64_t> repeated;
    for (std::size_t i = 1; i < hashes.size(); ++i)
        if (hashes[i] == hashes[i - 1])
            repeated.insert(hashes[i]);
    hashes = {};
    if (!repeated.empty()) {
        std::map<std::string, std::size_t> taken;
        pairs.restart();
        while (const std::optional<BatchPair> pair = pairs.next()) {
            std::string name = outputName(*pair, pattern, extension, count);
            if (!repeated.count(std::hash<std::string>{}(name)))
                continue;
            if (const auto [at, added] = taken.emplace(name, pair->index); !added)
                refuse((pair->single ? "inputs " : "pairs ") + std::to_string(at->second) + " and " + std::to_string(pair->index) +
                       " would both be written as \"" + name + "\"");
        }
    }
    pairs.restart();
    return count;
}

std::size_t pairsInShard(std::size_t count, const Shard& shard)
{
    return count >= shard.number ? (count - shard.number) / shard.count + 1 : 0;
}

std::optional<Shard> parseShard(const std::string& text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    const auto number = [](std::string_view digits) -> std::optional<std::size_t> {
        if (digits.empty() || digits.size() > 6)
            return std::nullopt;
        std::size_t n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            n = n * 10 + std::size_t(c - '0');
        }
        return n;
    };
    const auto k = number(std::string_view(text).substr(0, slash)), n = number(std::string_view(text).substr(slash + 1));
    if (!k || !n || *k < 1 || *k > *n)
        return std::nullopt;
    return Shard{*k, *n};
}

bool inShard(const BatchPair& pair, const Shard& shard) { return (pair.index - 1) % shard.count == shard.number - 1; }

}  // namespace vantorell::cli
