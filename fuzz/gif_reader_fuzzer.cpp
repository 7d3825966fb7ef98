// Fuzzes GifDocument::LoadFromStream with small limits. Invariants checked on every input: a failed
// load leaves no frames; every frame surface is readable end to end; a whole decoded frame
// encodes and decodes back to the same indices.
#include "gif/GifDocument.h"
#include "gif/LzwDecoder.h"
#include "gif/LzwEncoder.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

using namespace vantorell;

namespace {

volatile std::uint32_t g_sink;

void touch(const Dib& dib)
{
    std::uint32_t sum = 0;
    for (std::int32_t i = 0; i < dib.size(); ++i)
        sum += dib.bits()[i];
    for (std::uint8_t b : dib.colourTable())
        sum += b;
    g_sink = sum;
}

void checkRoundTrip(const Dib& img, LzwEncoder& enc, LzwDecoder& dec)
{
    if (img.empty() || img.BPP() != 8 || std::int64_t(img.width()) * img.height() > 1024)
        return;
    std::vector<std::uint8_t> blocks;
    if (!enc.encodeFrame({img.bits(), img.bytesPerScanline(), img.width(), img.height()}, false, 9, blocks))
        std::abort();
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < blocks.size() && blocks[i] != 0;) {
        const std::size_t n = blocks[i++];
        if (n > 254 || i + n > blocks.size())
            std::abort();
        data.insert(data.end(), blocks.begin() + std::ptrdiff_t(i), blocks.begin() + std::ptrdiff_t(i + n));
        i += n;
    }
    std::vector<std::uint8_t> out(std::size_t(img.width()) * std::size_t(img.height()));
    const LzwResult r = dec.decodeFrame(data, 8, {out.data(), img.width(), img.width(), img.height()}, false);
    if (r.error != GifError::None || r.pixels != out.size())
        std::abort();
    for (std::int32_t y = 0; y < img.height(); ++y)
        for (std::int32_t x = 0; x < img.width(); ++x)
            if (out[std::size_t(y) * std::size_t(img.width()) + std::size_t(x)] != img.scanline(y)[x])
                std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    static LzwEncoder enc;
    static LzwDecoder dec;
    // One document for every run: LoadFromStream starts by emptying it, and nothing a load
    // reads depends on what an earlier load left (the flag GlobalPaletteExists, which Destroy
    // keeps, is rewritten by every header that is read).
    static GifDocument doc;
    DecodeLimits limits;
    // Small caps keep every run short: the rules under test do not depend on the size.
    limits.maxFramePixels = 1u << 12;
    limits.maxTotalPixels = 1u << 14;
    limits.maxFrames = 64;
    doc.setDecodeLimits(limits);
    const bool ok = doc.loadFromStream(std::span<const std::uint8_t>(data, size));
    if (!ok) {
        if (doc.framesCount() != 0 || doc.lastError() == GifError::None)
            std::abort();
        return 0;
    }
    if (doc.lastError() != GifError::None || doc.framesCount() > limits.maxFrames)
        std::abort();
    for (int i = 1; i <= doc.framesCount(); ++i) {
        const Dib& img = doc.frameImage(i);
        const Dib& mask = doc.frameMask(i);
        if (img.width() != mask.width() || img.height() != mask.height())
            std::abort();
        touch(img);
        touch(mask);
        if (doc.frameDecodeResult(i) == GifError::None)
            checkRoundTrip(img, enc, dec);
    }
    return 0;
}
