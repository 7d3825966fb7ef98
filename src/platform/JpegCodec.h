// JPEG straight through libjpeg-turbo, for the one format every job reads and writes: pixels
// are decoded into and encoded from the 32-bit blue, green, red, X layout of Bitmap directly
// (libjpeg-turbo's extended colour spaces), with no conversion pass and no image plugins to
// load. Other formats go through Qt's image readers (PictureLoader).
#pragma once

#include "platform/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vantorell {

struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;   // 1 (grey), 3 (YCbCr or RGB), 4 (CMYK or YCCK)
};

// What stopped a decode that libjpeg would otherwise have finished with grey: the data ran out
// before the picture did, or its entropy-coded data cannot be decoded.
enum class JpegDamage { None, EndsEarly, Corrupt };

// Reads the frame header. nullopt when libjpeg cannot read it (not a JPEG, damaged header;
// `damage`, when given, says whether the data ran out).
std::optional<JpegHeader> readJpegHeader(std::span<const std::uint8_t> bytes, JpegDamage* damage = nullptr);

// Decodes at scale 1 / scaleDenominator (1, 2, 4 or 8): ceil(width / s) x ceil(height / s)
// pixels. The pixels go into memory that grows with the rows decoded, so a small file whose
// header claims a huge picture stops at its first missing row having taken little. Answers
// nullopt when the data ends early or is corrupt (`damage` says which), when libjpeg refuses
// the data, or when its colour space cannot become blue, green, red (CMYK): the caller decides
// what to do then. The caller has checked the header's size against the picture limits.
std::optional<Bitmap> decodeJpeg(std::span<const std::uint8_t> bytes, int scaleDenominator,
                                 JpegDamage* damage = nullptr);

// Writes a baseline JPEG (4:2:0, JFIF at 96 dots per inch) at the quality on libjpeg's 0..100
// scale. Answers false when the file cannot be created or written. A non-empty iccProfile is
// written as APP2 "ICC_PROFILE" chunks after the JFIF header.
bool encodeJpeg(const Bitmap& bitmap, const std::string& file, int quality,
                std::span<const std::uint8_t> iccProfile = {});

// A JPEG decoded a few rows at a time into 32-bit blue, green, red, X rows, at full size, with
// the same pixels DecodeJpeg gives at scale 1. For pictures too big to hold whole. Every call
// answers false once libjpeg refuses the data (or the colour space, CMYK) or the data is
// damaged; the reader is then done with.
class JpegRowReader {
public:
    JpegRowReader();
    ~JpegRowReader();
    JpegRowReader(const JpegRowReader&) = delete;
    JpegRowReader& operator=(const JpegRowReader&) = delete;

    // Reads the header and starts decompressing. `bytes` must outlive the reader.
    bool start(std::span<const std::uint8_t> bytes);
    int width() const;
    int height() const;
    // Decodes the next `count` rows into `pixels` (rows `stride` bytes apart).
    bool readRows(std::uint8_t* pixels, std::size_t stride, int count);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A baseline JPEG written a few rows at a time, with the same bytes EncodeJpeg writes for the
// same pixels and quality.
class JpegRowWriter {
public:
    JpegRowWriter();
    ~JpegRowWriter();
    JpegRowWriter(const JpegRowWriter&) = delete;
    JpegRowWriter& operator=(const JpegRowWriter&) = delete;

    // Creates the file and starts compressing.
    bool start(const std::string& file, int width, int height, int quality,
               std::span<const std::uint8_t> iccProfile = {});
    bool writeRows(const std::uint8_t* pixels, std::size_t stride, int count);
    // Finishes the stream and closes the file; false when anything was not written.
    bool finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace vantorell
