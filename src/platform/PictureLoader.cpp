#include "platform/PictureLoader.h"

#include "platform/ColourProfile.h"
#include "platform/ExifOrientation.h"
#include "platform/InputFile.h"
#include "platform/JpegCodec.h"
#include "platform/PictureData.h"
#include "platform/PictureLimits.h"
#include "platform/RuntimeError.h"
#include "platform/qtimage/QtImageModule.h"


#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <dlfcn.h>
#include <unistd.h>

namespace vantorell {

namespace {

[[noreturn]] void invalidPicture(const std::string& why = {})
{
    throw RuntimeError(errnum::InvalidPicture, why.empty() ? "Invalid picture" : "Invalid picture: " + why,
                       why.empty() ? "could not be read: it is not a picture Vantorell reads"
                                   : "could not be read: " + why);
}

// A picture whose data ends before its pixels do, or cannot be what the format allows: the
// report is the one an undecodable picture gives, the closing message says what is wrong.
[[noreturn]] void damaged(std::string_view why)
{
    throw RuntimeError(errnum::InvalidPicture, "Invalid picture", "is damaged: " + std::string(why));
}

constexpr std::string_view kEndsEarly = "its data ends early";
constexpr std::string_view kCorrupt = "its data is corrupt";

constexpr std::string_view kTooLarge = "could not be read: it is too large: ";

[[noreturn]] void tooLarge(int width, int height)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height) +
                             " pixels (the limit is " + std::to_string(limits::kMaxPictureSide) +
                             " pixels a side and " + std::to_string(limits::kMaxPicturePixels / 1000000) +
                             " megapixels)";
    throw RuntimeError(errnum::InvalidPicture, "Picture too large: " + size, std::string(kTooLarge) + size);
}

bool isJpeg(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// The largest DCT scale 1/s (s = 8, 4, 2) whose output of ceil(w / s) x ceil(h / s) pixels still
// covers the requested size; 1 when only the full size does.
int jpegScaleDenominator(int width, int height, const DecodeRequest& request)
{
    if (request.coverWidth <= 0 || request.coverHeight <= 0)
        return 1;
    for (int scale : {8, 4, 2}) {
        const int scaledWidth = (width + scale - 1) / scale;
        const int scaledHeight = (height + scale - 1) / scale;
        if (scaledWidth >= request.coverWidth && scaledHeight >= request.coverHeight)
            return scale;
    }
    return 1;
}

bool isBmp(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 26 && bytes[0] == 'B' && bytes[1] == 'M';
}

std::int32_t le32(const std::uint8_t* p)
{
    return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[3]) << 24);
}

// Qt's BMP reader turns a header it will not allocate for into a plain failure; the sizes are
// read here first so that an oversized bitmap is named as such. BITMAPCOREHEADER (12 bytes)
// holds 16-bit sizes, the later headers 32-bit ones, a negative height meaning top-down rows.
void checkBmpDeclaredSize(std::span<const std::uint8_t> bytes)
{
    const std::int32_t headerSize = le32(&bytes[14]);
    std::int64_t width = 0, height = 0;
    if (headerSize == 12) {
        width = bytes[18] | bytes[19] << 8;
        height = bytes[20] | bytes[21] << 8;
    } else {
        width = le32(&bytes[18]);
        height = le32(&bytes[22]);
        if (height < 0)
            height = -height;
    }
    if (width > limits::kMaxPictureSide || height > limits::kMaxPictureSide ||
        std::uint64_t(width) * std::uint64_t(height) > limits::kMaxPicturePixels)
        tooLarge(int(std::min<std::int64_t>(width, INT32_MAX)), int(std::min<std::int64_t>(height, INT32_MAX)));
}

// Qt's image readers live in a module of their own (qtimage/), loaded the first time a picture
// is not a JPEG: a run that only reads JPEG never starts Qt's libraries, which costs a
// command-line job more than decoding a small photograph does.
struct QtImageModule {
    VantorellQtReadHeader readHeader = nullptr;
    VantorellQtDecode decode = nullptr;
    VantorellQtRelease release = nullptr;
    VantorellQtOpenAnimation openAnimation = nullptr;
    VantorellQtNextFrame nextFrame = nullptr;
    VantorellQtCloseAnimation closeAnimation = nullptr;
};

