#include "job/GifFrameSink.h"

#include "dib/Dib.h"
#include "platform/Bitmap.h"
#include "platform/FrameMemory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
#include <fcntl.h>
#include <unistd.h>

namespace vantorell {

namespace {

// A frame of top-down BGR24 rows (padded to 4 bytes) as a 32-bit surface; the fourth byte 0.
void toSurface(const std::uint8_t* frame, const FrameLayout& layout, Dib& surface)
{
    if (surface.width() != layout.width || surface.height() != layout.height || surface.BPP() != 32)
        if (!surface.create(layout.width, layout.height, 32))
            throw std::bad_alloc();   // no pixel memory to be had
    for (int y = 0; y < layout.height; ++y) {
        const std::uint8_t* from = frame + std::size_t(y) * layout.stride();
        std::uint8_t* to = surface.scanline(y);
        for (int x = 0; x < layout.width; ++x, from += 3, to += 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = 0;
        }
    }
}

// Writes or reads all `size` bytes at `offset`, through interruptions and short transfers.
template <typename Transfer, typename Bytes>
bool transferAll(Transfer transfer, int fd, Bytes* bytes, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t done = transfer(fd, bytes, size, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= std::size_t(done);
        offset += done;
    }
    return true;
}

}  // namespace

// The frames as they came: in memory up to the budget, the rest in the spill file.
class GifFrameSink::StoredFrames final : public GifFrameProvider {
public:
    StoredFrames(FrameLayout layout, std::filesystem::path spillFile, bool findsHolds)
        : m_layout(layout), m_spillFile(std::move(spillFile)), m_findsHolds(findsHolds),
          m_memoryFrames(std::max<std::uint64_t>(1, kGifFramesInMemory / std::max<std::size_t>(1, layout.bytes())))
    {
    }
    ~StoredFrames() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // False when the spill file cannot be made or written.
    bool append(std::span<const std::uint8_t> frame)
    {
        if (m_inMemory < m_memoryFrames) {
            const std::uint64_t block = m_inMemory / m_framesPerBlock;
            if (block == m_blocks.size())
                m_blocks.emplace_back(std::size_t(m_framesPerBlock) * m_layout.bytes());
            std::memcpy(memoryFrame(m_inMemory), frame.data(), std::min(frame.size(), m_layout.bytes()));
            ++m_inMemory;
        } else {
            if (m_fd < 0)
                m_fd = ::open(m_spillFile.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            const off_t offset = off_t(m_spilled) * off_t(m_layout.bytes());
            if (m_fd < 0 || !transferAll(::pwrite, m_fd, frame.data(), frame.size(), offset))
                return false;
            ++m_spilled;
        }
        // Whether the frame equals the one before (a hold): the knob judges motion without
        // holds, and the size estimates code one frame of each run of them.
        if (m_findsHolds) {
            const std::size_t hash = std::hash<std::string_view>{}(
                std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()));
            m_repeats.push_back(!m_repeats.empty() && hash == m_lastHash);
            m_lastHash = hash;
        }
        return true;
    }

    int frameCount() const override { return int(m_inMemory + std::uint64_t(m_spilled)); }
    int width() const override { return m_layout.width; }
    int height() const override { return m_layout.height; }
    bool repeatsPrevious(int index) override
    {
        return index >= 0 && std::size_t(index) < m_repeats.size() && m_repeats[std::size_t(index)];
    }
    bool frame(int index, Dib& surface) override
    {
        if (index < 0 || index >= frameCount())
            return false;
        if (std::uint64_t(index) < m_inMemory) {
            toSurface(memoryFrame(std::uint64_t(index)), m_layout, surface);
            return true;
        }
        m_readBack.resize(m_layout.bytes());
        const off_t offset = off_t(std::uint64_t(index) - m_inMemory) * off_t(m_layout.bytes());
        if (!transferAll(::pread, m_fd, m_readBack.data(), m_readBack.size(), offset))
            return false;
        toSurface(m_readBack.data(), m_layout, surface);
        return true;
    }

private:
    std::uint8_t* memoryFrame(std::uint64_t index) const
    {
        return m_blocks[std::size_t(index / m_framesPerBlock)].data() +
               std::size_t(index % m_framesPerBlock) * m_layout.bytes();
    }

    // Blocks of memory frames: about 32 MB each (one frame at least), so that the last large
    // page of a block, part used, wastes little.
    static constexpr std::uint64_t kBlockBytes = 32ull << 20;

