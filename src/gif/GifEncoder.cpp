#include "gif/GifEncoder.h"

#include "colour/Ditherer.h"
#include "colour/Palette8.h"
#include "dib/Dib.h"
#include "gif/GifFormat.h"
#include "gif/LzwEncoder.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

namespace vantorell {

namespace {

constexpr int kPaletteSampleFrames = 8;   // frames a global palette is made from
constexpr int kPaletteSampleStep = 2;     // every second pixel of every second row
constexpr int kPaletteSpeed = 8;          // libimagequant's speed for the palettes
constexpr int kStillPaletteSpeed = 3;     // and for a mostly still animation's one palette
// With GifOptions::paletteFromSample, about this many pixels are read for a palette.
constexpr double kPaletteSamplePixels = 1'500'000;
// The ordered dithers' amplitude on adaptive palettes: 256 colours chosen for the animation lie
// closer together than the cube's steps of 51; +-4 levels breaks up banding without the
// noise (lower PSNR, larger files) of a wider pattern: on the benchmark's photographs +-6
// cost 1.2 dB PSNR and 1.6 to 2.6 % more bytes than +-4.
constexpr int kAdaptiveSpread = 8;
// With a hole tolerance, the transparent versions are tried from 1 pixel in 8 unchanged, and
// under an ordered dither (whose regular pattern holes break) from 3 in 4.
constexpr double kFewestHolesShare = 1.0 / 8;
constexpr double kFewestHolesShareOrdered = 3.0 / 4;

bool isOrdered(GifDither dither) { return dither == GifDither::Ordered || dither == GifDither::Ordered8; }

// Every n-th pixel of every n-th row of `pixels`, n at least 2, that reads about
// kPaletteSamplePixels.
int sampleStep(double pixels) { return std::max(2, int(std::ceil(std::sqrt(pixels / kPaletteSamplePixels)))); }

// Every `step`-th pixel of every `step`-th row of a 32-bit frame, in order.
void decimate(const Dib& frame, int step, Dib& into)
{
    if (!into.create((frame.width() + step - 1) / step, (frame.height() + step - 1) / step, 32))
        throw std::bad_alloc();
    for (int y = 0; y < into.height(); ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(frame.scanline(y * step));
        auto* out = reinterpret_cast<std::uint32_t*>(into.scanline(y));
        for (int x = 0; x < into.width(); ++x)
            out[x] = in[std::size_t(x) * std::size_t(step)];
    }
}

// A frame is diffused in two bands from twice this many rows and this many pixels (below, the
// second thread costs more than its band saves). A 640 x 360 video frame is diffused in bands.
constexpr int kMinDiffusionBandRows = 64;
constexpr std::int64_t kMinDiffusionBandPixels = 100'000;
// With GifOptions::lossyLeavesShown, from this share of a rectangle unchanged only its mixed
// version (transparent, or the pixel's colour where that continues a string) is coded.
constexpr double kMixedOnlyShare = 0.5;

// With GifOptions::lzwInParts, a frame (or changed rectangle) of this many pixels is coded in two
// parts, one beside the other where a core is free.
constexpr std::size_t kMinLzwPartsPixels = 1'000'000;
constexpr int kHalftoneSpread = 51;       // ... on the cube: one step of 51

void put16(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(std::uint8_t(value & 0xFF));
    out.push_back(std::uint8_t((value >> 8) & 0xFF));
}

// The frame at `percent` of its size, each pixel the mean of the source pixels it covers (alpha
// too with `keepAlpha`, else 0).
void shrink(const Dib& source, int percent, Dib& target, bool keepAlpha)
{
    const int width = std::max(1, int(std::lround(source.width() * percent / 100.0)));
    const int height = std::max(1, int(std::lround(source.height() * percent / 100.0)));
    if (!target.create(width, height, 32))
        throw std::bad_alloc();   // no pixel memory to be had
    for (int y = 0; y < height; ++y) {
        const int y0 = int(std::int64_t(y) * source.height() / height);
        const int y1 = std::max(y0 + 1, int(std::int64_t(y + 1) * source.height() / height));
        std::uint8_t* out = target.scanline(y);
        for (int x = 0; x < width; ++x) {
            const int x0 = int(std::int64_t(x) * source.width() / width);
            const int x1 = std::max(x0 + 1, int(std::int64_t(x + 1) * source.width() / width));
            unsigned sum[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy) {
                const std::uint8_t* in = source.scanline(sy) + 4 * x0;
                for (int sx = x0; sx < x1; ++sx, in += 4)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += in[c];
            }
            const unsigned count = unsigned((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 3; ++c)
                out[4 * x + c] = std::uint8_t((sum[c] + count / 2) / count);
            out[4 * x + 3] = keepAlpha ? std::uint8_t((sum[3] + count / 2) / count) : 0;
        }
    }
}

// Reads frame `index` at the options' size; answers the surface to use, or nullptr.
const Dib* readFrame(GifFrameProvider& frames, int index, int percent, Dib& full, Dib& scaled)
{
    if (!frames.frame(index, full) || full.BPP() != 32 || full.width() != frames.width() ||
        full.height() != frames.height())
        return nullptr;
    if (percent >= 100)
        return &full;
    shrink(full, percent, scaled, frames.hasTransparency());
    return &scaled;
}

std::vector<int> spreadIndices(int first, int last, int count)
{
    std::vector<int> indices;
    if (last < first || count <= 0)
        return indices;
    if (last - first + 1 <= count) {
        for (int i = first; i <= last; ++i)
            indices.push_back(i);
        return indices;
    }
    for (int k = 0; k < count; ++k) {
        const int i = first + int(std::lround(double(k) * (last - first) / double(count - 1)));
        if (indices.empty() || indices.back() != i)
            indices.push_back(i);
    }
    return indices;
}

// The order of a shared palette's entries for an optimised animation, from `changes` (per
// frame after the first, the entries it changes pixels to), so that many frames need only the
// first few entries (entry 0, the transparent one, comes before all of them). Two ways, the
// one with the narrower codes overall kept:
// - from the back: each time the entry the fewest frames still in the running need goes last,
//   and the frames that need it leave the running;
// - for each power of two: the largest group of frames that fit under it together, grown from
//   each frame in turn by the frame that adds the fewest entries; its entries first.
std::vector<int> entryOrder(const std::vector<int>& entries, const std::vector<std::bitset<256>>& changes)
{
    std::array<int, 256> count{};   // frames that need each entry
    for (const std::bitset<256>& frame : changes)
        for (std::size_t i = 0; i < 256; ++i)
            count[i] += frame[i] ? 1 : 0;
    // The sum over the frames of the code size their highest entry needs.
    const auto cost = [&](const std::vector<int>& order) {
        std::array<int, 256> place{};
        for (std::size_t k = 0; k < order.size(); ++k)
            place[std::size_t(order[k])] = int(k) + 1;
        long long bits = 0;
        for (const std::bitset<256>& frame : changes) {
            int highest = 0;
            for (std::size_t i = 0; i < 256; ++i)
                if (frame[i])
                    highest = std::max(highest, place[i]);
            bits += gifPaletteBits(highest + 1);
        }
        return bits;
    };

    std::vector<int> best(entries.size());
    {
        std::vector<int> remaining = entries;
        std::array<int, 256> need = count;   // frames in the running that need each entry
        std::vector<bool> running(changes.size(), true);
        for (std::size_t place = remaining.size(); place-- > 0;) {
            std::size_t pick = 0;   // the least needed; the later index on ties
            for (std::size_t k = 1; k < remaining.size(); ++k)
                if (need[std::size_t(remaining[k])] <= need[std::size_t(remaining[pick])])
                    pick = k;
            const int entry = remaining[pick];
            remaining.erase(remaining.begin() + std::ptrdiff_t(pick));
            best[place] = entry;
            for (std::size_t f = 0; f < changes.size(); ++f) {
                if (!running[f] || !changes[f][std::size_t(entry)])
                    continue;
                running[f] = false;
                for (std::size_t i = 0; i < 256; ++i)
                    need[i] -= changes[f][i] ? 1 : 0;
            }
        }
    }
    long long bestCost = cost(best);

    const auto byCount = [&](int a, int b) { return count[std::size_t(a)] > count[std::size_t(b)]; };
    constexpr std::size_t kMaxSeeds = 64;   // frames tried as seeds (spread over a long animation)
    const std::size_t step = std::max<std::size_t>(1, changes.size() / kMaxSeeds);
    for (std::size_t limit = 1; limit < 256; limit = 2 * limit + 1) {   // entries after entry 0
        std::bitset<256> widest;
        std::size_t widestFrames = 0;
        for (std::size_t seed = 0; seed < changes.size(); seed += step) {
            if (changes[seed].count() > limit)
                continue;
            std::bitset<256> group = changes[seed];
            std::vector<bool> in(changes.size(), false);
            in[seed] = true;
            std::size_t frames = 1;
            for (;;) {
                std::size_t pick = changes.size(), added = 0;
                for (std::size_t f = 0; f < changes.size(); ++f) {
                    if (in[f])
                        continue;
                    const std::size_t more = (changes[f] & ~group).count();
                    if (group.count() + more <= limit && (pick == changes.size() || more < added)) {
                        pick = f;
                        added = more;
                    }
                }
                if (pick == changes.size())
                    break;
                in[pick] = true;
                group |= changes[pick];
                ++frames;
            }
            if (frames > widestFrames) {
                widestFrames = frames;
                widest = group;
            }
        }
        if (widestFrames == 0)
            continue;
        std::vector<int> first, rest;
        for (const int e : entries)
            (widest[std::size_t(e)] ? first : rest).push_back(e);
        std::stable_sort(first.begin(), first.end(), byCount);
        std::stable_sort(rest.begin(), rest.end(), byCount);
        first.insert(first.end(), rest.begin(), rest.end());
        if (const long long c = cost(first); c < bestCost) {
            bestCost = c;
            best = std::move(first);
        }
        if (widestFrames == changes.size())
            break;   // wider limits group the same frames
    }
    return best;
}

// A piece of work run beside the caller's on a thread of its own when `beside` (and a thread can
// be had), else at finish(). finish() waits for it and passes on what it threw.
class SideTask {
public:
    SideTask(std::function<void()> work, bool beside) : m_work(std::move(work))
    {
        if (!m_work || !beside)
            return;
        try {
            m_thread = std::thread([this] {
                try {
                    m_work();
                } catch (...) {
                    m_error = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            // no thread to be had: finish() does the work
        }
    }
    ~SideTask()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;

    void finish()
    {
        if (m_thread.joinable()) {
            m_thread.join();
            if (m_error)
                std::rethrow_exception(m_error);
        } else if (m_work) {
            m_work();
        }
        m_work = nullptr;
    }

private:
    std::function<void()> m_work;
    std::thread m_thread;
    std::exception_ptr m_error;
};

// The shared part of encoding: palette state, the displayed canvas for optimisation, the coders.
class AnimationCoder {
public:
    AnimationCoder(const GifOptions& options, int width, int height)
        : m_options(options), m_width(width), m_height(height),
          m_indices(std::size_t(width) * std::size_t(height))
    {
        m_options.lossy = std::clamp(m_options.lossy, 0, kGifMaxLossy);
        if (m_options.optimize)
            m_canvas.assign(std::size_t(width) * std::size_t(height) * 3, 0);
    }

    // Codes an optimised frame's opaque and transparent versions on two threads (for a caller
    // that stores frames one after another on one thread).
    void setParallelVersions(bool on) { m_parallelVersions = on; }
    // Maps a frame's two diffusion bands on two threads (for a caller with a core to spare).
    void setParallelBands(bool on) { m_parallelBands = on; }

    // A second coder that stores frames quantised by `shared` (after its palette was
    // compacted): the same palette and numbering, its own LZW tables and canvas.
    struct ForStoring {};
    AnimationCoder(const AnimationCoder& shared, ForStoring)
        : AnimationCoder(shared.m_options, shared.m_width, shared.m_height)
    {
        copyPalette(shared.m_palette, m_palette);
        m_remap = shared.m_remap;
        m_compacted = shared.m_compacted;
        m_transparentSlot = shared.m_transparentSlot;
        setTransparentPixels(shared.m_alpha);
        m_clearIndex = shared.m_clearIndex;
    }

    // Pixels under half coverage show nothing. A frame's own palette cannot carry what is clear
    // from one frame to the next, so such animations store whole frames.
    void setTransparentPixels(bool on)
    {
        m_alpha = on;
        if (on && m_options.palette == GifPalette::PerFrame)
            m_options.optimize = false;
        if (on && m_options.optimize)
            m_shownClear.assign(std::size_t(m_width) * std::size_t(m_height), 1);   // nothing shown yet
    }

    // An optimised coder that starts at a later frame: the canvas shows `quantised` (the frame
    // before, as quantised), which is what a decoder shows after it when nothing is lossy.
    void primeCanvas(const std::vector<std::uint8_t>& quantised)
    {
        const std::array<std::uint8_t, 768> rgb = rgbTable();
        for (std::size_t k = 0; k < quantised.size() && 3 * k + 2 < m_canvas.size(); ++k) {
            const std::uint8_t index = m_compacted ? m_remap[quantised[k]] : quantised[k];
            std::memcpy(m_canvas.data() + 3 * k, &rgb[std::size_t(3 * index)], 3);
        }
    }

    // The colours of the frame quantised last (indices(), before any renumbering) as 32-bit
    // pixels: what a decoder shows for it.
    void shown(Dib& out) const
    {
        if (!out.create(m_width, m_height, 32))
            throw std::bad_alloc();   // no pixel memory to be had
        const std::uint8_t* table = m_palette.entryData();
        for (int y = 0; y < m_height && table != nullptr; ++y) {
            const std::uint8_t* index = m_indices.data() + std::size_t(y) * std::size_t(m_width);
            std::uint8_t* row = out.scanline(y);
            for (int x = 0; x < m_width; ++x) {
                std::memcpy(row + 4 * x, table + 4 * index[x], 3);
                row[4 * x + 3] = 0;
            }
        }
    }

    bool needsPalette() const { return m_options.palette == GifPalette::Global && !m_mapper; }

    // A global palette from a sample of the frames (only for GifPalette::Global).
    GifEncodeStatus preparePalette(GifFrameProvider& frames, const Palette8* ready)
    {
        if (m_options.palette != GifPalette::Global)
            return GifEncodeStatus::Done;
        if (ready != nullptr) {
            copyPalette(*ready, m_palette);
        } else {
            // Where most stays still the first frame is most of the file: a few frames' every
            // pixel and a slower search (as many pixels as the usual sample).
            const bool still = m_options.stillAreasStay;
            const int sampleFrames = still ? kPaletteSampleFrames / 4 : kPaletteSampleFrames;
            const std::vector<int> picked = spreadIndices(0, frames.frameCount() - 1, sampleFrames);
            const int step = still                        ? 1
                             : m_options.paletteFromSample ? sampleStep(double(picked.size()) * m_width * m_height)
                                                           : kPaletteSampleStep;
            // Each frame kept only as its sampled pixels (the quantiser reads those alone).
            std::vector<Dib> sample(picked.size());
            std::vector<const Dib*> pointers;
            Dib full, scaled;
            for (std::size_t k = 0; k < picked.size(); ++k) {
                const Dib* frame = readFrame(frames, picked[k], m_options.scalePercent, full, scaled);
                if (frame == nullptr)
                    return GifEncodeStatus::FrameUnreadable;
                if (step > 1)
                    decimate(*frame, step, sample[k]);
                else
                    frame->cloneTo(sample[k]);
                pointers.push_back(&sample[k]);
            }
            if (!quantisedPalette(pointers, maxColours(), 1, m_palette, still ? kStillPaletteSpeed : kPaletteSpeed))
                return GifEncodeStatus::PaletteFailed;
        }
        useMapper(std::make_unique<PaletteMapper>(m_palette, kAdaptiveSpread, m_options.fineColours));
        // A palette kept as made has no unused entry to drop: where it fills its colour table,
        // an entry the mapper never picks (black) widens the table so that one is free for the
        // transparent index.
        const int entries = m_palette.entries();
        if (m_options.sharedAsMade && m_options.optimize && entries < 256 && entries == (1 << paletteBits(entries))) {
            m_palette.setEntries(std::int16_t(entries + 1));
            std::memset(m_palette.entryData() + 4 * entries, 0, 4);
        }
        return GifEncodeStatus::Done;
    }

    const Palette8& palette() const { return m_palette; }

    void header(std::vector<std::uint8_t>& out) const
    {
        out.insert(out.end(), {'G', 'I', 'F', '8', '9', 'a'});
        put16(out, m_width);
        put16(out, m_height);
        if (m_options.palette == GifPalette::PerFrame) {
            out.push_back(0);
        } else {
            // Halftone and Optimal learn their palette from the first frame: the header is
            // written after it (see encodeGifAnimation).
            const int bits = paletteBits(m_palette.entries());
            out.push_back(std::uint8_t(0x80 + (bits - 1) * 16 + (bits - 1)));
        }
        out.push_back(0);
        out.push_back(49);   // pixel aspect 1:1
        if (m_options.palette != GifPalette::PerFrame)
            putColourTable(out, m_palette, paletteBits(m_palette.entries()));
        out.insert(out.end(), {kGifExtensionIntroducer, kGifApplicationLabel, 0x0B});
        out.insert(out.end(), {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
        out.insert(out.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
    }

    // Quantises and appends one frame block.
    GifEncodeStatus frame(const Dib& source, bool first, std::vector<std::uint8_t>& out)
    {
        if (!quantise(source, first))
            return GifEncodeStatus::PaletteFailed;
        setTargetColours(source);
        return emit(m_indices, first, out);
    }

    // A per-frame coder that only stores: the next frame's own palette, as copyPaletteTo() gave it.
    void takePalette(const Palette8& palette) { copyPalette(palette, m_palette); }
    void copyPaletteTo(Palette8& palette) const { copyPalette(m_palette, palette); }

    // Quantises a frame into indices() with the shared (or the frame's own) palette.
    bool quantiseFrame(const Dib& source, bool first) { return quantise(source, first); }
    const std::vector<std::uint8_t>& indices() const { return m_indices; }

    // Keeps only the shared palette's entries that some frame uses, in their order: fewer
    // entries may mean narrower LZW codes. Indices handed to emit are renumbered to match.
    // With `changes` (optimised animations: per frame after the first, the entries it
    // changes pixels to), entry 0 becomes the transparent index and the kept entries follow
    // it in an order that lets many frames need only the first few: such a frame's LZW codes
    // start narrower than the whole table (the code size is set per frame).
    void compactSharedPalette(const std::array<bool, 256>& used,
                              const std::vector<std::bitset<256>>* changes = nullptr)
    {
        if (changes != nullptr && m_options.optimize)
            compactByNeed(used, *changes);
        else
            compact(used);
        m_compacted = true;
    }

    // The frame's own colours, for the next emit() (which forgets them): with a hole tolerance,
    // which shown pixels may stay is judged against them. Frames held back for a shared palette
    // go without (their colours are not kept), judged against their entries alone.
    void setTargetColours(const Dib& frame) { setTargetColours(targetColours(frame)); }
    // The same, given as targetColours() made them.
    void setTargetColours(std::vector<std::uint8_t>&& target)
    {
        m_hasTarget = !target.empty();
        if (m_hasTarget)
            m_target = std::move(target);
    }
    // Red, green, blue of each of the frame's pixels, where emit() would use them (else none).
    std::vector<std::uint8_t> targetColours(const Dib& frame) const
    {
        std::vector<std::uint8_t> target;
        if (m_options.holeTolerance <= 0 || !m_options.optimize)
            return target;
        target.resize(std::size_t(m_width) * std::size_t(m_height) * 3);
        for (int y = 0; y < m_height; ++y) {
            const std::uint8_t* in = frame.scanline(y);
            std::uint8_t* out = &target[std::size_t(y) * std::size_t(m_width) * 3];
            for (int x = 0; x < m_width; ++x, out += 3, in += 4) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        }
        return target;
    }

    // Appends the block of a frame quantised earlier (its indices; renumbered here). `next`, the
    // next frame's indices where pixels can be transparent, says whether this frame must clear
    // what it leaves (nullptr: the last frame, or not known).
    GifEncodeStatus emit(const std::vector<std::uint8_t>& quantised, bool first, std::vector<std::uint8_t>& out,
                         const std::uint8_t* next = nullptr)
    {
        // (Asked before a frame's own palette renumbers `quantised`, which may be m_indices.)
        const bool quantisedClear = m_alpha && m_clearIndex >= 0 &&
                                    std::find(quantised.begin(), quantised.end(), m_clearIndex) != quantised.end();
        if (m_options.palette == GifPalette::PerFrame) {
            m_indices = quantised;
            std::array<bool, 256> used{};
            for (const std::uint8_t i : m_indices)
                used[i] = true;
            compact(used);
            for (std::uint8_t& i : m_indices)
                i = m_remap[i];
        } else if (m_compacted) {
            m_indices.resize(quantised.size());
            for (std::size_t k = 0; k < quantised.size(); ++k)
                m_indices[k] = m_remap[quantised[k]];
        }
        // The frame's indices as stored: renumbered above, or the quantised ones themselves.
        const bool renumbered = m_options.palette == GifPalette::PerFrame || m_compacted;
        m_current = renumbered ? m_indices.data() : quantised.data();
        const int entries = m_palette.entries();
        const int transparent = transparentIndex(entries);
        const int bits = paletteBits(entries);
        const std::array<std::uint8_t, 256 * 3> rgb = rgbTable();
        const std::size_t count = std::size_t(m_width) * std::size_t(m_height);
        m_clearStored = quantisedClear ? transparent : -1;   // the clear entry, as renumbered, is the transparent index
        const bool hasClear = m_clearStored >= 0;
        const int keep = hasClear ? transparent : -1;   // what lossy coding never swaps

        int left = 0, top = 0, right = m_width, bottom = m_height;   // the stored rectangle
        bool useTransparent = false;
        int codeBits = bits;   // the LZW code size of the stored pixels
        std::vector<std::uint8_t> block;
        std::vector<std::uint8_t> pixels;
        // An optimised frame cannot make a shown pixel clear: the frame before restores the
        // rectangle holding every pixel that the next frame clears to the background.
        const Rect cleared = m_alpha && m_options.optimize && next != nullptr ? clearedByNext(quantised, next) : Rect{};
        const bool disposeToBackground = cleared.right > cleared.left;
        if (m_options.optimize && !first) {
            changedRectangle(rgb, left, top, right, bottom);
            if (disposeToBackground) {
                left = std::min(left, cleared.left), top = std::min(top, cleared.top);
                right = std::max(right, cleared.right), bottom = std::max(bottom, cleared.bottom);
            }
            const int width = right - left;
            std::vector<std::uint8_t> opaque = rectangle(left, top, right, bottom, -1);
            const bool mustHoles =
                hasClear && std::find(opaque.begin(), opaque.end(), std::uint8_t(transparent)) != opaque.end();
            int opaqueBits = codeSize(opaque, bits);
            // Unchanged pixels transparent; and the same where an unchanged pixel in its own
            // colour (as the frame has it, before lossy coding) continues an LZW string instead
            // (only colours within the code size the transparent version needs). The smallest of
            // the three is kept. The transparent versions are coded beside the opaque one where
            // a second core is free.
            std::vector<std::uint8_t> holes, holesBlock;
            // Where still areas must stay, lossy coding never reaches unchanged pixels: the
            // opaque version is not wanted then.
            const bool keepStill = m_options.stillAreasStay && m_options.lossy > 0;
            const bool holesOnly = transparent >= 0 && (keepStill || mustHoles);
            // Without an unchanged pixel the transparent versions are the opaque one again. With a
            // hole tolerance (the knob, where everything moves) they are tried from a share of
            // the rectangle: below, they were never or hardly ever the shorter (the benchmark fade
            // at 70, 1 frame of 9 at a quarter to a third unchanged; at 50, with the ordered
            // dither, none at 60 %, where every frame of a panning video from 80 % was), and cost
            // two more codings. The opaque version then has both cores.
            const std::size_t unchangedPixels = holesOnly ? 0 : stillPixels(left, top, right, bottom);
            const std::size_t fewestHoles =
                m_options.holeTolerance <= 0 ? 0
                : std::size_t(double(opaque.size()) *
                              (isOrdered(m_options.dither) ? kFewestHolesShareOrdered : kFewestHolesShare));
            const bool withHoles =
                transparent >= 0 && (holesOnly || (unchangedPixels > 0 && unchangedPixels >= fewestHoles));
            // Where lossy coding may leave shown pixels, the mixed version chooses for each pixel
            // between its colour, the transparent index and near colours; over half a frame
            // unchanged, the other two were hardly ever shorter (on the panning video at 50, 70
            // and 90, 1 frame of 297; coding the mixed alone cost 0.02 %), so it is coded alone.
            const bool mixedOnly = withHoles && !holesOnly && m_options.lossyLeavesShown &&
                                   double(unchangedPixels) >= kMixedOnlyShare * double(opaque.size());
            // With a hole tolerance where everything moves (the knob's other choice), the mixed
            // version was never the shortest (the benchmark fade at 70: 0.2 to 0.3 % longer than
            // the plain one in each of 9 frames), so the plain one is coded alone: the opaque and
            // the transparent version then take a core each, where the second had two codings.
            const bool plainOnly = m_options.holeTolerance > 0 && !m_options.lossyLeavesShown;
            if (withHoles)
                holes = rectangle(left, top, right, bottom, transparent);
            // Copied before the opaque version's lossy coding rewrites `opaque`.
            std::vector<std::uint8_t> alternates = withHoles && !plainOnly ? opaque : std::vector<std::uint8_t>();
            int holesBits = 0;
            const auto codeTransparentVersions = [&] {
                holesBits = codeSize(holes, bits);
                for (std::size_t k = 0; k < alternates.size(); ++k)
                    if (alternates[k] >= (1 << holesBits))
                        alternates[k] = holes[k];
                // With a hole tolerance, lossy coding may also leave a shown pixel that is close
                // enough, or repaint an unchanged one, where that continues a string. (Not where
                // pixels can be shown clear: a clear pixel has no colour to be close to.)
                const std::vector<std::uint8_t> shown = m_options.lossyLeavesShown && m_options.holeTolerance > 0 &&
                                                                m_options.lossy > 0 && !m_alpha
                                                            ? shownRectangle(left, top, right, bottom)
                                                            : std::vector<std::uint8_t>();
                const std::uint8_t* shownColours = shown.empty() ? nullptr : shown.data();
                std::vector<std::uint8_t> mixed = plainOnly ? std::vector<std::uint8_t>() : holes, mixedBlock;
                if (!mixedOnly)
                    encode(m_sideEncoder, holes, width, holesBits, rgb, transparent, holesBlock, nullptr, nullptr,
                           shownColours);
                if (plainOnly)
                    return;
                encode(m_sideEncoder, mixed, width, holesBits, rgb, transparent, mixedBlock, alternates.data(), nullptr,
                       shownColours);
                if (mixedOnly || mixedBlock.size() < holesBlock.size()) {
                    holesBlock = std::move(mixedBlock);
                    holes = std::move(mixed);
                }
            };
            SideTask transparentVersions(withHoles ? std::function<void()>(codeTransparentVersions) : nullptr,
                                         m_parallelVersions && !holesOnly && !mixedOnly);
            if (!holesOnly && !mixedOnly)
                encode(m_encoder, opaque, width, opaqueBits, rgb, -1, block, nullptr,
                       m_parallelVersions && !withHoles ? &m_sideEncoder : nullptr);
            transparentVersions.finish();
            pixels = std::move(opaque);
            codeBits = opaqueBits;
            if (withHoles) {
                if (holesBlock.size() < block.size() || holesOnly || mixedOnly) {
                    block = std::move(holesBlock);
                    pixels = std::move(holes);
                    codeBits = holesBits;
                    useTransparent = true;
                }
            }
        } else if (m_options.lossy == 0 && !m_options.optimize) {
            const IndexedPixels frame{m_current, m_width, m_width, m_height};
            m_encoder.encodeFrame(frame, false, std::max(bits, 2) + 1, block);   // no copy: nothing rewrites it
            useTransparent = hasClear;
        } else {
            pixels.assign(m_current, m_current + count);
            encode(m_encoder, pixels, m_width, bits, rgb, keep, block, nullptr,
                   m_parallelVersions ? &m_sideEncoder : nullptr);
            useTransparent = hasClear;
        }
        if (m_options.optimize)
            paint(pixels, left, top, right, bottom, rgb, useTransparent ? transparent : -1);
        if (disposeToBackground)
            for (int y = top; y < bottom; ++y) {
                const std::size_t rowStart = std::size_t(y) * std::size_t(m_width) + std::size_t(left);
                std::fill_n(m_shownClear.begin() + std::ptrdiff_t(rowStart), right - left, std::uint8_t(1));
            }
        if (m_options.stillAreasStay && m_options.optimize && m_options.lossy > 0 &&
            m_options.palette != GifPalette::PerFrame)
            m_lastStored.assign(m_current, m_current + std::size_t(m_width) * std::size_t(m_height));

        // Graphic control: disposal 1 (leave in place) when optimised, 3 otherwise; 2 (restore to
        // the background) where what a frame leaves must be clear for the next, and for whole
        // frames with clear pixels, whose next frame is drawn on nothing.
        int disposal = m_options.optimize ? 1 : 3;
        if (disposeToBackground || (hasClear && !m_options.optimize))
            disposal = 2;
        out.insert(out.end(), {kGifExtensionIntroducer, kGifGraphicControlLabel, 0x04});
        out.push_back(std::uint8_t(disposal * 4 + (useTransparent ? 1 : 0)));
        put16(out, m_options.delay);
        out.push_back(useTransparent ? std::uint8_t(transparent) : 0);
        out.push_back(0x00);
        out.push_back(kGifImageSeparator);
        put16(out, left);
        put16(out, top);
        put16(out, right - left);
        put16(out, bottom - top);
        if (m_options.palette == GifPalette::PerFrame) {
            out.push_back(std::uint8_t(0x80 + (bits - 1)));
            putColourTable(out, m_palette, bits);
        } else {
            out.push_back(std::uint8_t(bits - 1));
        }
        out.push_back(std::uint8_t(std::max(codeBits, 2)));
        out.insert(out.end(), block.begin(), block.end());
        out.push_back(0x00);
        m_hasTarget = false;
        return GifEncodeStatus::Done;
    }

private:
    // Red, green, blue of each palette entry.
    std::array<std::uint8_t, 256 * 3> rgbTable() const
    {
        std::array<std::uint8_t, 256 * 3> rgb{};
        const std::uint8_t* table = m_palette.entryData();
        for (int i = 0; table != nullptr && i < std::min<int>(m_palette.entries(), 256); ++i) {
            rgb[std::size_t(3 * i)] = table[4 * i + 2];
            rgb[std::size_t(3 * i + 1)] = table[4 * i + 1];
            rgb[std::size_t(3 * i + 2)] = table[4 * i];
        }
        return rgb;
    }

    // Adaptive palettes keep one index free, so that an optimised animation has its
    // transparent index and shows exactly the frames of the unoptimised one.
    static int maxColours() { return 255; }

    static int paletteBits(int entries) { return gifPaletteBits(entries); }

    // The free index an optimised frame marks unchanged pixels with: the first one past the
    // palette, when the colour table has room for it (-1 otherwise, or unoptimised).
    int transparentIndex(int entries) const
    {
        if (m_transparentSlot >= 0)
            return m_transparentSlot;
        if (m_clearIndex >= 0 && !m_compacted && m_options.palette != GifPalette::PerFrame)
            return m_clearIndex;
        return m_options.optimize && entries < (1 << paletteBits(entries)) ? entries : -1;
    }

    // The code size a frame's stored pixels need: the table's, or fewer bits when every index
    // is below a smaller power of two.
    static int codeSize(const std::vector<std::uint8_t>& pixels, int tableBits)
    {
        std::uint8_t highest = 0;
        for (const std::uint8_t p : pixels)
            highest = std::max(highest, p);
        return std::min(tableBits, paletteBits(int(highest) + 1));
    }

    // m_palette reduced to the used entries; m_remap maps old indices to new.
    void compact(const std::array<bool, 256>& used)
    {
        Palette8 kept;
        kept.initialize(0);
        const std::uint8_t* table = m_palette.entryData();
        std::uint8_t* to = kept.entryData();
        int count = 0;
        for (int i = 0; i < std::min<int>(m_palette.entries(), 256); ++i) {
            if (!used[std::size_t(i)])
                continue;
            std::memcpy(to + 4 * count, table + 4 * i, 4);
            m_remap[std::size_t(i)] = std::uint8_t(count++);
        }
        if (count == 0) {   // keep one entry: a palette cannot be empty
            std::memcpy(to, table, 4);
            count = 1;
        }
        kept.setEntries(std::int16_t(count));
        m_palette.initialize(std::int16_t(count));
        std::memcpy(m_palette.entryData(), kept.entryData(), Palette8::kMaxEntries * 4);
        if (m_clearIndex >= 0)
            m_transparentSlot = used[std::size_t(m_clearIndex)] ? m_remap[std::size_t(m_clearIndex)] : -1;
    }

    // compact() for optimised animations: entry 0 left free for transparency, then the used
    // entries in entryOrder's order.
    void compactByNeed(const std::array<bool, 256>& used, const std::vector<std::bitset<256>>& changes)
    {
        std::vector<int> entries;
        for (int i = 0; i < std::min<int>(m_palette.entries(), 256); ++i)
            if (used[std::size_t(i)] && i != m_clearIndex)   // clear pixels take the transparent entry
                entries.push_back(i);
        if (entries.empty() || entries.size() >= 256) {   // no room for the free entry
            compact(used);
            return;
        }
        const std::vector<int> order = entryOrder(entries, changes);
        Palette8 kept;
        kept.initialize(0);
        const std::uint8_t* table = m_palette.entryData();
        std::uint8_t* to = kept.entryData();
        std::memset(to, 0, 4);   // the transparent entry shows black if anything ever used it
        int count = 1;
        for (const int i : order) {
            std::memcpy(to + 4 * count, table + 4 * i, 4);
            m_remap[std::size_t(i)] = std::uint8_t(count++);
        }
        m_palette.initialize(std::int16_t(count));
        std::memcpy(m_palette.entryData(), kept.entryData(), Palette8::kMaxEntries * 4);
        m_transparentSlot = 0;
        if (m_clearIndex >= 0)
            m_remap[std::size_t(m_clearIndex)] = 0;
    }

    static void copyPalette(const Palette8& from, Palette8& to)
    {
        to.initialize(from.entries());
        std::memcpy(to.entryData(), from.entryData(), Palette8::kMaxEntries * 4);
        to.buildLogicalPalette();
    }

    static void putColourTable(std::vector<std::uint8_t>& out, const Palette8& palette, int bits)
    {
        const std::uint8_t* table = palette.entryData();
        for (int i = 0; i < (1 << bits); ++i) {
            if (i < palette.entries() && table != nullptr) {
                out.push_back(table[4 * i + 2]);
                out.push_back(table[4 * i + 1]);
                out.push_back(table[4 * i]);
            } else {
                out.insert(out.end(), 3, 0);
            }
        }
    }

    // Fills m_indices (and m_palette where the frame makes it).
    bool quantise(const Dib& source, bool first)
    {
        const GifPalette kind = m_options.palette;
        const GifDither dither = m_options.dither;
        // (The octree's 256 entries leave none for clear pixels; the halftone cube's 216 do.)
        const bool fixedLoops = (kind == GifPalette::Halftone || (kind == GifPalette::Optimal && !m_alpha)) &&
                                dither != GifDither::Ordered8;
        if (fixedLoops) {
            // The halftone and first-frame octree loops of the plain GIF output.
            m_ditherer.setPaletteMode(kind == GifPalette::Halftone ? PaletteMode::Halftone
                                                                         : PaletteMode::Optimal);
            m_ditherer.setDitherMode(dither == GifDither::None      ? DitherMode::None
                                     : dither == GifDither::Ordered ? DitherMode::Ordered
                                                                          : DitherMode::Diffusion);
            m_ditherer.ditherTo8bpp(source, m_eightBit, m_palette, !first);
            if (m_eightBit.empty())
                return false;   // no memory for the reduced frame
            for (int y = 0; y < m_height; ++y)
                std::memcpy(m_indices.data() + std::size_t(y) * std::size_t(m_width), m_eightBit.scanline(y),
                            std::size_t(m_width));
            if (m_alpha)
                markClear(source);
            return true;
        }
        if (kind == GifPalette::PerFrame) {
            const Dib* one[] = {&source};
            const int step = m_options.paletteFromSample ? sampleStep(double(m_width) * m_height) : 1;
            if (!quantisedPalette(one, maxColours(), step, m_palette))
                return false;
            useMapper(std::make_unique<PaletteMapper>(m_palette, kAdaptiveSpread, m_options.fineColours));
            m_clearIndex = -1;   // a new palette: its clear entry follows
        } else if (!m_mapper) {
            if (kind == GifPalette::Halftone) {
                m_palette.createHalftone(HalftoneCube::Colours216);
                useMapper(std::make_unique<PaletteMapper>(m_palette, kHalftoneSpread));
            } else if (kind == GifPalette::Optimal) {
                m_ditherer.setPaletteMode(PaletteMode::Optimal);
                m_ditherer.setDitherMode(DitherMode::None);
                m_ditherer.ditherTo8bpp(source, m_eightBit, m_palette, false);
                if (m_alpha && m_palette.entries() >= 256)
                    m_palette.setEntries(255);   // room for the clear entry
                useMapper(std::make_unique<PaletteMapper>(m_palette, kAdaptiveSpread, m_options.fineColours));
            } else {
                return false;   // a global palette is made before the first frame
            }
        }
        if (m_options.stillAreasStay && dither == GifDither::Diffusion && kind != GifPalette::PerFrame && !first &&
            !m_previousSource.empty())
            m_mapper->mapStableDiffusion(source, m_previousSource, m_indices.data(), m_width);
        else if (dither == GifDither::Diffusion && m_options.fineColours && !m_options.stillAreasStay &&
                 m_height >= 2 * kMinDiffusionBandRows &&
                 std::int64_t(m_width) * m_height >= kMinDiffusionBandPixels)
            mapDiffusionInBands(source);
        else
            m_mapper->map(source, dither, m_indices.data(), m_width);
        if (m_options.stillAreasStay)
            source.cloneTo(m_previousSource);   // the next frame's still pixels keep these entries
        if (m_alpha)
            markClear(source);
        return true;
    }

    void useMapper(std::unique_ptr<PaletteMapper> mapper)
    {
        m_mapper = std::move(mapper);
        m_lowerMapper.reset();
    }

    // Fine error diffusion in two bands, each from zero error at its top, the lower one by a
    // copy of the mapper (of its palette as made, before any entry added for transparency;
    // the copies' caches fill as they go) on a second thread where one is free: the same
    // indices either way.
    void mapDiffusionInBands(const Dib& source)
    {
        const int half = m_height / 2;
        if (!m_lowerMapper)
            m_lowerMapper = std::make_unique<PaletteMapper>(*m_mapper);
        PaletteMapper& lowerMapper = *m_lowerMapper;
        SideTask lowerBand([&] { lowerMapper.mapDiffusionRows(source, m_indices.data(), m_width, half, m_height); },
                           m_parallelBands);
        m_mapper->mapDiffusionRows(source, m_indices.data(), m_width, 0, half);
        lowerBand.finish();
    }

    // Pixels under half coverage take the entry after the mapped colours (black, added once per
    // palette); the mapper never picks it.
    void markClear(const Dib& source)
    {
        if (m_clearIndex < 0) {
            m_clearIndex = m_palette.entries();
            m_palette.setEntries(std::int16_t(m_clearIndex + 1));
            std::memset(m_palette.entryData() + 4 * m_clearIndex, 0, 4);
        }
        for (int y = 0; y < m_height; ++y) {
            const std::uint8_t* row = source.scanline(y);
            std::uint8_t* index = m_indices.data() + std::size_t(y) * std::size_t(m_width);
            for (int x = 0; x < m_width; ++x)
                if (row[4 * x + 3] < 128)
                    index[x] = std::uint8_t(m_clearIndex);
        }
    }

    struct Rect {
        int left = 0, top = 0, right = 0, bottom = 0;
    };

    // The smallest rectangle of pixels this frame shows that `next` makes clear (empty: none).
    Rect clearedByNext(const std::vector<std::uint8_t>& quantised, const std::uint8_t* next) const
    {
        Rect r{m_width, m_height, 0, 0};
        for (int y = 0; y < m_height; ++y) {
            const std::size_t row = std::size_t(y) * std::size_t(m_width);
            for (int x = 0; x < m_width; ++x)
                if (next[row + std::size_t(x)] == m_clearIndex && quantised[row + std::size_t(x)] != m_clearIndex) {
                    r.left = std::min(r.left, x), r.right = std::max(r.right, x + 1);
                    r.top = std::min(r.top, y), r.bottom = y + 1;
                }
        }
        return r.right > r.left ? r : Rect{};
    }

    // Whether the pixel shows now what the frame shows there: the same colour, or nothing over
    // nothing.
    bool unchanged(int y, int x, const std::array<std::uint8_t, 768>& rgb) const
    {
        const std::size_t at = std::size_t(y) * std::size_t(m_width) + std::size_t(x);
        const std::uint8_t index = m_current[at];
        if (!m_shownClear.empty()) {
            const bool clear = int(index) == m_clearStored;
            if (clear || m_shownClear[at] != 0)
                return clear && m_shownClear[at] != 0;
        }
        const std::uint8_t* last = lastStoredRow(y);
        return std::memcmp(&rgb[std::size_t(3 * index)], m_canvas.data() + 3 * at, 3) == 0 ||
               (last != nullptr && last[x] == index);
    }

    static int squaredDistance(const std::uint8_t* a, const std::uint8_t* b)
    {
        const int dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
        return dr * dr + dg * dg + db * db;
    }

    // The smallest rectangle holding every pixel whose colour differs from the canvas; marks in
    // m_still each pixel that may stay as shown, for rectangle().
    void changedRectangle(const std::array<std::uint8_t, 768>& rgb, int& left, int& top, int& right, int& bottom)
    {
        left = m_width;
        top = m_height;
        right = 0;
        bottom = 0;
        m_still.resize(std::size_t(m_width) * std::size_t(m_height));
        for (int y = 0; y < m_height; ++y) {
            std::uint8_t* still = m_still.data() + std::size_t(y) * std::size_t(m_width);
            markStillRow(y, rgb, still);
            const auto* firstChanged = static_cast<const std::uint8_t*>(std::memchr(still, 0, std::size_t(m_width)));
            if (firstChanged == nullptr)
                continue;
            const auto* lastChanged = static_cast<const std::uint8_t*>(::memrchr(still, 0, std::size_t(m_width)));
            left = std::min(left, int(firstChanged - still));
            right = std::max(right, int(lastChanged - still) + 1);
            top = std::min(top, y);
            bottom = y + 1;
        }
        if (right == 0) {   // nothing changed: one pixel
            left = top = 0;
            right = bottom = 1;
        }
    }

    // Row y of m_still: 1 where the shown pixel may stay, 0 where the frame changes it. With
    // pixels shown clear, where unchanged() says so. Otherwise where the shown colour is the
    // entry's; with a hole tolerance and the frame's own colours at hand, where the shown colour
    // is as close to the frame's as the entry is, give or take the tolerance (dither noise in the
    // entry then never repaints a pixel, and no error builds up from frame to frame); without
    // them, where the shown colour is within the tolerance of the entry. And where the frame
    // before stored the same entry (lastStoredRow). No branch a pixel: which way a pixel goes is
    // noise to the branch predictor.
    void markStillRow(int y, const std::array<std::uint8_t, 768>& rgb, std::uint8_t* still) const
    {
        if (!m_shownClear.empty()) {
            for (int x = 0; x < m_width; ++x)
                still[x] = unchanged(y, x, rgb) ? 1 : 0;
            return;
        }
        const std::size_t rowStart = std::size_t(y) * std::size_t(m_width);
        const std::uint8_t* index = m_current + rowStart;
        const std::uint8_t* shown = m_canvas.data() + 3 * rowStart;
        const int tolerance = m_options.holeTolerance;
        if (tolerance > 0 && m_hasTarget) {
            const std::uint8_t* target = m_target.data() + 3 * rowStart;
            for (int x = 0; x < m_width; ++x) {
                const std::uint8_t* colour = &rgb[std::size_t(3 * index[x])];
                still[x] = squaredDistance(shown + 3 * x, target + 3 * x) <=
                           squaredDistance(colour, target + 3 * x) + tolerance;
            }
        } else if (tolerance > 0) {
            for (int x = 0; x < m_width; ++x)
                still[x] = squaredDistance(&rgb[std::size_t(3 * index[x])], shown + 3 * x) <= tolerance;
        } else {
            for (int x = 0; x < m_width; ++x) {
                const std::uint8_t* colour = &rgb[std::size_t(3 * index[x])];
                const std::uint8_t* at = shown + 3 * x;
                still[x] = (colour[0] == at[0]) & (colour[1] == at[1]) & (colour[2] == at[2]);
            }
        }
        if (const std::uint8_t* last = lastStoredRow(y))
            for (int x = 0; x < m_width; ++x)
                still[x] |= std::uint8_t(last[x] == index[x]);
    }

    // Where still areas must stay and lossy coding stored a pixel a little off, the pixel whose
    // entry repeats the frame before's counts as unchanged: it keeps showing what it showed.
    const std::uint8_t* lastStoredRow(int y) const
    {
        if (m_lastStored.empty())
            return nullptr;
        return m_lastStored.data() + std::size_t(y) * std::size_t(m_width);
    }

    // Red, green, blue of what a decoder shows in the rectangle, row after row.
    std::vector<std::uint8_t> shownRectangle(int left, int top, int right, int bottom) const
    {
        std::vector<std::uint8_t> colours;
        colours.reserve(std::size_t(right - left) * std::size_t(bottom - top) * 3);
        for (int y = top; y < bottom; ++y) {
            const auto row = m_canvas.begin() + std::ptrdiff_t((std::size_t(y) * std::size_t(m_width) + std::size_t(left)) * 3);
            colours.insert(colours.end(), row, row + std::ptrdiff_t(right - left) * 3);
        }
        return colours;
    }

    // How many pixels of the rectangle changedRectangle() found may stay.
    std::size_t stillPixels(int left, int top, int right, int bottom) const
    {
        const std::size_t width = std::size_t(right - left);
        std::size_t count = 0;
        for (int y = top; y < bottom; ++y) {
            const std::uint8_t* still = m_still.data() + std::size_t(y) * std::size_t(m_width) + std::size_t(left);
            std::size_t x = 0;
            for (; x + 8 <= width; x += 8) {   // eight marks of 0 or 1 at a time: their set bits
                std::uint64_t word;
                std::memcpy(&word, still + x, 8);
                count += std::size_t(std::popcount(word));
            }
            for (; x < width; ++x)
                count += still[x];
        }
        return count;
    }

    // The rectangle's indices; with `transparent` >= 0, the pixels changedRectangle() found may
    // stay become it.
    std::vector<std::uint8_t> rectangle(int left, int top, int right, int bottom, int transparent) const
    {
        const std::size_t width = std::size_t(right - left);
        std::vector<std::uint8_t> pixels(width * std::size_t(bottom - top));
        std::uint8_t* to = pixels.data();
        for (int y = top; y < bottom; ++y, to += width) {
            const std::size_t rowStart = std::size_t(y) * std::size_t(m_width) + std::size_t(left);
            const std::uint8_t* index = m_current + rowStart;
            if (transparent < 0) {
                std::memcpy(to, index, width);
                continue;
            }
            const std::uint8_t* still = m_still.data() + rowStart;
            const auto hole = std::uint8_t(transparent);
            for (std::size_t x = 0; x < width; ++x)
                to[x] = still[x] != 0 ? hole : index[x];
        }
        return pixels;
    }

    // The LZW data of `pixels` at code size `bits` (rewritten by the lossy coder to what it
    // stored). `helper`, when free, codes the lower part of a frame coded in two
    // (GifOptions::lzwInParts); without it `encoder` codes both, one after the other, to the same
    // bytes.
    void encode(LzwEncoder& encoder, std::vector<std::uint8_t>& pixels, int width, int bits,
                const std::array<std::uint8_t, 768>& rgb, int transparent, std::vector<std::uint8_t>& out,
                const std::uint8_t* alternates = nullptr, LzwEncoder* helper = nullptr,
                const std::uint8_t* shown = nullptr) const
    {
        const int initBits = std::max(bits, 2) + 1;
        const int maxDistance = (m_options.lossy + 1) / 2;
        const std::size_t split = m_options.lzwInParts && pixels.size() >= kMinLzwPartsPixels
                                      ? pixels.size() / std::size_t(width) / 2 * std::size_t(width)
                                      : 0;
        if (split > 0) {   // (the lossy coder at distance 0 codes exactly)
            LzwEncoder::Part upper, lower;
            SideTask lowerPart(
                [&] {
                    (helper != nullptr ? *helper : encoder)
                        .encodePartLossy(pixels.data() + split, pixels.size() - split, initBits, rgb.data(), maxDistance,
                                         transparent, lower, alternates != nullptr ? alternates + split : nullptr,
                                         shown != nullptr ? shown + 3 * split : nullptr);
                },
                helper != nullptr);
            encoder.encodePartLossy(pixels.data(), split, initBits, rgb.data(), maxDistance, transparent, upper,
                                    alternates, shown);
            lowerPart.finish();
            LzwEncoder::writeParts({&upper, &lower}, initBits, out);
            return;
        }
        if (m_options.lossy > 0 || alternates != nullptr) {
            encoder.encodeFrameLossy(pixels.data(), pixels.size(), initBits, rgb.data(), maxDistance, transparent, out,
                                     alternates, shown);
            return;
        }
        const IndexedPixels frame{pixels.data(), width, width, int(pixels.size() / std::size_t(width))};
        encoder.encodeFrame(frame, false, initBits, out);
    }

    // What a decoder shows after this frame.
    void paint(const std::vector<std::uint8_t>& pixels, int left, int top, int right, int bottom,
               const std::array<std::uint8_t, 768>& rgb, int transparent)
    {
        std::size_t at = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x, ++at)
                if (int(pixels[at]) != transparent) {
                    const std::size_t to = std::size_t(y) * std::size_t(m_width) + std::size_t(x);
                    std::memcpy(m_canvas.data() + to * 3, &rgb[std::size_t(3 * pixels[at])], 3);
                    if (!m_shownClear.empty())
                        m_shownClear[to] = 0;
                }
    }

    GifOptions m_options;
    int m_width, m_height;
    std::vector<std::uint8_t> m_indices;   // the frame's indices, rows of m_width
    const std::uint8_t* m_current = nullptr;   // the indices emit() stores
    std::vector<std::uint8_t> m_canvas;    // red, green, blue as displayed (optimised only)
    std::vector<std::uint8_t> m_target;    // red, green, blue of the frame emit() stores, if m_hasTarget
    bool m_hasTarget = false;
    Palette8 m_palette;
    std::unique_ptr<PaletteMapper> m_mapper;
    std::unique_ptr<PaletteMapper> m_lowerMapper;   // the lower band's, a copy of m_mapper
    Ditherer m_ditherer;
    Dib m_eightBit;
    Dib m_previousSource;   // the frame before, where still areas keep their entries
    std::vector<std::uint8_t> m_lastStored;   // the frame before's entries, when lossy and still areas stay
    LzwEncoder m_encoder;
    LzwEncoder m_sideEncoder;      // the transparent version's, beside m_encoder
    bool m_parallelVersions = false;   // code an optimised frame's versions on two threads
    bool m_parallelBands = false;      // diffuse a frame's two bands on two threads
    std::array<std::uint8_t, 256> m_remap{};
    bool m_compacted = false;
    int m_transparentSlot = -1;   // the free entry compactByNeed made, if any
    bool m_alpha = false;         // pixels under half coverage are clear
    int m_clearIndex = -1;        // their entry in the palette as quantised
    int m_clearStored = -1;       // and as the frame being stored numbers it (-1: none in it)
    std::vector<std::uint8_t> m_shownClear;   // 1 where a decoder shows nothing (optimised, with alpha)
    std::vector<std::uint8_t> m_still;        // 1 where the frame may leave the shown pixel (changedRectangle)
};

// The entries that `frame` changes pixels of `before` to.
std::bitset<256> changedTo(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& frame)
{
    std::array<bool, 256> seen{};
    const std::size_t n = std::min(before.size(), frame.size());
    for (std::size_t k = 0; k < n; ++k)
        if (frame[k] != before[k])
            seen[frame[k]] = true;
    std::bitset<256> entries;
    for (std::size_t i = 0; i < 256; ++i)
        entries[i] = seen[i];
    return entries;
}

struct ScaledSize {
    int width, height;
};

ScaledSize scaledSize(GifFrameProvider& frames, int percent)
{
    if (percent >= 100)
        return {frames.width(), frames.height()};
    return {std::max(1, int(std::lround(frames.width() * percent / 100.0))),
            std::max(1, int(std::lround(frames.height() * percent / 100.0)))};
}

// A pixel within this many levels of the frame before, in each channel, is nearly still: a
// video's noise and a slow pan stay within it over most of a frame (3 to 7 % of pixels equal,
// 54 to 67 % within it on the benchmark's panning video), a fade's steps do not (1 %).
constexpr int kNearlyStillLevels = 4;

// The knob's choices for these frames: how many pixels repeat the frame before, exactly or
// nearly, is judged on up to four pairs of frames spread over those that are not said to be
// held (repeats of the frame before, which would count as still whatever moves between).
GifOptions resolveQuality(GifFrameProvider& frames, const GifOptions& options)
{
    if (options.quality <= 0 || options.maxSize)
        return options;
    std::vector<int> changing;
    for (int i = 1; i < frames.frameCount(); ++i)
        if (!frames.repeatsPrevious(i))
            changing.push_back(i);
    std::int64_t same = 0, near = 0, all = 0;
    Dib before, after;
    for (const int k : spreadIndices(0, int(changing.size()) - 1, 4)) {
        const int i = changing[std::size_t(k)];
        if (!frames.frame(i - 1, before) || !frames.frame(i, after) || before.width() != after.width() ||
            before.height() != after.height() || before.BPP() != 32 || after.BPP() != 32)
            break;   // an unreadable frame fails the encoding itself
        for (int y = 0; y < after.height(); y += 2) {
            const std::uint8_t* a = before.scanline(y);
            const std::uint8_t* b = after.scanline(y);
            for (int x = 0; x < after.width(); ++x) {
                const int largest = std::max({std::abs(a[4 * x] - b[4 * x]), std::abs(a[4 * x + 1] - b[4 * x + 1]),
                                              std::abs(a[4 * x + 2] - b[4 * x + 2])});
                same += largest == 0;
                near += largest <= kNearlyStillLevels;
            }
            all += after.width();
        }
    }
    const GifMotion motion = all > 0 && same * 2 > all   ? GifMotion::MostlyStill
                             : all > 0 && near * 2 > all ? GifMotion::NearlyStill
                                                         : GifMotion::Moving;
    return applyGifQuality(options, motion);
}

// Whether each frame is stored as it comes rather than after the last (a shared palette made
// final then): its own palette, a palette that keeps every entry, or one the knob keeps as made.
bool storedAsTheyCome(const GifOptions& options, bool clearPixels)
{
    return options.palette == GifPalette::PerFrame || keepsWholePalette(options) ||
           (options.sharedAsMade && !clearPixels);
}

bool usable(GifFrameProvider& frames)
{
    return frames.frameCount() > 0 && frames.width() > 0 && frames.height() > 0 && frames.width() <= 65535 &&
           frames.height() <= 65535;
}

GifEncodeStatus encodeWith(GifFrameProvider& frames, GifOptions options, const Palette8* globalPalette,
                           std::vector<std::uint8_t>& out, const StepProgress& progress, bool helperThreads)
{
    out.clear();
    if (!usable(frames))
        return GifEncodeStatus::NoFrames;
    options = resolveQuality(frames, options);
    options.scalePercent = std::clamp(options.scalePercent, 1, 100);
    const ScaledSize size = scaledSize(frames, options.scalePercent);
    GifEncoder encoder(options, size.width, size.height);
    encoder.setHelperThreads(helperThreads);
    encoder.setTransparentPixels(frames.hasTransparency());
    if (const GifEncodeStatus s = encoder.preparePalette(frames, globalPalette); s != GifEncodeStatus::Done)
        return s;
    Dib full, scaled;
    const int n = frames.frameCount();
    const bool atOnce = storedAsTheyCome(options, frames.hasTransparency());
    const int steps = atOnce ? n : 2 * n;
    for (int i = 0; i < n; ++i) {
        const Dib* frame = readFrame(frames, i, options.scalePercent, full, scaled);
        if (frame == nullptr)
            return GifEncodeStatus::FrameUnreadable;
        if (const GifEncodeStatus s = encoder.addFrame(*frame); s != GifEncodeStatus::Done)
            return s;
        if (!reportStep(progress, i + 1, steps))
            return GifEncodeStatus::Stopped;
    }
    return encoder.finish(out, [&](std::int64_t done, std::int64_t) {
        return atOnce || reportStep(progress, n + done, steps);
    });
}

// The runs of repeated frames an estimate codes one frame of; more runs are sampled.
constexpr int kMostRepeatRuns = 8;
// The frames of a sampled run an estimate codes: a repeat is not always free (with lossy
// coding, the first repeats mend what it stored off), and the last coded stands for the rest.
constexpr int kRunFramesCoded = 3;

// With a hole tolerance, what a frame leaves as shown depends on the frames before, and sizes
// can alternate: a frame that repaints most of the picture, then one that leaves most of it
// (on a fade of a grainy picture at 50, 2.4 KB and 1.9 KB by turns). So each sample frame
// stands for its share together with the frame after it, where that one changes too.
void pairSamples(GifFrameProvider& frames, std::vector<int>& picks, std::vector<double>& weights)
{
    std::vector<int> paired;
    std::vector<double> pairedWeights;
    for (std::size_t j = 0; j < picks.size(); ++j) {
        const int next = picks[j] + 1;
        const bool partner = next < frames.frameCount() && !frames.repeatsPrevious(next) &&
                             (j + 1 == picks.size() || picks[j + 1] != next);
        paired.push_back(picks[j]);
        pairedWeights.push_back(partner ? weights[j] / 2 : weights[j]);
        if (partner) {
            paired.push_back(next);
            pairedWeights.push_back(weights[j] / 2);
        }
    }
    picks = std::move(paired);
    weights = std::move(pairedWeights);
}

// With `sideThread`, an optimised frame's transparent versions are coded beside its opaque one:
// the same sizes, sooner (the size search makes several estimates, each nearly an encoding).
std::optional<std::int64_t> estimateWith(GifFrameProvider& frames, GifOptions options,
                                         const Palette8* globalPalette, int samples, bool sideThread = false)
{
    if (!usable(frames))
        return std::nullopt;
    options = resolveQuality(frames, options);
    options.scalePercent = std::clamp(options.scalePercent, 1, 100);
    const ScaledSize size = scaledSize(frames, options.scalePercent);
    AnimationCoder coder(options, size.width, size.height);
    coder.setTransparentPixels(frames.hasTransparency());
    coder.setParallelVersions(sideThread && std::thread::hardware_concurrency() >= 2);
    if (coder.preparePalette(frames, globalPalette) != GifEncodeStatus::Done)
        return std::nullopt;
    // Frames 1 .. n - 1 that change, and the runs of frames that repeat the one before.
    const int n = frames.frameCount();
    std::vector<int> changing;
    std::vector<std::pair<int, int>> runs;   // first frame, length
    for (int i = 1; i < n; ++i) {
        if (!frames.repeatsPrevious(i))
            changing.push_back(i);
        else if (!runs.empty() && runs.back().first + runs.back().second == i)
            ++runs.back().second;
        else
            runs.emplace_back(i, 1);
    }
    // Each sample stands for the changing frames nearer to it than to any other sample.
    std::vector<int> picks;
    std::vector<double> weights;
    const std::vector<int> spread = spreadIndices(0, int(changing.size()) - 1, std::max(1, samples));
    for (std::size_t j = 0; j < spread.size(); ++j) {
        picks.push_back(changing[std::size_t(spread[j])]);
        const double from = j == 0 ? -0.5 : (spread[j - 1] + spread[j]) / 2.0;
        const double to = j + 1 == spread.size() ? double(changing.size()) - 0.5 : (spread[j] + spread[j + 1]) / 2.0;
        weights.push_back(to - from);
    }
    if (options.optimize && options.holeTolerance > 0)
        pairSamples(frames, picks, weights);
    std::vector<std::pair<int, int>> pickedRuns;
    for (const int k : spreadIndices(0, int(runs.size()) - 1, kMostRepeatRuns))
        pickedRuns.push_back(runs[std::size_t(k)]);
    std::vector<int> targets = picks;
    for (const auto& run : pickedRuns)
        for (int j = 0; j < std::min(run.second, kRunFramesCoded); ++j)
            targets.push_back(run.first + j);
    std::sort(targets.begin(), targets.end());
    // The frames to encode: the first, and each target with (when optimised) the frame before.
    std::vector<int> order{0};
    for (const int i : targets) {
        if (options.optimize && i - 1 != order.back())
            order.push_back(i - 1);
        order.push_back(i);
    }
    std::vector<std::vector<std::uint8_t>> quantised;
    std::array<bool, 256> used{};
    Dib full, scaled;
    // As the encoder: a palette final before the first frame goes with each frame's indices.
    const bool atOnce = storedAsTheyCome(options, frames.hasTransparency());
    for (const int i : order) {
        const Dib* frame = readFrame(frames, i, options.scalePercent, full, scaled);
        if (frame == nullptr || !coder.quantiseFrame(*frame, i == 0))
            return std::nullopt;
        quantised.push_back(coder.indices());
        for (const std::uint8_t index : quantised.back())
            used[index] = true;
        if (atOnce) {   // emitted here
            std::vector<std::uint8_t> bytes;
            coder.setTargetColours(*frame);
            coder.emit(quantised.back(), i == 0, bytes);
            quantised.back() = std::move(bytes);
        }
    }
    if (!atOnce) {
        std::vector<std::bitset<256>> changes;
        for (std::size_t k = 1; k < order.size(); ++k)
            if (options.optimize && order[k] - 1 == order[k - 1])
                changes.push_back(changedTo(quantised[k - 1], quantised[k]));
        if (!keepsWholePalette(options))
            coder.compactSharedPalette(used, &changes);
    }
    std::vector<std::uint8_t> header;
    coder.header(header);
    std::int64_t first = 0, repeated = 0, repeatFrames = 0, pickedRepeats = 0;
    double sampled = 0;
    for (const auto& run : runs)
        repeatFrames += run.second;
    for (std::size_t k = 0; k < order.size(); ++k) {
        std::int64_t bytes = 0;
        if (atOnce) {
            bytes = std::int64_t(quantised[k].size());
        } else {
            std::vector<std::uint8_t> block;
            coder.emit(quantised[k], order[k] == 0, block);
            bytes = std::int64_t(block.size());
        }
        const auto run = std::find_if(pickedRuns.begin(), pickedRuns.end(), [&](const auto& r) {
            return order[k] >= r.first && order[k] < r.first + std::min(r.second, kRunFramesCoded);
        });
        if (k == 0) {
            first = bytes;
        } else if (run != pickedRuns.end()) {
            const int coded = std::min(run->second, kRunFramesCoded);
            const bool lastCoded = order[k] == run->first + coded - 1;
            repeated += lastCoded ? bytes * (run->second - coded + 1) : bytes;
            pickedRepeats += lastCoded ? run->second - coded + 1 : 1;
        } else if (const auto pick = std::find(picks.begin(), picks.end(), order[k]); pick != picks.end()) {
            sampled += double(bytes) * weights[std::size_t(pick - picks.begin())];
        }   // a frame encoded only as the one before a sample is not counted
    }
    std::int64_t total = std::int64_t(header.size()) + first + 1;
    total += std::int64_t(std::llround(sampled));
    if (pickedRepeats > 0)
        total += std::int64_t(std::llround(double(repeated) / double(pickedRepeats) * double(repeatFrames)));
    return total;
}

// Keeps the frames read last (up to a memory budget) for the size search, whose estimates ask
// for the same sample frames again and again.
class CachedFrames final : public GifFrameProvider {
public:
    CachedFrames(GifFrameProvider& frames, std::size_t budgetBytes) : m_frames(frames)
    {
        const std::size_t frameBytes = std::size_t(std::max(1, frames.width())) * std::size_t(std::max(1, frames.height())) * 4;
        m_capacity = std::max<std::size_t>(1, budgetBytes / frameBytes);
    }
    int frameCount() const override { return m_frames.frameCount(); }
    int width() const override { return m_frames.width(); }
    int height() const override { return m_frames.height(); }
    bool hasTransparency() const override { return m_frames.hasTransparency(); }
    bool repeatsPrevious(int index) override { return m_frames.repeatsPrevious(index); }
    bool frame(int index, Dib& surface) override
    {
        for (const auto& [number, kept] : m_kept)
            if (number == index) {
                kept.cloneTo(surface);
                return true;
            }
        if (!m_frames.frame(index, surface))
            return false;
        if (m_kept.size() >= m_capacity)
            m_kept.erase(m_kept.begin());
        m_kept.emplace_back(index, Dib());
        surface.cloneTo(m_kept.back().second);
        return true;
    }

private:
    GifFrameProvider& m_frames;
    std::size_t m_capacity = 1;
    std::vector<std::pair<int, Dib>> m_kept;   // oldest first
};

constexpr std::size_t kSearchCacheBytes = 160u << 20;

}  // namespace

// Stores the frames of a palette that keeps every entry on two threads of their own while the
// caller reduces the next frames: the LZW coding of a frame costs more than its rendering and
// reduction together, and such frames can be coded in any order.
class BackgroundStorer {
public:
    explicit BackgroundStorer(const AnimationCoder& coder)
    {
        for (int i = 0; i < kThreads; ++i)
            m_coders.push_back(std::make_unique<AnimationCoder>(coder, AnimationCoder::ForStoring{}));
        try {
            for (int i = 0; i < kThreads; ++i)
                m_threads.emplace_back([this, i] { run(*m_coders[std::size_t(i)]); });
        } catch (const std::system_error&) {
            if (m_threads.empty())
                throw;   // not one thread: the caller's GIF cannot be made this way
        }
    }
    ~BackgroundStorer() { close(); }

    // Queues a copy of frame `index`'s indices; waits while a few frames are queued already.
    // The copies' memory goes round (fresh pages cost more than the copy itself).
    void add(int index, const std::vector<std::uint8_t>& indices)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_queue.size() < kMostQueued || m_error; });
        std::vector<std::uint8_t> copy;
        if (!m_spare.empty()) {
            copy = std::move(m_spare.back());
            m_spare.pop_back();
        }
        lock.unlock();
        copy.assign(indices.begin(), indices.end());
        lock.lock();
        m_queue.emplace_back(index, std::move(copy));
        if (m_blocks.size() <= std::size_t(index))
            m_blocks.resize(std::size_t(index) + 1);
        m_changed.notify_all();
    }
    // Waits for every frame; appends their blocks in order. Raises what failed on a thread.
    void finish(std::vector<std::uint8_t>& out)
    {
        close();
        if (m_error)
            std::rethrow_exception(m_error);
        std::size_t total = out.size() + 1;
        for (const std::vector<std::uint8_t>& block : m_blocks)
            total += block.size();
        out.reserve(total);
        for (std::vector<std::uint8_t>& block : m_blocks) {   // each block goes as it is copied
            out.insert(out.end(), block.begin(), block.end());
            std::vector<std::uint8_t>().swap(block);
        }
    }

private:
    static constexpr int kThreads = 2;
    static constexpr std::size_t kMostQueued = 4;

    void close()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            m_changed.notify_all();
        }
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

    void run(AnimationCoder& coder)
    {
        try {
            for (;;) {
                std::pair<int, std::vector<std::uint8_t>> next;
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [&] { return !m_queue.empty() || m_closing; });
                    if (m_queue.empty())
                        return;
                    next = std::move(m_queue.front());
                    m_queue.pop_front();
                    m_changed.notify_all();
                }
                std::vector<std::uint8_t> block;
                coder.emit(next.second, next.first == 0, block);
                std::lock_guard lock(m_mutex);
                m_blocks[std::size_t(next.first)] = std::move(block);
                m_spare.push_back(std::move(next.second));
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            if (!m_error)
                m_error = std::current_exception();
            m_changed.notify_all();
        }
    }

    std::vector<std::unique_ptr<AnimationCoder>> m_coders;   // one per thread
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<int, std::vector<std::uint8_t>>> m_queue;
    std::vector<std::vector<std::uint8_t>> m_spare;    // emptied copies, for the next frames
    std::vector<std::vector<std::uint8_t>> m_blocks;   // by frame
    std::exception_ptr m_error;
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

// Stores frames one after another (their LZW coding, each on what the one before left) on a
// thread of its own while the caller quantises the next ones. Two frames may wait: with only
// the frame before in hand, the coding and the quantiser's two bands kept three threads on two
// cores, and whichever finished last ran alone (a quarter of the time idle on a 640 x 360 video).
class InTurnStorer {
public:
    struct Frame {
        Palette8 palette;
        std::vector<std::uint8_t> target;    // AnimationCoder::targetColours
        std::vector<std::uint8_t> indices;
        bool first = false;
    };

    // `storing` and `out` are used on the storer's thread until finish(). Throws
    // std::system_error when no thread is to be had.
    InTurnStorer(AnimationCoder& storing, std::vector<std::uint8_t>& out)
        : m_storing(storing), m_out(out), m_thread([this] { run(); })
    {
    }
    ~InTurnStorer()   // frames still waiting are dropped: the animation is given up
    {
        {
            std::lock_guard lock(m_mutex);
            m_givenUp = true;
        }
        close();
    }
    InTurnStorer(const InTurnStorer&) = delete;
    InTurnStorer& operator=(const InTurnStorer&) = delete;

    // Appends the frame's block to `out`, coded by `storing` (`block` is room to code it in).
    static void store(AnimationCoder& storing, Frame& frame, std::vector<std::uint8_t>& block,
                      std::vector<std::uint8_t>& out)
    {
        storing.takePalette(frame.palette);
        storing.setTargetColours(std::move(frame.target));
        block.clear();
        storing.emit(frame.indices, frame.first, block);
        out.insert(out.end(), block.begin(), block.end());
    }

    // Queues the frame; waits while two are queued. Raises what failed on the thread.
    void add(Frame&& frame)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_queue.size() < kMostQueued || m_error; });
        if (m_error)
            std::rethrow_exception(m_error);
        m_queue.push_back(std::move(frame));
        m_changed.notify_all();
    }
    // Waits for every frame to be stored. Raises what failed on the thread.
    void finish()
    {
        close();
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    static constexpr std::size_t kMostQueued = 2;

    void close()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            m_changed.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

    void run()
    {
        std::vector<std::uint8_t> block;
        bool failed = false;   // each frame is coded on what the one before left: none after
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return !m_queue.empty() || m_closing; });
            if (m_queue.empty() || m_givenUp)
                return;
            Frame& frame = m_queue.front();
            lock.unlock();
            try {
                if (!failed)
                    store(m_storing, frame, block, m_out);
            } catch (...) {
                failed = true;
                std::lock_guard errorLock(m_mutex);
                m_error = std::current_exception();
            }
            lock.lock();
            m_queue.pop_front();   // only now: add() counts the frame being stored as queued
            m_changed.notify_all();
        }
    }

    AnimationCoder& m_storing;
    std::vector<std::uint8_t>& m_out;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Frame> m_queue;
    bool m_closing = false;
    bool m_givenUp = false;
    std::exception_ptr m_error;
    std::thread m_thread;   // last: it starts once the rest is made
};

