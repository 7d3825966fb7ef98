/* The C interface of the Qt image-reader module (libvantorell_qtimage.so). The picture loader
 * loads the module the first time a picture is not a JPEG, so that a program that only ever
 * reads JPEG (the batch command line) never starts Qt's libraries. */
#ifndef VANTORELL_QTIMAGE_MODULE_H
#define VANTORELL_QTIMAGE_MODULE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { VANTORELL_QT_OK = 0, VANTORELL_QT_INVALID = 1, VANTORELL_QT_OUT_OF_MEMORY = 2 };

typedef struct VantorellQtImage {
    char format[16];            /* Qt's format name: "png", "bmp", "gif", "webp" ... */
    int width;                  /* from the header */
    int height;
    unsigned char* pixels;      /* after decoding: rows of 4 x width bytes, blue, green, red, X */
    void* handle;               /* owns the pixels; give it back to vantorell_qt_release */
    int hasAlpha;               /* from the header: the format keeps an alpha channel */
} VantorellQtImage;

/* Reads the header only. */
typedef int (*VantorellQtReadHeader)(const unsigned char* data, size_t size, VantorellQtImage* image);
/* Decodes at full size. allocationLimitMiB raises Qt's allocation limit. */
typedef int (*VantorellQtDecode)(const unsigned char* data, size_t size, int allocationLimitMiB,
                                 VantorellQtImage* image);
typedef void (*VantorellQtRelease)(void* handle);

/* An animation (an animated WebP; a still picture is one frame) read one frame at a time: each
 * frame the whole canvas as a viewer shows it. The data are copied. */
typedef int (*VantorellQtOpenAnimation)(const unsigned char* data, size_t size, int allocationLimitMiB,
                                        void** animation, VantorellQtImage* header, int* frames);
/* The next frame: pixels are rows of 4 x width bytes, blue, green, red, alpha (not premultiplied),
 * valid until the next call or the close; delayMs its delay. */
typedef int (*VantorellQtNextFrame)(void* animation, VantorellQtImage* image, int* delayMs);
typedef void (*VantorellQtCloseAnimation)(void* animation);

#ifdef __cplusplus
}
#endif

#endif
