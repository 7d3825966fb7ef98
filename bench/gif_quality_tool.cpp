// The GIF quality bench's two helpers, on raw frames (bgr24, as `ffmpeg -pix_fmt bgr24 -f rawvideo`
// writes them, frames one after another):
//   gif_quality_tool encode FRAMES.raw W H N OUT.gif CHOICE...
//       encodes the frames with encodeGifAnimation; CHOICE: q=Q (the quality knob) or
//       p=halftone|optimal|global|per-frame d=none|ordered|ordered8|diffusion o=0|1 l=LOSSY
//       s=0|1 (still areas stay) f=0|1 (fine colours); with q=Q, m=0|1|2 resolves the knob here
//       as for moving, nearly still or mostly still frames (GifMotion), after which h=N sets
//       the hole tolerance and f= the fine colours
//   gif_quality_tool measure W H N REFERENCE.raw DECODED.raw
//       prints "PSNR FLICKER": the PSNR of the mean squared error over every frame and channel,
//       and the share of pixels in still 8 x 8 blocks (every reference pixel as in the frame
//       before) whose decoded colour changes from the frame before, in percent.
#include "dib/Dib.h"
#include "gif/GifEncoder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantorell;

namespace {

// A file's bytes, mapped rather than read: the frames are read once each, so a copy of 80 MB
// would cost more than encoding them.
class MappedFile {
public:
    explicit MappedFile(const char* path)
    {
        const int fd = ::open(path, O_RDONLY);
        struct stat info {};
        if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_size > 0) {
            void* at = ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (at != MAP_FAILED) {
                m_data = static_cast<const std::uint8_t*>(at);
                m_size = std::size_t(info.st_size);
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
    ~MappedFile()
    {
        if (m_data != nullptr)
            ::munmap(const_cast<std::uint8_t*>(m_data), m_size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

class RawFrames final : public GifFrameProvider {
public:
    RawFrames(const MappedFile& bytes, int width, int height, int count)
        : m_bytes(bytes), m_width(width), m_height(height), m_count(count)
    {
    }
    int frameCount() const override { return m_count; }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    bool frame(int index, Dib& surface) override
    {
        const std::size_t frameBytes = std::size_t(m_width) * m_height * 3;
        if (m_bytes.size() < frameBytes * (index + 1) || !surface.create(m_width, m_height, 32))
            return false;
        const std::uint8_t* in = m_bytes.data() + frameBytes * index;
        for (int y = 0; y < m_height; ++y) {
            std::uint8_t* out = surface.scanline(y);
            for (int x = 0; x < m_width; ++x, in += 3, out += 4) {
                std::memcpy(out, in, 3);
                out[3] = 0;
            }
        }
        return true;
    }

private:
    const MappedFile& m_bytes;
    int m_width, m_height, m_count;
};

bool parseChoice(const std::string& arg, GifOptions& options)
{
    const std::string value = arg.size() > 2 ? arg.substr(2) : "";
    if (arg.rfind("q=", 0) == 0)
        options.quality = std::stoi(value);
    else if (arg.rfind("o=", 0) == 0)
        options.optimize = value == "1", options.pinned |= kGifChoiceOptimize;
    else if (arg.rfind("l=", 0) == 0)
        options.lossy = std::stoi(value), options.pinned |= kGifChoiceLossy;
    else if (arg.rfind("s=", 0) == 0)
        options.stillAreasStay = value == "1";
    else if (arg.rfind("f=", 0) == 0)
        options.fineColours = value == "1";
    else if (arg.rfind("p=", 0) == 0) {
        const char* names[] = {"halftone", "optimal", "global", "per-frame"};
        for (int i = 0; i < 4; ++i)
            if (value == names[i])
                options.palette = GifPalette(i), options.pinned |= kGifChoicePalette;
    } else if (arg.rfind("d=", 0) == 0) {
        const char* names[] = {"none", "ordered", "ordered8", "diffusion"};
        for (int i = 0; i < 4; ++i)
            if (value == names[i])
                options.dither = GifDither(i), options.pinned |= kGifChoiceDither;
    } else {
        return false;
    }
    return true;
}

int encode(int argc, char** argv)
{
    const int width = std::stoi(argv[3]), height = std::stoi(argv[4]), count = std::stoi(argv[5]);
    GifOptions options;
    int resolveAs = -1, holes = -1, fine = -1;
    for (int i = 7; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("m=", 0) == 0)
            resolveAs = std::stoi(arg.substr(2));
        else if (arg.rfind("h=", 0) == 0)
            holes = std::stoi(arg.substr(2));
        else if (arg.rfind("f=", 0) == 0 && options.quality > 0)
            fine = std::stoi(arg.substr(2));
        else if (!parseChoice(arg, options)) {
            std::cerr << "unknown choice " << arg << "\n";
            return 2;
        }
    }
    if (resolveAs >= 0) {   // the knob's choices, then what the caller sets over them
        options = applyGifQuality(options, GifMotion(resolveAs));
        if (holes >= 0)
            options.holeTolerance = holes;
        if (fine >= 0)
            options.fineColours = fine == 1;
    }
    const MappedFile raw(argv[2]);
    RawFrames frames(raw, width, height, count);
    std::vector<std::uint8_t> gif;
    if (encodeGifAnimation(frames, options, gif) != GifEncodeStatus::Done)
        return 1;
    std::ofstream(argv[6], std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), std::streamsize(gif.size()));
    return 0;
}

int measure(char** argv)
{
    const int width = std::stoi(argv[2]), height = std::stoi(argv[3]), count = std::stoi(argv[4]);
    const MappedFile reference(argv[5]), decoded(argv[6]);
    const std::size_t frameBytes = std::size_t(width) * height * 3;
    if (reference.size() < frameBytes * count || decoded.size() < frameBytes * count) {
        std::cerr << "short input: " << reference.size() << " and " << decoded.size() << " bytes\n";
        return 1;
    }
    double squared = 0;
    for (std::size_t i = 0; i < frameBytes * count; ++i) {
        const double d = double(reference.data()[i]) - double(decoded.data()[i]);
        squared += d * d;
    }
    const double mse = squared / double(frameBytes * count);
    std::int64_t still = 0, flickering = 0;
    const auto pixel = [&](const MappedFile& v, int f, int x, int y) {
        return v.data() + frameBytes * f + (std::size_t(y) * width + x) * 3;
    };
    for (int f = 1; f < count; ++f)
        for (int by = 0; by < height; by += 8)
            for (int bx = 0; bx < width; bx += 8) {
                const int ey = std::min(height, by + 8), ex = std::min(width, bx + 8);
                bool unchanged = true;
                for (int y = by; y < ey && unchanged; ++y)
                    unchanged = std::memcmp(pixel(reference, f, bx, y), pixel(reference, f - 1, bx, y), 3 * (ex - bx)) == 0;
                if (!unchanged)
                    continue;
                for (int y = by; y < ey; ++y)
                    for (int x = bx; x < ex; ++x) {
                        ++still;
                        flickering += std::memcmp(pixel(decoded, f, x, y), pixel(decoded, f - 1, x, y), 3) != 0;
                    }
            }
    std::printf("%.2f %.3f\n", mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0,
                still > 0 ? 100.0 * double(flickering) / double(still) : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 7 && std::strcmp(argv[1], "encode") == 0)
        return encode(argc, argv);
    if (argc == 7 && std::strcmp(argv[1], "measure") == 0)
        return measure(argv);
    std::cerr << "usage: gif_quality_tool encode FRAMES.raw W H N OUT.gif CHOICE... | measure W H N REF.raw DEC.raw\n";
    return 2;
}
