#!/usr/bin/env bash
# Makes the small pictures the loader tests read, good and hostile, from the shipped samples.
# Run it by hand when a file has to change; the tests never write here.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
samples="$here/../../../assets/samples"
cd "$here"
convert "$samples/sample1.jpg" -resize '64x48!' -quality 90 -sampling-factor 2x2 -strip small.jpg
convert "$samples/sample1.jpg" -resize '64x48!' -strip BMP3:small.bmp
convert "$samples/sample1.jpg" -resize '64x48!' -strip small.png
convert "$samples/sample1.jpg" -resize '64x48!' -strip small.webp
convert "$samples/sample1.jpg" -resize '64x48!' "$samples/sample2.jpg" -resize '64x48!' -strip -loop 0 small-two-frames.gif
convert "$samples/sample1.jpg" -resize '64x48!' -quality 90 -interlace JPEG -strip progressive.jpg
convert "$samples/sample1.jpg" -resize '256x192!' -quality 90 -strip big-for-truncation.jpg
convert "$samples/sample1.jpg" -resize '64x48!' -colorspace Gray -quality 90 -strip grey.jpg
convert "$samples/sample1.jpg" -resize '64x48!' -colorspace CMYK -quality 90 -strip cmyk.jpg
cp small.jpg jpeg-named.bmp
: > empty.jpg
printf 'This is a text file, not a picture.\n' > text-named.jpg
python3 - <<'PY'
import struct

def segments(data):
    """(offset, marker, length) of each marker segment before the first SOS."""
    i, out = 2, []
    while i < len(data):
        marker = data[i + 1]
        length = struct.unpack('>H', data[i + 2:i + 4])[0]
        out.append((i, marker, length))
        if marker == 0xDA:
            break
        i += 2 + length
    return out

small = open('small.jpg', 'rb').read()

# Truncated: the first half of a baseline JPEG, no EOI.
big = open('big-for-truncation.jpg', 'rb').read()
open('truncated.jpg', 'wb').write(big[:len(big) // 2])

# Broken Huffman table: the 16 code-length counts of the first DHT claim 255 codes of each
# length, more than a table can hold.
data = bytearray(small)
for off, marker, length in segments(small):
    if marker == 0xC4:
        for k in range(16):
            data[off + 5 + k] = 0xFF
        break
open('broken-huffman.jpg', 'wb').write(bytes(data))

# A frame header declaring 65500 x 65500 pixels.
data = bytearray(small)
for off, marker, length in segments(small):
    if marker in (0xC0, 0xC1, 0xC2):
        data[off + 5:off + 9] = struct.pack('>HH', 65500, 65500)
        break
open('declares-65500x65500.jpg', 'wb').write(bytes(data))

# A progressive JPEG whose shortest scan is repeated 2000 times before EOI.
prog = open('progressive.jpg', 'rb').read()
starts = [i for i in range(len(prog) - 1) if prog[i] == 0xFF and prog[i + 1] == 0xDA] + [len(prog) - 2]
shortest = min(range(len(starts) - 1), key=lambda k: starts[k + 1] - starts[k])
scan = prog[starts[shortest]:starts[shortest + 1]]
open('thousands-of-scans.jpg', 'wb').write(prog[:len(prog) - 2] + scan * 2000 + b'\xff\xd9')

# A BMP whose header declares 30000 x 30000 pixels at 24 bits in a 64-byte file.
header = b'BM' + struct.pack('<IHHI', 64, 0, 0, 54)
info = struct.pack('<IiiHHIIiiII', 40, 30000, 30000, 1, 24, 0, 30000 * 30000 * 3, 2835, 2835, 0, 0)
open('bmp-declares-30000x30000.bmp', 'wb').write(header + info + b'\0' * (64 - 54))
PY
rm big-for-truncation.jpg