struct GifEncoder::State {
    State(const GifOptions& options, int width, int height)
        : options(options), coder(options, width, height), width(width), height(height)
    {
        this->options.lossy = std::clamp(options.lossy, 0, kGifMaxLossy);
        coder.setParallelBands(std::thread::hardware_concurrency() >= 2);
    }
    ~State() { inTurn.reset(); }   // (before `storing`, which its thread uses)
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    bool perFrame() const { return options.palette == GifPalette::PerFrame; }
    // Each frame stored as it comes (no later frame changes how an earlier one is numbered).
    bool storesAtOnce() const { return storedAsTheyCome(options, alpha); }
    // Frames stored one after another, each on what the one before showed: their own
    // palettes, or a shared one kept as made for optimised frames.
    bool storesInTurn() const { return perFrame() || (options.sharedAsMade && options.optimize); }
    GifEncodeStatus storeAtOnce(const Dib& frame, bool first);
    GifEncodeStatus finishShared(std::vector<std::uint8_t>& out, const StepProgress& progress);

    GifOptions options;
    AnimationCoder coder;
    int width, height;
    int frames = 0;
    bool helperThreads = true;
    bool alpha = false;   // pixels under half coverage are clear
    // Frames stored in turn on a helper: a second coder stores frames (their LZW coding) on
    // its own thread while the caller renders and quantises the next ones.
    std::unique_ptr<AnimationCoder> storing;
    std::unique_ptr<InTurnStorer> inTurn;
    // A shared palette: every frame's indices, kept until the palette is final.
    std::vector<std::vector<std::uint8_t>> quantised;
    std::array<bool, 256> used{};
    std::vector<std::bitset<256>> changes;   // per later frame: the entries it changes pixels to
    // Frames stored at once: the header and the frames so far (those of the storer to come).
    std::vector<std::uint8_t> stored;
    std::unique_ptr<BackgroundStorer> storer;
};

