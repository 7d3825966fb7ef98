#include "job/GifMaker.h"

#include "avi/VideoReader.h"
#include "dib/Dib.h"
#include "gif/GifDelays.h"
#include "gif/GifDocument.h"
#include "gif/GifEncoder.h"
#include "gif/GifFormat.h"
#include "job/ResultFile.h"
#include "platform/ByteSize.h"
#include "platform/InputFile.h"
#include "platform/NaturalOrder.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>

namespace vantorell {

namespace {

// ---- Fitting a frame into the animation's size ------------------------------------------------

// For each output position along one side: the source positions it takes and their weights
// (a triangle filter, widened when shrinking so every source pixel counts).
struct Taps {
    std::vector<int> first, count;
    std::vector<float> weights;   // count[i] weights from offset i * stride
    int stride = 0;
};

Taps makeTaps(int from, int to)
{
    Taps taps;
    const double scale = double(to) / from;
    const double radius = scale < 1 ? 1 / scale : 1;
    taps.stride = int(std::ceil(2 * radius)) + 2;
    taps.first.resize(std::size_t(to));
    taps.count.resize(std::size_t(to));
    taps.weights.assign(std::size_t(to) * std::size_t(taps.stride), 0.f);
    for (int i = 0; i < to; ++i) {
        const double centre = (i + 0.5) / scale - 0.5;
        const int low = std::max(0, int(std::ceil(centre - radius)));
        const int high = std::min(from - 1, int(std::floor(centre + radius)));
        double sum = 0;
        int n = 0;
        int first = low;
        for (int s = low; s <= high && n < taps.stride; ++s, ++n) {
            const double w = std::max(0.0, 1 - std::abs(s - centre) / radius);
            taps.weights[std::size_t(i) * std::size_t(taps.stride) + std::size_t(n)] = float(w);
            sum += w;
        }
        if (sum <= 0) {   // no tap within the radius: the nearest pixel
            first = std::clamp(int(std::lround(centre)), 0, from - 1);
            n = 1;
            taps.weights[std::size_t(i) * std::size_t(taps.stride)] = 1;
            sum = 1;
        }
        for (int k = 0; k < n; ++k)
            taps.weights[std::size_t(i) * std::size_t(taps.stride) + std::size_t(k)] /= float(sum);
        taps.first[std::size_t(i)] = first;
        taps.count[std::size_t(i)] = n;
    }
    return taps;
}

// A source of 32-bit rows (blue, green, red, alpha).
struct Pixels {
    const std::uint8_t* bits;
    std::size_t stride;
    int width, height;
};

// What fitInto makes of alpha: 0 everywhere (the encoder then ignores it), the source's, or
// opaque (a picture without alpha in an animation with it). With the last two the border is clear.
enum class Alpha { Zero, Keep, Opaque };

// `source` fitted into `out` (already its size): scaled to the largest size that keeps its
// proportions, centred, black around it.
void fitInto(const Pixels& source, Dib& out, Alpha alpha = Alpha::Zero)
{
    const int outWidth = out.width(), outHeight = out.height();
    if (source.width == outWidth && source.height == outHeight) {
        for (int y = 0; y < outHeight; ++y) {
            std::uint8_t* to = out.scanline(y);
            std::memcpy(to, source.bits + std::size_t(y) * source.stride, std::size_t(outWidth) * 4);
            for (int x = 0; x < outWidth && alpha != Alpha::Keep; ++x)
                to[4 * x + 3] = alpha == Alpha::Opaque ? 255 : 0;
        }
        return;
    }
    const double scale = std::min(double(outWidth) / source.width, double(outHeight) / source.height);
    const int width = std::clamp(int(std::lround(source.width * scale)), 1, outWidth);
    const int height = std::clamp(int(std::lround(source.height * scale)), 1, outHeight);
    const int left = (outWidth - width) / 2, top = (outHeight - height) / 2;
    out.clear(0);
    const Taps across = makeTaps(source.width, width), down = makeTaps(source.height, height);
    std::vector<float> rows(std::size_t(width) * std::size_t(source.height) * 4);   // scaled across
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* from = source.bits + std::size_t(y) * source.stride;
        float* to = rows.data() + std::size_t(y) * std::size_t(width) * 4;
        for (int x = 0; x < width; ++x) {
            const float* w = across.weights.data() + std::size_t(x) * std::size_t(across.stride);
            float b = 0, g = 0, r = 0, a = 0;
            for (int k = 0; k < across.count[std::size_t(x)]; ++k) {
                const std::uint8_t* p = from + 4 * std::size_t(across.first[std::size_t(x)] + k);
                b += w[k] * p[0];
                g += w[k] * p[1];
                r += w[k] * p[2];
                a += w[k] * (alpha == Alpha::Opaque ? 255 : p[3]);
            }
            to[4 * x] = b, to[4 * x + 1] = g, to[4 * x + 2] = r, to[4 * x + 3] = a;
        }
    }
    const auto byte = [](float v) { return std::uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
    for (int y = 0; y < height; ++y) {
        std::uint8_t* to = out.scanline(top + y) + 4 * std::size_t(left);
        const float* w = down.weights.data() + std::size_t(y) * std::size_t(down.stride);
        for (int x = 0; x < width; ++x) {
            float b = 0, g = 0, r = 0, a = 0;
            for (int k = 0; k < down.count[std::size_t(y)]; ++k) {
                const float* p = rows.data() + (std::size_t(down.first[std::size_t(y)] + k) * std::size_t(width) + x) * 4;
                b += w[k] * p[0];
                g += w[k] * p[1];
                r += w[k] * p[2];
                a += w[k] * p[3];
            }
            to[4 * x] = byte(b), to[4 * x + 1] = byte(g), to[4 * x + 2] = byte(r);
            to[4 * x + 3] = alpha == Alpha::Zero ? 0 : byte(a);
        }
    }
}

// The animation's size: the first frame's, or `width` wide in its proportions.
void sizeFromFirst(int firstWidth, int firstHeight, int width, int& outWidth, int& outHeight)
{
    outWidth = width > 0 ? width : firstWidth;
    outHeight = width > 0 ? std::max(1, int(std::lround(double(firstHeight) * width / firstWidth))) : firstHeight;
}

// ---- Frame sources ------------------------------------------------------------------------------

class MakerFrames : public GifFrameProvider {
public:
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    // Why the last frame could not be read.
    const std::string& problem() const { return m_problem; }
    // Each frame's delay in hundredths of a second.
    virtual std::vector<int> delays() const = 0;
    bool hasTransparency() const override { return m_transparent; }
    // The most memory frames kept for a later pass may take (a video's; pictures load again).
    virtual void limitKeptFrames(std::int64_t) {}

protected:
    int m_width = 0, m_height = 0;
    std::string m_problem;
    bool m_transparent = false;   // some frame has pixels under half coverage
};

// Pictures, each decoded when its frame is wanted.
class PictureFrames final : public MakerFrames {
public:
    PictureFrames(std::vector<std::string> files, double fps) : m_files(std::move(files)), m_fps(fps) {}