std::string executableFolder()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
}

// The folder of the program or shared library this code is linked into: an installed
// libvantorell finds the module in the "vantorell" folder beside it, wherever it was installed.
std::string codeFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&codeFolder), &info) == 0 || !info.dli_fname)
        return {};
    return std::filesystem::path(info.dli_fname).parent_path().string();
}

const QtImageModule* loadQtImageModule()
{
    static const QtImageModule* module = []() -> const QtImageModule* {
        constexpr const char* kName = "libvantorell_qtimage.so";
        std::vector<std::string> candidates;
        if (const char* explicitPath = std::getenv("VANTORELL_QT_IMAGE_MODULE"))
            candidates.emplace_back(explicitPath);
        if (const std::string folder = executableFolder(); !folder.empty()) {
            candidates.push_back(folder + "/" + kName);
            candidates.push_back(folder + "/../lib/vantorell/" + kName);
#ifdef VANTORELL_INSTALL_LIBDIR
            // Installed anywhere (a package unpacked elsewhere included): from bin/ or from
            // libexec/vantorell/, where the video helper lives.
            for (const char* up : {"/../", "/../../"})
                candidates.push_back(folder + up + VANTORELL_INSTALL_LIBDIR "/vantorell/" + kName);
#endif
        }
        if (const std::string folder = codeFolder(); !folder.empty())
            candidates.push_back(folder + "/vantorell/" + kName);
#ifdef VANTORELL_MODULE_DIR
        candidates.push_back(std::string(VANTORELL_MODULE_DIR) + "/" + kName);
#endif
#ifdef VANTORELL_INSTALL_MODULE_DIR
        candidates.push_back(std::string(VANTORELL_INSTALL_MODULE_DIR) + "/" + kName);
#endif
        for (const std::string& path : candidates) {
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle)
                continue;
            auto* found = new QtImageModule;   // lives as long as the process
            found->readHeader = reinterpret_cast<VantorellQtReadHeader>(::dlsym(handle, "vantorell_qt_read_header"));
            found->decode = reinterpret_cast<VantorellQtDecode>(::dlsym(handle, "vantorell_qt_decode"));
            found->release = reinterpret_cast<VantorellQtRelease>(::dlsym(handle, "vantorell_qt_release"));
            found->openAnimation = reinterpret_cast<VantorellQtOpenAnimation>(::dlsym(handle, "vantorell_qt_open_animation"));
            found->nextFrame = reinterpret_cast<VantorellQtNextFrame>(::dlsym(handle, "vantorell_qt_next_frame"));
            found->closeAnimation = reinterpret_cast<VantorellQtCloseAnimation>(::dlsym(handle, "vantorell_qt_close_animation"));
            if (found->readHeader && found->decode && found->release)
                return found;
            delete found;
        }
        return nullptr;
    }();
    return module;
}

const QtImageModule& qtImageModule()
{
    const QtImageModule* module = loadQtImageModule();
    if (!module)
        invalidPicture("no reader for this format (libvantorell_qtimage.so not found)");
    return *module;
}

void checkLimits(const PictureHeader& header)
{
    const std::uint64_t pixels = std::uint64_t(header.width) * std::uint64_t(header.height);
    if (header.width > limits::kMaxPictureSide || header.height > limits::kMaxPictureSide ||
        pixels > limits::kMaxPicturePixels)
        tooLarge(header.width, header.height);
}

