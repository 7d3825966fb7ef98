// The main window as a display-free model: every control's state, the event handlers, the
// settings write-through and restore, the dialogs routines, start-up and closing. It owns the
// mixing job and hands it a request built from the controls when Start is pressed. The Qt view
// (gui/MainWindow) mirrors this state and forwards the user's actions; tests drive it directly
// with a scripted UiPort and a memory settings store.
#pragma once

#include "app/BlendCanvasModel.h"
#include "app/MorphModel.h"
#include "app/JobThread.h"
#include "app/PointerTrackingUi.h"
#include "app/GifOptionsModel.h"
#include "app/VideoOutputModel.h"
#include "job/MixJob.h"
#include "job/ReportNames.h"
#include "platform/Controls.h"
#include "platform/SettingsStore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

class StepRunner;

// What the window learns from the place it runs in. The program fills it from the executable's
// folder and the platform; tests point it at temporary folders and fix the random draw.
struct WindowEnvironment {
    std::filesystem::path programFolder;   // the executable's folder: Samples, HAND-M.CUR, x/o.cjs
    std::filesystem::path desktopFolder;   // the user's desktop, the first output folder
    std::function<double()> random;        // uniform in [0, 1); empty: seeded from the time of day
    std::string productName = "Vantorell";
    std::string homePage = "https://vantorell.app/";
};

// The application title of untitled message boxes: the product name without its last word,
// cut again while longer than 40 characters. A name with no blank keeps its whole name.
std::string applicationTitleFor(std::string_view productName);

// Settings conversions of the restore steps: True/False or a number. Raises RuntimeError
// TypeMismatch for other text, Overflow for a number beyond a double.
bool booleanFromSetting(std::string_view text);

// The "Align" check box's settings key: True or False, off when none is stored.
inline constexpr std::string_view kAlignSettingsKey = "Align";

class WindowModel {
public:
    // 0x8000000F: the platform's button-face system colour, the skinned window's background.
    static constexpr std::uint32_t kButtonFaceColour = 0x8000000Fu;
    enum class Pointer { Default, Custom };        // the window's pointer setting
    enum class PointerShape { Arrow, Hand, Hourglass };  // what the user sees

    WindowModel(UiPort& ui, SettingsStore& settings, WindowEnvironment environment);
    ~WindowModel();

    // The pictures, the output folder and the Fade's numbers, as the user typed them.
    TextBox image1Box, image2Box, outputFolderBox, frameCountBox, framesPerSecondBox;
    // Option groups: the blend direction, the mix type, the Fade's output, the JPEG quality.
    OptionButton blendLeftOption, blendRightOption, blendTopOption, blendBottomOption;
    OptionButton blendOption, fadeOption, overlayOption;
    OptionButton saveAsAviOption, saveAsGifOption;
    OptionButton smartDetectOption, fixedQualityOption;
    RangeControl qualitySlider;   // the fixed quality, 1..100
    RangeControl blendSizeBar;    // where the seam starts, 0..729 (0..the seam's extent on another canvas)
    BlendCanvasModel blendCanvas; // the Blend's canvas size and fit, and the stored Blend Size
    MorphModel morph;             // the Fade's morph: meshes, timing, the "Morph" choice
    VideoOutputModel videoOutput; // the Fade's third output, "Save As Video": format and quality
    GifOptionsModel gifOptions;   // the GIF output's palette, dither, smaller file, lossy, target size

    // The "Colour" choice (keep, srgb, ignore: colour/ColourSpaces.h), stored under the key
    // "Colour"; none stored, or an unknown word: keep.
    ColourChoice colourChoice() const { return m_colourChoice; }
    void setColourChoice(ColourChoice choice);
    std::function<void()> onColourChoiceChanged;   // set or restored (the view follows)

    // Frames (group boxes) and push buttons.
    Frame directionFrame, blendSizeFrame, mixTypeFrame, image1Frame, image2Frame, outputFolderFrame;
    Frame framesPerSecondFrame, frameCountFrame, outputFrame, fadeOptionsFrame, blendOptionsFrame;
    Frame qualityFrame, qualityValueFrame;   // the value frame's caption shows the slider's "85%"
    PushButton browseImage1Button, startButton, browseImage2Button, helpButton, browseFolderButton;
    PushButton loadSamplesButton, qualityHelpButton;

    std::string caption;                  // the window's caption
    bool skinned = false;                 // the skin file was found at start-up
    std::uint32_t backColour = 0;         // 0: design colours; kButtonFaceColour when skinned
    std::filesystem::path customPointerFile;   // the custom (hand) pointer file, empty when none
    int customPointerHotX = 0, customPointerHotY = 0;

    // Start-up and closing.
    void load();
    void queryUnload(bool& cancel, int unloadMode);
    void unload();
    bool unloaded() const { return m_unloaded; }

    // User actions as the view forwards them. An option set to true in code or clicked by the
    // user selects it, clears the rest of its group and fires its click handler.
    void click(OptionButton& option);
    void setOptionValue(OptionButton& option, bool value);