GifEncoder::GifEncoder(const GifOptions& options, int width, int height)
    : m_state(std::make_unique<State>(applyGifQuality(options), width, height))
{
}

GifEncoder::~GifEncoder() = default;

void GifEncoder::setHelperThreads(bool on)
{
    m_state->helperThreads = on;
    m_state->coder.setParallelBands(on && std::thread::hardware_concurrency() >= 2);
}

void GifEncoder::setTransparentPixels(bool on)
{
    m_state->alpha = on;
    m_state->coder.setTransparentPixels(on);
}

bool GifEncoder::needsPalette() const { return m_state->coder.needsPalette(); }

GifEncodeStatus GifEncoder::preparePalette(GifFrameProvider& frames, const Palette8* ready)
{
    return m_state->coder.preparePalette(frames, ready);
}

int GifEncoder::framesAdded() const { return m_state->frames; }

void GifEncoder::shownFrame(Dib& out) const { m_state->coder.shown(out); }

GifEncodeStatus GifEncoder::previewFrame(const Dib& frame, Dib& shown)
{
    State& s = *m_state;
    if (frame.BPP() != 32 || frame.width() != s.width || frame.height() != s.height)
        return GifEncodeStatus::FrameUnreadable;
    if (!s.coder.quantiseFrame(frame, s.frames == 0))
        return GifEncodeStatus::PaletteFailed;
    s.coder.shown(shown);
    return GifEncodeStatus::Done;
}

