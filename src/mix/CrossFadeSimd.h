// The engine's cross-fade of 32-bit BGRX pixels, four at a time with SSE2: each channel is
// float(b) * t + float(a) * u in single precision, rounded to nearest even and clamped to
// 0 ... 255, the same operations in the same order as the scalar formula, so every byte equals
// the 64 K lookup table's (the build fuses no multiply-add) while |t| and |u| stay within
// kCrossFadeSimdLimit, where no sum leaves the 32-bit range. The fourth bytes of the result are
// meaningless; callers mask them.
#pragma once

#include <emmintrin.h>

namespace vantorell {

constexpr float kCrossFadeSimdLimit = 4'000'000.0f;

inline bool crossFadeSimdExact(float t, float u)
{
    return t >= -kCrossFadeSimdLimit && t <= kCrossFadeSimdLimit && u >= -kCrossFadeSimdLimit &&
           u <= kCrossFadeSimdLimit;
}

inline __m128i crossFadePixels(__m128i a, __m128i b, __m128 t, __m128 u)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a16[2] = {_mm_unpacklo_epi8(a, zero), _mm_unpackhi_epi8(a, zero)};
    const __m128i b16[2] = {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)};
    __m128i sums[4];
    for (int i = 0; i < 4; ++i) {
        const __m128i a32 = i % 2 ? _mm_unpackhi_epi16(a16[i / 2], zero) : _mm_unpacklo_epi16(a16[i / 2], zero);
        const __m128i b32 = i % 2 ? _mm_unpackhi_epi16(b16[i / 2], zero) : _mm_unpacklo_epi16(b16[i / 2], zero);
        const __m128 bt = _mm_mul_ps(_mm_cvtepi32_ps(b32), t);
        const __m128 au = _mm_mul_ps(_mm_cvtepi32_ps(a32), u);
        sums[i] = _mm_cvtps_epi32(_mm_add_ps(bt, au));   // NaN: INT_MIN, clamped to 0 as lrint's
    }
    // Saturating packs clamp to 0 ... 255 exactly as the scalar clamp of lrint does.
    return _mm_packus_epi16(_mm_packs_epi32(sums[0], sums[1]), _mm_packs_epi32(sums[2], sums[3]));
}

// The three colour bytes of every pixel from `faded`, the fourth from `kept`.
inline __m128i withFourthBytesOf(__m128i faded, __m128i kept)
{
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    return _mm_or_si128(_mm_and_si128(faded, colour), _mm_andnot_si128(colour, kept));
}

}  // namespace vantorell
