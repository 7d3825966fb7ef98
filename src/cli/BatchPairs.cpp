#include "cli/BatchPairs.h"

#include "platform/ByteSize.h"

#include <algorithm>
#include <cctype>
#include <fstream>
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

std::vector<Record> splitCsv(std::string_view text)
{
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
        refuse("it is UTF-16 text; save it as \"CSV UTF-8\"");
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<Record> records;
    Record record;
    std::string field;
    std::size_t line = 1, quoteLine = 0;
    bool quoted = false, wasQuoted = false, recordStarted = false;
    const auto addToField = [&](char c) {
        if (field.size() >= kMaxPairsFieldBytes)
            refuse("a field is longer than " + formatByteSize(kMaxPairsFieldBytes) + lineText(line));
        field += c;
    };
    const auto endField = [&] {
        record.fields.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
    };
    const auto endRecord = [&] {
        endField();
        // A blank line is no record.
        if (!(record.fields.size() == 1 && record.fields[0].empty() && !recordStarted))
            records.push_back(std::move(record));
        record = Record{};
        recordStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0')
            refuse("it holds a NUL byte" + lineText(line));
        if (record.fields.empty() && field.empty() && !recordStarted)
            record.line = line;
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    addToField('"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n')
                    ++line;
                addToField(c);
            }
            continue;
        }
        switch (c) {
        case '"':
            if (!field.empty() || wasQuoted)
                refuse("a quote inside an unquoted field" + lineText(line));
            quoted = wasQuoted = recordStarted = true;
            quoteLine = line;
            break;
        case ',':
            endField();
            recordStarted = true;
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            [[fallthrough]];
        case '\n':
            endRecord();
            ++line;
            break;
        default:
            if (wasQuoted)
                refuse("text after a closing quote" + lineText(line));
            addToField(c);
            recordStarted = true;
        }
    }
    if (quoted)
        refuse("unbalanced quotes: the quoted field opened on line " + std::to_string(quoteLine) + " never closes");
    if (recordStarted || !field.empty())
        endRecord();
    return records;
}

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

// Name order with runs of digits compared by value.
bool naturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])), db = std::isdigit(static_cast<unsigned char>(b[j]));
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            std::string_view ra(a.data() + i, ei - i), rb(b.data() + j, ej - j);
            while (ra.size() > 1 && ra.front() == '0')
                ra.remove_prefix(1);
            while (rb.size() > 1 && rb.front() == '0')
                rb.remove_prefix(1);
            if (ra.size() != rb.size())
                return ra.size() < rb.size();
            if (ra != rb)
                return ra < rb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

}  // namespace

std::vector<BatchPair> parsePairsCsv(std::string_view text, const fs::path& base)
{
    const std::vector<Record> records = splitCsv(text);
    if (records.empty())
        refuse("it is empty; its first row must name the columns image1,image2");
    std::map<std::string, std::size_t> columns;
    for (std::size_t i = 0; i < records[0].fields.size(); ++i) {
        const std::string name = trimmedLower(records[0].fields[i]);
        if (!name.empty() && !columns.emplace(name, i).second)
            refuse("its header names the column \"" + name + "\" twice");
    }
    if (!columns.count("image1") || !columns.count("image2"))
        refuse("its first row must be a header naming the columns image1 and image2 (and optionally output)");
    const std::size_t image1 = columns["image1"], image2 = columns["image2"];
    const bool hasOutput = columns.count("output") > 0;
    const std::size_t output = hasOutput ? columns["output"] : 0;
    const std::size_t width = records[0].fields.size();

    std::vector<BatchPair> pairs;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const Record& record = records[r];
        if (record.fields.size() != width)
            refuse("a row has " + std::to_string(record.fields.size()) + " fields where the header has " +
                   std::to_string(width) + lineText(record.line));
        BatchPair pair;
        pair.index = pairs.size() + 1;
        for (const auto& [column, path] : {std::pair{image1, &pair.image1}, std::pair{image2, &pair.image2}}) {
            const std::string& field = record.fields[column];
            if (field.empty())
                refuse("a row names no picture" + lineText(record.line));
            const fs::path named(field);
            *path = named.is_absolute() ? named : base / named;
        }
        if (hasOutput)
            pair.outputName = record.fields[output];
        pairs.push_back(std::move(pair));
    }
    if (pairs.empty())
        refuse("it names no pairs");
    return pairs;
}

std::vector<BatchPair> readPairsFile(const fs::path& file)
{
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec || !fs::is_regular_file(file, ec))
        refuse("it cannot be read");
    if (size > kMaxPairsFileBytes)
        refuse("it is larger than " + formatByteSize(kMaxPairsFileBytes));
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size)))
        refuse("it cannot be read");
    const fs::path base = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return parsePairsCsv(text, base);
}

std::vector<fs::path> picturesIn(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        refuse("\"" + folder.string() + "\" is not a folder");
    std::vector<fs::path> pictures;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (path.filename().string().starts_with(".") || !isPictureName(path) || !it->is_regular_file(ec))
            continue;
        pictures.push_back(path);
    }
    if (ec)
        refuse("\"" + folder.string() + "\" cannot be listed");
    std::sort(pictures.begin(), pictures.end(),
              [](const fs::path& a, const fs::path& b) { return naturalLess(a.filename().string(), b.filename().string()); });
    return pictures;
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

std::vector<std::string> outputNames(const std::vector<BatchPair>& pairs, const std::string& pattern,
                                     const std::string& extension)
{
    const std::size_t width = std::to_string(pairs.size()).size();
    std::vector<std::string> names;
    std::map<std::string, std::size_t> taken;
    for (const BatchPair& pair : pairs) {
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
                if (key == "stem1")
                    name += pair.image1.stem().string();
                else if (key == "stem2")
                    name += pair.image2.stem().string();
                else if (key == "ext")
                    name += extension;
                else if (key == "index") {
                    const std::string number = std::to_string(pair.index);
                    name += std::string(width > number.size() ? width - number.size() : 0, '0') + number;
                } else
                    refuse("--name: unknown field \"" + pattern.substr(i, close == std::string::npos ? std::string::npos : close - i + 1) +
                           "\" (known: {stem1}, {stem2}, {index}, {ext})");
                i = close;
            }
        }
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            name.find('\0') != std::string::npos)
            refuse("pair " + std::to_string(pair.index) + " (" + pair.image1.string() + ", " + pair.image2.string() +
                   ") would get the output name \"" + name + "\", which is not a file name inside the output folder");
        if (!fs::path(name).has_extension())
            name += "." + extension;
        if (const auto [at, added] = taken.emplace(name, pair.index); !added)
            refuse("pairs " + std::to_string(at->second) + " and " + std::to_string(pair.index) +
                   " would both be written as \"" + name + "\"");
        names.push_back(std::move(name));
    }
    return names;
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