// A JPEG's header, read by libjpeg, and its scans counted.
PictureHeader jpegHeader(std::span<const std::uint8_t> bytes)
{
    PictureHeader header;
    header.format = "jpeg";
    // A progressive JPEG decodes every scan over the whole coefficient buffer; a small file
    // with thousands of scans would keep the decoder busy for minutes. Count them first.
    header.jpegScans = countJpegScans(bytes, limits::kMaxJpegScans);
    if (header.jpegScans > limits::kMaxJpegScans)
        invalidPicture("more than " + std::to_string(limits::kMaxJpegScans) + " scans in a progressive JPEG");
    JpegDamage damage = JpegDamage::None;
    const std::optional<JpegHeader> frame = readJpegHeader(bytes, &damage);
    if (damage != JpegDamage::None)
        damaged(damage == JpegDamage::EndsEarly ? kEndsEarly : kCorrupt);
    if (!frame || frame->width <= 0 || frame->height <= 0)
        invalidPicture();
    // A picture stored turned is described as it is shown (upright).
    const bool swap = swapsSides(jpegExifOrientation(bytes));
    header.width = swap ? frame->height : frame->width;
    header.height = swap ? frame->width : frame->height;
    checkLimits(header);
    return header;
}

// Qt keeps state for each thread that uses it and tears it down when the process exits; a
// thread that used Qt's readers and ended before that (a batch's worker) leaves the teardown to
// free what is gone. So Qt's readers are only ever called from the main thread, which lives as
// long as the process, or from one thread of ours that does too: other threads hand their
// calls to it and wait. Calls go one at a time (the allocation limit is a process-wide setting).
class QtCaller {
public:
    // Runs `call` on a thread that outlives every use of Qt, one call at a time.
    void run(const std::function<void()>& call)
    {
        if (::getpid() == ::gettid()) {
            std::lock_guard<std::mutex> guard(m_callLock);
            call();
            return;
        }
        std::packaged_task<void()> task([&] {
            std::lock_guard<std::mutex> guard(m_callLock);
            call();
        });
        std::future<void> done = task.get_future();
        post(std::move(task));
        done.get();
    }
    // Hands `call` over without waiting (a release from whatever thread drops a picture).
    void post(std::packaged_task<void()> task)
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        if (!m_started) {
            std::thread([this] { serve(); }).detach();
            m_started = true;
        }
        m_queue.push_back(std::move(task));
        m_queued.notify_one();
    }

private:
    [[noreturn]] void serve()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(m_queueLock);
            m_queued.wait(lock, [&] { return !m_queue.empty(); });
            std::packaged_task<void()> task = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            task();
        }
    }

    std::mutex m_callLock, m_queueLock;
    std::condition_variable m_queued;
    std::deque<std::packaged_task<void()>> m_queue;
    bool m_started = false;
};

QtCaller& qtCaller()
{
    static QtCaller* caller = new QtCaller;   // lives as long as the process, like its thread
    return *caller;
}

// A top-down BMP's bytes with a positive height: the same rows, read bottom up.
std::vector<std::uint8_t> bottomUpBmp(std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    const std::uint32_t height = std::uint32_t(-std::int64_t(le32(&copy[22])));
    for (int i = 0; i < 4; ++i)
        copy[22 + std::size_t(i)] = std::uint8_t(height >> (8 * i));
    return copy;
}

// Reads the header through Qt's readers and checks it against the limits.
PictureHeader qtHeader(std::span<const std::uint8_t> bytes)
{
    if (isBmp(bytes))
        checkBmpDeclaredSize(bytes);
    if (isTopDownBmp(bytes)) {
        const std::vector<std::uint8_t> bottomUp = bottomUpBmp(bytes);
        return qtHeader(bottomUp);
    }
    VantorellQtImage image{};
    int status = VANTORELL_QT_INVALID;
    qtCaller().run([&] { status = qtImageModule().readHeader(bytes.data(), bytes.size(), &image); });
    if (status != VANTORELL_QT_OK)
        invalidPicture();
    PictureHeader header;
    header.format = std::string(image.format, strnlen(image.format, sizeof image.format));
    header.width = image.width;
    header.height = image.height;
    header.hasAlpha = image.hasAlpha != 0;
    checkLimits(header);
    return header;
}

void checkInput(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        invalidPicture();
    if (bytes.size() > std::size_t(std::numeric_limits<int>::max()))
        invalidPicture("file too large");
}

QtReaderThread& qtReaderThread()
{
    static QtReaderThread runner;
    return runner;
}

