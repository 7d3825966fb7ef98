#include "job/OverlayStream.h"

#include "job/JpegOutput.h"
#include "mix/Overlay.h"
#include "platform/ColourProfile.h"
#include "platform/InputFile.h"
#include "platform/JpegCodec.h"
#include "platform/PictureLimits.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
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

// One helper thread that runs one piece of work at a time: the colour conversion of a band while
// the job's thread averages and writes the band before it and decodes the next, so that the
// conversion costs little time where the second core has any to give.
class BandHelper {
public:
    BandHelper() : m_thread([this] { work(); }) {}
    ~BandHelper()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();   // the work in hand ends first
    }
    BandHelper(const BandHelper&) = delete;
    BandHelper& operator=(const BandHelper&) = delete;

    // Waits for the work before, then hands this one over.
    void post(std::function<void()> work)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return !m_work; });
        m_work = std::move(work);
        m_changed.notify_all();
    }
    void wait()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return !m_work; });
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        for (;;) {
            m_changed.wait(guard, [this] { return m_stop || m_work; });
            if (!m_work)
                return;
            guard.unlock();
            m_work();
            guard.lock();
            m_work = nullptr;
            m_changed.notify_all();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::function<void()> m_work;
    bool m_stop = false;
    std::thread m_thread;   // last: it starts once the rest is made
};

// The decoded rows of both pictures for one band.
struct Band {
    std::vector<std::uint8_t> rows1, rows2;
    int count = 0, count2 = 0;   // its rows of the first picture, and of the second's that meet them
};

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
    Band bands[2];
    for (Band& band : bands) {
        band.rows1.resize(stride1 * kBandRows);
        band.rows2.resize(stride2 * kBandRows);
    }
    std::vector<std::uint8_t> out(stride1 * kBandRows);

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
    const auto averageAndWrite = [&](const Band& band) {
        for (int i = 0; i < band.count; ++i)
            averageOverlayRow(band.rows1.data() + stride1 * std::size_t(i),
                              i < band.count2 ? band.rows2.data() + stride2 * std::size_t(i) : nullptr,
                              i < band.count2 ? covered : 0, out.data() + stride1 * std::size_t(i), width);
        return writer.writeRows(out.data(), stride1, band.count);
    };
    // Band n is converted on the helper while band n - 1 is averaged and written here; without a
    // conversion every band goes straight through. Declared after the bands: it ends first.
    std::optional<BandHelper> helper;
    if (convert1 || convert2)
        helper.emplace();
    const Band* waiting = nullptr;   // decoded and being converted, not yet written
    for (int y = 0, n = 0; y < height; y += kBandRows, ++n) {
        Band& band = bands[n % 2];
        band.count = std::min(kBandRows, height - y);
        band.count2 = std::clamp(second.height() - y, 0, band.count);
        if (!first.readRows(band.rows1.data(), stride1, band.count) ||
            (band.count2 > 0 && !second.readRows(band.rows2.data(), stride2, band.count2)))
            return std::nullopt;
        if (!helper) {
            if (!averageAndWrite(band))
                return std::nullopt;
            continue;
        }
        helper->post([&convert1, &convert2, b = &band, stride1, stride2, width, width2 = second.width()] {
            convert1.convertRows(b->rows1.data(), stride1, width, b->count);
            convert2.convertRows(b->rows2.data(), stride2, width2, b->count2);
        });
        if (waiting && !averageAndWrite(*waiting))
            return std::nullopt;
        waiting = &band;
    }
    if (helper)
        helper->wait();
    if (waiting && !averageAndWrite(*waiting))
        return std::nullopt;
    // Rows of a taller second picture are decoded too: where libjpeg refuses them, the whole
    // picture goes through the loader's other decoder, and so must this overlay.
    for (int y = height; y < second.height(); y += kBandRows)
        if (!second.readRows(bands[0].rows2.data(), stride2, std::min(kBandRows, second.height() - y)))
            return std::nullopt;
    if (!writer.finish())
        return std::nullopt;
    return streamed;
}

}  // namespace vantorell
