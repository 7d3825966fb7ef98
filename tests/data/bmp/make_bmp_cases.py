#!/usr/bin/env python3
"""Writes the small bitmap files the Dib tests and the bitmap-file fuzzer (fuzz_bitmap_file) use, one file per rule
of the reader, each named for what it holds or breaks. Run by hand when a case is added:
    python3 tests/data/bmp/make_bmp_cases.py tests/data/bmp
"""
import os
import struct
import sys


def file_header(size, offset):
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset)


def info_header(width, height, bpp, compression=0, colours_used=0, planes=1, size=40):
    head = struct.pack("<IiiHHIIiiII", size, width, height, planes, bpp, compression, 0, 2835, 2835,
                       colours_used, 0)
    return head + b"\0" * (size - 40)


def rows(width, height, bpp, pixel):
    """Rows padded to 4 bytes; pixel(x, y) gives the bytes of one pixel (y in file order)."""
    stride = (width * bpp + 31) // 32 * 4
    out = b""
    for y in range(height):
        row = b""
        if bpp >= 8:
            for x in range(width):
                row += pixel(x, y)
        elif bpp == 4:
            values = [pixel(x, y) for x in range(width)]
            for i in range(0, width, 2):
                hi = values[i]
                lo = values[i + 1] if i + 1 < width else 0
                row += bytes([hi << 4 | lo])
        elif bpp == 1:
            values = [pixel(x, y) for x in range(width)]
            for i in range(0, width, 8):
                b = 0
                for k in range(8):
                    if i + k < width and values[i + k]:
                        b |= 0x80 >> k
                row += bytes([b])
        out += row + b"\0" * (stride - len(row))
    return out


def bitmap(info, table, pixels, offset=None, size=None):
    offset = 14 + len(info) + len(table) if offset is None else offset
    body = info + table + pixels
    size = 14 + len(body) if size is None else size
    return file_header(size, offset) + body


def palette(n):
    # Entry i: blue i, green 2i, red 3i (mod 256), reserved 0.
    return b"".join(bytes([i & 255, (2 * i) & 255, (3 * i) & 255, 0]) for i in range(n))


def cases():
    c = {}
    # Valid files.
    c["ok-8bpp-bottom-up.bmp"] = bitmap(info_header(3, 2, 8), palette(256),
                                        rows(3, 2, 8, lambda x, y: bytes([10 * y + x])))
    c["ok-8bpp-few-colours.bmp"] = bitmap(info_header(3, 2, 8, colours_used=4), palette(4),
                                          rows(3, 2, 8, lambda x, y: bytes([x])))
    c["ok-24bpp-top-down.bmp"] = bitmap(info_header(5, -3, 24), b"",
                                        rows(5, 3, 24, lambda x, y: bytes([x, y, 100])))
    c["ok-32bpp-bitfields.bmp"] = bitmap(info_header(2, 2, 32, compression=3),
                                         struct.pack("<III", 0xFF0000, 0xFF00, 0xFF),
                                         rows(2, 2, 32, lambda x, y: bytes([x, y, 7, 0])))
    c["ok-16bpp-555.bmp"] = bitmap(info_header(3, 1, 16), b"",
                                   rows(3, 1, 16, lambda x, y: struct.pack("<H", 0x7C00 >> (5 * x))))
    c["ok-core-header-4bpp.bmp"] = (lambda info, table: bitmap(info, table, rows(3, 2, 4, lambda x, y: x + 4 * y)))(
        struct.pack("<IHHHH", 12, 3, 2, 1, 4), b"".join(bytes([i, i, i]) for i in range(16)))
    c["ok-1bpp-mask.bmp"] = bitmap(info_header(10, 1, 1), bytes([0, 0, 0, 0, 255, 255, 255, 0]),
                                   rows(10, 1, 1, lambda x, y: x % 3 == 0))
    c["ok-108-byte-header.bmp"] = bitmap(info_header(1, 1, 24, size=108), b"", rows(1, 1, 24, lambda x, y: b"\1\2\3"))

    # Malformed: contradicts the format.
    good = c["ok-8bpp-bottom-up.bmp"]
    c["bad-magic.bmp"] = b"MB" + good[2:]
    c["header-cut-short.bmp"] = good[:30]
    c["file-shorter-than-file-header.bmp"] = good[:10]
    c["zero-width.bmp"] = bitmap(info_header(0, 2, 24), b"", b"")
    c["zero-height.bmp"] = bitmap(info_header(2, 0, 24), b"", b"")
    c["negative-width.bmp"] = bitmap(info_header(-4, 2, 24), b"", rows(4, 2, 24, lambda x, y: b"\0\0\0"))
    c["height-int32-min.bmp"] = bitmap(info_header(1, -2 ** 31, 24), b"", b"\0" * 4)
    c["planes-2.bmp"] = bitmap(info_header(1, 1, 24, planes=2), b"", b"\0" * 4)
    c["bpp-0.bmp"] = bitmap(info_header(1, 1, 0), b"", b"\0" * 4)
    c["colours-used-beyond-depth.bmp"] = bitmap(info_header(1, 1, 4, colours_used=17), palette(17), b"\0" * 4)
    c["palette-past-end-of-file.bmp"] = bitmap(info_header(1, 1, 8), palette(10), b"", offset=14 + 40 + 1024)
    c["offset-into-header.bmp"] = bitmap(info_header(1, 1, 24), b"", b"\0" * 4, offset=20)
    c["offset-into-palette.bmp"] = bitmap(info_header(1, 1, 8), palette(256), b"\0" * 4, offset=14 + 40 + 100)
    c["offset-beyond-file.bmp"] = bitmap(info_header(1, 1, 24), b"", b"\0" * 4, offset=4096)
    c["bitfields-on-8bpp.bmp"] = bitmap(info_header(1, 1, 8, compression=3), palette(256), b"\0" * 4)
    c["bitfields-masks-missing.bmp"] = bitmap(info_header(1, 1, 32, compression=3), b"", b"")[:14 + 40 + 6]
    c["info-header-size-8.bmp"] = file_header(30, 30) + struct.pack("<I", 8) + b"\0" * 12

    # Unsupported: valid, but not a form this reader decodes.
    c["header-size-64-os2.bmp"] = bitmap(info_header(1, 1, 24, size=64), b"", b"\0" * 4)
    c["bpp-2.bmp"] = bitmap(info_header(1, 1, 2), palette(4), b"\0" * 4)
    c["bpp-64.bmp"] = bitmap(info_header(1, 1, 64), b"", b"\0" * 8)
    c["rle8-compression.bmp"] = bitmap(info_header(2, 1, 8, compression=1), palette(256), b"\2\1\0\1")
    c["jpeg-compression.bmp"] = bitmap(info_header(1, 1, 24, compression=4), b"", b"\xff\xd8")
    c["bitfields-565.bmp"] = bitmap(info_header(1, 1, 16, compression=3), struct.pack("<III", 0xF800, 0x7E0, 0x1F),
                                    b"\0" * 4)

    # Over the limits (the size is checked from the header, before any allocation).
    c["width-over-limit.bmp"] = bitmap(info_header(40000, 1, 24), b"", b"\0" * 16)
    c["pixels-over-limit.bmp"] = bitmap(info_header(30000, 30000, 32), b"", b"\0" * 16)

    # Truncated: the rows run past the end of the file.
    c["rows-truncated.bmp"] = bitmap(info_header(2, 3, 24), b"", rows(2, 3, 24, lambda x, y: bytes([50 * y + 1] * 3)))[:-8]
    return c


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, data in sorted(cases().items()):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
