#include "job/ErrorReport.h"

namespace vantorell {

std::string applicationErrorText(std::string_view routine, int label, std::string_view description)
{
    std::string text(description);
    text += "\r\n";
    text += "in Vantorell2021/08/31.Form1.";
    text += routine;
    text += " ";
    text += "at line ";
    text += std::to_string(label);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += kSupportAddress;
    return text;
}

void showApplicationError(UiPort& ui, std::string_view routine, int label, std::string_view description)
{
    ui.messageBox(applicationErrorText(routine, label, description), MsgButtons::Ok, MsgIcon::Exclamation,
                  "Application Error");
}

}  // namespace vantorell
