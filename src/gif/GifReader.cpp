// The GIF reader: loadFromFile and loadFromStream of GifDocument. It walks the blocks of a GIF87a or
// GIF89a file through a ByteReader, so every length and offset is checked against the data,
// and it checks each frame against DecodeLimits before allocating its surfaces.
//
// Decisions about what other writers produce, each pinned by a test in tests/gif:
// - The file need not end with the trailer: the scan also stops at the end of the data.
// - Bytes between blocks that introduce nothing are skipped one at a time.
// - The screen size, frame position, delay and loop count are unsigned 16-bit numbers: a loop
//   count of 65535 or a 40000-pixel screen loads.
// - A frame may lie partly or wholly outside the logical screen: its position is kept as
//   read (giflib does the same); a user that shows it clips it to the screen.
// - A frame of zero width or height is kept, with empty surfaces; its data are skipped.
// - A graphic control or application extension is read by its block size and the rest of
//   its sub-blocks skipped, so a block of an unexpected size cannot derail the scan.
#include "gif/ByteReader.h"
#include "gif/GifDocument.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <system_error>

namespace vantorell {

class GifDocument::Reader {
public:
    Reader(GifDocument& doc, std::span<const std::uint8_t> bytes) : m_doc(doc), m_in(bytes) {}

    GifError run()
    {
        if (GifError error = readHeader(); error != GifError::None)
            return error;
        while (!m_in.atEnd()) {
            GifError error = GifError::None;
            switch (m_in.u8()) {
            case kGifExtensionIntroducer:
                error = readExtension();
                break;
            case kGifImageSeparator:
                error = readImage();
                break;
            case kGifTrailer:
                return GifError::None;
            default:
                break;   // introduces nothing: skipped
            }
            if (error != GifError::None)
                return error;
        }
        return GifError::None;
    }

    std::size_t offset() const { return m_in.offset(); }

private:
    GifError readHeader()
    {
        const auto magic = m_in.take(6);
        if (magic.size() != 6 || std::memcmp(magic.data(), "GIF", 3) != 0 ||
            (std::memcmp(magic.data() + 3, "87a", 3) != 0 && std::memcmp(magic.data() + 3, "89a", 3) != 0))
            return GifError::BadHeader;
        m_doc.m_signature.assign(magic.begin(), magic.begin() + 3);
        m_doc.m_version.assign(magic.begin() + 3, magic.end());

        // Logical screen descriptor.
        const int width = m_in.u16le();
        const int height = m_in.u16le();
        const int flags = m_in.u8();
        const int background = m_in.u8();
        const std::uint8_t aspect = m_in.u8();
        if (m_in.truncated())
            return GifError::TruncatedInput;
        m_doc.m_screenWidth = width;
        m_doc.m_screenHeight = height;
        m_doc.m_background = background;
        m_doc.m_aspect = aspect;
        m_doc.m_globalExists = (flags & 0x80) != 0;
        if (m_doc.m_globalExists) {
            m_doc.m_globalSorted = (flags & 0x08) != 0;
            m_doc.m_globalEntries = 2 << (flags & 7);
            if (!readColourTable(m_doc.m_globalEntries, m_doc.m_globalPalette))
                return GifError::TruncatedInput;
        }
        return GifError::None;
    }

    // `entries` red, green, blue triples into blue, green, red, reserved storage.
    bool readColourTable(int entries, std::array<std::uint8_t, kPaletteBytes>& palette)
    {
        const auto rgb = m_in.take(std::size_t(entries) * 3);
        if (m_in.truncated())
            return false;
        for (int i = 0; i < entries; ++i) {
            palette[std::size_t(i) * 4 + 0] = rgb[std::size_t(i) * 3 + 2];
            palette[std::size_t(i) * 4 + 1] = rgb[std::size_t(i) * 3 + 1];
            palette[std::size_t(i) * 4 + 2] = rgb[std::size_t(i) * 3 + 0];
            palette[std::size_t(i) * 4 + 3] = 0;
        }
        return true;
    }

    // A chain of sub-blocks up to its zero length byte, joined into `out` (when given).
    bool gatherSubBlocks(std::vector<std::uint8_t>* out)
    {
        for (;;) {
            const std::size_t size = m_in.u8();
            if (m_in.truncated())
                return false;
            if (size == 0)
                return true;
            const auto block = m_in.take(size);
            if (m_in.truncated())
                return false;
            if (out)
                out->insert(out->end(), block.begin(), block.end());
        }
    }

    GifError readExtension()
    {
        const int label = m_in.u8();
        if (m_in.truncated())
            return GifError::TruncatedInput;
        if (label == kGifGraphicControlLabel) {
            const std::size_t size = m_in.u8();
            const auto block = m_in.take(size);
            if (m_in.truncated())
                return GifError::TruncatedInput;
            if (size >= 4) {
                // Applies to the image that follows.
                const int flags = block[0];
                m_pending.delay = block[1] | (block[2] << 8);
                m_pending.disposal = (flags & 0x1C) / 4;
                m_pending.userInput = (flags & 0x02) != 0;
                m_pending.useTransparent = (flags & 0x01) != 0;
                if (m_pending.useTransparent)
                    m_pending.transparentIndex = block[3];
            }
            return gatherSubBlocks(nullptr) ? GifError::None : GifError::TruncatedInput;
        }
        if (label == kGifApplicationLabel) {
            const std::size_t size = m_in.u8();
            const auto id = m_in.take(size);
            m_data.clear();
            if (m_in.truncated() || !gatherSubBlocks(&m_data))
                return GifError::TruncatedInput;
            if (size == 11 && std::memcmp(id.data(), "NETSCAPE2.0", 11) == 0) {
                // Sub-block id 1, then the loop count.
                if (m_data.size() < 3)
                    return GifError::BadExtension;
                m_doc.m_animationLoops = m_data[1] | (m_data[2] << 8);
            }
            return GifError::None;
        }
        return gatherSubBlocks(nullptr) ? GifError::None : GifError::TruncatedInput;
    }

