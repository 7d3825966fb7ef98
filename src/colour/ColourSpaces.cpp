#include "colour/ColourSpaces.h"

#include <lcms2.h>

#include <algorithm>
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

struct ColourConversionMaker {
    static ColourConversion between(cmsHPROFILE from, cmsHPROFILE to)
    {
        ColourConversion conversion;
        // No cache: one transform is used from two threads at once.
        cmsHTRANSFORM transform =
            cmsCreateTransform(from, TYPE_BGRA_8, to, TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
        if (transform)
            conversion.m_transform = std::shared_ptr<void>(transform, [](void* t) { cmsDeleteTransform(t); });
        return conversion;
    }
};

void ColourConversion::convertRows(std::uint8_t* pixels, std::size_t stride, int width, int rows) const
{
    if (!m_transform || width <= 0 || rows <= 0)
        return;
    const auto convert = [&](int first, int count) {
        cmsDoTransformLineStride(m_transform.get(), pixels + stride * std::size_t(first), pixels + stride * std::size_t(first),
                                 cmsUInt32Number(width), cmsUInt32Number(count), cmsUInt32Number(stride),
                                 cmsUInt32Number(stride), 0, 0);
    };
    constexpr std::int64_t kPixelsWorthAThread = 1 << 16;
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
    if (!m_transform || picture.empty())
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
