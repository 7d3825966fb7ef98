#include "platform/JpegCodec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace vantorell {

namespace {

// libjpeg reports a fatal error through error_exit, which must not return: jump back to the
// setjmp of the phase that called into it. Each phase function keeps only trivially
// destructible locals, so the jump skips no destructor. Warnings (corrupt data that libjpeg
// can decode around) are not printed.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void onError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr) {}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager error{};
    Decompressor()
    {
        cinfo.err = jpeg_std_error(&error.pub);
        error.pub.error_exit = onError;
        error.pub.output_message = onMessage;
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

bool decompress(Decompressor& decompressor, std::uint8_t* pixels, std::size_t stride)
{
    if (setjmp(decompressor.error.jump))
        return false;
    jpeg_start_decompress(&decompressor.cinfo);
    while (decompressor.cinfo.output_scanline < decompressor.cinfo.output_height) {
        JSAMPROW rows[4];
        const unsigned first = decompressor.cinfo.output_scanline;
        const unsigned count = std::min(4u, decompressor.cinfo.output_height - first);
        for (unsigned i = 0; i < count; ++i)
            rows[i] = pixels + stride * (first + i);
        if (jpeg_read_scanlines(&decompressor.cinfo, rows, count) == 0)
            break;   // suspended: the memory source never suspends, but never spin
    }
    jpeg_abort_decompress(&decompressor.cinfo);   // skip the trailer: a truncated file has none
    return true;
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

std::optional<JpegHeader> readJpegHeader(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return std::nullopt;
    auto decompressor = std::make_unique<Decompressor>();
    if (!readHeader(*decompressor, bytes))
        return std::nullopt;
    const jpeg_decompress_struct& info = decompressor->cinfo;
    return JpegHeader{int(info.image_width), int(info.image_height), info.num_components};
}

std::optional<Bitmap> decodeJpeg(std::span<const std::uint8_t> bytes, int scaleDenominator)
{
    if (bytes.empty())
        return std::nullopt;
    auto decompressor = std::make_unique<Decompressor>();
    if (!readHeader(*decompressor, bytes) || !prepare(*decompressor, scaleDenominator))
        return std::nullopt;
    const jpeg_decompress_struct& info = decompressor->cinfo;
    Bitmap bitmap = Bitmap::uninitialized(int(info.output_width), int(info.output_height));
    if (bitmap.empty() || !decompress(*decompressor, bitmap.mutableBits(), bitmap.stride()))
        return std::nullopt;
    return bitmap;
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
