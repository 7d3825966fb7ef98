// Everything the program's core asks of a window: message boxes, yields to the message loop,
// the busy pointer, dialogs and the shell. The Qt window implements it (gui/QtUiPort), the
// batch command line prints through it, and tests script it (tests/support/FakeUi).
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

// One video encoder that the AVI container can carry, as offered in the compressor dialog.
struct CompressorOption {
    std::string name;          // command-line name: "uncompressed", "mjpeg", "mpeg4", "ffv1", "huffyuv", "h264"
    std::string description;   // what the dialog shows: "Full Frames (Uncompressed)", ...
    bool supportsKeyFrames = false;
    bool supportsDataRate = false;
    bool supportsQuality = false;
    int keyFrameEvery = 1;     // the key-frame interval the dialog starts with
};

struct CompressorChoice {
    std::string name;          // one of CompressorOption::name
    int keyFrameEvery = 0;     // a key frame every N frames (1: every frame); 0: the codec's
                               // default, two seconds of frames where key frames are chosen
    int dataRateKbps = 0;      // 0: no data-rate limit
    int quality = -1;          // 0..100, -1: the codec's default
};

class UiPort {
public:
    virtual ~UiPort() = default;

    // Shows a modal box and answers the button pressed. The caller passes the title it wants;
    // untitled boxes of the window pass the application title.
    virtual MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                                 std::string_view title) = 0;
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
