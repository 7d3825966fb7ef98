#include "colour/AnimationColours.h"

#include "colour/Palette8.h"
#include "dib/Dib.h"

#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <memory>

#include <dlfcn.h>

namespace vantorell {

namespace {

constexpr std::uint16_t kUnknown = 0xFFFF;
constexpr std::uint32_t kNoList = 0xFFFFFFFF;
// Candidates' distances from their bucket's centre are kept in 64ths of a channel step; every
// colour of a bucket lies within 1.5 x sqrt(3) steps of its centre, 166.3 of those units.
constexpr int kDistanceUnits = 64;
constexpr int kBucketReach = 167;
// Error diffusion passes on three quarters of each error: the full error turns the grain of a
// photograph into more noise (lower PSNR, larger files), three quarters keeps gradients smooth.
// A fine mapper passes on half: on the benchmark fade's per-frame palettes, with exact colours,
// 0.36 dB more PSNR and 1.5 % fewer bytes than three quarters (a quarter gains as much again,
// but leaves gradients banded).
constexpr int kDiffusedQuarters = 3;
constexpr int kFineDiffusedQuarters = 2;

// The n x n Bayer matrix (n = 2^bits), values 0 .. n^2 - 1.
int bayer(int x, int y, int bits)
{
    int value = 0;
    for (int bit = 0; bit < bits; ++bit)
        value = (value << 2) | ((((x ^ y) >> bit) & 1) << 1) | ((y >> bit) & 1);
    return value;
}

inline int clampChannel(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

}  // namespace

PaletteMapper::PaletteMapper(const Palette8& palette, int spread, bool fine)
    : m_entries(std::clamp<int>(palette.entries(), 1, 256)), m_spread(spread), m_cache(64 * 64 * 64, kUnknown),
      m_fine(fine)
{
    const std::uint8_t* table = palette.entryData();
    for (int i = 0; i < m_entries; ++i) {
        m_rgb[std::size_t(3 * i)] = table ? table[4 * i + 2] : 0;
        m_rgb[std::size_t(3 * i + 1)] = table ? table[4 * i + 1] : 0;
        m_rgb[std::size_t(3 * i + 2)] = table ? table[4 * i] : 0;
    }
    m_regionAt.assign(16 * 16 * 16, kNoList);
    if (m_fine)
        m_listAt.assign(64 * 64 * 64, kNoList);
}

int PaletteMapper::squaredDistance(int red, int green, int blue, std::uint8_t index) const
{
    const int dr = red - m_rgb[std::size_t(3 * index)];
    const int dg = green - m_rgb[std::size_t(3 * index + 1)];
    const int db = blue - m_rgb[std::size_t(3 * index + 2)];
    return dr * dr + dg * dg + db * db;
}

std::uint8_t PaletteMapper::nearest(int red, int green, int blue)
{
    if (!m_fine)
        return nearestInBucket(red >> 2, green >> 2, blue >> 2);
    const Candidate* list = candidates(((red >> 2) << 12) | ((green >> 2) << 6) | (blue >> 2));
    int best = list[1].entry;
    int bestDistance = INT_MAX;
    for (int k = 1; k <= list[0].entry; ++k) {
        // The colour lies within kBucketReach of the bucket's centre, so an entry farther from
        // the centre than the best distance plus that reach is farther from the colour too, and
        // so is every later one (nearest the centre first).
        const int beyond = list[k].centreDistance - kBucketReach;
        if (beyond > 0 && std::int64_t(beyond) * beyond > std::int64_t(bestDistance) * kDistanceUnits * kDistanceUnits)
            break;
        const int i = list[k].entry;
        const int dr = red - m_rgb[std::size_t(3 * i)];
        const int dg = green - m_rgb[std::size_t(3 * i + 1)];
        const int db = blue - m_rgb[std::size_t(3 * i + 2)];
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance || (distance == bestDistance && i < best)) {
            bestDistance = distance;
            best = i;
        }
    }
    return std::uint8_t(best);
}

int PaletteMapper::keepNear(const int centre[3], double reach, const std::uint16_t* from, int count,
                            std::uint16_t* kept, int* squared) const
{
    // Distances are in half channel steps, where the centres are whole numbers. Every colour of
    // the box lies within `reach` of its centre, so the entry nearest any of them lies within
    // the centre's nearest distance plus twice `reach` of the centre (triangle inequality): only
    // those entries are kept, in the order of `from`.
    std::array<int, 256> all{};
    int nearestSquared = INT_MAX;
    for (int k = 0; k < count; ++k) {
        const int i = from[k];
        int sum = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = centre[c] - 2 * m_rgb[std::size_t(3 * i + c)];
            sum += d * d;
        }
        all[std::size_t(k)] = sum;
        nearestSquared = std::min(nearestSquared, sum);
    }
    const double bound = std::sqrt(double(nearestSquared)) + 2 * reach;
    const double boundSquared = bound * bound + 1e-6;
    int keptCount = 0;
    for (int k = 0; k < count; ++k)
        if (double(all[std::size_t(k)]) <= boundSquared) {
            kept[keptCount] = from[k];
            squared[keptCount++] = all[std::size_t(k)];
        }
    return keptCount;
}