    FrameLayout m_layout;
    std::filesystem::path m_spillFile;
    bool m_findsHolds;   // only the knob and the size search ask for holds
    std::uint64_t m_memoryFrames;
    std::uint64_t m_framesPerBlock = std::max<std::uint64_t>(1, kBlockBytes / std::max<std::size_t>(1, m_layout.bytes()));
    std::vector<FrameMemory> m_blocks;
    std::uint64_t m_inMemory = 0;
    std::vector<std::uint8_t> m_readBack;
    int m_fd = -1;
    std::int64_t m_spilled = 0;
    std::vector<bool> m_repeats;   // by frame: the same bytes as the frame before
    std::size_t m_lastHash = 0;
};

GifFrameSink::GifFrameSink(const GifOptions& options, FrameLayout layout, std::filesystem::path spillFile)
    : m_options(options), m_layout(layout)
{
    if (keepsFrames())
        m_stored = std::make_unique<StoredFrames>(layout, std::move(spillFile),
                                                  options.maxSize.has_value() || options.quality > 0);
    else
        m_surface = std::make_unique<Dib>();
}

GifFrameSink::~GifFrameSink() = default;

// The quality knob looks at the frames before it picks, so it keeps them too.
bool GifFrameSink::keepsFrames() const
{
    return m_options.palette == GifPalette::Global || m_options.maxSize || m_options.quality > 0;
}

std::uint64_t GifFrameSink::spillBytes(const GifOptions& options, FrameLayout layout, std::int64_t frames)
{
    if (options.palette != GifPalette::Global && !options.maxSize && options.quality <= 0)
        return 0;
    const std::uint64_t all = std::uint64_t(std::max<std::int64_t>(0, frames)) * layout.bytes();
    const std::uint64_t inMemory = std::max<std::uint64_t>(1, kGifFramesInMemory / std::max<std::size_t>(1, layout.bytes()));
    return all > inMemory * layout.bytes() ? all - inMemory * layout.bytes() : 0;
}

int GifFrameSink::writeFrame(std::span<const std::uint8_t> frame, std::int64_t)
{
    if (m_failure || !m_stored)
        return 0;   // the GIF cannot be made (encode() says so), or its frames come by addImage
    try {
        if (!m_stored->append(frame))
            return -EIO;
        ++m_frames;
    } catch (...) {
        m_failure = std::current_exception();
    }
    return 0;
}

void GifFrameSink::addImage(const Bitmap& image)
{
    if (m_failure || m_status != GifEncodeStatus::Done)
        return;   // the GIF cannot be made; encode() says so
    try {
        if (!m_encoder) {
            m_encoder = std::make_unique<GifEncoder>(m_options, m_layout.width, m_layout.height);
            m_encoder->setHelperThreads(m_helperThreads);
        }
        Dib& surface = *m_surface;
        if (surface.width() != m_layout.width || surface.height() != m_layout.height || surface.BPP() != 32)
            if (!surface.create(m_layout.width, m_layout.height, 32))
                throw std::bad_alloc();   // no pixel memory to be had
        const int rows = std::min(m_layout.height, image.height());
        const std::size_t bytes = std::size_t(std::min(m_layout.width, image.width())) * 4;
        for (int y = 0; y < rows; ++y) {
            std::uint8_t* to = surface.scanline(y);
            std::memcpy(to, image.row(y), bytes);
            for (int x = 0; x < m_layout.width; ++x)
                to[4 * x + 3] = 0;   // the GIF reads no fourth byte; keep it as the packed frames had it
        }
        m_status = m_encoder->addFrame(surface);
        ++m_frames;
    } catch (...) {
        m_failure = std::current_exception();
    }
}

int GifFrameSink::finish() { return 0; }

GifEncodeStatus GifFrameSink::encode(std::vector<std::uint8_t>& out, const StepProgress& progress)
{
    out.clear();
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (m_status != GifEncodeStatus::Done)
        return m_status;
    if (m_stored) {
        GifOptions options = m_options;
        options.scalePercent = 100;
        return encodeGifAnimation(*m_stored, options, out, progress, m_helperThreads);
    }
    if (!m_encoder)
        return GifEncodeStatus::NoFrames;
    return m_encoder->finish(out, progress);
}

GifFitResult GifFrameSink::fit(std::int64_t maxBytes, const StepProgress& progress)
{
    if (m_failure)
        std::rethrow_exception(m_failure);
    GifFitResult result;
    if (!m_stored) {
        result.status = GifEncodeStatus::NoFrames;
        return result;
    }
    return fitGifToSize(*m_stored, maxBytes, m_options.delay, progress, m_helperThreads);
}

}  // namespace vantorell
