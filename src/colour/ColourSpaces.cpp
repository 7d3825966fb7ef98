#include "colour/ColourSpaces.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <cmath>

#if defined(__SSE__)
#include <immintrin.h>
#endif
#include <thread>

namespace vantorell {

namespace {

using ProfileHandle = std::unique_ptr<void, decltype(&cmsCloseProfile)>;

ProfileHandle noProfile() { return ProfileHandle(nullptr, &cmsCloseProfile); }

ProfileHandle openAdobeRgb()
{
    // Adobe RGB (1998): D65 white, its primaries and a pure gamma of 563/256.
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    ProfileHandle profile(cmsCreateRGBProfile(&white, &primaries, curves), &cmsCloseProfile);
    cmsFreeToneCurve(gamma);
    return profile;
}

std::shared_ptr<const std::vector<std::uint8_t>> savedProfile(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile, nullptr, &size) || size == 0)
        return nullptr;
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
        return nullptr;
    // Little CMS stamps a profile it makes with the time of making (the header's dateTime,
    // bytes 24 to 35): a fixed date keeps every result of the same job byte for byte the same.
    constexpr std::uint8_t kFixedDate[12] = {0x07, 0xE6, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};   // 2022-01-01
    if (bytes.size() >= 36)
        std::copy(std::begin(kFixedDate), std::end(kFixedDate), bytes.begin() + 24);
    return std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
}

// Little CMS reports errors to a handler; the job reports them as notes instead.
void quietErrors(cmsContext, cmsUInt32Number, const char*) {}

// The profile opened for conversion; empty (with `problem` set) when Little CMS refuses it or
// it is not an RGB profile.
ProfileHandle openProfile(const ColourProfile& profile, std::string& problem)
{
    static const bool quiet = (cmsSetLogErrorHandler(quietErrors), true);
    (void)quiet;
    if (profile.kind == ColourProfile::Kind::AdobeRgbByExif)
        return openAdobeRgb();
    if (profile.kind != ColourProfile::Kind::Embedded)
        return ProfileHandle(cmsCreate_sRGBProfile(), &cmsCloseProfile);
    const std::span<const std::uint8_t> bytes = profile.iccBytes();
    ProfileHandle opened(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())), &cmsCloseProfile);
    if (!opened)
        problem = "Little CMS cannot read it";
    else if (cmsGetColorSpace(opened.get()) != cmsSigRgbData)
        problem = "it is not an RGB profile";
    else if (!cmsIsIntentSupported(opened.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT) ||
             !cmsIsIntentSupported(opened.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_OUTPUT))
        problem = "it lacks the tags a conversion needs";
    else
        return opened;
    return noProfile();
}

bool sameSpace(const ColourProfile& a, const ColourProfile& b)
{
    if (a.kind != b.kind)
        return false;
    return a.kind != ColourProfile::Kind::Embedded || *a.bytes == *b.bytes;
}

std::string ignoredNote(int number, const std::string& problem)
{
    return "Image #" + std::to_string(number) + "'s colour profile was ignored: " + problem + ".";
}

}  // namespace

// Converts rows of blue, green, red, X pixels, in place.
class RowConverter {
public:
    virtual ~RowConverter() = default;
    virtual void convert(std::uint8_t* row, std::size_t stride, int width, int rows) const = 0;
};

namespace {

// Any pair of profiles through a Little CMS transform (no cache: one transform serves two
// threads at once).
class LcmsConverter : public RowConverter {
public:
    explicit LcmsConverter(cmsHTRANSFORM transform) : m_transform(transform) {}
    ~LcmsConverter() override { cmsDeleteTransform(m_transform); }
    void convert(std::uint8_t* pixels, std::size_t stride, int width, int rows) const override
    {
        cmsDoTransformLineStride(m_transform, pixels, pixels, cmsUInt32Number(width), cmsUInt32Number(rows),
                                 cmsUInt32Number(stride), cmsUInt32Number(stride), 0, 0);
    }

private:
    cmsHTRANSFORM m_transform;
};

// Two matrix-and-curve profiles (sRGB, Adobe RGB, Display P3 and most camera and phone
// profiles): the input curves as tables, one 3 x 3 matrix and the output curves as tables
// indexed by the square root of the linear value (fine near black, where the curves are steep,
// and small enough to stay in the first-level cache). Gives Little CMS's colorimetric numbers
// (within a level) at a fraction of its time.
class MatrixShaperConverter : public RowConverter {
public:
    static constexpr int kOutputSteps = 1 << 12;