const std::uint16_t* PaletteMapper::regionEntries(int red, int green, int blue)
{
    const int region = ((red >> 4) << 8) | ((green >> 4) << 4) | (blue >> 4);
    std::uint32_t& at = m_regionAt[std::size_t(region)];
    if (at == kNoList) {
        // A region holds 16 channel values a side: its centre is 16k + 7.5, 32k + 15 in half steps.
        std::array<std::uint16_t, 256> all{}, kept{};
        std::array<int, 256> squared{};
        for (int i = 0; i < m_entries; ++i)
            all[std::size_t(i)] = std::uint16_t(i);
        const int centre[3] = {32 * (red >> 4) + 15, 32 * (green >> 4) + 15, 32 * (blue >> 4) + 15};
        const int count = keepNear(centre, std::sqrt(3.0) * 15.0, all.data(), m_entries, kept.data(), squared.data());
        at = std::uint32_t(m_lists.size());
        m_lists.push_back(std::uint16_t(count));
        m_lists.insert(m_lists.end(), kept.begin(), kept.begin() + count);
    }
    return m_lists.data() + at;
}

const PaletteMapper::Candidate* PaletteMapper::candidates(int key)
{
    std::uint32_t& at = m_listAt[std::size_t(key)];
    if (at == kNoList) {
        // A bucket holds 4 levels a channel: its centre is level 4k + 1.5, 8k + 3 in half steps.
        // The entries that can be nearest in it are among its region's.
        const int red = key >> 12, green = (key >> 6) & 63, blue = key & 63;
        const std::uint16_t* region = regionEntries(4 * red, 4 * green, 4 * blue);
        std::array<std::uint16_t, 256> kept{};
        std::array<int, 256> squared{};
        const int centre[3] = {8 * red + 3, 8 * green + 3, 8 * blue + 3};
        const int count = keepNear(centre, std::sqrt(3.0) * 3.0, region + 1, region[0], kept.data(), squared.data());
        std::array<int, 256> order{};
        for (int k = 0; k < count; ++k)
            order[std::size_t(k)] = k;
        std::sort(order.begin(), order.begin() + count,
                  [&](int a, int b) { return squared[std::size_t(a)] < squared[std::size_t(b)]; });
        at = std::uint32_t(m_candidates.size());
        m_candidates.push_back({std::uint16_t(count), 0});
        for (int k = 0; k < count; ++k) {
            // Half steps to distance units, rounded down: never farther than the entry is.
            const int index = order[std::size_t(k)];
            const double units = std::sqrt(double(squared[std::size_t(index)])) * (kDistanceUnits / 2.0);
            m_candidates.push_back({kept[std::size_t(index)], std::uint16_t(std::floor(units))});
        }
    }
    return m_candidates.data() + at;
}

std::uint8_t PaletteMapper::nearestInBucket(int red, int green, int blue)
{
    std::uint16_t& slot = m_cache[std::size_t((red << 12) | (green << 6) | blue)];
    if (slot == kUnknown) {
        // The nearest entry to the bucket's centre, the lowest index on ties: it is among the
        // entries of the centre's region, which keeps every entry that is nearest to some
        // colour of it.
        const int r = 4 * red + 2, g = 4 * green + 2, b = 4 * blue + 2;
        const std::uint16_t* list = regionEntries(r, g, b);
        int best = list[1];
        int bestDistance = INT_MAX;
        for (int k = 1; k <= list[0]; ++k) {
            const int distance = squaredDistance(r, g, b, std::uint8_t(list[k]));
            if (distance < bestDistance) {
                bestDistance = distance;
                best = list[k];
            }
        }
        slot = std::uint16_t(best);
    }
    return std::uint8_t(slot);
}