    // Reads the first picture for the animation's size, and every picture's header for whether
    // one keeps alpha.
    bool start(int width)
    {
        const Picture first = load(0);
        if (first.empty())
            return false;
        sizeFromFirst(first.width(), first.height(), width, m_width, m_height);
        m_first = first;
        for (const std::string& file : m_files) {
            const std::optional<PictureHeader> header = peekPictureHeader(file);
            m_hasAlpha.push_back(header && header->hasAlpha);
            m_transparent = m_transparent || m_hasAlpha.back();
        }
        return true;
    }
    int frameCount() const override { return int(m_files.size()); }
    bool frame(int index, Dib& surface) override
    {
        if (index < 0 || index >= frameCount())
            return false;
        if (m_hasAlpha[std::size_t(index)])
            return loadWithAlpha(index, surface);
        Picture picture = index == 0 && !m_first.empty() ? m_first : load(index);
        if (picture.empty())
            return false;
        if (!surface.create(m_width, m_height, 32))
            throw std::bad_alloc();
        const Bitmap& bitmap = picture.bitmap();
        fitInto({bitmap.bits(), bitmap.stride(), bitmap.width(), bitmap.height()}, surface,
                m_transparent ? Alpha::Opaque : Alpha::Zero);
        return true;
    }
    std::vector<int> delays() const override { return delaysForRate(frameCount(), m_fps); }

private:
    Picture load(int index)
    {
        const std::string& file = m_files[std::size_t(index)];
        try {
            Picture picture = loadPicture(file);
            if (!picture.empty())
                return picture;
            m_problem = inputFailure("Frame " + std::to_string(index + 1), file, "could not be read");
        } catch (const RuntimeError& e) {
            m_problem = inputFailure("Frame " + std::to_string(index + 1), file, e.inputProblem(), e.description());
        }
        return {};
    }