GifEncodeStatus GifEncoder::addFrame(const Dib& frame)
{
    State& s = *m_state;
    if (frame.BPP() != 32 || frame.width() != s.width || frame.height() != s.height)
        return GifEncodeStatus::FrameUnreadable;
    const bool first = s.frames == 0;
    if (s.storesAtOnce()) {
        if (const GifEncodeStatus status = s.storeAtOnce(frame, first); status != GifEncodeStatus::Done)
            return status;
    } else {
        if (!s.coder.quantiseFrame(frame, first))
            return GifEncodeStatus::PaletteFailed;
        s.quantised.push_back(s.coder.indices());
        for (const std::uint8_t index : s.quantised.back())
            s.used[index] = true;
        if (s.options.optimize && !first)
            s.changes.push_back(changedTo(s.quantised[s.quantised.size() - 2], s.quantised.back()));
    }
    ++s.frames;
    return GifEncodeStatus::Done;
}

GifEncodeStatus GifEncoder::State::storeAtOnce(const Dib& frame, bool first)
{
    const bool twoCores = helperThreads && std::thread::hardware_concurrency() >= 2;
    // With clear pixels each frame's clear entry travels with its palette: stored here.
    if (storesInTurn() && twoCores && !alpha) {
        if (!coder.quantiseFrame(frame, first))
            return GifEncodeStatus::PaletteFailed;
        if (first) {
            coder.header(stored);
            storing = std::make_unique<AnimationCoder>(options, width, height);
            storing->setParallelVersions(true);   // its parts and transparent versions side by side
            try {
                inTurn = std::make_unique<InTurnStorer>(*storing, stored);
            } catch (const std::system_error&) {
                // no thread to be had: stored here below
            }
        }
        InTurnStorer::Frame stores;
        coder.copyPaletteTo(stores.palette);
        stores.target = storing->targetColours(frame);
        stores.indices = coder.indices();
        stores.first = first;
        if (inTurn) {
            inTurn->add(std::move(stores));
            return GifEncodeStatus::Done;
        }
        std::vector<std::uint8_t> block;
        InTurnStorer::store(*storing, stores, block, stored);
        return GifEncodeStatus::Done;
    }
    if (storesInTurn() || !twoCores) {
        std::vector<std::uint8_t> block;
        if (const GifEncodeStatus status = coder.frame(frame, first, block); status != GifEncodeStatus::Done)
            return status;
        if (first)
            coder.header(stored);
        stored.insert(stored.end(), block.begin(), block.end());
        return GifEncodeStatus::Done;
    }
    if (!coder.quantiseFrame(frame, first))
        return GifEncodeStatus::PaletteFailed;
    if (first) {   // the palette is final now
        coder.header(stored);
        storer = std::make_unique<BackgroundStorer>(coder);
    }
    storer->add(frames, coder.indices());
    return GifEncodeStatus::Done;
}