void PaletteMapper::map(const Dib& source, GifDither dither, std::uint8_t* out, std::ptrdiff_t outStride)
{
    switch (dither) {
    case GifDither::None:
        for (int y = 0; y < source.height(); ++y) {
            const std::uint8_t* in = source.scanline(y);
            std::uint8_t* row = out + outStride * y;
            for (int x = 0; x < source.width(); ++x, in += 4)
                row[x] = nearest(in[2], in[1], in[0]);
        }
        break;
    case GifDither::Ordered: mapOrdered<4>(source, out, outStride); break;
    case GifDither::Ordered8: mapOrdered<8>(source, out, outStride); break;
    case GifDither::Diffusion: mapDiffusion(source, out, outStride); break;
    }
}

template <int Size>
void PaletteMapper::mapOrdered(const Dib& source, std::uint8_t* out, std::ptrdiff_t outStride)
{
    constexpr int bits = Size == 8 ? 3 : 2;
    // The threshold of each place in quarter steps, centred on zero: (value + 1/2) / n^2 - 1/2
    // of the spread. Quarter steps keep the 64 thresholds of the 8 x 8 matrix apart on small
    // spreads; the cache's buckets are 4 steps wide, so a channel's bucket is (4v + d) / 16.
    int offset[Size][Size];
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            offset[y][x] = int(std::lround(((double(bayer(x, y, bits)) + 0.5) / double(Size * Size) - 0.5) * m_spread * 4));
    const auto bucket = [](int quarters) { return quarters < 0 ? 0 : (quarters > 1023 ? 63 : quarters >> 4); };
    for (int y = 0; y < source.height(); ++y) {
        const std::uint8_t* in = source.scanline(y);
        std::uint8_t* row = out + outStride * y;
        const int* phase = offset[y % Size];
        for (int x = 0; x < source.width(); ++x, in += 4) {
            const int d = phase[x % Size];
            row[x] = nearestInBucket(bucket(4 * in[2] + d), bucket(4 * in[1] + d), bucket(4 * in[0] + d));
        }
    }
}

void PaletteMapper::mapStableDiffusion(const Dib& source, const Dib& previous, std::uint8_t* out,
                                       std::ptrdiff_t outStride)
{
    const bool matches = previous.width() == source.width() && previous.height() == source.height() &&
                         previous.BPP() == 32 && source.BPP() == 32;
    mapDiffusion(source, out, outStride, matches ? &previous : nullptr);
}

void PaletteMapper::mapDiffusionRows(const Dib& source, std::uint8_t* out, std::ptrdiff_t outStride, int firstRow,
                                     int endRow)
{
    mapDiffusion(source, out, outStride, nullptr, std::clamp(firstRow, 0, source.height()),
                 std::clamp(endRow, 0, source.height()));
}

void PaletteMapper::mapDiffusion(const Dib& source, std::uint8_t* out, std::ptrdiff_t outStride, const Dib* previous,
                                 int firstRow, int endRow)
{
    // How much farther than the nearest entry a still pixel's previous entry may be (squared
    // channel steps): about a dither step, so diffused error near moving parts rarely flips it.
    constexpr int kStillSlack = 3 * 12 * 12;
    const auto distance = [this](int r, int g, int b, std::uint8_t index) {
        const int dr = r - m_rgb[std::size_t(3 * index)], dg = g - m_rgb[std::size_t(3 * index + 1)],
                  db = b - m_rgb[std::size_t(3 * index + 2)];
        return dr * dr + dg * dg + db * db;
    };
    const int width = source.width();
    const int diffusedQuarters = m_fine ? kFineDiffusedQuarters : kDiffusedQuarters;
    // Errors in sixteenths, three channels, one spare place at each end.
    std::vector<int> current(std::size_t(3 * (width + 2)), 0), next(current.size(), 0);
    if (endRow < 0)
        endRow = source.height();
    for (int y = firstRow; y < endRow; ++y) {
        const std::uint8_t* in = source.scanline(y);
        const std::uint8_t* before = previous != nullptr ? previous->scanline(y) : nullptr;
        std::uint8_t* row = out + outStride * y;
        // A row the same as before keeps its entries; the rows under it start from no error.
        if (before != nullptr && std::memcmp(in, before, std::size_t(width) * 4) == 0) {
            std::fill(current.begin(), current.end(), 0);
            continue;
        }
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < width; ++x, in += 4) {
            int* e = current.data() + 3 * (x + 1);
            const int r = clampChannel(in[2] + ((e[0] + 8) >> 4));
            const int g = clampChannel(in[1] + ((e[1] + 8) >> 4));
            const int b = clampChannel(in[0] + ((e[2] + 8) >> 4));
            // Still: the frame before's entry stays, unless another is nearer by the slack (so
            // one within the slack stays without a search).
            const bool still =
                before != nullptr && std::memcmp(in, before + 4 * x, 3) == 0 && row[x] < m_entries;
            const int keptDistance = still ? distance(r, g, b, row[x]) : 0;
            std::uint8_t index = row[x];
            if (!still || keptDistance > kStillSlack) {
                const std::uint8_t found = nearest(r, g, b);
                if (!still || keptDistance > distance(r, g, b, found) + kStillSlack)
                    index = found;
            }
            row[x] = index;
            int error[3] = {r - m_rgb[std::size_t(3 * index)], g - m_rgb[std::size_t(3 * index + 1)],
                                  b - m_rgb[std::size_t(3 * index + 2)]};
            int* below = next.data() + 3 * (x + 1);
            for (int c = 0; c < 3; ++c) {
                error[c] = error[c] * diffusedQuarters / 4;
                e[3 + c] += 7 * error[c];
                below[c - 3] += 3 * error[c];
                below[c] += 5 * error[c];
                below[c + 3] += error[c];
            }
        }
        std::swap(current, next);
    }
}