    // A picture that keeps alpha, through the reader that hands it over (its first frame).
    bool loadWithAlpha(int index, Dib& surface)
    {
        const std::string& file = m_files[std::size_t(index)];
        try {
            AnimationReader reader;
            reader.open(file);
            const std::uint8_t* pixels = nullptr;
            int delayMs = 0;
            if (!reader.next(pixels, delayMs)) {
                m_problem = inputFailure("Frame " + std::to_string(index + 1), file, "could not be read");
                return false;
            }
            if (!surface.create(m_width, m_height, 32))
                throw std::bad_alloc();
            fitInto({pixels, std::size_t(reader.width()) * 4, reader.width(), reader.height()}, surface, Alpha::Keep);
            return true;
        } catch (const RuntimeError& e) {
            m_problem = inputFailure("Frame " + std::to_string(index + 1), file, e.inputProblem(), e.description());
        }
        return false;
    }

    std::vector<std::string> m_files;
    double m_fps;
    Picture m_first;   // kept from start() for frame 0
    std::vector<bool> m_hasAlpha;   // by frame: the picture keeps alpha
};

// An animated GIF's frames as a viewer shows them (each drawn over what the one before left,
// as its disposal says), with their own delays.
class GifFileFrames final : public MakerFrames {
public:
    GifFileFrames(std::string file) : m_file(std::move(file)) {}

    bool start(int width)
    {
        if (!m_document.loadFromFile(m_file) || m_document.framesCount() == 0 || m_document.screenWidth() <= 0 ||
            m_document.screenHeight() <= 0) {
            m_problem = inputFailure("The GIF", m_file,
                                     "is not a GIF that can be read (" +
                                         std::string(gifErrorName(m_document.lastError())) + ")");
            return false;
        }
        sizeFromFirst(m_document.screenWidth(), m_document.screenHeight(), width, m_width, m_height);
        m_transparent = showsClearPixels();
        return true;
    }
    int frameCount() const override { return m_document.framesCount(); }
    bool frame(int index, Dib& surface) override
    {
        if (index < 0 || index >= frameCount())
            return false;
        if (index < m_next || m_canvas.empty()) {
            m_canvas.assign(std::size_t(m_document.screenWidth()) * std::size_t(m_document.screenHeight()) * 4, 0);
            m_next = 0;
            m_dispose = 0;
        }
        while (m_next <= index)
            draw(++m_next);
        if (!surface.create(m_width, m_height, 32))
            throw std::bad_alloc();
        fitInto({m_canvas.data(), std::size_t(m_document.screenWidth()) * 4, m_document.screenWidth(),
                 m_document.screenHeight()},
                surface, m_transparent ? Alpha::Keep : Alpha::Zero);
        return true;
    }
    std::vector<int> delays() const override
    {
        std::vector<int> delays;
        for (int k = 1; k <= frameCount(); ++k)
            delays.push_back(m_document.frameDelay(k));
        return delays;
    }

private:
    struct Rect {
        int left, top, right, bottom;
    };

    // Whether any frame, as shown, leaves a pixel clear.
    bool showsClearPixels()
    {
        m_canvas.assign(std::size_t(m_document.screenWidth()) * std::size_t(m_document.screenHeight()) * 4, 0);
        m_next = 0;
        m_dispose = 0;
        bool clear = false;
        while (!clear && m_next < frameCount()) {
            draw(++m_next);
            for (std::size_t k = 3; k < m_canvas.size() && !clear; k += 4)
                clear = m_canvas[k] == 0;
        }
        m_canvas.clear();   // frame() starts again
        return clear;
    }
    Rect clipped(int number) const
    {
        const Dib& image = m_document.frameImage(number);
        const int left = std::clamp(m_document.frameLeft(number), 0, m_document.screenWidth());
        const int top = std::clamp(m_document.frameTop(number), 0, m_document.screenHeight());
        return {left, top, std::min(m_document.screenWidth(), m_document.frameLeft(number) + image.width()),
                std::min(m_document.screenHeight(), m_document.frameTop(number) + image.height())};
    }

