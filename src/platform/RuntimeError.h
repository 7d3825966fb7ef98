// The one error a command step can raise: a run-time error number and a description.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

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

// The report box shows the number and description; an input's error also carries what went
// wrong with the file in the words of a closing message ("could not be read: no such file",
// "is damaged: its data ends early"), said after the file's name.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& description, std::string inputProblem = {})
        : std::runtime_error(description), m_number(number), m_inputProblem(std::move(inputProblem)) {}
    int number() const noexcept { return m_number; }
    std::string description() const { return what(); }
    const std::string& inputProblem() const noexcept { return m_inputProblem; }

private:
    int m_number;
    std::string m_inputProblem;
};

// A closing message's words for an input that failed: "Image #1 (PATH) could not be read: no
// such file." `what` names the input, `path` is the file as the user gave it, `problem` the
// error's inputProblem(); without one the error's description is the reason.
inline std::string inputFailure(std::string_view what, std::string_view path, const std::string& problem,
                                const std::string& description = {})
{
    std::string text = std::string(what) + " (" + std::string(path) + ") ";
    if (!problem.empty())
        text += problem;
    else if (!description.empty())
        text += "could not be read: " + description;
    else
        text += "could not be read";
    return text + ".";
}

}  // namespace vantorell