    static std::unique_ptr<RowConverter> make(cmsHPROFILE from, cmsHPROFILE to)
    {
        if (!cmsIsMatrixShaper(from) || !cmsIsMatrixShaper(to))
            return nullptr;
        const cmsTagSignature trcTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
        cmsMAT3 source, target, inverse;
        if (!colorants(from, source) || !colorants(to, target) || !_cmsMAT3inverse(&target, &inverse))
            return nullptr;
        auto converter = std::make_unique<MatrixShaperConverter>();
        cmsMAT3 matrix;
        _cmsMAT3per(&matrix, &inverse, &source);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                converter->m_matrix[r][c] = float(matrix.v[r].n[c]);
        for (int channel = 0; channel < 3; ++channel) {
            auto* in = static_cast<cmsToneCurve*>(cmsReadTag(from, trcTags[channel]));
            auto* out = static_cast<cmsToneCurve*>(cmsReadTag(to, trcTags[channel]));
            cmsToneCurve* reversed = out ? cmsReverseToneCurve(out) : nullptr;
            if (!in || !reversed)
                return nullptr;
            for (int level = 0; level < 256; ++level)
                converter->m_linear[channel][level] = cmsEvalToneCurveFloat(in, float(level) / 255.0f);
            for (int step = 0; step < kOutputSteps; ++step) {
                const float root = float(step) / float(kOutputSteps - 1);
                const float encoded = cmsEvalToneCurveFloat(reversed, root * root);
                converter->m_encoded[channel][step] = std::uint8_t(std::clamp(encoded * 255.0f + 0.5f, 0.0f, 255.0f));
            }
            cmsFreeToneCurve(reversed);
        }
        return converter;
    }

    void convert(std::uint8_t* pixels, std::size_t stride, int width, int rows) const override
    {
        // Everything in locals: a store through the pixels' bytes could alias any member, and
        // would make the compiler read the matrix again for every pixel.
        float m[3][3];
        std::copy(&m_matrix[0][0], &m_matrix[0][0] + 9, &m[0][0]);
        const float (*linear)[256] = m_linear;
        const std::uint8_t (*encoded)[kOutputSteps] = m_encoded;
        for (int y = 0; y < rows; ++y) {
            std::uint8_t* p = pixels + stride * std::size_t(y);
            int x = 0;
#if defined(__SSE2__)
            x = convertFours(p, width, m);
            p += 4 * x;
#endif
            for (; x < width; ++x, p += 4) {
                const float red = linear[0][p[2]], green = linear[1][p[1]], blue = linear[2][p[0]];
                const int r = outputIndex(m[0][0] * red + m[0][1] * green + m[0][2] * blue);
                const int g = outputIndex(m[1][0] * red + m[1][1] * green + m[1][2] * blue);
                const int b = outputIndex(m[2][0] * red + m[2][1] * green + m[2][2] * blue);
                p[2] = encoded[0][r];
                p[1] = encoded[1][g];
                p[0] = encoded[2][b];
            }
        }
    }

private:
#if defined(__SSE2__)
    // The pixels of a row four at a time, the same arithmetic in the same order as one at a
    // time (so the same bytes), with one square root instruction for four; answers how many
    // pixels it converted.
    int convertFours(std::uint8_t* p, int width, const float (&m)[3][3]) const
    {
        const float (*linear)[256] = m_linear;
        const std::uint8_t (*encoded)[kOutputSteps] = m_encoded;
        const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
        const __m128 steps = _mm_set1_ps(float(kOutputSteps - 1)), half = _mm_set1_ps(0.5f);
        const auto outputIndices = [&](const float (&row)[3], __m128 red, __m128 green, __m128 blue, int* out) {
            __m128 v = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(row[0]), red), _mm_mul_ps(_mm_set1_ps(row[1]), green)),
                                  _mm_mul_ps(_mm_set1_ps(row[2]), blue));
            v = _mm_sqrt_ps(_mm_min_ps(_mm_max_ps(v, zero), one));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, steps), half)));
        };
        int x = 0;
        for (; x + 4 <= width; x += 4, p += 16) {
            const __m128 red = _mm_setr_ps(linear[0][p[2]], linear[0][p[6]], linear[0][p[10]], linear[0][p[14]]);
            const __m128 green = _mm_setr_ps(linear[1][p[1]], linear[1][p[5]], linear[1][p[9]], linear[1][p[13]]);
            const __m128 blue = _mm_setr_ps(linear[2][p[0]], linear[2][p[4]], linear[2][p[8]], linear[2][p[12]]);
            int r[4], g[4], b[4];
            outputIndices(m[0], red, green, blue, r);
            outputIndices(m[1], red, green, blue, g);
            outputIndices(m[2], red, green, blue, b);
            for (int k = 0; k < 4; ++k) {
                p[4 * k + 2] = encoded[0][r[k]];
                p[4 * k + 1] = encoded[1][g[k]];
                p[4 * k] = encoded[2][b[k]];
            }
        }
        return x;
    }
#endif

    // The output table's step for a linear value (clamped to 0 .. 1), without branches.
    static int outputIndex(float linear)
    {
        linear = linear > 0.0f ? linear : 0.0f;
        linear = linear < 1.0f ? linear : 1.0f;
#if defined(__SSE__)
        const float root = _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(linear)));   // no errno check
#else
        const float root = std::sqrt(linear);
