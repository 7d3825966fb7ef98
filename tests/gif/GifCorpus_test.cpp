// The fuzzer's seed files (fuzz/corpus/gif_reader/), one per reader rule, each named for what
// it tests. This test builds each file, checks what the reader answers, and checks that the
// committed copy is the same. Regenerating them is deliberate:
//   VANTORELL_WRITE_GIF_CORPUS=1 build/tests/test_gif --gtest_filter='GifCorpus.*'
#include "gif/GifDocument.h"
#include "support/GifBytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

namespace vantorell {
namespace {

using test::Bytes;
using test::FileBuilder;

struct SeedFile {
    const char* name;
    std::function<Bytes()> build;
    GifError expect;   // the load's answer (None: loads)
};

// A three-frame fade as a whole-palette animation stores it: a 256-entry global table with 216
// colours, aspect byte 49, loop for ever, disposal 3, delay 20, the second frame interlaced,
// the third with transparent index 4.
Bytes savedFade()
{
    FileBuilder f;
    f.screen(16, 12, 0xF7, 0, 49);
    Bytes table(256 * 3, 0);
    for (int i = 0; i < 216; ++i) {
        // blue, green, red were bytes 4i, 4i + 1, 4i + 2 of a palette filled with k * 5
        table[std::size_t(i) * 3 + 0] = std::uint8_t((4 * i + 2) * 5);
        table[std::size_t(i) * 3 + 1] = std::uint8_t((4 * i + 1) * 5);
        table[std::size_t(i) * 3 + 2] = std::uint8_t((4 * i) * 5);
    }
    f.raw(table).netscapeLoops(0);
    for (int i = 1; i <= 3; ++i) {
        Bytes px(16 * 12);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                px[std::size_t(y) * 16 + std::size_t(x)] = std::uint8_t((x + y * i) % 216);
        f.graphicControl(3 * 4 + (i == 3 ? 1 : 0), 20, i == 3 ? 4 : 0);
        f.encodedImage(0, 0, 16, 12, (i == 2 ? 0x40 : 0) | 7, 8, px);
    }
    return f.trailer().bytes;
}

Bytes noiseImage()
{
    std::mt19937 rng(5);
    Bytes px(64);
    for (auto& p : px)
        p = std::uint8_t(rng() % 256);
    return FileBuilder{}.header(8, 8, 8).image(0, 0, 8, 8, 0, 8, test::literalCodes(px, 8)).trailer().bytes;
}

Bytes codes(std::initializer_list<std::pair<int, int>> list)
{
    test::CodeWriter w;
    for (auto [code, width] : list)
        w.put(code, width);
    return w.finish();
}

const std::vector<SeedFile>& seeds()
{
    static const std::vector<SeedFile> files = {
        {"valid-saved-fade.gif", savedFade, GifError::None},
        {"valid-two-frames-comment-local-table.gif",
         [] {
             FileBuilder f;
             f.header(4, 3, 2).netscapeLoops(3).graphicControl(0x0D, 25, 2);
             f.image(0, 0, 4, 3, 0, 2, test::literalCodes({0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2}, 2));
             f.raw({0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0}).graphicControl(0x04, 50, 9);
             f.raw({0x2C}).u16(1).u16(1).u16(2).u16(2).raw({0xA0, 0xFF, 0, 0, 0, 0, 0xFF, 2});
             f.raw(test::toSubBlocks(test::literalCodes({1, 0, 0, 1}, 2))).raw({0});
             return f.trailer().bytes;
         },
         GifError::None},
        {"valid-87a-no-frames.gif", [] { return FileBuilder{}.header(5, 5, 1, "87a").trailer().bytes; },
         GifError::None},
        {"valid-interlaced-height-3.gif",
         [] {
             return FileBuilder{}.header(2, 3, 2).image(0, 0, 2, 3, 0x40, 2, test::literalCodes({1, 1, 3, 3, 2, 2}, 2))
                 .trailer()
                 .bytes;
         },
         GifError::None},
        {"valid-no-trailer.gif",
         [] { return FileBuilder{}.header(2, 1, 1).image(0, 0, 2, 1, 0, 2, test::literalCodes({1, 0}, 2)).bytes; },
         GifError::None},
        {"lzw-noise-more-data-than-pixels.gif", noiseImage, GifError::None},
        {"lzw-code-beyond-next.gif",
         [] {
             return FileBuilder{}.header(3, 1, 2).image(0, 0, 3, 1, 0, 2, codes({{4, 3}, {2, 3}, {7, 3}})).trailer().bytes;
         },
         GifError::None},
        {"lzw-first-code-not-clear.gif",
         [] {
             return FileBuilder{}.header(2, 1, 2).image(0, 0, 2, 1, 0, 2, codes({{1, 3}, {3, 3}, {5, 3}})).trailer().bytes;
         },
         GifError::None},
        {"lzw-literal-width-9.gif",
         [] { return FileBuilder{}.header(2, 1, 1).image(0, 0, 2, 1, 0, 9, Bytes{0xFF, 0x01}).trailer().bytes; },
         GifError::None},
        {"lzw-data-end-without-end-code.gif",
         [] { return FileBuilder{}.header(3, 1, 2).image(0, 0, 3, 1, 0, 2, Bytes{0x0C}).trailer().bytes; },
         GifError::None},
        {"screen-65535-frame-1x1.gif",
         [] {
             return FileBuilder{}.header(65535, 65535, 1).image(0, 0, 1, 1, 0, 2, test::literalCodes({1}, 2)).trailer().bytes;
         },
         GifError::None},
        {"frame-outside-screen.gif",
         [] {
             return FileBuilder{}.header(4, 4, 1).image(60000, 3, 2, 2, 0, 2, test::literalCodes({1, 0, 0, 1}, 2))
                 .trailer()
                 .bytes;
         },
         GifError::None},
        {"frame-zero-size.gif",
         [] {
             return FileBuilder{}.header(4, 4, 1).image(0, 0, 0, 3, 0, 2, test::literalCodes({1}, 2)).trailer().bytes;
         },
         GifError::None},
        {"loop-count-65535.gif",
         [] {
             return FileBuilder{}.header(1, 1, 1).netscapeLoops(65535).image(0, 0, 1, 1, 0, 2, test::literalCodes({1}, 2))
                 .trailer()
                 .bytes;
         },
         GifError::None},
        {"frame-too-large-40000.gif",
         [] {
             return FileBuilder{}.header(1, 1, 1).image(0, 0, 40000, 1, 0, 2, test::literalCodes({1}, 2)).trailer().bytes;
         },
         GifError::FrameTooLarge},
        {"bad-version-90a.gif", [] { return FileBuilder{}.header(1, 1, 1, "90a").trailer().bytes; },
         GifError::BadHeader},
        {"sub-blocks-past-the-end.gif",
         [] {
             FileBuilder f;
             f.header(2, 1, 1).raw({0x2C}).u16(0).u16(0).u16(2).u16(1).raw({0, 2, 200, 1, 2, 3});
             return f.bytes;
         },
         GifError::TruncatedInput},
        {"local-table-256-in-24-bytes.gif",
         [] {
             FileBuilder f;
             f.header(1, 1, 0).raw({0x2C}).u16(0).u16(0).u16(1).u16(1).raw({0x87, 0});
             return f.bytes;
         },
         GifError::TruncatedInput},
        {"loop-extension-too-short.gif",
         [] {
             FileBuilder f;
             f.header(1, 1, 1).raw({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").raw({1, 1, 0}).trailer();
             return f.bytes;
         },
         GifError::BadExtension},
    };
    return files;
}

TEST(GifCorpus, SeedFilesGiveTheirAnswersAndMatchTheCommittedCopies)
{
    const std::filesystem::path dir = std::filesystem::path(VANTORELL_SOURCE_DIR) / "fuzz/corpus/gif_reader";
    const bool write = std::getenv("VANTORELL_WRITE_GIF_CORPUS") != nullptr;
    for (const SeedFile& seed : seeds()) {
        const Bytes bytes = seed.build();
        GifDocument doc;
        const bool ok = doc.loadFromStream(bytes);
        EXPECT_EQ(ok, seed.expect == GifError::None) << seed.name;
        EXPECT_EQ(doc.lastError(), seed.expect) << seed.name << ": have " << gifErrorName(doc.lastError());
        const auto path = dir / seed.name;
        if (write) {
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                        std::streamsize(bytes.size()));
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        const Bytes committed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(committed, bytes) << seed.name << " differs from its builder; regenerate the corpus";
    }
}

}  // namespace
}  // namespace vantorell