    GifError readImage()
    {
        Frame& frame = m_pending;
        frame.left = m_in.u16le();
        frame.top = m_in.u16le();
        const int width = m_in.u16le();
        const int height = m_in.u16le();
        const int flags = m_in.u8();
        if (m_in.truncated())
            return GifError::TruncatedInput;
        frame.interlaced = (flags & 0x40) != 0;
        frame.localUsed = (flags & 0x80) != 0;
        if (frame.localUsed) {
            frame.localSorted = (flags & 0x20) != 0;
            frame.localEntries = 2 << (flags & 7);
            if (!readColourTable(frame.localEntries, frame.localPalette))
                return GifError::TruncatedInput;
        } else {
            // Every frame carries the palette it is drawn with.
            frame.localSorted = m_doc.m_globalSorted;
            frame.localEntries = m_doc.m_globalEntries;
            frame.localPalette = m_doc.m_globalPalette;
        }

        // Limits, before anything the size asks for is allocated.
        const DecodeLimits& limits = m_doc.m_limits;
        if (m_doc.framesCount() >= std::min(limits.maxFrames, kMaxFrames))
            return GifError::OverLimit;
        if (width > limits.maxFrameSide || height > limits.maxFrameSide)
            return GifError::FrameTooLarge;
        const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
        m_totalPixels += std::max<std::uint64_t>(pixels, 1);
        if (pixels > limits.maxFramePixels || m_totalPixels > limits.maxTotalPixels)
            return GifError::OverLimit;

        const int minCodeSize = m_in.u8();
        m_data.clear();
        if (m_in.truncated() || !gatherSubBlocks(&m_data))
            return GifError::TruncatedInput;

        if (width > 0 && height > 0) {
            if (!frame.image.create(width, height, 8) || !frame.mask.create(width, height, 1))
                return GifError::NoMemory;
            static const std::uint8_t kBlackWhite[8] = {0, 0, 0, 0, 255, 255, 255, 0};
            frame.mask.setPalette(kBlackWhite, sizeof kBlackWhite);
            const IndexedTarget target{frame.image.bits(), frame.image.bytesPerScanline(), width, height};
            frame.decodeResult = m_doc.m_decoder.decodeFrame(m_data, minCodeSize, target, frame.interlaced).error;
            showWithPalette(frame);
        }

        m_doc.m_frames.push_back(std::make_unique<Frame>(std::move(m_pending)));
        m_pending = Frame{};
        return GifError::None;
    }

    // Gives the image its palette. With a transparent index the mask gets a 1 bit wherever the
    // image holds that index and the palette's entry for it is black, so a frame draws as the
    // mask ANDed, then the image ORed; without one the mask stays clear.
    static void showWithPalette(Frame& frame)
    {
        std::fill_n(frame.mask.bits(), frame.mask.size(), 0);
        if (!frame.useTransparent) {
            frame.image.setPalette(frame.localPalette.data(), frame.localPalette.size());
            return;
        }
        const auto transparent = static_cast<std::uint8_t>(frame.transparentIndex);
        const Dib& image = frame.image;
        Dib& mask = frame.mask;
        for (int y = 0; y < image.height(); ++y) {
            const std::uint8_t* src = image.scanline(y);
            std::uint8_t* dst = mask.scanline(y);
            for (int x = 0; x < image.width(); ++x)
                if (src[x] == transparent)
                    dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
        std::array<std::uint8_t, kPaletteBytes> shown = frame.localPalette;
        std::fill_n(shown.begin() + std::ptrdiff_t(frame.transparentIndex) * 4, 4, 0);
        frame.image.setPalette(shown.data(), shown.size());
    }

    GifDocument& m_doc;
    ByteReader m_in;
    Frame m_pending;                      // what the graphic control extension said of the next image
    std::vector<std::uint8_t> m_data;     // joined sub-blocks of the block being read
    std::uint64_t m_totalPixels = 0;
};

bool GifDocument::loadFromStream(std::span<const std::uint8_t> bytes)
{
    destroy();
    Reader reader(*this, bytes);
    GifError error;
    try {
        error = reader.run();
    } catch (const std::bad_alloc&) {
        error = GifError::NoMemory;
    }
    m_lastError = error;
    m_lastErrorOffset = error == GifError::None ? 0 : reader.offset();
    if (error != GifError::None) {
        destroy();
        return false;
    }
    return true;
}

bool GifDocument::loadFromFile(const std::filesystem::path& file)
{
    destroy();
    m_lastErrorOffset = 0;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size == 0) {
        m_lastError = GifError::NoFile;
        return false;
    }
    if (size > m_limits.maxFileBytes) {
        m_lastError = GifError::OverLimit;
        return false;
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        m_lastError = GifError::NoMemory;
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        m_lastError = GifError::NoFile;
        return false;
    }
    return loadFromStream(bytes);
}

}  // namespace vantorell