    // Frame `number` (from 1) over the canvas, after undoing the frame before as it asked.
    void draw(int number)
    {
        const std::size_t stride = std::size_t(m_document.screenWidth()) * 4;
        if (m_dispose == 2) {
            for (int y = m_disposed.top; y < m_disposed.bottom; ++y)
                std::memset(&m_canvas[std::size_t(y) * stride + 4 * std::size_t(m_disposed.left)], 0,
                            4 * std::size_t(std::max(0, m_disposed.right - m_disposed.left)));
        } else if (m_dispose == 3 && m_saved.size() == m_canvas.size()) {
            m_canvas = m_saved;
        }
        m_dispose = m_document.frameDisposalMethod(number);
        const Rect r = clipped(number);
        m_disposed = r;
        if (m_dispose == 3)
            m_saved = m_canvas;
        const Dib& image = m_document.frameImage(number);
        if (image.empty())
            return;
        const std::uint8_t* palette = m_document.localPaletteData(number);
        const bool transparent = m_document.frameUseTransparentColor(number);
        const int clear = m_document.frameTransparentColorIndex(number);
        for (int y = r.top; y < r.bottom; ++y) {
            const std::uint8_t* from = image.scanline(y - m_document.frameTop(number));
            std::uint8_t* to = &m_canvas[std::size_t(y) * stride];
            for (int x = r.left; x < r.right; ++x) {
                const int index = from[x - m_document.frameLeft(number)];
                if (transparent && index == clear)
                    continue;
                std::memcpy(to + 4 * x, palette + 4 * index, 3);
                to[4 * x + 3] = 255;
            }
        }
    }

    std::string m_file;
    GifDocument m_document;
    std::vector<std::uint8_t> m_canvas, m_saved;
    Rect m_disposed{0, 0, 0, 0};
    int m_dispose = 0;
    int m_next = 0;   // frames drawn on the canvas
};

// An animated WebP through Qt's reader, with its own delays. A first pass reads every frame
// for the count, the delays and whether any pixel is clear; frames are then read again as asked.
class WebpFrames final : public MakerFrames {
public:
    WebpFrames(std::string file, double fps) : m_file(std::move(file)), m_fps(fps) {}

    bool start(int width)
    {
        try {
            m_reader.open(m_file, DecodeLimits{}.maxTotalPixels);
            const std::uint64_t framePixels = std::uint64_t(m_reader.width()) * std::uint64_t(m_reader.height());
            const std::uint8_t* pixels = nullptr;
            int delayMs = 0;
            while (m_reader.next(pixels, delayMs)) {
                if (m_delays.size() >= std::size_t(kGifMakerMaxFrames) ||
                    framePixels * (m_delays.size() + 1) > DecodeLimits{}.maxTotalPixels) {
                    m_problem = inputFailure("The input", m_file, "has too many frames");
                    return false;
                }
                // A still picture has no delay of its own: it takes the rate's.
                m_delays.push_back(delayMs <= 0 ? delaysForRate(1, m_fps).front()
                                                : std::max(1, int(std::lround(delayMs / 10.0))));
                for (std::uint64_t k = 0; k < framePixels && !m_transparent; ++k)
                    m_transparent = pixels[4 * k + 3] < 128;
            }
            if (m_delays.empty()) {
                m_problem = inputFailure("The input", m_file, "could not be read");
                return false;
            }
            m_reader.rewind();
        } catch (const RuntimeError& e) {
            m_problem = inputFailure("The input", m_file, e.inputProblem(), e.description());
            return false;
        }
        sizeFromFirst(m_reader.width(), m_reader.height(), width, m_width, m_height);
        return true;
    }
    int frameCount() const override { return int(m_delays.size()); }
    bool frame(int index, Dib& surface) override
    {
        if (index < 0 || index >= frameCount())
            return false;
        try {
            if (index < m_next) {
                m_reader.rewind();
                m_next = 0;
            }
            const std::uint8_t* pixels = nullptr;
            int delayMs = 0;
            for (; m_next <= index; ++m_next)
                if (!m_reader.next(pixels, delayMs)) {
                    m_problem = inputFailure("Frame " + std::to_string(m_next + 1), m_file, "could not be read");
                    m_next = frameCount();   // start again on the next call
                    return false;
                }
            if (!surface.create(m_width, m_height, 32))
                throw std::bad_alloc();
            fitInto({pixels, std::size_t(m_reader.width()) * 4, m_reader.width(), m_reader.height()}, surface,
                    m_transparent ? Alpha::Keep : Alpha::Zero);
            return true;
        } catch (const RuntimeError& e) {
            m_problem = inputFailure("The input", m_file, e.inputProblem(), e.description());
            return false;
        }
    }
    std::vector<int> delays() const override { return m_delays; }

private:
    std::string m_file;
    double m_fps;
    AnimationReader m_reader;
    std::vector<int> m_delays;   // hundredths of a second
    int m_next = 0;              // frames read since the file was opened
};

// A video decoded as it goes and resampled to the rate.
class VideoFrames final : public MakerFrames {
public:
    VideoFrames(std::string file, double fps) : m_file(std::move(file)), m_fps(fps) {}

