#include "platform/JpegCodec.h"

#include "platform/RuntimeError.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include <sys/mman.h>

#include <jpeglib.h>
#include <jerror.h>

namespace vantorell {

namespace {

// libjpeg reports a fatal error through error_exit, which must not return: jump back to the
// setjmp of the phase that called into it. Each phase function keeps only trivially
// destructible locals, so the jump skips no destructor. Warnings are not printed; the two that
// mean the pixels cannot be had (the data ran out, a Huffman code that is no code) end the
// decode the same way, before libjpeg fills the rest of the picture with grey. Other warnings
// (stray bytes between markers) leave every pixel intact.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    JpegDamage damage = JpegDamage::None;
};

void onError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr) {}

void onEmit(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;   // trace messages
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (error->pub.msg_code == JWRN_JPEG_EOF)
        error->damage = JpegDamage::EndsEarly;
    else if (error->pub.msg_code == JWRN_HUFF_BAD_CODE)
        error->damage = JpegDamage::Corrupt;
    else
        return;
    std::longjmp(error->jump, 1);
}

void setDamage(JpegDamage* out, JpegDamage damage)
{
    if (out)
        *out = damage;
}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager error{};
    Decompressor()
    {
        cinfo.err = jpeg_std_error(&error.pub);
        error.pub.error_exit = onError;
        error.pub.output_message = onMessage;
        error.pub.emit_message = onEmit;
        jpeg_create_decompress(&cinfo);
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
};

bool readHeader(Decompressor& decompressor, std::span<const std::uint8_t> bytes)
{
    if (setjmp(decompressor.error.jump))
        return false;
    jpeg_mem_src(&decompressor.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&decompressor.cinfo, TRUE);
    return true;
}

bool prepare(Decompressor& decompressor, int scaleDenominator)
{
    if (setjmp(decompressor.error.jump))
        return false;
    decompressor.cinfo.scale_num = 1;
    decompressor.cinfo.scale_denom = static_cast<unsigned>(scaleDenominator);
    if (decompressor.cinfo.num_components == 1 || decompressor.cinfo.num_components == 3) {
        decompressor.cinfo.out_color_space = JCS_EXT_BGRX;
    } else {
        return false;   // CMYK and YCCK have no conversion to BGRX in libjpeg
    }
    if (scaleDenominator > 1) {
        // Only ever stretched once more: the merged upsampler is as good as the fancy one here.
        decompressor.cinfo.do_fancy_upsampling = FALSE;
    }
    jpeg_calc_output_dimensions(&decompressor.cinfo);
    return true;
}

// Pixel memory that grows with the rows decoded into it: mapped pages, moved rather than
// copied as they grow (mremap), so the picture is never held twice. As with Bitmap's own
// mappings, new pages are asked for as huge pages and filled in by the kernel in one pass.
class GrowingPixels {
public:
    GrowingPixels(std::size_t stride, std::size_t rows) : m_stride(stride), m_total(stride * rows) {}
    ~GrowingPixels()
    {
        if (m_pixels)
            ::munmap(m_pixels, m_capacity);
    }
    GrowingPixels(const GrowingPixels&) = delete;
    GrowingPixels& operator=(const GrowingPixels&) = delete;

    // The address of `row`, with room for `count` rows from it; nullptr when memory is out.
    std::uint8_t* rows(std::size_t row, std::size_t count)
    {
        const std::size_t needed = std::min(m_total, m_stride * (row + count));
        if (needed > m_capacity && !grow(needed))
            return nullptr;
        return m_pixels + m_stride * row;
    }

    // Hands the memory over (all rows filled) as a bitmap's pixels.
    std::shared_ptr<std::uint8_t[]> release()
    {
        const std::size_t exact = pageRounded(m_total);
        if (exact < m_capacity && ::mremap(m_pixels, m_capacity, exact, 0) != MAP_FAILED)
            m_capacity = exact;   // the doubling's spare room goes back
        std::uint8_t* pixels = std::exchange(m_pixels, nullptr);
        return std::shared_ptr<std::uint8_t[]>(pixels, [size = m_capacity](std::uint8_t* p) { ::munmap(p, size); });
    }

private:
    static std::size_t pageRounded(std::size_t bytes)
    {
        constexpr std::size_t kPage = 4096;
        return (bytes + kPage - 1) / kPage * kPage;
    }

