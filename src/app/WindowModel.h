// The main window as a display-free model: every control's state, the event handlers, the
// settings write-through and restore, the dialogs routines, start-up and closing. The Qt view
// (gui/MainWindow) mirrors this state and forwards the user's actions; tests drive it directly
// with a scripted UiPort and a memory settings store.
#pragma once

#include "app/PointerTrackingUi.h"
#include "job/MixJob.h"
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
std::string ApplicationTitleFor(std::string_view productName);

// Text that reads as a number: blanks around it, a sign, digits with a decimal point and an
// exponent ("2.5", " -3 ", "1e3"). The empty text is not numeric.
bool IsNumeric(std::string_view text);

// Settings conversions of the restore steps. Both raise RuntimeError: TypeMismatch for text
// that is not a number (nor True/False), Overflow for a number beyond the type.
bool BooleanFromSetting(std::string_view text);
std::int32_t WholeNumberFromSetting(std::string_view text);

namespace detail {
// Holds the pointer-tracking port so that it exists before the MixJob base that uses it.
struct WindowModelPort {
    explicit WindowModelPort(UiPort& ui) : m_port(ui) {}
    PointerTrackingUi m_port;
};
}  // namespace detail

class WindowModel : private detail::WindowModelPort, public MixJob {
public:
    // 0x8000000F: the platform's button-face system colour, the skinned window's background.
    static constexpr std::uint32_t kButtonFaceColour = 0x8000000Fu;
    enum class Pointer { Default, Custom };        // the window's pointer setting
    enum class PointerShape { Arrow, Hand, Hourglass };  // what the user sees

    WindowModel(UiPort& ui, SettingsStore& settings, WindowEnvironment environment);
    ~WindowModel() override;

    // Frames and push buttons (the controls the job reads are MixJob's).
    Frame Frame1, Frame2, Frame3, Frame4, Frame5, Frame6, Frame7, Frame8, Frame9, Frame10, Frame11, Frame12,
        Frame13;
    PushButton PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton7, PushButton8;

    std::string Caption;                  // the window's caption
    bool Skinned = false;                 // the skin file was found at start-up
    std::uint32_t BackColor = 0;          // 0: design colours; kButtonFaceColour when skinned
    std::filesystem::path MouseIcon;      // the custom (hand) pointer file, empty when none
    int MouseIconHotX = 0, MouseIconHotY = 0;

    // Start-up and closing.
    void Form_Load();
    void Form_QueryUnload(bool& cancel, int unloadMode);
    void Form_Unload();
    bool unloaded() const { return m_unloaded; }

    // User actions as the view forwards them. An option set to true in code or clicked by the
    // user selects it, clears the rest of its group and fires its click handler.
    void click(OptionButton& option);
    void setOptionValue(OptionButton& option, bool value);

    // Event handlers.
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Option5_Click();
    void Option6_Click();
    void Option7_Click();
    void Option8_Click();
    void Option9_Click();
    void Option21_Click();
    void Option22_Click();
    void Slider1_Change();
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();
    void Text4_Change();
    void txtFPS_Change();
    void Text4_LostFocus();
    void txtFPS_LostFocus();
    void PushButton1_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton7_Click();
    void PushButton8_Click();

    void SetMixControlsEnabled(bool enabled);
    void UpdateOutputExtension();

    // Pointer feedback: the pointer moved over `control` (nullptr: the window's background).
    void MouseMove(const Control* control);
    Pointer MousePointer() const { return m_pointer; }
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
    void SaveSetting(std::string_view key, std::string_view value);
    // For handlers without an error report of their own: one notice, then quiet.
    void writeThrough(std::string_view key, std::string_view value);
    void saveOptions(std::initializer_list<std::pair<const char*, const OptionButton*>> options);
    void openFileInto(TextBox& box, const char* routine);
    void checkNumeric(TextBox& box);
    void fireClick(OptionButton& option);
    std::vector<OptionButton*> groupOf(const OptionButton& option);
    void setPointer(Pointer pointer);
    void wireControls();

    SettingsStore& m_settings;
    WindowEnvironment m_env;
    std::map<const Control*, const Control*> m_container;
    Pointer m_pointer = Pointer::Default;
    bool m_settingsReadOnly = false;
    bool m_unloaded = false;
};

}  // namespace vantorell
