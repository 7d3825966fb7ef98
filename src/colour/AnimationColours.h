// The colours of an animation: which palette the frames share (or each has) and how pixels are
// matched to it. PaletteMapper maps 32-bit surfaces onto any palette of up to 256 colours with
// one of four dithers; quantisedPalette builds an adaptive palette from several frames through
// libimagequant. Ditherer keeps the fixed halftone and first-frame octree loops.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantorell {

class Dib;
class Palette8;

enum class GifPalette {
    Halftone,   // the 216-colour cube
    Optimal,    // an octree palette of the first frame
    Global,     // one adaptive palette made from a sample of all frames
    PerFrame,   // an adaptive palette for each frame
};

enum class GifDither {
    None,        // the nearest colour
    Ordered,     // the 4 x 4 Bayer matrix
    Ordered8,    // the 8 x 8 Bayer matrix
    Diffusion,   // Floyd-Steinberg error diffusion
};

// Nearest-colour mapping onto one palette. Colours are looked up through a cache of 64 levels a
// channel, filled on demand with the entry nearest the bucket's centre (smallest squared
// distance, lowest index on ties), searched among the few entries that can be nearest in a
// coarser region around it (16 values a channel). The ordered dithers add a threshold that depends only on the pixel's place,
// so a static area maps to the same indices in every frame. A fine mapper instead keeps, per
// cache bucket, the few entries that can be nearest to some colour in it and searches those
// for each colour itself (an adaptive palette's close entries are not lost to the bucket's
// width), and its error diffusion passes on half of each error, not three quarters.
class PaletteMapper {
public:
    // `entries` colours of the palette's table (1..256). `spread` is the ordered dither's
    // amplitude in channel steps (the palette's typical distance between neighbours).
    // `fine`: exact nearest entries and gentler diffusion (the quality knob's upper range).
    PaletteMapper(const Palette8& palette, int spread, bool fine = false);

    // Maps a 32-bit surface (blue, green, red, x) to indices written at `out`, rows `outStride`
    // bytes apart, top-down as the surface's scanlines.
    void map(const Dib& source, GifDither dither, std::uint8_t* out, std::ptrdiff_t outStride);
    // Error diffusion that keeps still areas still: where `source` has the pixel of `previous`
    // (the frame before, same size), the index `out` already holds for it (the frame before's)
    // stays while its colour is within a small bound of the nearest one, and the error it
    // leaves is diffused as usual.
    void mapStableDiffusion(const Dib& source, const Dib& previous, std::uint8_t* out, std::ptrdiff_t outStride);
    // Error diffusion over rows [firstRow, endRow) alone, its error starting from zero at
    // firstRow: a band, which another mapper of the same palette may map beside this one.
    void mapDiffusionRows(const Dib& source, std::uint8_t* out, std::ptrdiff_t outStride, int firstRow, int endRow);

    std::uint8_t nearest(int red, int green, int blue);
    int entries() const { return m_entries; }

private:
    int squaredDistance(int red, int green, int blue, std::uint8_t index) const;
    // An entry that can be nearest in a cache bucket, and its distance from the bucket's centre
    // (64ths of a channel step, rounded down). A list's first holds its length.
    struct Candidate {
        std::uint16_t entry;
        std::uint16_t centreDistance;
    };
    // The entries of `from` (count of them) that can be nearest to some colour within `reach` of
    // `centre` (half channel steps), in their order, written to `kept` with their squared
    // distance from the centre in `squared`; answers how many.
    int keepNear(const int centre[3], double reach, const std::uint16_t* from, int count, std::uint16_t* kept,
                 int* squared) const;
    // The entries that can be nearest to some colour of the region (16 values a channel) holding
    // the colour: a count, then the entries in index order.
    const std::uint16_t* regionEntries(int red, int green, int blue);
    // The entries that can be nearest to a colour of bucket `key` (fine mappers), nearest the
    // bucket's centre first.
    const Candidate* candidates(int key);
    // The nearest entry to the centre of a cache bucket (channel levels 0..63).
    std::uint8_t nearestInBucket(int red, int green, int blue);
    template <int Size> void mapOrdered(const Dib& source, std::uint8_t* out, std::ptrdiff_t outStride);
    void mapDiffusion(const Dib& source, std::uint8_t* out, std::ptrdiff_t outStride, const Dib* previous = nullptr,
                      int firstRow = 0, int endRow = -1);

    int m_entries = 0;
    int m_spread = 16;
    std::array<std::uint8_t, 256 * 3> m_rgb{};   // red, green, blue per entry
    std::vector<std::uint16_t> m_cache;          // 64^3 keys; 0xFFFF: not looked up yet
    bool m_fine = false;                        // a fine mapper
    std::vector<std::uint32_t> m_regionAt;       // per region, where its entries start in m_lists
    std::vector<std::uint16_t> m_lists;          // per region seen: a count, then that many entries
    std::vector<std::uint32_t> m_listAt;         // fine: per key, where its candidates start in m_candidates
    std::vector<Candidate> m_candidates;         // fine: per key seen, a count, then the candidates
};

// An adaptive palette of at most maxColours (2..256) colours for all the given 32-bit frames,
// from every `step`-th pixel of every `step`-th row of each (libimagequant). The frames may be
// of different sizes. Answers false (palette untouched) when the quantiser fails.
// `speed` is libimagequant's, 1 (slowest, best) to 10.
bool quantisedPalette(std::span<const Dib* const> frames, int maxColours, int step, Palette8& palette,
                      int speed = 8);

}  // namespace vantorell