namespace {

// libimagequant runs parts of its work on OpenMP threads, whose workers spin on a core for a while
// after each palette. For a small palette's pixels that costs the encoder's own threads (the
// frame storer, a video decoder's) more than the workers save: such palettes are made on the
// calling thread alone (the same palette). OpenMP is libimagequant's, not ours to link, so its
// two calls are looked up.
constexpr std::int64_t kFewestPixelsForThreads = 1'000'000;

void quantiserThreadsFor(std::int64_t pixels)
{
    using SetThreads = void (*)(int);
    using Processors = int (*)();
    static const auto setThreads = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    static const auto processors = reinterpret_cast<Processors>(dlsym(RTLD_DEFAULT, "omp_get_num_procs"));
    if (setThreads != nullptr && processors != nullptr)
        setThreads(pixels < kFewestPixelsForThreads ? 1 : std::max(1, processors()));
}

}  // namespace

bool quantisedPalette(std::span<const Dib* const> frames, int maxColours, int step, Palette8& palette, int speed)
{
    step = std::max(step, 1);
    std::int64_t pixels = 0;
    for (const Dib* frame : frames)
        pixels += std::int64_t(frame->width() / step + 1) * (frame->height() / step + 1);
    quantiserThreadsFor(pixels);
    const std::unique_ptr<liq_attr, void (*)(liq_attr*)> attr(liq_attr_create(), liq_attr_destroy);
    if (!attr || liq_set_max_colors(attr.get(), std::clamp(maxColours, 2, 256)) != LIQ_OK)
        return false;
    liq_set_speed(attr.get(), std::clamp(speed, 1, 10));
    const std::unique_ptr<liq_histogram, void (*)(liq_histogram*)> histogram(liq_histogram_create(attr.get()),
                                                                           liq_histogram_destroy);
    if (!histogram)
        return false;
    std::vector<std::uint8_t> rgba;
    for (const Dib* frame : frames) {
        if (frame == nullptr || frame->BPP() != 32 || frame->empty())
            continue;
        const int width = (frame->width() + step - 1) / step;
        const int height = (frame->height() + step - 1) / step;
        rgba.resize(std::size_t(width) * std::size_t(height) * 4);
        std::uint8_t* o = rgba.data();
        for (int y = 0; y < frame->height(); y += step) {
            const std::uint8_t* in = frame->scanline(y);
            for (int x = 0; x < frame->width(); x += step, o += 4) {
                o[0] = in[4 * x + 2];
                o[1] = in[4 * x + 1];
                o[2] = in[4 * x];
                o[3] = 255;
            }
        }
        const std::unique_ptr<liq_image, void (*)(liq_image*)> image(
            liq_image_create_rgba(attr.get(), rgba.data(), width, height, 0), liq_image_destroy);
        if (!image || liq_histogram_add_image(histogram.get(), attr.get(), image.get()) != LIQ_OK)
            return false;
    }
    liq_result* result = nullptr;
    if (liq_histogram_quantize(histogram.get(), attr.get(), &result) != LIQ_OK || result == nullptr)
        return false;
    const liq_palette* colours = liq_get_palette(result);
    palette.initialize(std::int16_t(colours->count));
    for (unsigned i = 0; i < colours->count; ++i) {
        palette.setRed(std::uint8_t(i), colours->entries[i].r);
        palette.setGreen(std::uint8_t(i), colours->entries[i].g);
        palette.setBlue(std::uint8_t(i), colours->entries[i].b);
    }
    liq_result_destroy(result);
    palette.buildLogicalPalette();
    return true;
}

}  // namespace vantorell