// Runs `call` where Qt's readers may run, and passes its exception on.
template <class Result, class Call>
Result onQtReaderThread(Call&& call)
{
    const QtReaderThread& runner = qtReaderThread();
    if (!runner)
        return call();
    std::optional<Result> result;
    std::exception_ptr failure;
    runner([&] {
        try {
            result.emplace(call());
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}

// Qt's reader refuses a BMP whose rows are stored top down (a negative height): the same bytes
// with the height made positive read as the picture upside down, which is turned back.
Picture decodeTopDownBmp(std::span<const std::uint8_t> bytes);

Picture decodeWithQtHere(std::span<const std::uint8_t> bytes)
{
    PictureHeader header;
    try {
        header = qtHeader(bytes);
    } catch (const RuntimeError& e) {
        // Cut off inside its header or palette; a header that claims too much says so.
        if (!e.inputProblem().starts_with(kTooLarge) && pictureDataEndsEarly(bytes))
            damaged(kEndsEarly);
        throw;
    }
    if (pictureDataEndsEarly(bytes))
        damaged(kEndsEarly);
    if (isTopDownBmp(bytes))
        return decodeTopDownBmp(bytes);
    const QtImageModule& qt = qtImageModule();
    VantorellQtImage image{};
    // Qt refuses any image above its allocation limit (128 MB in Qt 6.4, which stops at about
    // 32 megapixels). Our limits are checked from the header first, so Qt's is raised to just
    // above the largest picture we accept.
    const int allocationLimitMiB = int((limits::kMaxPictureBytes >> 20) + 64);
    int status = VANTORELL_QT_INVALID;
    qtCaller().run([&] { status = qt.decode(bytes.data(), bytes.size(), allocationLimitMiB, &image); });
    if (status == VANTORELL_QT_OUT_OF_MEMORY)
        throw RuntimeError(errnum::OutOfMemory, "Out of memory");
    if (status != VANTORELL_QT_OK || !image.pixels || image.width <= 0 || image.height <= 0)
        invalidPicture();
    // Qt's RGB32 is 0xFFRRGGBB in native order: blue, green, red, 0xFF in memory, as Bitmap
    // wants. Take the decoder's buffer over instead of copying it.
    std::shared_ptr<std::uint8_t[]> owner(image.pixels, [release = qt.release, handle = image.handle](std::uint8_t*) {
        if (::getpid() == ::gettid())
            release(handle);
        else
            qtCaller().post(std::packaged_task<void()>([release, handle] { release(handle); }));
    });
    return Picture(Bitmap::adopt(image.width, image.height, std::move(owner)), header.width, header.height);
}

Picture decodeTopDownBmp(std::span<const std::uint8_t> bytes)
{
    const std::vector<std::uint8_t> bottomUp = bottomUpBmp(bytes);
    Picture upsideDown = decodeWithQtHere(bottomUp);
    const int sourceWidth = upsideDown.sourceWidth(), sourceHeight = upsideDown.sourceHeight();
    Bitmap bitmap = upsideDown.bitmap();
    upsideDown = Picture();   // the pixels are the bitmap's alone: turned in place
    const std::size_t stride = bitmap.stride();
    std::vector<std::uint8_t> row(stride);
    for (int top = 0, bottom = bitmap.height() - 1; top < bottom; ++top, --bottom) {
        std::memcpy(row.data(), bitmap.mutableRow(top), stride);
        std::memcpy(bitmap.mutableRow(top), bitmap.mutableRow(bottom), stride);
        std::memcpy(bitmap.mutableRow(bottom), row.data(), stride);
    }
    return Picture(std::move(bitmap), sourceWidth, sourceHeight);
}

Picture decodeWithQt(std::span<const std::uint8_t> bytes)
{
    return onQtReaderThread<Picture>([&] { return decodeWithQtHere(bytes); });
}

Picture decode(std::span<const std::uint8_t> bytes, const DecodeRequest& request)
{
    checkInput(bytes);
    if (isJpeg(bytes)) {
        // A JPEG stored turned (EXIF orientation 2 to 8) is turned upright before anyone sees it.
        const int orientation = jpegExifOrientation(bytes);
        const PictureHeader header = jpegHeader(bytes);   // the upright size
        const int scale = jpegScaleDenominator(header.width, header.height, request);
        JpegDamage damage = JpegDamage::None;
        if (std::optional<Bitmap> bitmap = decodeJpeg(bytes, scale, &damage))
            return Picture(orientUpright(*bitmap, orientation), header.width, header.height);
        if (damage != JpegDamage::None)
            damaged(damage == JpegDamage::EndsEarly ? kEndsEarly : kCorrupt);
        // libjpeg gives no blue, green, red for CMYK and refuses some damage; Qt's reader
        // converts CMYK itself (at full size), and refuses the same damage with the same answer.
        const Picture stored = decodeWithQt(bytes);
        return Picture(orientUpright(stored.bitmap(), orientation), header.width, header.height);
    }
    return decodeWithQt(bytes);
}

// The decoded picture with the profile its file carries.
Picture withColourProfile(Picture picture, std::span<const std::uint8_t> bytes)
{
    picture.setColourProfile(readColourProfile(bytes));
    return picture;
}

}  // namespace

int countJpegScans(std::span<const std::uint8_t> bytes, int stopAfter)
{
    const std::size_t n = bytes.size();
    std::size_t i = 2;   // after SOI
    int scans = 0;
    while (i + 1 < n) {
        if (bytes[i] != 0xFF) {   // not at a marker: damaged, let the decoder judge it
            const void* next = std::memchr(bytes.data() + i, 0xFF, n - i);
            if (!next)
                break;
            i = std::size_t(static_cast<const std::uint8_t*>(next) - bytes.data());
            continue;
        }
        const std::uint8_t marker = bytes[i + 1];
        if (marker == 0xFF) {     // fill byte before a marker
            ++i;
            continue;
        }
        if (marker == 0xD9)       // EOI
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x00) {   // no length
            i += 2;
            continue;
        }
        if (i + 3 >= n)
            break;
        const std::size_t length = std::size_t(bytes[i + 2]) << 8 | bytes[i + 3];
        i += 2 + length;
        if (marker == 0xDA) {     // SOS: entropy-coded data follows up to the next real marker
            if (++scans > stopAfter)
                break;
            // In entropy-coded data 0xFF is followed by a stuffed 0x00, a restart marker or fill.
            while (i + 1 < n) {
                const void* next = std::memchr(bytes.data() + i, 0xFF, n - 1 - i);
                if (!next) {
                    i = n;
                    break;
                }
                i = std::size_t(static_cast<const std::uint8_t*>(next) - bytes.data());
                const std::uint8_t follower = bytes[i + 1];
                if (follower != 0x00 && follower != 0xFF && !(follower >= 0xD0 && follower <= 0xD7))
                    break;
                ++i;
            }
        }
    }
    return scans;
}

bool isJpegFile(const std::filesystem::path& file)
{
    std::uint8_t signature[3] = {};
    std::string problem;
    const int fd = openInputFile(file, problem);
    if (fd < 0)
        return false;
    const ssize_t count = ::read(fd, signature, sizeof signature);
    ::close(fd);
    return count > 0 && isJpeg({signature, std::size_t(count)});
}

PictureHeader readPictureHeader(std::span<const std::uint8_t> bytes)
{
    checkInput(bytes);
    if (isJpeg(bytes))
        return jpegHeader(bytes);
    return onQtReaderThread<PictureHeader>([&] { return qtHeader(bytes); });
}

void setQtReaderThread(QtReaderThread runner) { qtReaderThread() = std::move(runner); }

Picture loadPictureFromBytes(std::span<const std::uint8_t> bytes, const DecodeRequest& request)
{
    return withColourProfile(decode(bytes, request), bytes);
}

namespace {

// A picture file mapped for reading, refused with loadPicture's errors when it cannot be.
class MappedPicture {
public:
    explicit MappedPicture(const std::filesystem::path& file)
    {
        std::string problem;
        const int fd = openInputFile(file, problem);
        if (fd < 0) {
            if (problem == "no such file")
                throw RuntimeError(errnum::FileNotFound, "File not found", "could not be read: " + problem);
            throw RuntimeError(errnum::FileAccessError, "Path/File access error", "could not be read: " + problem);
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
            ::close(fd);
            throw RuntimeError(errnum::InvalidPicture, "Invalid picture", "could not be read: the file is empty");
        }
        // The decoder reads the file in place. MAP_POPULATE maps every page of it at once, which
        // costs far less than one page fault per 4 KB of a photograph of several megabytes.
        m_size = std::size_t(st.st_size);
        void* mapped = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        ::close(fd);
        if (mapped == MAP_FAILED)
            throw RuntimeError(errnum::FileAccessError, "Path/File access error", "could not be read");
        m_bytes = static_cast<const std::uint8_t*>(mapped);
    }
    ~MappedPicture() { ::munmap(const_cast<std::uint8_t*>(m_bytes), m_size); }
    MappedPicture(const MappedPicture&) = delete;
    MappedPicture& operator=(const MappedPicture&) = delete;
    std::span<const std::uint8_t> bytes() const { return {m_bytes, m_size}; }

private:
    const std::uint8_t* m_bytes = nullptr;
    std::size_t m_size = 0;
};

}  // namespace

Picture loadPicture(const std::filesystem::path& file, const DecodeRequest& request)
{
    const MappedPicture mapped(file);
    return withColourProfile(decode(mapped.bytes(), request), mapped.bytes());
}

std::optional<PictureHeader> peekPictureHeader(const std::filesystem::path& file)
{
    try {
        const MappedPicture mapped(file);
        return readPictureHeader(mapped.bytes());
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
}

AnimationReader::~AnimationReader() { close(); }

void AnimationReader::close()
{
    if (m_animation != nullptr)
        qtCaller().run([&] { qtImageModule().closeAnimation(m_animation); });
    m_animation = nullptr;
}

void AnimationReader::open(const std::filesystem::path& file, std::uint64_t maxPixelsInAll)
{
    close();
    m_file = file;
    m_maxPixelsInAll = maxPixelsInAll;
    const MappedPicture mapped(file);
    // Qt's reader composes every frame on a canvas of the size the file claims, allocated as it
    // opens: a few bytes can claim gigabytes.
    if (const std::optional<AnimationLayout> claimed = webpAnimationLayout(mapped.bytes())) {
        const std::uint32_t frames = std::max<std::uint32_t>(1, claimed->frames);
        if (std::uint64_t(claimed->width) * claimed->height * frames > maxPixelsInAll)
            throw RuntimeError(errnum::InvalidPicture, "Invalid picture",
                               "is too large: " + std::to_string(frames) + " frames of " +
                                   std::to_string(claimed->width) + " x " + std::to_string(claimed->height) +
                                   " pixels, more than " + std::to_string(maxPixelsInAll) + " pixels in all");
    }
    const QtImageModule& qt = qtImageModule();
    if (!qt.openAnimation || !qt.nextFrame || !qt.closeAnimation)
        invalidPicture("no reader for animations (libvantorell_qtimage.so is too old)");
    VantorellQtImage header{};
    const int allocationLimitMiB = int((limits::kMaxPictureBytes >> 20) + 64);
    int status = VANTORELL_QT_INVALID;
    int frames = 0;   // Qt's count; the frames are read until the reader has no more
    qtCaller().run([&] {
        status = qt.openAnimation(mapped.bytes().data(), mapped.bytes().size(), allocationLimitMiB, &m_animation,
                                  &header, &frames);
    });
    if (status != VANTORELL_QT_OK || header.width <= 0 || header.height <= 0)
        invalidPicture();
    checkLimits(PictureHeader{header.format, header.width, header.height, 0});
    m_width = header.width;
    m_height = header.height;
}

void AnimationReader::rewind() { open(m_file, m_maxPixelsInAll); }

bool AnimationReader::next(const std::uint8_t*& pixels, int& delayMs)
{
    if (m_animation == nullptr)
        return false;
    VantorellQtImage image{};
    int status = VANTORELL_QT_INVALID;
    qtCaller().run([&] { status = qtImageModule().nextFrame(m_animation, &image, &delayMs); });
    if (status != VANTORELL_QT_OK || image.pixels == nullptr || image.width != m_width || image.height != m_height)
        return false;
    pixels = image.pixels;
    return true;
}

}  // namespace vantorell