GifEncodeStatus GifEncoder::finish(std::vector<std::uint8_t>& out, const StepProgress& progress)
{
    State& s = *m_state;
    out.clear();
    if (s.frames == 0)
        return GifEncodeStatus::NoFrames;
    if (s.storesAtOnce()) {
        if (s.inTurn)
            s.inTurn->finish();
        if (s.storer)
            s.storer->finish(s.stored);
        out = std::move(s.stored);
        out.push_back(kGifTrailer);
        return GifEncodeStatus::Done;
    }
    return s.finishShared(out, progress);
}

// The shared palette made final, then every frame stored. Frames are independent once the
// palette is known, except that an optimised frame depends on what the one before shows: that
// is the frame before as quantised, unless lossy LZW changed what was stored. So the frames are
// stored in two halves on two threads, the second half's coder shown the frame before it, unless
// the animation is optimised and lossy.
GifEncodeStatus GifEncoder::State::finishShared(std::vector<std::uint8_t>& out, const StepProgress& progress)
{
    if (!keepsWholePalette(options))
        coder.compactSharedPalette(used, &changes);
    coder.header(out);
    const int n = frames;
    std::vector<std::vector<std::uint8_t>> blocks(static_cast<std::size_t>(n));
    const auto store = [&](AnimationCoder& by, int k) {
        const std::uint8_t* next = alpha && k + 1 < n ? quantised[std::size_t(k + 1)].data() : nullptr;
        by.emit(quantised[std::size_t(k)], k == 0, blocks[std::size_t(k)], next);
        std::vector<std::uint8_t>().swap(quantised[std::size_t(k)]);
    };

    int split = n;
    std::unique_ptr<AnimationCoder> second;
    std::thread helper;
    std::exception_ptr helperError;
    std::atomic<bool> stop{false};
    // (Clear pixels too: whether a frame clears what it leaves depends on the next. With a hole
    // tolerance, what a frame shows is not its entries but what the frames before left.)
    const bool dependent = options.optimize && (options.lossy > 0 || alpha || options.holeTolerance > 0);
    const bool twoCores = helperThreads && std::thread::hardware_concurrency() >= 2;
    coder.setParallelVersions(dependent && twoCores);
    if (twoCores && !dependent && n >= 2) {
        split = (n + 1) / 2;
        second = std::make_unique<AnimationCoder>(coder, AnimationCoder::ForStoring{});
        if (options.optimize)
            second->primeCanvas(quantised[std::size_t(split - 1)]);
        try {
            helper = std::thread([&] {
                try {
                    for (int k = split; k < n && !stop.load(std::memory_order_relaxed); ++k)
                        store(*second, k);
                } catch (...) {
                    helperError = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            split = n;   // no thread to be had: every frame here
        }
    }
    // The helper must be joined however this thread leaves (a stop, no memory).
    struct Joiner {
        std::thread& thread;
        std::atomic<bool>& stop;
        ~Joiner()
        {
            stop = true;
            if (thread.joinable())
                thread.join();
        }
    } joiner{helper, stop};

    for (int k = 0; k < n; ++k) {
        if (k == split) {
            helper.join();   // the second half is done (or there was no helper)
            if (helperError)
                std::rethrow_exception(helperError);
            k = n - 1;       // its frames count as stored now
        } else {
            store(coder, k);
        }
        if (!reportStep(progress, k + 1, n))
            return GifEncodeStatus::Stopped;
    }
    std::size_t total = out.size() + 1;
    for (const std::vector<std::uint8_t>& block : blocks)
        total += block.size();
    out.reserve(total);
    for (const std::vector<std::uint8_t>& block : blocks)
        out.insert(out.end(), block.begin(), block.end());
    out.push_back(kGifTrailer);
    return GifEncodeStatus::Done;
}

GifEncodeStatus encodeGifAnimation(GifFrameProvider& frames, const GifOptions& options,
                                   std::vector<std::uint8_t>& out, const StepProgress& progress, bool helperThreads)
{
    return encodeWith(frames, options, nullptr, out, progress, helperThreads);
}

std::optional<std::int64_t> estimateGifSize(GifFrameProvider& frames, const GifOptions& options, int samples)
{
    return estimateWith(frames, options, nullptr, samples);
}

std::vector<GifOptions> gifSizeLadder(int delay)
{
    std::vector<GifOptions> ladder;
    const auto add = [&](GifDither dither, int lossy, int percent) {
        GifOptions o;
        o.palette = GifPalette::Global;
        o.dither = dither;
        o.optimize = true;
        o.lossy = lossy;
        o.scalePercent = percent;
        o.delay = delay;
        ladder.push_back(o);
    };
    add(GifDither::Diffusion, 0, 100);
    add(GifDither::Ordered8, 0, 100);
    add(GifDither::Ordered, 0, 100);
    add(GifDither::None, 0, 100);
    for (const int lossy : {20, 40, 60, 80, 120, 160, 200})
        add(GifDither::Ordered, lossy, 100);
    for (const int percent : {75, 50, 35, 25, 15, 10})
        add(GifDither::Ordered, 80, percent);
    return ladder;
}

namespace {

// The size search's share of the budget: a file lands between these fractions of it.
constexpr double kLeastShare = 0.90, kAimedShare = 0.95;
constexpr int kMostEncodings = 3;

// The choices between a ladder rung over the budget and the next one under it, as one number:
// the lossy level of one dither, or the frames' size in percent. The file shrinks from `from`
// towards `to`.
struct ChoiceCurve {
    GifOptions base;
    bool bySize = false;
    int from = 0, to = 0;

    GifOptions at(int value) const
    {
        GifOptions options = base;
        (bySize ? options.scalePercent : options.lossy) = value;
        return options;
    }
};

// The curve between rung `fits` (the first whose estimate fits) and the rung before it.
std::optional<ChoiceCurve> curveBefore(const std::vector<GifOptions>& ladder, std::size_t fits)
{
    if (fits == 0)
        return std::nullopt;   // the best choice fits: nothing larger to search
    const GifOptions& over = ladder[fits - 1];
    const GifOptions& under = ladder[fits];
    if (under.scalePercent < 100)
        return ChoiceCurve{under, true, over.scalePercent, under.scalePercent};
    if (under.lossy > 0)
        return ChoiceCurve{under, false, over.dither == under.dither ? over.lossy : 0, under.lossy};
    return ChoiceCurve{over, false, 0, kGifMaxLossy};   // the dither over the budget, made lossy
}

// The estimates a search reports progress against: the ladder halved, and the interpolations
// along two curves. Most searches make fewer.
constexpr int kSearchSteps = 24;

class SizeSearch {
public:
    SizeSearch(GifFrameProvider& frames, GifFitResult& result, const StepProgress& progress, bool helperThreads)
        : m_frames(frames), m_result(result), m_progress(progress), m_helperThreads(helperThreads)
    {
    }

    // The estimate of `options`, made with the palette of its frame size; each choice once.
    // Nullopt, with the status Stopped, when the progress callback says stop.
    std::optional<std::int64_t> estimate(const GifOptions& options)
    {
        for (const auto& [known, bytes] : m_estimates)
            if (known == options)
                return bytes;
        if (!reportStep(m_progress, std::min<std::int64_t>(std::int64_t(m_estimates.size()), kSearchSteps - 1),
                        kSearchSteps)) {
            m_result.status = GifEncodeStatus::Stopped;
            return std::nullopt;
        }
        if (!paletteFor(options))
            return std::nullopt;
        const std::optional<std::int64_t> size = estimateWith(m_frames, options, &m_palette, 4, m_helperThreads);
        if (!size) {
            m_result.status = GifEncodeStatus::FrameUnreadable;
            return std::nullopt;
        }
        m_estimates.emplace_back(options, *size);
        if (m_result.smallest == 0 || *size < m_result.smallest)
            m_result.smallest = *size;
        return size;
    }

    // The value on `curve` whose estimate, times `correction`, is the largest at most `aim`:
    // found by interpolating the logarithm of the size between the two ends. Nullopt when even
    // the curve's small end is over `aim`; no value when an estimate fails.
    std::optional<int> valueFor(const ChoiceCurve& curve, double aim, double correction, bool& failed)
    {
        const auto predicted = [&](int value) -> std::optional<double> {
            const std::optional<std::int64_t> e = estimate(curve.at(value));
            if (!e)
                return std::nullopt;
            return double(*e) * correction;
        };
        std::optional<double> large = predicted(curve.from), small = predicted(curve.to);
        failed = !large || !small;
        if (failed)
            return std::nullopt;
        if (*small > aim)
            return std::nullopt;
        if (*large <= aim)
            return curve.from;
        int over = curve.from, under = curve.to;
        for (int round = 0; round < 6 && std::abs(under - over) > 1; ++round) {
            const double share = std::log(*large / aim) / std::log(*large / *small);
            int value = over + int(std::lround(share * (under - over)));
            value = std::clamp(value, std::min(over, under) + 1, std::max(over, under) - 1);
            const std::optional<double> size = predicted(value);
            failed = !size;
            if (failed)
                return std::nullopt;
            if (*size > aim) {
                over = value;
                large = size;
            } else {
                under = value;
                small = size;
            }
            if (*size <= aim && *size >= aim * (kLeastShare / kAimedShare + 1) / 2)
                break;   // close enough to the aim
        }
        return under;
    }

    // Encodes `options` (its palette made first); false when the encoder fails.
    bool encode(const GifOptions& options, std::vector<std::uint8_t>& bytes)
    {
        if (!paletteFor(options))
            return false;
        ++m_result.encodings;
        const GifEncodeStatus s = encodeWith(m_frames, options, &m_palette, bytes, m_progress, m_helperThreads);
        if (s != GifEncodeStatus::Done) {
            m_result.status = s;
            return false;
        }
        m_result.smallest = std::min(m_result.smallest, std::int64_t(bytes.size()));
        return true;
    }

private:
    // One global palette per frame size: the dither and lossy choices share it.
    bool paletteFor(const GifOptions& options)
    {
        if (options.scalePercent == m_palettePercent)
            return true;
        AnimationCoder coder(options, 1, 1);
        m_result.status = coder.preparePalette(m_frames, nullptr);
        if (m_result.status != GifEncodeStatus::Done)
            return false;
        const Palette8& made = coder.palette();
        m_palette.initialize(made.entries());
        std::memcpy(m_palette.entryData(), made.entryData(), Palette8::kMaxEntries * 4);
        m_palette.buildLogicalPalette();
        m_palettePercent = options.scalePercent;
        return true;
    }

    GifFrameProvider& m_frames;
    GifFitResult& m_result;
    const StepProgress& m_progress;
    bool m_helperThreads;
    int m_palettePercent = 0;
    Palette8 m_palette;
    std::vector<std::pair<GifOptions, std::int64_t>> m_estimates;
};

}  // namespace

GifFitResult fitGifToSize(GifFrameProvider& source, std::int64_t maxBytes, int delay, const StepProgress& progress,
                          bool helperThreads)
{
    CachedFrames frames(source, kSearchCacheBytes);
    GifFitResult result;
    if (!usable(frames)) {
        result.status = GifEncodeStatus::NoFrames;
        return result;
    }
    SizeSearch search(frames, result, progress, helperThreads);
    const std::vector<GifOptions> ladder = gifSizeLadder(delay);
    // The smallest choice first: when even it is over the budget, no walk down the ladder helps.
    const std::optional<std::int64_t> least = search.estimate(ladder.back());
    if (!least || *least > maxBytes) {
        result.smallest = least.value_or(0);
        return result;
    }
    // Then the best choice, and between the last rung known over and the first known to fit,
    // halving: a rung that fits with the one before over the budget (sizes fall down the
    // ladder; an estimate is nearly an encoding, so a walk rung by rung cost up to 16).
    std::size_t over = 0, fits = ladder.size() - 1;
    const std::optional<std::int64_t> best = search.estimate(ladder.front());
    if (!best)
        return result;
    if (*best <= maxBytes)
        fits = 0;
    while (fits > over + 1) {
        const std::size_t middle = (over + fits) / 2;
        const std::optional<std::int64_t> estimated = search.estimate(ladder[middle]);
        if (!estimated)
            return result;
        (*estimated <= maxBytes ? fits : over) = middle;
    }
    // Up to three encodings along the curve before the rung that fits, each aimed at 95 % of
    // the budget through the real size over the estimate of the encoding before.
    std::optional<ChoiceCurve> curve = curveBefore(ladder, fits);
    const double aim = kAimedShare * double(maxBytes);
    double correction = 1;
    std::vector<GifOptions> tried;
    std::vector<std::uint8_t> bytes;
    for (int round = 0; round < kMostEncodings; ++round) {
        bool failed = false;
        GifOptions options;
        // The aim, then (when the curve's steps are coarse, as small frames' sizes are and the
        // aim leads back to a choice made already) the budget itself.
        for (const double target : {aim, double(maxBytes)}) {
            std::optional<int> value = curve ? search.valueFor(*curve, target, correction, failed) : std::nullopt;
            if (failed)
                return result;
            options = value ? curve->at(*value) : ladder[fits];
            if (std::find(tried.begin(), tried.end(), options) == tried.end())
                break;
        }
        if (std::find(tried.begin(), tried.end(), options) != tried.end())
            break;   // both lead back to a choice made already
        tried.push_back(options);
        if (!search.encode(options, bytes)) {
            result.bytes.clear();
            return result;
        }
        const auto size = std::int64_t(bytes.size());
        if (size <= maxBytes && (!result.fits || size > std::int64_t(result.bytes.size()))) {
            result.fits = true;
            result.chosen = options;
            result.bytes = bytes;
        }
        if (size <= maxBytes && double(size) >= kLeastShare * double(maxBytes))
            break;
        if (size > maxBytes && options == ladder[fits] && fits + 1 < ladder.size()) {
            // The rung fitted on its estimate, not once encoded: the choice lies between it and
            // the next one down (else the next rung, well under the budget, would be taken).
            ++fits;
            curve = curveBefore(ladder, fits);
        } else if (!curve) {
            break;   // the best choice fits: no other aim to take
        }
        if (const std::optional<std::int64_t> estimated = search.estimate(options); estimated && *estimated > 0)
            correction = double(size) / double(*estimated);
    }
    if (result.fits)
        return result;
    // Three encodings over the budget: on down the ladder, each choice whose estimate fits
    // encoded until one does.
    for (std::size_t k = fits + 1; k < ladder.size(); ++k) {
        const std::optional<std::int64_t> estimated = search.estimate(ladder[k]);
        if (!estimated)
            return result;
        if (double(*estimated) * correction > double(maxBytes))
            continue;
        if (!search.encode(ladder[k], bytes)) {
            result.bytes.clear();
            return result;
        }
        if (std::int64_t(bytes.size()) <= maxBytes) {
            result.fits = true;
            result.chosen = ladder[k];
            result.bytes = std::move(bytes);
            return result;
        }
    }
    result.bytes.clear();
    return result;
}

}  // namespace vantorell
