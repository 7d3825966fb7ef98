#include "app/WindowModel.h"

#include "colour/Ditherer.h"
#include "job/ErrorReport.h"
#include "job/FileHelpers.h"
#include "job/StepRunner.h"
#include "platform/RuntimeError.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <system_error>

namespace vantorell {
namespace {

// Run-time error 380: a value outside the range a control accepts.
constexpr int kInvalidPropertyValue = 380;


std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

enum class NumberParse { Ok, NotANumber, OutOfRange };

// Sign, digits, optional decimal point and exponent, the whole (trimmed) text. No hexadecimal,
// no "inf" or "nan": a settings value or a box holds a plain decimal number or it is text.
NumberParse parseNumber(std::string_view text, double& out)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const std::string_view digits = !text.empty() && text.front() == '-' ? text.substr(1) : text;
    if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits.front())) || digits.front() == '.'))
        return NumberParse::NotANumber;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::general);
    if (end != text.data() + text.size())
        return NumberParse::NotANumber;
    if (error == std::errc::result_out_of_range)
        return NumberParse::OutOfRange;
    return error == std::errc() ? NumberParse::Ok : NumberParse::NotANumber;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A Windows cursor file (.cur): a 6-byte header (reserved 0, type 2, image count) followed by
// 16-byte directory entries whose planes and bit-count fields hold the hot spot.
void readCursorHotSpot(const std::filesystem::path& file, int& hotX, int& hotY)
{
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 22> head{};
    if (!in.read(reinterpret_cast<char*>(head.data()), head.size()))
        throw RuntimeError(errnum::InvalidPicture, "Invalid picture");
    const auto u16 = [&](std::size_t at) { return head[at] | (head[at + 1] << 8); };
    if (u16(0) != 0 || u16(2) != 2 || u16(4) == 0)
        throw RuntimeError(errnum::InvalidPicture, "Invalid picture");
    hotX = u16(6 + 4);
    hotY = u16(6 + 6);
}

std::string withTrailingSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace

std::string ApplicationTitleFor(std::string_view productName)
{
    std::string title(productName);
    do {
        const auto blank = title.rfind(' ');
        if (blank == std::string::npos)
            break;   // nowhere to cut: the whole name
        title.erase(blank);
    } while (title.size() > 40);
    return title;
}

bool IsNumeric(std::string_view text)
{
    double value = 0;
    return parseNumber(text, value) == NumberParse::Ok;
}

bool BooleanFromSetting(std::string_view text)
{
    const std::string_view word = trimBlanks(text);
    if (equalsNoCase(word, "True"))
        return true;
    if (equalsNoCase(word, "False"))
        return false;
    double number = 0;
    switch (parseNumber(text, number)) {
    case NumberParse::Ok: return number != 0;
    case NumberParse::OutOfRange: throw RuntimeError(errnum::Overflow, "Overflow");
    case NumberParse::NotANumber: break;
    }
    throw RuntimeError(errnum::TypeMismatch, "Type mismatch");
}

std::int32_t WholeNumberFromSetting(std::string_view text)
{
    double number = 0;
    switch (parseNumber(text, number)) {
    case NumberParse::Ok: break;
    case NumberParse::OutOfRange: throw RuntimeError(errnum::Overflow, "Overflow");
    case NumberParse::NotANumber: throw RuntimeError(errnum::TypeMismatch, "Type mismatch");
    }
    const double rounded = std::nearbyint(number);   // ties to even, the default rounding mode
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max()))
        throw RuntimeError(errnum::Overflow, "Overflow");
    return static_cast<std::int32_t>(rounded);
}