    bool grow(std::size_t needed)
    {
        constexpr std::size_t kFirst = std::size_t(1) << 20;
        const std::size_t capacity =
            pageRounded(std::max({needed, std::min(m_total, kFirst), std::min(m_total, m_capacity * 2)}));
        void* grown = m_pixels ? ::mremap(m_pixels, m_capacity, capacity, MREMAP_MAYMOVE)
                               : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (grown == MAP_FAILED)
            return false;
        m_pixels = static_cast<std::uint8_t*>(grown);
#ifdef MADV_HUGEPAGE
        ::madvise(m_pixels, capacity, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
        constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
        constexpr int kPopulateWrite = 23;   // MADV_POPULATE_WRITE (Linux 5.14); older kernels refuse it
#endif
        ::madvise(m_pixels + m_capacity, capacity - m_capacity, kPopulateWrite);
        m_capacity = capacity;
        return true;
    }

    std::size_t m_stride;
    std::size_t m_total;
    std::uint8_t* m_pixels = nullptr;
    std::size_t m_capacity = 0;
};

enum class Decompressed { Whole, Failed, OutOfMemory };

Decompressed decompress(Decompressor& decompressor, GrowingPixels& pixels, std::size_t stride)
{
    if (setjmp(decompressor.error.jump))
        return Decompressed::Failed;
    jpeg_start_decompress(&decompressor.cinfo);
    while (decompressor.cinfo.output_scanline < decompressor.cinfo.output_height) {
        JSAMPROW rows[4];
        const unsigned first = decompressor.cinfo.output_scanline;
        const unsigned count = std::min(4u, decompressor.cinfo.output_height - first);
        std::uint8_t* room = pixels.rows(first, count);
        if (!room)
            return Decompressed::OutOfMemory;
        for (unsigned i = 0; i < count; ++i)
            rows[i] = room + stride * i;
        if (jpeg_read_scanlines(&decompressor.cinfo, rows, count) == 0)
            return Decompressed::Failed;   // suspended: the memory source never suspends, but never spin
    }
    jpeg_abort_decompress(&decompressor.cinfo);   // skip the trailer, which nothing needs
    return Decompressed::Whole;
}

struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager error{};
    std::FILE* file = nullptr;
    Compressor()
    {
        cinfo.err = jpeg_std_error(&error.pub);
        error.pub.error_exit = onError;
        error.pub.output_message = onMessage;
        jpeg_create_compress(&cinfo);
    }
    ~Compressor()
    {
        jpeg_destroy_compress(&cinfo);
        if (file)
            std::fclose(file);
    }
};

// Sets up the stream every JPEG we write has; called under the caller's setjmp.
void startCompress(Compressor& compressor, int width, int height, int quality,
                   std::span<const std::uint8_t> iccProfile)
{
    jpeg_stdio_dest(&compressor.cinfo, compressor.file);
    compressor.cinfo.image_width = static_cast<JDIMENSION>(width);
    compressor.cinfo.image_height = static_cast<JDIMENSION>(height);
    compressor.cinfo.input_components = 4;
    compressor.cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&compressor.cinfo);
    jpeg_set_quality(&compressor.cinfo, quality, TRUE);
    compressor.cinfo.density_unit = 1;   // dots per inch
    compressor.cinfo.X_density = 96;
    compressor.cinfo.Y_density = 96;
    jpeg_start_compress(&compressor.cinfo, TRUE);
    if (!iccProfile.empty())
        jpeg_write_icc_profile(&compressor.cinfo, iccProfile.data(), static_cast<unsigned>(iccProfile.size()));
}

bool compress(Compressor& compressor, const Bitmap& bitmap, int quality, std::span<const std::uint8_t> iccProfile)
{
    if (setjmp(compressor.error.jump))
        return false;
    startCompress(compressor, bitmap.width(), bitmap.height(), quality, iccProfile);
    while (compressor.cinfo.next_scanline < compressor.cinfo.image_height) {
        JSAMPROW rows[8];
        const unsigned first = compressor.cinfo.next_scanline;
        const unsigned count = std::min(8u, compressor.cinfo.image_height - first);
        for (unsigned i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(bitmap.row(int(first + i)));
        jpeg_write_scanlines(&compressor.cinfo, rows, count);
    }
    jpeg_finish_compress(&compressor.cinfo);
    return true;
}

}  // namespace

std::optional<JpegHeader> readJpegHeader(std::span<const std::uint8_t> bytes, JpegDamage* damage)
{
    setDamage(damage, JpegDamage::None);
    if (bytes.empty())
        return std::nullopt;
    auto decompressor = std::make_unique<Decompressor>();
    if (!readHeader(*decompressor, bytes)) {
        setDamage(damage, decompressor->error.damage);
        return std::nullopt;
    }
    const jpeg_decompress_struct& info = decompressor->cinfo;
    return JpegHeader{int(info.image_width), int(info.image_height), info.num_components};
}

std::optional<Bitmap> decodeJpeg(std::span<const std::uint8_t> bytes, int scaleDenominator, JpegDamage* damage)
{
    setDamage(damage, JpegDamage::None);
    if (bytes.empty())
        return std::nullopt;
    auto decompressor = std::make_unique<Decompressor>();
    if (!readHeader(*decompressor, bytes) || !prepare(*decompressor, scaleDenominator)) {
        setDamage(damage, decompressor->error.damage);
        return std::nullopt;
    }
    const jpeg_decompress_struct& info = decompressor->cinfo;
    const int width = int(info.output_width), height = int(info.output_height);
    if (width <= 0 || height <= 0)
        return std::nullopt;
    const std::size_t stride = std::size_t(width) * 4;
    GrowingPixels pixels(stride, std::size_t(height));
    switch (decompress(*decompressor, pixels, stride)) {
    case Decompressed::Whole:
        return Bitmap::adopt(width, height, pixels.release());
    case Decompressed::OutOfMemory:
        throw RuntimeError(errnum::OutOfMemory, "Out of memory");
    case Decompressed::Failed:
        break;
    }
    setDamage(damage, decompressor->error.damage);
    return std::nullopt;
}

