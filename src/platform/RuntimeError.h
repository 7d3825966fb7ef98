// The one error a command step can raise: a run-time error number and a description.
#pragma once

#include <stdexcept>
#include <string>

namespace vantorell {

namespace errnum {
inline constexpr int CannotSaveImage = 5;  // the JPEG writer's "Cannot save the image. GDI+ Error:" + status
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int DivisionByZero = 11;
inline constexpr int TypeMismatch = 13;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int InvalidPicture = 481;
}  // namespace errnum

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}
    int number() const noexcept { return m_number; }
    std::string description() const { return what(); }

private:
    int m_number;
};

}  // namespace vantorell
