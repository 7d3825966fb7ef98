#include "avi/AviWriter.h"

namespace vantorell {

int AviFrameFile::open(const std::filesystem::path& path, FrameLayout layout, int rate)
{
    const int rc = m_avi.open(path);
    if (rc != 0)
        return rc;
    // The frames' rows run top down: a negative height says so.
    BitmapInfoHeader format;
    format.size = int(kBitmapInfoHeaderSize);
    format.width = layout.width;
    format.height = -layout.height;
    format.planes = 1;
    format.bitCount = 24;
    format.sizeImage = std::uint32_t(layout.bytes());
    return m_avi.createStream(format, {}, rate);
}

int AviFrameFile::start(const CompressorChoice& choice) { return m_avi.makeCompressed(choice); }

int AviFrameFile::writeEmpty() { return m_avi.writeEmpty(); }

int AviFrameFile::writeFrame(std::span<const std::uint8_t> frame, std::int64_t index)
{
    return m_avi.writeFrame(frame, index);
}

int AviFrameFile::finish() { return m_avi.finish(); }

}  // namespace vantorell
