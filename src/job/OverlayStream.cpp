#include "job/OverlayStream.h"

#include "job/JpegOutput.h"
#include "mix/Overlay.h"
#include "platform/ColourProfile.h"
#include "platform/InputFile.h"
#include "platform/JpegCodec.h"
#include "platform/PictureLimits.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <span>
#include <vector>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorell {

namespace {

// A file mapped for reading; empty when it cannot be.
class MappedFile {
public:
    explicit MappedFile(const std::string& file)
    {
        std::string problem;   // the whole-picture steps report it
        const int fd = openInputFile(file, problem);
        if (fd < 0)
            return;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            void* mapped = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (mapped != MAP_FAILED)
                m_bytes = {static_cast<const std::uint8_t*>(mapped), std::size_t(st.st_size)};
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (!m_bytes.empty())
            ::munmap(const_cast<std::uint8_t*>(m_bytes.data()), m_bytes.size());
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::span<const std::uint8_t> bytes() const { return m_bytes; }

private:
    std::span<const std::uint8_t> m_bytes;
};

// The header of a JPEG the stream takes, checked as the loader checks it; nothing otherwise.
std::optional<PictureHeader> streamableHeader(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return std::nullopt;
    try {
        PictureHeader header = readPictureHeader(bytes);
        if (header.format != "jpeg" || header.width <= 0 || header.height <= 0 ||
            header.width > limits::kMaxPictureSide || header.height > limits::kMaxPictureSide)
            return std::nullopt;
        return header;
    } catch (...) {
        return std::nullopt;
    }
}

// The Smart-Detect estimate from the header's size, as the steps make it from a decoded picture
// (its size as single-precision values).
std::int16_t estimate(const PictureHeader& header, std::size_t length)
{
    return estimateJpegQuality(double(float(header.width)), double(float(header.height)), length);
}

constexpr int kBandRows = 16;   // one MCU row of 4:2:0

}  // namespace

std::optional<StreamedOverlay> streamOverlay(const std::string& image1, const std::string& image2,
                                             const std::string& resultPath, std::optional<int> fixedQuality,
                                             ColourChoice colour)
{
    const MappedFile file1(image1), file2(image2);
    const auto header1 = streamableHeader(file1.bytes());
    const auto header2 = streamableHeader(file2.bytes());
    if (!header1 || !header2)
        return std::nullopt;
    StreamedOverlay streamed;
    streamed.width = header1->width;
    streamed.quality1 = estimate(*header1, file1.bytes().size());
    streamed.quality2 = estimate(*header2, file2.bytes().size());
    const int quality = fixedQuality ? *fixedQuality : std::max(streamed.quality1, streamed.quality2);

    JpegRowReader first, second;
    if (!first.start(file1.bytes()) || !second.start(file2.bytes()) || first.width() != header1->width ||
        first.height() != header1->height || second.width() != header2->width || second.height() != header2->height)
        return std::nullopt;
    const int width = first.width(), height = first.height();
    const int covered = std::min(width, second.width());
    const std::size_t stride1 = std::size_t(width) * 4, stride2 = std::size_t(second.width()) * 4;
    std::vector<std::uint8_t> rows1(stride1 * kBandRows), rows2(stride2 * kBandRows), out(stride1 * kBandRows);

    WorkingSpace space;
    if (colour != ColourChoice::Ignore) {
        const ColourProfile profiles[] = {readJpegColourProfile(file1.bytes()), readJpegColourProfile(file2.bytes())};
        space = planWorkingSpace(profiles, colour, true);
        streamed.notes = space.notes;
    }
    const ColourConversion none;
    const ColourConversion& convert1 = space.conversions.empty() ? none : space.conversions[0];
    const ColourConversion& convert2 = space.conversions.empty() ? none : space.conversions[1];

    streamed.result = std::make_unique<ResultFile>(resultPath);
    JpegRowWriter writer;
    if (!writer.start(streamed.result->temporaryPath().string(), width, height, quality, space.resultProfile.iccBytes()))
        return std::nullopt;
    for (int y = 0; y < height; y += kBandRows) {
        const int count = std::min(kBandRows, height - y);
        const int count2 = std::clamp(second.height() - y, 0, count);
        if (!first.readRows(rows1.data(), stride1, count) || (count2 > 0 && !second.readRows(rows2.data(), stride2, count2)))
            return std::nullopt;
        convert1.convertRows(rows1.data(), stride1, width, count);
        convert2.convertRows(rows2.data(), stride2, second.width(), count2);
        for (int i = 0; i < count; ++i)
            averageOverlayRow(rows1.data() + stride1 * std::size_t(i), i < count2 ? rows2.data() + stride2 * std::size_t(i) : nullptr,
                              i < count2 ? covered : 0, out.data() + stride1 * std::size_t(i), width);
        if (!writer.writeRows(out.data(), stride1, count))
            return std::nullopt;
    }
    // Rows of a taller second picture are decoded too: where libjpeg refuses them, the whole
    // picture goes through the loader's other decoder, and so must this overlay.
    for (int y = height; y < second.height(); y += kBandRows)
        if (!second.readRows(rows2.data(), stride2, std::min(kBandRows, second.height() - y)))
            return std::nullopt;
    if (!writer.finish())
        return std::nullopt;
    return streamed;
}

}  // namespace vantorell
