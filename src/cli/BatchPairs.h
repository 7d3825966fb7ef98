// The pairs of a batch: read from a CSV file, matched by name across two folders, or taken as
// neighbours of a sequence; then named, checked for shared names and split into shards.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantorell::cli {

struct BatchPair {
    std::size_t index = 0;          // 1-based, over the whole list (before sharding)
    std::filesystem::path image1, image2;
    std::string outputName;         // from a CSV's output column; empty: from the name pattern
    bool single = false;            // one input (a batch of GIFs): image1 only
};

// Thrown for a source of pairs or a name pattern the batch cannot use (exit status 2).
struct BatchError {
    std::string text;
};

// The limits of a pairs file: its size and the length of one field.
inline constexpr std::size_t kMaxPairsFileBytes = 64u << 20;
inline constexpr std::size_t kMaxPairsFieldBytes = 4096;

// The pairs of a batch, read in order as often as needed: a pairs file row by row from the file
// each time (it may name millions of pairs, and only one row is held), the pairs of folders from
// the list made once. Reading raises BatchError for a row it cannot use.
class PairList {
public:
    explicit PairList(std::vector<BatchPair> pairs);
    // A CSV; its header is read at once. `errorPrefix` starts every error's text.
    // With `singleInputs`, the CSV names one input a row (the column input).
    PairList(std::unique_ptr<std::istream> csv, const std::filesystem::path& base, std::string errorPrefix,
             bool singleInputs = false);
    PairList(PairList&&) noexcept;
    PairList& operator=(PairList&&) noexcept;
    ~PairList();

    // Starts again from the first pair.
    void restart();
    // The next pair, or nullopt after the last.
    std::optional<BatchPair> next();

private:
    void prefixed(const std::function<void()>& read);
    struct CsvState;
    std::unique_ptr<CsvState> m_csv;
    std::vector<BatchPair> m_pairs;
    std::size_t m_next = 0;
    std::string m_errorPrefix;
};

// Reads a CSV whose header row names the columns image1 and image2, and optionally output
// (case and surrounding spaces aside; other columns are ignored). Fields may be quoted ("" is a
// quote inside one); a UTF-8 byte-order mark and CRLF line ends are accepted, blank lines
// skipped. Relative picture paths are taken from the CSV file's folder. Only a regular file is
// opened (a FIFO or a device is refused at once); errors start with "--pairs FILE: ".
PairList readPairsFile(const std::filesystem::path& file);
// The same for a batch of GIFs: the columns input and optionally output; errors start with
// "--inputs FILE: ".
PairList readInputsFile(const std::filesystem::path& file);
// The same, from the file's text; `base` is the folder relative paths start from.
PairList parsePairsCsv(std::string_view text, const std::filesystem::path& base);

// The pictures (by extension: JPEG, BMP, PNG, GIF, WebP, TIFF) of a folder, in name order with
// runs of digits compared by value ("2.jpg" before "10.jpg"). Hidden files are left out.
std::vector<std::filesystem::path> picturesIn(const std::filesystem::path& folder);

// The videos and animations (by extension: MP4, MOV, MKV, WebM, AVI, GIF, WebP and other
// video containers) of a folder, in the same order, each as one input of a batch of GIFs.
std::vector<BatchPair> animationsIn(const std::filesystem::path& folder);

// Pictures of the same file name in both folders, in name order. `unmatched` counts those
// found in only one of them.
std::vector<BatchPair> pairsByName(const std::filesystem::path& folder1, const std::filesystem::path& folder2,
                                   std::size_t& unmatched);

// Each picture of the folder with the next one: 1-2, 2-3, ...
std::vector<BatchPair> sequencePairs(const std::filesystem::path& folder);

// Names a pair's output: its own output name, else the pattern with {stem1}, {stem2} (the
// pictures' names without extension; {stem} for a single input), {index} (zero-padded to the width of `count`, the number
// of pairs) and {ext} ("jpg", "avi", "gif"). A name without an extension gets ".<ext>". A name
// that is empty, is "." or "..", or holds a '/' (it would leave the output folder) is an error.
std::string outputName(const BatchPair& pair, const std::string& pattern, const std::string& extension,
                       std::size_t count);
// Reads the whole list (twice, or three times when two names may meet), names every pair and
// refuses a bad name or a name two pairs share, before anything runs. Answers the number of
// pairs and leaves the list at its start.
std::size_t checkOutputNames(PairList& pairs, const std::string& pattern, const std::string& extension);

// "K/N" with 1 <= K <= N: the shard's number and count.
struct Shard {
    std::size_t number = 1, count = 1;
};
std::optional<Shard> parseShard(const std::string& text);
// Every count-th pair, starting at the shard's number (1-based).
bool inShard(const BatchPair& pair, const Shard& shard);
// How many of `count` pairs a shard holds.
std::size_t pairsInShard(std::size_t count, const Shard& shard);

}  // namespace vantorell::cli
