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

bool readHeader(Decompressor& d, std::span<const std::uint8_t> bytes)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_mem_src(&d.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d.cinfo, TRUE);
    return true;
}

bool prepare(Decompressor& d, int scaleDenominator)
{
    if (setjmp(d.error.jump))
        return false;
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = static_cast<unsigned>(scaleDenominator);
    if (d.cinfo.num_components == 1 || d.cinfo.num_components == 3) {
        d.cinfo.out_color_space = JCS_EXT_BGRX;
    } else {
        return false;   // CMYK and YCCK have no conversion to BGRX in libjpeg
    }
    if (scaleDenominator > 1) {
        // Only ever stretched once more: the merged upsampler is as good as the fancy one here.
        d.cinfo.do_fancy_upsampling = FALSE;
    }
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

bool decompress(Decompressor& d, std::uint8_t* pixels, std::size_t stride)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_start_decompress(&d.cinfo);
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW rows[4];
        const unsigned first = d.cinfo.output_scanline;
        const unsigned count = std::min(4u, d.cinfo.output_height - first);
        for (unsigned i = 0; i < count; ++i)
            rows[i] = pixels + stride * (first + i);
        if (jpeg_read_scanlines(&d.cinfo, rows, count) == 0)
            break;   // suspended: the memory source never suspends, but never spin
    }
    jpeg_abort_decompress(&d.cinfo);   // skip the trailer: a truncated file has none
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

bool compress(Compressor& c, const Bitmap& bitmap, int quality)
{
    if (setjmp(c.error.jump))
        return false;
    jpeg_stdio_dest(&c.cinfo, c.file);
    c.cinfo.image_width = static_cast<JDIMENSION>(bitmap.width());
    c.cinfo.image_height = static_cast<JDIMENSION>(bitmap.height());
    c.cinfo.input_components = 4;
    c.cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, quality, TRUE);
    c.cinfo.density_unit = 1;   // dots per inch
    c.cinfo.X_density = 96;
    c.cinfo.Y_density = 96;
    jpeg_start_compress(&c.cinfo, TRUE);
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        JSAMPROW rows[8];
        const unsigned first = c.cinfo.next_scanline;
        const unsigned count = std::min(8u, c.cinfo.image_height - first);
        for (unsigned i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(bitmap.row(int(first + i)));
        jpeg_write_scanlines(&c.cinfo, rows, count);
    }
    jpeg_finish_compress(&c.cinfo);
    return true;
}

}  // namespace

std::optional<JpegHeader> ReadJpegHeader(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return std::nullopt;
    auto d = std::make_unique<Decompressor>();
    if (!readHeader(*d, bytes))
        return std::nullopt;
    return JpegHeader{int(d->cinfo.image_width), int(d->cinfo.image_height), d->cinfo.num_components};
}

std::optional<Bitmap> DecodeJpeg(std::span<const std::uint8_t> bytes, int scaleDenominator)
{
    if (bytes.empty())
        return std::nullopt;
    auto d = std::make_unique<Decompressor>();
    if (!readHeader(*d, bytes) || !prepare(*d, scaleDenominator))
        return std::nullopt;
    Bitmap bitmap = Bitmap::uninitialized(int(d->cinfo.output_width), int(d->cinfo.output_height));
    if (bitmap.empty() || !decompress(*d, bitmap.mutableBits(), bitmap.stride()))
        return std::nullopt;
    return bitmap;
}

bool EncodeJpeg(const Bitmap& bitmap, const std::string& file, int quality)
{
    if (bitmap.empty())
        return false;
    auto c = std::make_unique<Compressor>();
    c->file = std::fopen(file.c_str(), "wb");
    if (!c->file)
        return false;
    if (!compress(*c, bitmap, quality))
        return false;
    const bool written = std::fflush(c->file) == 0 && !std::ferror(c->file);
    const bool closed = std::fclose(c->file) == 0;
    c->file = nullptr;
    return written && closed;
}

}  // namespace vantorell
