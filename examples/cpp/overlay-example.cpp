// overlay-example A B OUT: loads two pictures, overlays them in memory and writes OUT (a PNG
// when its name ends in .png, else a JPEG at quality 90).
#include <vantorell/vantorell.h>

#include <cstdio>

namespace vt = vantorell::api;

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: overlay-example A B OUT\n");
        return 2;
    }
    try {
        const vt::Image first = vt::loadImage(argv[1]);
        const vt::Image second = vt::loadImage(argv[2]);
        const vt::Image mixed = vt::overlay(first, second);
        vt::saveImage(mixed, argv[3], {.jpegQuality = 90});
        std::printf("%s: %d x %d (Vantorell %s)\n", argv[3], mixed.width(), mixed.height(), VANTORELL_VERSION_STRING);
        return 0;
    } catch (const vt::Error& error) {
        std::fprintf(stderr, "overlay-example: %s\n", error.what());
        return 1;
    }
}