    // "Align": picture 2 mapped onto picture 1's frame before the Blend, Overlay or Fade
    // (align/Align.h). Written through to its key; restored at start-up, then onAlignChanged.
    bool align() const { return m_align; }
    void setAlign(bool on);
    std::function<void()> onAlignChanged;

    // The Start button: runs the job on the request the controls make.
    MixOutcome start();

    // ---- The job on a worker thread (app/JobThread) ----
    // The view tells the model how to reach the window's thread; from then on startJob() runs
    // the job on a worker while the window stays live, and jobFinished gets its outcome there.
    void setWindowThreadPost(WindowThreadUi::Post post) { m_jobThread.setPost(std::move(post)); }
    bool startJob();
    void cancelJob() { m_jobThread.cancel(); }
    bool jobRunning() const { return m_jobThread.running(); }
    const MixOutcome& lastOutcome() const { return m_lastOutcome; }
    std::function<void()> onJobStateChanged;   // a job started or ended (lastOutcome() is its outcome)
    // What the running or last job said without a box ("Aligned: ..."); empty from Start on.
    const std::string& jobStatus() const { return m_jobStatus; }
    std::function<void()> onJobStatusChanged;
    // The job's values as the controls hold them now.
    MixRequest request() const;

    // Event handlers.
    void blendDirectionClicked();
    void blendChosen();
    void fadeChosen();
    void overlayChosen();
    void outputFormatClicked();
    void qualityChoiceClicked();
    void qualitySliderChanged();
    void image1Changed();
    void image2Changed();
    void outputFolderChanged();
    void frameCountChanged();
    void framesPerSecondChanged();
    void frameCountLostFocus();
    void framesPerSecondLostFocus();
    void browseImage1();
    void browseImage2();
    void showHelp();
    void browseOutputFolder();
    void loadSamples();
    void showQualityHelp();

    void setMixControlsEnabled(bool enabled);

    MixJob& job() { return m_job; }
    ProgressBar& progressBar() { return m_job.progressBar(); }
    const std::string& applicationTitle() const { return m_job.applicationTitle(); }
    // The hourglass is up: a job runs.
    bool busy() const { return m_job.busy(); }
    UiPort& ui() { return m_port; }

    // Pointer feedback: the pointer moved over `control` (nullptr: the window's background).
    void mouseMoved(const Control* control);
    Pointer pointer() const { return m_pointer; }
    PointerShape pointerShape() const;

    // Containers: the frame that holds a control, and whether the user can reach it (the
    // control and every container around it enabled).
    const Control* container(const Control& control) const;
    bool usable(const Control& control) const;

    // The folder of the sample pictures: "Samples" beside the executable, or the data folder of
    // an installed program (../share/vantorell/Samples) when there is none beside it.
    std::filesystem::path samplesFolder() const;

    const WindowEnvironment& environment() const { return m_env; }

    // The view follows these.
    std::function<void(Control&)> onSetFocus;    // give the focus to a control
    std::function<void()> onPointerChanged;
    std::function<void()> onWindowChanged;       // caption, colours, icon
    std::function<void()> onUnload;              // the program ends

private:
    // Writes one key. Raises RuntimeError when the store cannot be written (the first time only:
    // after that the store is known to be read-only and writes are skipped).
    void saveSetting(std::string_view key, std::string_view value);
    // For handlers without an error report of their own: one notice, then quiet.
    void writeThrough(std::string_view key, std::string_view value);
    void saveOptions(std::initializer_list<std::pair<ControlNames, const OptionButton*>> options);
    void openFileInto(TextBox& box, std::string_view routine);
    void showMessage(std::string_view text);
    void checkNumeric(TextBox& box);
    void fireClick(OptionButton& option);
    void mixTypeChosen(StepRunner& steps, const char* startCaption);
    std::vector<OptionButton*> groupOf(const OptionButton& option);
    void setPointer(Pointer pointer);
    void wireControls();
    void setDesignValues();
    void setCaptions();
    void setContainers();
    void restoreSettings(StepRunner& steps);
    BlendDirection blendDirection() const;
    void updateBlendSizeRange();
    void restoreBlendSize();

    PointerTrackingUi m_port;
    WindowThreadUi m_threadUi{m_port};   // the job's port: boxes and dialogs on the window's thread
    MixJob m_job;
    SettingsStore& m_settings;
    ColourChoice m_colourChoice = ColourChoice::Keep;
    WindowEnvironment m_env;
    std::map<const Control*, const Control*> m_container;
    Pointer m_pointer = Pointer::Default;
    bool m_settingsReadOnly = false;
    bool m_unloaded = false;
    bool m_restoringBlendSize = false;   // the stored value is not written back as it is set
    bool m_align = false;
    MixOutcome m_lastOutcome;
    std::string m_jobStatus;
    JobThread m_jobThread{m_job, m_threadUi};   // last: joined before the job goes
};

}  // namespace vantorell
