// The common error report of every command routine: one "Application Error" box.
#pragma once

#include "job/UiPort.h"

#include <string>
#include <string_view>

namespace vantorell {

inline constexpr std::string_view kSupportAddress = "support@vantorell.app";
inline constexpr std::string_view kProductName = "Vantorell";

// The box's text: description, CR LF, "in Vantorell2021/08/31.Form1." + routine + " ",
// "at line " + label, CR, CR, "Please email screenshot of this message to " + address.
std::string applicationErrorText(std::string_view routine, int label, std::string_view description);

// Shows the box (exclamation icon, OK button, title "Application Error").
void showApplicationError(UiPort& ui, std::string_view routine, int label, std::string_view description);

}  // namespace vantorell