#endif
        return int(root * float(kOutputSteps - 1) + 0.5f);
    }

    // The profile's colourants as the columns of its RGB to XYZ matrix.
    static bool colorants(cmsHPROFILE profile, cmsMAT3& matrix)
    {
        const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
        for (int c = 0; c < 3; ++c) {
            const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
            if (!xyz)
                return false;
            matrix.v[0].n[c] = xyz->X;
            matrix.v[1].n[c] = xyz->Y;
            matrix.v[2].n[c] = xyz->Z;
        }
        return true;
    }

    float m_matrix[3][3] = {};
    float m_linear[3][256] = {};
    std::uint8_t m_encoded[3][kOutputSteps] = {};
};

}  // namespace

struct ColourConversionMaker {
    static ColourConversion between(cmsHPROFILE from, cmsHPROFILE to)
    {
        ColourConversion conversion;
        std::unique_ptr<RowConverter> converter = MatrixShaperConverter::make(from, to);
        if (!converter) {
            if (cmsHTRANSFORM transform =
                    cmsCreateTransform(from, TYPE_BGRA_8, to, TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE))
                converter = std::make_unique<LcmsConverter>(transform);
        }
        conversion.m_converter = std::move(converter);
        return conversion;
    }
};

void ColourConversion::convertRows(std::uint8_t* pixels, std::size_t stride, int width, int rows) const
{
    if (!m_converter || width <= 0 || rows <= 0)
        return;
    const auto convert = [&](int first, int count) {
        m_converter->convert(pixels + stride * std::size_t(first), stride, width, count);
    };
    // A whole picture is split over two threads; the few rows of a streamed band are not: a
    // thread started for each band costs more than it saves whenever the other core is busy.
    constexpr std::int64_t kPixelsWorthAThread = 1 << 18;
    if (std::int64_t(width) * rows < 2 * kPixelsWorthAThread || rows < 2) {
        convert(0, rows);
        return;
    }
    const int half = rows / 2;
    std::thread helper(convert, half, rows - half);
    convert(0, half);
    helper.join();
}

Picture ColourConversion::converted(const Picture& picture) const
{
    if (!m_converter || picture.empty())
        return picture;
    Bitmap bitmap = picture.bitmap();
    convertRows(bitmap.mutableBits(), bitmap.stride(), bitmap.width(), bitmap.height());
    Picture result(std::move(bitmap), picture.sourceWidth(), picture.sourceHeight());
    result.setColourProfile(picture.colourProfile());
    return result;
}

std::shared_ptr<const std::vector<std::uint8_t>> srgbIccProfile()
{
    static const auto bytes = savedProfile(ProfileHandle(cmsCreate_sRGBProfile(), &cmsCloseProfile).get());
    return bytes;
}

std::shared_ptr<const std::vector<std::uint8_t>> adobeRgbIccProfile()
{
    static const auto bytes = savedProfile(openAdobeRgb().get());
    return bytes;
}

ColourConversion conversionToSrgb(const ColourProfile& profile)
{
    if (!profile.present() || !profile.problem.empty() || profile.bytes == srgbIccProfile())
        return {};
    std::string problem;
    ProfileHandle from = openProfile(profile, problem);
    if (!from)
        return {};
    ProfileHandle srgb = openProfile(ColourProfile(), problem);
    return ColourConversionMaker::between(from.get(), srgb.get());
}

WorkingSpace planWorkingSpace(std::span<const ColourProfile> profiles, ColourChoice choice, bool jpegResult,
                              int firstNumber)
{
    WorkingSpace space;
    space.conversions.resize(profiles.size());
    if (choice == ColourChoice::Ignore || profiles.empty())
        return space;
    // Profiles that cannot be used count as none (sRGB), with a note.
    std::vector<ColourProfile> usable(profiles.begin(), profiles.end());
    std::vector<ProfileHandle> opened;
    for (std::size_t i = 0; i < usable.size(); ++i) {
        std::string problem = usable[i].problem;
        opened.push_back(problem.empty() ? openProfile(usable[i], problem) : noProfile());
        if (!problem.empty()) {
            space.notes.push_back(ignoredNote(firstNumber + int(i), problem));
            usable[i] = ColourProfile();
            opened.back() = openProfile(usable[i], problem);
        }
    }
    const bool keepFirst = choice == ColourChoice::Keep && jpegResult;
    const ColourProfile target = keepFirst ? usable.front() : ColourProfile();
    ProfileHandle targetProfile = noProfile();
    for (std::size_t i = 0; i < usable.size(); ++i) {
        if (sameSpace(usable[i], target))
            continue;
        if (!targetProfile) {
            std::string unused;
            targetProfile = openProfile(target, unused);
        }
        space.conversions[i] = ColourConversionMaker::between(opened[i].get(), targetProfile.get());
        if (!space.conversions[i])
            space.notes.push_back(ignoredNote(firstNumber + int(i), "Little CMS cannot convert from it"));
    }
    if (jpegResult && choice == ColourChoice::Srgb) {
        space.resultProfile.kind = ColourProfile::Kind::Embedded;
        space.resultProfile.bytes = srgbIccProfile();
    } else if (keepFirst && target.present()) {
        space.resultProfile.kind = ColourProfile::Kind::Embedded;
        space.resultProfile.bytes =
            target.kind == ColourProfile::Kind::AdobeRgbByExif ? adobeRgbIccProfile() : target.bytes;
    }
    return space;
}

}  // namespace vantorell
