// How the library reports errors: every function that computes or reads throws
// vantorell::api::Error (a std::runtime_error with a code). Whole jobs (job.h) are the one
// exception: what goes wrong inside a job is its outcome (JobOutcome::failure, ::errors), as
// the command line's exit status says it; they throw Error only for arguments they refuse
// before the job starts.
#pragma once

#include "vantorell/export.h"

#include <stdexcept>
#include <string>

namespace vantorell::api {

enum class ErrorCode {
    InvalidArgument,   // a null or short buffer, a stride below a row, a size below 1, a bad option
    SizeMismatch,      // images that must share a size do not (GIF frames)
    TooLarge,          // beyond the library's picture limits (32767 pixels a side, 256 megapixels)
    FileNotFound,
    FileUnreadable,    // a folder, no permission, a read error
    InvalidPicture,    // the file is no picture the library reads, or is damaged
    WriteFailed,       // the file could not be written
    OutOfMemory,
    Cancelled,         // a progress callback answered false
    Failed,            // anything else the engine reports (its message says what)
};

class VANTORELL_API Error : public std::runtime_error {
public:
    Error(ErrorCode code, const std::string& message);
    ~Error() override;
    ErrorCode code() const noexcept { return m_code; }

private:
    ErrorCode m_code;
};

}  // namespace vantorell::api