bool encodeJpeg(const Bitmap& bitmap, const std::string& file, int quality, std::span<const std::uint8_t> iccProfile)
{
    if (bitmap.empty())
        return false;
    auto compressor = std::make_unique<Compressor>();
    compressor->file = std::fopen(file.c_str(), "wb");
    if (!compressor->file)
        return false;
    if (!compress(*compressor, bitmap, quality, iccProfile))
        return false;
    const bool written = std::fflush(compressor->file) == 0 && !std::ferror(compressor->file);
    const bool closed = std::fclose(compressor->file) == 0;
    compressor->file = nullptr;
    return written && closed;
}

struct JpegRowReader::State {
    Decompressor decompressor;
    bool ok = false;
};

JpegRowReader::JpegRowReader() : m_state(std::make_unique<State>()) {}
JpegRowReader::~JpegRowReader() = default;

namespace {

bool startDecompress(Decompressor& decompressor)
{
    if (setjmp(decompressor.error.jump))
        return false;
    jpeg_start_decompress(&decompressor.cinfo);
    return true;
}

bool readScanlines(Decompressor& decompressor, std::uint8_t* pixels, std::size_t stride, int count)
{
    if (setjmp(decompressor.error.jump))
        return false;
    JSAMPROW rows[16];
    int done = 0;
    while (done < count) {
        if (decompressor.cinfo.output_scanline >= decompressor.cinfo.output_height)
            return false;
        const int batch = std::min(count - done, 16);
        for (int i = 0; i < batch; ++i)
            rows[i] = pixels + stride * std::size_t(done + i);
        const JDIMENSION got = jpeg_read_scanlines(&decompressor.cinfo, rows, JDIMENSION(batch));
        if (got == 0)
            return false;   // suspended: the memory source never suspends, but never spin
        done += int(got);
    }
    return true;
}

bool writeScanlines(Compressor& compressor, const std::uint8_t* pixels, std::size_t stride, int count)
{
    if (setjmp(compressor.error.jump))
        return false;
    JSAMPROW rows[16];
    int done = 0;
    while (done < count) {
        const int batch = std::min(count - done, 16);
        for (int i = 0; i < batch; ++i)
            rows[i] = const_cast<JSAMPROW>(pixels + stride * std::size_t(done + i));
        done += int(jpeg_write_scanlines(&compressor.cinfo, rows, JDIMENSION(batch)));
    }
    return true;
}

bool startCompressChecked(Compressor& compressor, int width, int height, int quality,
                          std::span<const std::uint8_t> iccProfile)
{
    if (setjmp(compressor.error.jump))
        return false;
    startCompress(compressor, width, height, quality, iccProfile);
    return true;
}

bool finishCompress(Compressor& compressor)
{
    if (setjmp(compressor.error.jump))
        return false;
    jpeg_finish_compress(&compressor.cinfo);
    return true;
}

}  // namespace

bool JpegRowReader::start(std::span<const std::uint8_t> bytes)
{
    Decompressor& d = m_state->decompressor;
    m_state->ok = !bytes.empty() && readHeader(d, bytes) && prepare(d, 1) && startDecompress(d);
    return m_state->ok;
}

int JpegRowReader::width() const { return m_state->ok ? int(m_state->decompressor.cinfo.output_width) : 0; }
int JpegRowReader::height() const { return m_state->ok ? int(m_state->decompressor.cinfo.output_height) : 0; }

bool JpegRowReader::readRows(std::uint8_t* pixels, std::size_t stride, int count)
{
    if (!m_state->ok)
        return false;
    m_state->ok = readScanlines(m_state->decompressor, pixels, stride, count);
    return m_state->ok;
}

struct JpegRowWriter::State {
    Compressor compressor;
    bool ok = false;
};

JpegRowWriter::JpegRowWriter() : m_state(std::make_unique<State>()) {}
JpegRowWriter::~JpegRowWriter() = default;

bool JpegRowWriter::start(const std::string& file, int width, int height, int quality,
                          std::span<const std::uint8_t> iccProfile)
{
    if (width <= 0 || height <= 0)
        return false;
    Compressor& c = m_state->compressor;
    c.file = std::fopen(file.c_str(), "wb");
    m_state->ok = c.file && startCompressChecked(c, width, height, quality, iccProfile);
    return m_state->ok;
}

bool JpegRowWriter::writeRows(const std::uint8_t* pixels, std::size_t stride, int count)
{
    if (!m_state->ok)
        return false;
    m_state->ok = writeScanlines(m_state->compressor, pixels, stride, count);
    return m_state->ok;
}

bool JpegRowWriter::finish()
{
    Compressor& c = m_state->compressor;
    if (!m_state->ok || !finishCompress(c))
        return false;
    m_state->ok = false;
    const bool written = std::fflush(c.file) == 0 && !std::ferror(c.file);
    const bool closed = std::fclose(c.file) == 0;
    c.file = nullptr;
    return written && closed;
}

}  // namespace vantorell
