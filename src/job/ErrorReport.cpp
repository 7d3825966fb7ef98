#include "job/ErrorReport.h"

namespace vantorell {

std::string ApplicationErrorText(std::string_view routine, int label, std::string_view description)
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

void ShowApplicationError(UiPort& ui, std::string_view routine, int label, std::string_view description)
{
    ui.messageBox(ApplicationErrorText(routine, label, description), MsgButtons::Ok, MsgIcon::Exclamation,
                  "Application Error");
}

}  // namespace vantorell