    bool start(int width)
    {
        const std::string problem = m_reader.open(m_file, m_fps, width, kGifMakerMaxFrames);
        if (!problem.empty()) {
            m_problem = inputFailure("The input", m_file, problem);
            return false;
        }
        m_width = m_reader.width();
        m_height = m_reader.height();
        return true;
    }
    int frameCount() const override { return m_reader.frameCount(); }
    bool frame(int index, Dib& surface) override
    {
        if (!surface.create(m_width, m_height, 32))
            throw std::bad_alloc();
        if (m_reader.frame(index, surface.bits(), std::size_t(surface.bytesPerScanline())))
            return true;
        m_problem = inputFailure("The video", m_file, m_reader.error());
        return false;
    }
    std::vector<int> delays() const override { return delaysForRate(frameCount(), m_fps); }
    void limitKeptFrames(std::int64_t bytes) override { m_reader.keepAtMost(std::size_t(std::max<std::int64_t>(0, bytes))); }

private:
    std::string m_file;
    double m_fps;
    VideoReader m_reader;
};

bool startsWith(const std::string& file, std::string_view magic)
{
    std::ifstream in(file, std::ios::binary);
    std::string head(magic.size(), '\0');
    return in.read(head.data(), std::streamsize(head.size())) && head == magic;
}

bool isWebp(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string head(12, '\0');
    return in.read(head.data(), std::streamsize(head.size())) && head.starts_with("RIFF") && head.substr(8) == "WEBP";
}

// The source the inputs make: a video or an animated GIF when there is one input that is one,
// else pictures.
std::unique_ptr<MakerFrames> openFrames(const GifMakerRequest& request, std::string& problem)
{
    for (std::size_t k = 0; k < request.inputs.size(); ++k)
        if (const std::string why = inputFileProblem(request.inputs[k]); !why.empty()) {
            problem = inputFailure("Frame " + std::to_string(k + 1), request.inputs[k], "could not be read: " + why);
            return nullptr;
        }
    std::unique_ptr<MakerFrames> frames;
    bool started = false;
    if (request.inputs.size() == 1 && startsWith(request.inputs[0], "GIF8")) {
        auto gif = std::make_unique<GifFileFrames>(request.inputs[0]);
        started = gif->start(request.width);
        frames = std::move(gif);
    } else if (request.inputs.size() == 1 && isWebp(request.inputs[0])) {
        auto webp = std::make_unique<WebpFrames>(request.inputs[0], request.fps);
        started = webp->start(request.width);
        frames = std::move(webp);
    } else if (request.inputs.size() == 1 && !peekPictureHeader(request.inputs[0])) {
        auto video = std::make_unique<VideoFrames>(request.inputs[0], request.fps);
        started = video->start(request.width);
        frames = std::move(video);
    } else {
        auto pictures = std::make_unique<PictureFrames>(request.inputs, request.fps);
        started = pictures->start(request.width);
        frames = std::move(pictures);
    }
    if (!started) {
        problem = frames->problem();
        return nullptr;
    }
    return frames;
}

// What the encoder holds: a few frame surfaces, one byte a pixel of every frame where the
// palette is made final after the last one, and the frames a size search keeps (160 MB at most).
std::int64_t memoryNeed(const MakerFrames& frames, const GifOptions& options)
{
    const std::int64_t pixels = std::int64_t(frames.width()) * frames.height();
    const bool keepsIndices = options.maxSize || !(options.palette == GifPalette::PerFrame || keepsWholePalette(options));
    const std::int64_t searchCache = options.maxSize ? std::min<std::int64_t>(160'000'000, pixels * 4 * frames.frameCount()) : 0;
    return pixels * 4 * 4 + (keepsIndices ? pixels * frames.frameCount() : 0) + searchCache;
}

std::string encodeFailure(GifEncodeStatus status, const MakerFrames& frames)
{
    switch (status) {
    case GifEncodeStatus::FrameUnreadable:
        return frames.problem().empty() ? "A frame could not be read." : frames.problem();
    case GifEncodeStatus::NoFrames: return "There are no frames to make a GIF of.";
    case GifEncodeStatus::PaletteFailed: return "The GIF's palette could not be made.";
    default: return "The GIF could not be made.";
    }
}

}  // namespace

void sortNumerically(std::vector<std::string>& names)
{
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
}

GifMakerOutcome makeGif(const GifMakerRequest& request, const StepProgress& progress)
{
    GifMakerOutcome outcome;
    try {
        std::unique_ptr<MakerFrames> frames = openFrames(request, outcome.error);
        if (!frames)
            return outcome;
        const std::int64_t need = memoryNeed(*frames, request.gif);
        if (request.memoryLimit > 0 && need > request.memoryLimit) {
            outcome.error = "this job needs about " + formatByteSize(std::uint64_t(need)) +
                            " of memory for its frames, more than the limit of " +
                            formatByteSize(std::uint64_t(request.memoryLimit)) + " for one job.";
            return outcome;
        }
        if (request.memoryLimit > 0)
            frames->limitKeptFrames(request.memoryLimit - need);   // what the limit leaves
        const std::vector<int> delays = frames->delays();
        GifOptions options = request.gif;
        options.delay = delays.empty() ? options.delay : delays.front();
        std::vector<std::uint8_t> bytes;
        GifEncodeStatus status;
        if (options.maxSize) {
            GifFitResult fit = fitGifToSize(*frames, *options.maxSize, options.delay, progress, request.helperThreads);
            status = fit.status;
            if (status == GifEncodeStatus::Done && !fit.fits) {
                outcome.error = "The GIF does not fit in " + formatByteSize(std::uint64_t(*options.maxSize)) +
                                ": the smallest is " + formatByteSize(std::uint64_t(fit.smallest)) + ".";
                return outcome;
            }
            bytes = std::move(fit.bytes);
        } else {
            status = encodeGifAnimation(*frames, options, bytes, progress, request.helperThreads);
        }
        if (status == GifEncodeStatus::Stopped) {
            outcome.cancelled = true;
            outcome.error = "Cancelled.";
            return outcome;
        }
        if (status != GifEncodeStatus::Done) {
            outcome.error = encodeFailure(status, *frames);
            return outcome;
        }
        if (!setGifFrameDelays(bytes, delays)) {
            outcome.error = "The GIF could not be made.";
            return outcome;
        }
        ResultFile::checkReplaceable(request.outputFile);
        ResultFile::removeStale(request.outputFile);
        ResultFile result(request.outputFile);
        if (!result.writeWhole(bytes)) {
            outcome.error = result.diskFull() ? "There is not enough disk space to write \"" + request.outputFile + "\"."
                                              : "There was an error writing to file \"" + request.outputFile + "\".";
            return outcome;
        }
        result.commit();
        outcome.written = true;
        outcome.frames = frames->frameCount();
        outcome.bytes = std::int64_t(bytes.size());
    } catch (const RuntimeError& e) {
        outcome.error = e.description();
    } catch (const std::bad_alloc&) {
        outcome.error = "There is not enough memory to make the GIF.";
    }
    return outcome;
}

}  // namespace vantorell