WindowModel::WindowModel(UiPort& ui, SettingsStore& settings, WindowEnvironment environment)
    : detail::WindowModelPort(ui), MixJob(m_port), m_settings(settings), m_env(std::move(environment))
{
    EnableFadeJob();
    if (!m_env.random) {
        auto engine = std::make_shared<std::mt19937>(static_cast<std::mt19937::result_type>(
            std::chrono::system_clock::now().time_since_epoch().count()));
        m_env.random = [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
    }

    Caption = m_env.productName;
    Frame1.setCaption("Direction");
    Frame2.setCaption("Blend Size");
    Frame3.setCaption("Mix Type");
    Frame4.setCaption("Image #1");
    Frame5.setCaption("Image #2");
    Frame6.setCaption("Save Results To This Folder");
    Frame7.setCaption("Frames Per Second");
    Frame8.setCaption("Number Of Frames");
    Frame9.setCaption("Output");
    Frame10.setCaption("Fade Options");
    Frame11.setCaption("Blend Options");
    Frame12.setCaption("Output JPG Quality Option");
    Frame13.setCaption("0%");
    PushButton1.setCaption("...");
    PushButton2.setCaption("Start Mixing Two Image");
    PushButton3.setCaption("...");
    PushButton4.setCaption("Help");
    PushButton5.setCaption("...");
    PushButton7.setCaption("Load Sample/Example Files");
    PushButton8.setCaption("?");
    Option1.setCaption("Blend Left");
    Option2.setCaption("Blend Right");
    Option3.setCaption("Blend Top");
    Option4.setCaption("Blend Bottom");
    Option5.setCaption("Blend");
    Option6.setCaption("Fade");
    Option7.setCaption("Overlay");
    Option8.setCaption("Save As AVI");
    Option9.setCaption("Save As Animated GIF");
    Option21.setCaption("Smart-Detect");
    Option22.setCaption("Fixed Quality:");

    const auto contain = [this](const Control& parent, std::initializer_list<const Control*> children) {
        for (const Control* child : children)
            m_container[child] = &parent;
    };
    contain(Frame4, {&Text1, &PushButton1});
    contain(Frame5, {&Text2, &PushButton3});
    contain(Frame6, {&Text3, &PushButton5});
    contain(Frame3, {&Option5, &Option6, &Option7});
    contain(Frame11, {&Frame1, &Frame2});
    contain(Frame1, {&Option1, &Option2, &Option3, &Option4});
    contain(Frame2, {&hStart});
    contain(Frame10, {&Frame9, &Frame8, &Frame7});
    contain(Frame9, {&Option8, &Option9});
    contain(Frame8, {&Text4});
    contain(Frame7, {&txtFPS});
    contain(Frame12, {&Option21, &Option22, &Frame13, &PushButton8});
    contain(Frame13, {&Slider1});

    m_port.onBusyChanged = [this] {
        if (onPointerChanged) onPointerChanged();
    };
    wireControls();
}

WindowModel::~WindowModel() = default;

void WindowModel::wireControls()
{
    Text1.onTextChanged = [this] { Text1_Change(); };
    Text2.onTextChanged = [this] { Text2_Change(); };
    Text3.onTextChanged = [this] { Text3_Change(); };
    Text4.onTextChanged = [this] { Text4_Change(); };
    txtFPS.onTextChanged = [this] { txtFPS_Change(); };
    Slider1.onValueChanged = [this] { Slider1_Change(); };
}

// ---- Settings ----------------------------------------------------------------------------

void WindowModel::SaveSetting(std::string_view key, std::string_view value)
{
    if (m_settingsReadOnly)
        return;
    try {
        m_settings.set(kSettingsApplication, kSettingsSection, key, value);
    } catch (const RuntimeError&) {
        m_settingsReadOnly = true;
        throw;
    }
}

void WindowModel::writeThrough(std::string_view key, std::string_view value)
{
    try {
        SaveSetting(key, value);
    } catch (const RuntimeError& error) {
        ui().messageBox(error.description() +
                            "\n\nYour changes apply until the window closes but will not be there at the next start.",
                        MsgButtons::Ok, MsgIcon::Exclamation, ApplicationTitle);
    }
}

void WindowModel::saveOptions(std::initializer_list<std::pair<const char*, const OptionButton*>> options)
{
    for (const auto& [key, option] : options)
        writeThrough(key, option->value() ? "True" : "False");
}

// ---- Option groups -------------------------------------------------------------------------

std::vector<OptionButton*> WindowModel::groupOf(const OptionButton& option)
{
    const std::vector<std::vector<OptionButton*>> groups = {
        {&Option1, &Option2, &Option3, &Option4},
        {&Option5, &Option6, &Option7},
        {&Option8, &Option9},
        {&Option21, &Option22},
    };
    for (const auto& group : groups)
        for (const OptionButton* member : group)
            if (member == &option)
                return group;
    return {};
}

void WindowModel::setOptionValue(OptionButton& option, bool value)
{
    if (!value) {
        option.setValue(false);
        return;
    }
    for (OptionButton* other : groupOf(option))
        if (other != &option)
            other->setValue(false);
    option.setValue(true);
    fireClick(option);
}

void WindowModel::click(OptionButton& option)
{
    setOptionValue(option, true);
}

void WindowModel::fireClick(OptionButton& option)
{
    const std::pair<OptionButton*, void (WindowModel::*)()> handlers[] = {
        {&Option1, &WindowModel::Option1_Click},   {&Option2, &WindowModel::Option2_Click},   {&Option3, &WindowModel::Option3_Click},
        {&Option4, &WindowModel::Option4_Click},   {&Option5, &WindowModel::Option5_Click},   {&Option6, &WindowModel::Option6_Click},
        {&Option7, &WindowModel::Option7_Click},   {&Option8, &WindowModel::Option8_Click},   {&Option9, &WindowModel::Option9_Click},
        {&Option21, &WindowModel::Option21_Click}, {&Option22, &WindowModel::Option22_Click},
    };
    for (const auto& [button, handler] : handlers)
        if (button == &option)
            (this->*handler)();
}

// ---- Mix type, direction, output and quality handlers --------------------------------------

void WindowModel::Option5_Click()
{
    StepRunner steps(ui(), "Option5_Click");
    steps.run(100, [&] { PushButton2.setCaption("Start Blending Two Image"); });
    steps.run(102, [&] { SaveSetting("Option5", Option5.value() ? "True" : "False"); });
    steps.run(104, [&] { SaveSetting("Option6", Option6.value() ? "True" : "False"); });
    steps.run(106, [&] { SaveSetting("Option7", Option7.value() ? "True" : "False"); });
    steps.run(108, [&] { SetMixControlsEnabled(true); });
    steps.run(110, [&] { Frame9.setEnabled(false); });
    steps.run(112, [&] { Option8.setEnabled(false); });
    steps.run(114, [&] { Option9.setEnabled(false); });
    steps.run(116, [&] { Frame7.setEnabled(false); });
    steps.run(118, [&] { Frame8.setEnabled(false); });
    steps.run(120, [&] { txtFPS.setEnabled(false); });
    steps.run(122, [&] { Text4.setEnabled(false); });
    steps.run(124, [&] { UpdateOutputExtension(); });
}

void WindowModel::Option6_Click()
{
    StepRunner steps(ui(), "Option6_Click");
    steps.run(100, [&] { PushButton2.setCaption("Start Fading Two Image"); });
    steps.run(102, [&] { SaveSetting("Option5", Option5.value() ? "True" : "False"); });
    steps.run(104, [&] { SaveSetting("Option6", Option6.value() ? "True" : "False"); });
    steps.run(106, [&] { SaveSetting("Option7", Option7.value() ? "True" : "False"); });
    steps.run(108, [&] {
        SetMixControlsEnabled(true);
        Frame9.setEnabled(true);
        Frame8.setEnabled(true);
        Frame7.setEnabled(true);
    });
    steps.run(110, [&] { UpdateOutputExtension(); });
}

void WindowModel::Option7_Click()
{
    StepRunner steps(ui(), "Option7_Click");
    steps.run(100, [&] { PushButton2.setCaption("Start Overlaying Two Image"); });
    steps.run(102, [&] { SaveSetting("Option5", Option5.value() ? "True" : "False"); });
    steps.run(104, [&] { SaveSetting("Option6", Option6.value() ? "True" : "False"); });
    steps.run(106, [&] { SaveSetting("Option7", Option7.value() ? "True" : "False"); });
    steps.run(108, [&] { SetMixControlsEnabled(false); });
    steps.run(110, [&] { UpdateOutputExtension(); });
}

void WindowModel::SetMixControlsEnabled(bool enabled)
{
    for (Control* control : std::initializer_list<Control*>{&Option1, &Option2, &Option3, &Option4, &hStart,
                                                             &txtFPS, &Text4, &Option8, &Option9})
        control->setEnabled(enabled);
}

void WindowModel::UpdateOutputExtension()
{
    if (Option5.value() || Option7.value())
        OutputExtension = "jpg";
    else if (Option6.value()) {
        if (Option8.value())
            OutputExtension = "avi";
        else if (Option9.value())
            OutputExtension = "gif";
    }
}

void WindowModel::Option1_Click() { saveOptions({{"Option1", &Option1}, {"Option2", &Option2}, {"Option3", &Option3}, {"Option4", &Option4}}); }
void WindowModel::Option2_Click() { Option1_Click(); }
void WindowModel::Option3_Click() { Option1_Click(); }
void WindowModel::Option4_Click() { Option1_Click(); }

void WindowModel::Option8_Click()
{
    saveOptions({{"Option8", &Option8}, {"Option9", &Option9}});
    UpdateOutputExtension();
}
void WindowModel::Option9_Click() { Option8_Click(); }

void WindowModel::Option21_Click()
{
    saveOptions({{"Option21", &Option21}, {"Option22", &Option22}});
    Frame13.setEnabled(!Option21.value());
}
void WindowModel::Option22_Click() { Option21_Click(); }

void WindowModel::Slider1_Change()
{
    Frame13.setCaption(std::to_string(Slider1.value()) + "%");
    writeThrough("Slider1", std::to_string(Slider1.value()));
}

void WindowModel::Text1_Change() { writeThrough("Image 1", Text1.text()); }
void WindowModel::Text2_Change() { writeThrough("Image 2", Text2.text()); }
void WindowModel::Text3_Change() { writeThrough("Text3", Text3.text()); }
void WindowModel::Text4_Change() { writeThrough("Number Of Images", Text4.text()); }
void WindowModel::txtFPS_Change() { writeThrough("FPS", txtFPS.text()); }

// ---- Input files, samples, explanations ----------------------------------------------------

void WindowModel::openFileInto(TextBox& box, const char* routine)
{
    StepRunner steps(ui(), routine);
    OpenFileRequest request;
    std::vector<std::filesystem::path> chosen;
    steps.run(100, [&] { chosen.clear(); });
    steps.run(102, [&] { request.title = "Add File(s) - Hold Ctrl or Shift to select multiple files"; });
    steps.run(104, [&] { request.filter = "JPG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|"; });
    steps.run(106, [&] { chosen = ui().openFiles(request); });
    // The box holds one path: the first name of a selection is the one that goes in.
    std::string fileName;
    if (!chosen.empty())
        fileName = chosen.front().string();
    if (!steps.test(108, [&] { return !fileName.empty(); }))
        return;
    steps.run(110, [&] { box.setText(fileName); });
}

void WindowModel::PushButton1_Click() { openFileInto(Text1, "PushButton1_Click"); }
void WindowModel::PushButton3_Click() { openFileInto(Text2, "PushButton3_Click"); }

std::filesystem::path WindowModel::samplesFolder() const
{
    const std::filesystem::path beside = m_env.programFolder / "Samples";
    std::error_code error;
    if (std::filesystem::is_directory(beside, error))
        return beside;
    const std::filesystem::path installed =
        (m_env.programFolder.parent_path() / "share" / "vantorell" / "Samples").lexically_normal();
    if (std::filesystem::is_directory(installed, error))
        return installed;
    return beside;
}

void WindowModel::PushButton7_Click()
{
    StepRunner steps(ui(), "PushButton7_Click");
    const std::filesystem::path samples = samplesFolder();
    if (steps.test(100, [&] { return Option5.value() || Option7.value(); })) {
        steps.run(102, [&] { Text1.setText((samples / "sample1.jpg").string()); });
        steps.run(104, [&] { Text2.setText((samples / "sample2.jpg").string()); });
        return;
    }
    if (steps.test(106, [&] { return Option6.value(); })) {
        steps.run(108, [&] { Text1.setText((samples / "face1.jpg").string()); });
        steps.run(110, [&] { Text2.setText((samples / "face2.jpg").string()); });
    }
}

void WindowModel::PushButton4_Click()
{
    StepRunner steps(ui(), "PushButton4_Click");
    steps.run(100, [&] {
        showMessage("To prevent images from being cropped:\n\n"
                    "1. All images must be the same pixel dimension (height and width)\n\n"
                    "2. The first image must be larger than the second image.");
    });
}

void WindowModel::PushButton8_Click()
{
    StepRunner steps(ui(), "PushButton8_Click");
    steps.run(100, [&] {
        std::string fixed = Option22.caption();
        std::erase(fixed, ':');
        showMessage(Option21.caption() +
                    " will automatically detect the image quality of each input JPG file and use this information "
                    "to create a similar quality output JPG file.\n\n" +
                    fixed + " will use the same image quality for every output JPG file.");
    });
}

void WindowModel::checkNumeric(TextBox& box)
{
    if (IsNumeric(box.text()))
        return;
    showMessage("Must be a numeric entry.");
    if (onSetFocus) onSetFocus(box);
}

void WindowModel::Text4_LostFocus() { checkNumeric(Text4); }
void WindowModel::txtFPS_LostFocus() { checkNumeric(txtFPS); }

// ---- Output folder -------------------------------------------------------------------------

void WindowModel::PushButton5_Click()
{
    StepRunner steps(ui(), "PushButton5_Click");
    std::string folder;
    steps.run(100, [&] {
        if (auto chosen = ui().browseFolder("Save To This Folder", {}))
            folder = chosen->string();
    });
    if (!steps.test(102, [&] { return !folder.empty(); }))
        return;
    steps.run(104, [&] { SaveSetting("LastFolderDot", folder); });
    if (steps.test(104, [&] { return folder.back() != '/'; }))
        steps.run(106, [&] { Text3.setText(folder + "/"); });
    else
        steps.run(108, [&] { Text3.setText(folder); });
}

// ---- Start-up and closing ------------------------------------------------------------------

void WindowModel::Form_Load()
{
    StepRunner steps(ui(), "Form_Load");

    steps.run(100, [&] {
        if (!FileExists((m_env.programFolder / "x" / "o.cjs").string()))
            return;
        // There is no skinning component here: the skin file switches the window to the
        // platform's button-face colour behind its option buttons, frames and labels.
        Skinned = true;
        BackColor = kButtonFaceColour;
        if (onWindowChanged) onWindowChanged();
    });
    steps.run(102, [&] {
        Caption = m_env.productName;
        ApplicationTitle = ApplicationTitleFor(m_env.productName);
        if (onWindowChanged) onWindowChanged();
    });
    const std::filesystem::path handPointer = m_env.programFolder / "HAND-M.CUR";
    if (steps.test(104, [&] { return FileExists(handPointer.string()); })) {
        steps.run(106, [&] {
            readCursorHotSpot(handPointer, MouseIconHotX, MouseIconHotY);
            MouseIcon = handPointer;
            if (onPointerChanged) onPointerChanged();
        });
    }
    steps.run(108, [&] {
        const int draw = static_cast<int>(m_env.random() * 100.0) + 1;
        if (draw == 7 && !ui().shellStart(m_env.homePage))
            throw RuntimeError(errnum::FileNotFound, "File not found");
    });

    // The stored values as the previous run left them. The restore fires the handlers, and
    // they write back: step 140 runs the Blend handler, which stores the current (design)
    // mix type, so reading a key after that would lose the mix type the user had chosen.
    std::map<std::string, std::optional<std::string>, std::less<>> stored;
    for (const char* key : {"Image 1", "Image 2", "Text3", "Number Of Images", "FPS", "Option1", "Option2",
                            "Option3", "Option4", "Option5", "Option6", "Option7", "Option8", "Option9", "Option21",
                            "Option22", "Slider1"})
        stored[key] = m_settings.value(kSettingsApplication, kSettingsSection, key);
    const auto storedOr = [&stored](std::string_view key, std::string_view fallback) {
        const auto found = stored.find(key);
        return found != stored.end() && found->second ? *found->second : std::string(fallback);
    };

    const std::string desktop = withTrailingSeparator(m_env.desktopFolder.string());
    steps.run(130, [&] { Text1.setText(storedOr("Image 1", "")); });
    steps.run(132, [&] { Text2.setText(storedOr("Image 2", "")); });
    steps.run(134, [&] { Text3.setText(storedOr("Text3", desktop)); });
    steps.run(136, [&] { Text4.setText(storedOr("Number Of Images", "10")); });
    steps.run(138, [&] { txtFPS.setText(storedOr("FPS", "5")); });
    steps.run(140, [&] { Option5_Click(); });
    const struct {
        int label;
        OptionButton& option;
        const char* key;
        const char* fallback;
    } options[] = {
        {142, Option1, "Option1", "1"},   {144, Option2, "Option2", "0"},   {146, Option3, "Option3", "0"},
        {148, Option4, "Option4", "0"},   {150, Option5, "Option5", "1"},   {152, Option6, "Option6", "0"},
        {154, Option7, "Option7", "0"},   {156, Option8, "Option8", "1"},   {158, Option9, "Option9", "0"},
        {160, Option21, "Option21", "1"}, {162, Option22, "Option22", "0"},
    };
    for (const auto& restore : options)
        steps.run(restore.label, [&] { setOptionValue(restore.option, BooleanFromSetting(storedOr(restore.key, restore.fallback))); });
    steps.run(164, [&] {
        const std::int32_t value = WholeNumberFromSetting(storedOr("Slider1", "85"));
        if (value < Slider1.min() || value > Slider1.max())
            throw RuntimeError(kInvalidPropertyValue, "Invalid property value");
        Slider1.setValue(value);
    });
    steps.run(166, [&] { Frame13.setCaption(std::to_string(Slider1.value()) + "%"); });
    if (steps.test(168, [&] { return Option21.value(); }))
        steps.run(170, [&] { Frame13.setEnabled(false); });
    else
        steps.run(172, [&] { Frame13.setEnabled(true); });
    // The window's colour-reduction module, ready for the GIF output of a Fade job: halftone
    // palette, no dither until the job chooses one.
    const auto dither = [this]() -> Ditherer& {
        if (!Dither)
            Dither = std::make_shared<Ditherer>();
        return *Dither;
    };
    steps.run(174, [&] { dither().InitDitherTables(); });
    steps.run(176, [&] { dither().SetPaletteMode(PaletteMode::Halftone); });
    steps.run(178, [&] { dither().SetDitherMode(DitherMode::None); });
}

void WindowModel::Form_QueryUnload(bool& cancel, int /*unloadMode*/)
{
    cancel = false;
    StepRunner steps(ui(), "Form_QueryUnload");
    steps.run(100, [&] { gifDocument.reset(); });
    steps.run(102, [&] { ui().yield(); });
    steps.run(104, [&] { ui().yield(); });
}

void WindowModel::Form_Unload()
{
    m_unloaded = true;
    if (onUnload) onUnload();
}

// ---- Pointer feedback and containers -------------------------------------------------------

void WindowModel::setPointer(Pointer pointer)
{
    if (m_pointer == pointer)
        return;
    m_pointer = pointer;
    if (onPointerChanged) onPointerChanged();
}

void WindowModel::MouseMove(const Control* control)
{
    if (m_port.busy())
        return;
    for (const Control* button : {&PushButton1, &PushButton2, &PushButton3, &PushButton4, &PushButton5,
                                  &PushButton7, &PushButton8})
        if (control == button)
            return setPointer(Pointer::Custom);
    const std::initializer_list<const Control*> arrowAreas = {
        nullptr,  &Frame1,  &Frame2,  &Frame3,  &Frame4,  &Frame5,  &Frame6,   &Frame7,   &Frame8, &Frame9,
        &Frame10, &Frame11, &Frame12, &Frame13, &Option1, &Option2, &Option3,  &Option4,  &Text1,  &Text2,
        &Option21, &Option22};
    for (const Control* area : arrowAreas)
        if (control == area)
            return setPointer(Pointer::Default);
}

WindowModel::PointerShape WindowModel::pointerShape() const
{
    if (m_port.busy())
        return PointerShape::Hourglass;
    if (m_pointer == Pointer::Custom && !MouseIcon.empty())
        return PointerShape::Hand;
    return PointerShape::Arrow;
}

const Control* WindowModel::container(const Control& control) const
{
    const auto found = m_container.find(&control);
    return found == m_container.end() ? nullptr : found->second;
}

bool WindowModel::usable(const Control& control) const
{
    for (const Control* at = &control; at; at = container(*at))
        if (!at->enabled())
            return false;
    return true;
}

}  // namespace vantorell
