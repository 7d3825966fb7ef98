// Everything the job asks of a window: message boxes, yields to the message loop, the busy
// pointer, dialogs and the shell. The Qt window implements it (gui/QtUiPort), the batch command
// line prints through it, and tests script it (tests/support/FakeUi). Its helpers (ForwardingUi,
// SilentUi, WindowThreadUi) live beside it. Nothing below the job sees it: progress and cancel
// go down as a StepProgress (platform/StepProgress.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

class ProgressBar;

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

struct OpenFileRequest {
    std::string title;
    std::string filter;          // "JPG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|All Files (*.*)|*.*" style pairs
    std::filesystem::path initialFolder;
    bool multiSelect = false;
};

// The compressor dialog's offer and answer belong to the AVI codecs (avi/AviCodecs.h); only
// the job and the window, which include that, ask for the dialog.
struct CompressorOption;
struct CompressorChoice;

class UiPort {
public:
    virtual ~UiPort() = default;

    // Shows a modal box and answers the button pressed. The caller passes the title it wants;
    // untitled boxes of the window pass the application title.
    virtual MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                                 std::string_view title) = 0;
    // A message that needs no answer (what the job found: "Aligned: ..."). A window shows it with
    // the job's progress and the job goes on; front ends without one show it as a box.
    virtual void statusMessage(std::string_view text, std::string_view title)
    {
        messageBox(text, MsgButtons::Ok, MsgIcon::None, title);
    }
    // Lets the window process pending events (repaint the progress bar, react to input).
    virtual void yield() = 0;
    virtual void setBusyPointer(bool busy) = 0;
    // The progress bar changed; a window repaints it at its next yield.
    virtual void progressChanged(const ProgressBar& bar) = 0;
    virtual std::vector<std::filesystem::path> openFiles(const OpenFileRequest& request) = 0;
    virtual std::optional<std::filesystem::path> browseFolder(std::string_view title,
                                                              const std::filesystem::path& start) = 0;
    // The compressor dialog of the AVI writer; nullopt when the user cancels.
    virtual std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) = 0;
    // Starts a command line through the desktop shell (used for the home page).
    virtual bool shellStart(std::string_view target) = 0;
};

}  // namespace vantorell
