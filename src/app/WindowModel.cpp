#include "app/WindowModel.h"

#include "job/ErrorReport.h"
#include "job/FileHelpers.h"
#include "job/StepLabels.h"
#include "job/StepRunner.h"
#include "job/FadeJob.h"
#include "platform/Conversions.h"

#include <array>
#include <chrono>
#include <fstream>
#include <random>
#include <system_error>

namespace vantorell {
namespace {

constexpr std::string_view kColourKey = "Colour";
constexpr std::pair<std::string_view, ColourChoice> kColourWords[] = {
    {"keep", ColourChoice::Keep}, {"srgb", ColourChoice::Srgb}, {"ignore", ColourChoice::Ignore}};

// Run-time error 380: a value outside the range a control accepts.
constexpr int kInvalidPropertyValue = 380;

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
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

std::string applicationTitleFor(std::string_view productName)
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

bool booleanFromSetting(std::string_view text)
{
    const std::string_view word = trimBlanks(text);
    if (equalsNoCase(word, "True"))
        return true;
    if (equalsNoCase(word, "False"))
        return false;
    return numberFromText(text) != 0;
}

WindowModel::WindowModel(UiPort& ui, SettingsStore& settings, WindowEnvironment environment)
    : blendCanvas(settings), morph(settings), videoOutput(settings), gifOptions(settings), m_port(ui), m_job(m_threadUi, &runFadeSteps, &alignSecondPicture), m_settings(settings), m_env(std::move(environment))
{
    if (!m_env.random) {
        auto engine = std::make_shared<std::mt19937>(static_cast<std::mt19937::result_type>(
            std::chrono::system_clock::now().time_since_epoch().count()));
        m_env.random = [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
    }

    caption = m_env.productName;
    setDesignValues();
    setCaptions();
    setContainers();
    m_port.onStatus = [this](std::string_view text) {
        m_jobStatus = text;
        if (onJobStatusChanged) onJobStatusChanged();
    };
    m_port.onBusyChanged = [this] {
        if (onPointerChanged) onPointerChanged();
    };
    wireControls();
    // "Save As Video" is the output group's third choice: choosing it clears AVI and GIF.
    videoOutput.onChosen = [this] {
        saveAsAviOption.setValue(false);
        saveAsGifOption.setValue(false);
        outputFormatClicked();
    };
}

WindowModel::~WindowModel() = default;

void WindowModel::setDesignValues()
{
    frameCountBox.setText("10");
    framesPerSecondBox.setText("5");
    blendLeftOption.setValue(true);
    blendOption.setValue(true);
    saveAsAviOption.setValue(true);
    smartDetectOption.setValue(true);
    qualitySlider.setRange(1, 100);
    qualitySlider.setValue(85);
    blendSizeBar.setRange(0, kBlendCanvasWidth);
    blendSizeBar.setValue(0);
}

void WindowModel::setCaptions()
{
    directionFrame.setCaption("Direction");
    blendSizeFrame.setCaption("Blend Size");
    mixTypeFrame.setCaption("Mix Type");
    image1Frame.setCaption("Image #1");
    image2Frame.setCaption("Image #2");
    outputFolderFrame.setCaption("Save Results To This Folder");
    framesPerSecondFrame.setCaption("Frames Per Second");
    frameCountFrame.setCaption("Number Of Frames");
    outputFrame.setCaption("Output");
    fadeOptionsFrame.setCaption("Fade Options");
    blendOptionsFrame.setCaption("Blend Options");
    qualityFrame.setCaption("Output JPG Quality Option");
    qualityValueFrame.setCaption("0%");
    browseImage1Button.setCaption("...");
    startButton.setCaption("Start Mixing Two Image");
    browseImage2Button.setCaption("...");
    helpButton.setCaption("Help");
    browseFolderButton.setCaption("...");
    loadSamplesButton.setCaption("Load Sample/Example Files");
    qualityHelpButton.setCaption("?");
    blendLeftOption.setCaption("Blend Left");
    blendRightOption.setCaption("Blend Right");
    blendTopOption.setCaption("Blend Top");
    blendBottomOption.setCaption("Blend Bottom");
    blendOption.setCaption("Blend");
    fadeOption.setCaption("Fade");
    overlayOption.setCaption("Overlay");
    saveAsAviOption.setCaption("Save As AVI");
    saveAsGifOption.setCaption("Save As Animated GIF");
    smartDetectOption.setCaption("Smart-Detect");
    fixedQualityOption.setCaption("Fixed Quality:");
}

// Which frame holds which control: a control is usable only while its frames are enabled.
void WindowModel::setContainers()
{
    const auto contain = [this](const Control& parent, std::initializer_list<const Control*> children) {
        for (const Control* child : children)
            m_container[child] = &parent;
    };
    contain(image1Frame, {&image1Box, &browseImage1Button});
    contain(image2Frame, {&image2Box, &browseImage2Button});
    contain(outputFolderFrame, {&outputFolderBox, &browseFolderButton});
    contain(mixTypeFrame, {&blendOption, &fadeOption, &overlayOption});
    contain(blendOptionsFrame, {&directionFrame, &blendSizeFrame});
    contain(directionFrame, {&blendLeftOption, &blendRightOption, &blendTopOption, &blendBottomOption});
    contain(blendSizeFrame, {&blendSizeBar});
    contain(fadeOptionsFrame, {&outputFrame, &frameCountFrame, &framesPerSecondFrame});
    contain(outputFrame, {&saveAsAviOption, &saveAsGifOption});
    contain(frameCountFrame, {&frameCountBox});
    contain(framesPerSecondFrame, {&framesPerSecondBox});
    contain(qualityFrame, {&smartDetectOption, &fixedQualityOption, &qualityValueFrame, &qualityHelpButton});
    contain(qualityValueFrame, {&qualitySlider});
}

void WindowModel::wireControls()
{
    image1Box.onTextChanged = [this] { image1Changed(); };
    image2Box.onTextChanged = [this] { image2Changed(); };
    outputFolderBox.onTextChanged = [this] { outputFolderChanged(); };
    frameCountBox.onTextChanged = [this] { frameCountChanged(); };
    framesPerSecondBox.onTextChanged = [this] { framesPerSecondChanged(); };
    qualitySlider.onValueChanged = [this] { qualitySliderChanged(); };
    blendSizeBar.onValueChanged = [this] {
        if (!m_restoringBlendSize)
            blendCanvas.storeBlendSize(blendSizeBar.value());
    };
    // A new canvas moves the seam's extent; setRange also tells the view (the preview follows).
    blendCanvas.onCanvasChanged = [this] { updateBlendSizeRange(); };
}

// ---- Settings ----------------------------------------------------------------------------

void WindowModel::saveSetting(std::string_view key, std::string_view value)
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
        saveSetting(key, value);
    } catch (const RuntimeError& error) {
        ui().messageBox(error.description() +
                            "\n\nYour changes apply until the window closes but will not be there at the next start.",
                        MsgButtons::Ok, MsgIcon::Exclamation, applicationTitle());
    }
}

void WindowModel::saveOptions(std::initializer_list<std::pair<ControlNames, const OptionButton*>> options)
{
    for (const auto& [names, option] : options)
        writeThrough(names.settingsKey, option->value() ? "True" : "False");
}

void WindowModel::showMessage(std::string_view text)
{
    ui().messageBox(text, MsgButtons::Ok, MsgIcon::None, applicationTitle());
}

// ---- The Start button ----------------------------------------------------------------------

BlendDirection WindowModel::blendDirection() const
{
    return blendRightOption.value()    ? BlendDirection::Right
           : blendTopOption.value()    ? BlendDirection::Top
           : blendBottomOption.value() ? BlendDirection::Bottom
                                       : BlendDirection::Left;
}

MixRequest WindowModel::request() const
{
    MixRequest request;
    request.mixType = fadeOption.value() ? MixType::Fade : overlayOption.value() ? MixType::Overlay : MixType::Blend;
    request.image1Path = image1Box.text();
    request.image2Path = image2Box.text();
    request.outputFolder = outputFolderBox.text();
    request.blendDirection = blendDirection();
    request.blendStart = blendSizeBar.value();
    blendCanvas.applyTo(request);
    request.qualityChoice = fixedQualityOption.value() ? JpegQualityChoice::Fixed : JpegQualityChoice::SmartDetect;
    request.fixedQuality = qualitySlider.value();
    request.frameCountText = frameCountBox.text();
    request.framesPerSecondText = framesPerSecondBox.text();
    request.fadeOutput = saveAsGifOption.value() ? FadeOutput::Gif : FadeOutput::Avi;
    gifOptions.applyTo(request);    // none stored: halftone, ordered, nothing else
    videoOutput.applyTo(request);   // not chosen: AVI or GIF as above
    morph.applyTo(request);   // off: the plain fade's request
    request.align = m_align;
    request.colour = m_colourChoice;
    return request;
}

MixOutcome WindowModel::start() { return m_job.run(request()); }

bool WindowModel::startJob()
{
    if (!jobRunning() && !m_jobStatus.empty()) {
        m_jobStatus.clear();
        if (onJobStatusChanged) onJobStatusChanged();
    }
    const bool started = m_jobThread.start(request(), [this](const MixOutcome& outcome) {
        m_lastOutcome = outcome;
        if (onJobStateChanged) onJobStateChanged();
    });
    if (started && jobRunning() && onJobStateChanged)
        onJobStateChanged();
    return started;
}

// ---- Option groups -------------------------------------------------------------------------

std::vector<OptionButton*> WindowModel::groupOf(const OptionButton& option)
{
    const std::vector<std::vector<OptionButton*>> groups = {
        {&blendLeftOption, &blendRightOption, &blendTopOption, &blendBottomOption},
        {&blendOption, &fadeOption, &overlayOption},
        {&saveAsAviOption, &saveAsGifOption},
        {&smartDetectOption, &fixedQualityOption},
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
    using Handler = void (WindowModel::*)();
    const std::pair<OptionButton*, Handler> handlers[] = {
        {&blendLeftOption, &WindowModel::blendDirectionClicked},
        {&blendRightOption, &WindowModel::blendDirectionClicked},
        {&blendTopOption, &WindowModel::blendDirectionClicked},
        {&blendBottomOption, &WindowModel::blendDirectionClicked},
        {&blendOption, &WindowModel::blendChosen},
        {&fadeOption, &WindowModel::fadeChosen},
        {&overlayOption, &WindowModel::overlayChosen},
        {&saveAsAviOption, &WindowModel::outputFormatClicked},
        {&saveAsGifOption, &WindowModel::outputFormatClicked},
        {&smartDetectOption, &WindowModel::qualityChoiceClicked},
        {&fixedQualityOption, &WindowModel::qualityChoiceClicked},
    };
    for (const auto& [button, handler] : handlers)
        if (button == &option)
            (this->*handler)();
}

// ---- Mix type, direction, output and quality handlers --------------------------------------

// The labels::mixType steps of each mix-type handler: the Start button's caption and the three stored
// mix-type options.
void WindowModel::mixTypeChosen(StepRunner& steps, const char* startCaption)
{
    namespace label = labels::mixType;
    steps.run(label::kSetStartCaption, [&] { startButton.setCaption(startCaption); });
    steps.run(label::kSaveBlendOption, [&] {
        saveSetting(names::kBlendOption.settingsKey, blendOption.value() ? "True" : "False");
    });
    steps.run(label::kSaveFadeOption, [&] {
        saveSetting(names::kFadeOption.settingsKey, fadeOption.value() ? "True" : "False");
    });
    steps.run(label::kSaveOverlayOption, [&] {
        saveSetting(names::kOverlayOption.settingsKey, overlayOption.value() ? "True" : "False");
    });
}

void WindowModel::blendChosen()
{
    namespace label = labels::blendOption;
    StepRunner steps(ui(), names::kBlendOption.reportName);
    mixTypeChosen(steps, "Start Blending Two Image");
    steps.run(label::kEnableMixControls, [&] { setMixControlsEnabled(true); });
    steps.run(label::kDisableOutputFrame, [&] { outputFrame.setEnabled(false); });
    steps.run(label::kDisableSaveAsAvi, [&] { saveAsAviOption.setEnabled(false); });
    steps.run(label::kDisableSaveAsGif, [&] { saveAsGifOption.setEnabled(false); });
    steps.run(label::kDisableFramesPerSecondFrame, [&] { framesPerSecondFrame.setEnabled(false); });
    steps.run(label::kDisableFrameCountFrame, [&] { frameCountFrame.setEnabled(false); });
    steps.run(label::kDisableFramesPerSecondBox, [&] { framesPerSecondBox.setEnabled(false); });
    steps.run(label::kDisableFrameCountBox, [&] { frameCountBox.setEnabled(false); });
}

void WindowModel::fadeChosen()
{
    namespace label = labels::fadeOption;
    StepRunner steps(ui(), names::kFadeOption.reportName);
    mixTypeChosen(steps, "Start Fading Two Image");
    steps.run(label::kEnableFadeControls, [&] {
        setMixControlsEnabled(true);
        outputFrame.setEnabled(true);
        frameCountFrame.setEnabled(true);
        framesPerSecondFrame.setEnabled(true);
    });
}

void WindowModel::overlayChosen()
{
    namespace label = labels::overlayOption;
    StepRunner steps(ui(), names::kOverlayOption.reportName);
    mixTypeChosen(steps, "Start Overlaying Two Image");
    steps.run(label::kDisableMixControls, [&] { setMixControlsEnabled(false); });
}

void WindowModel::setMixControlsEnabled(bool enabled)
{
    for (Control* control : std::initializer_list<Control*>{&blendLeftOption, &blendRightOption, &blendTopOption,
                                                             &blendBottomOption, &blendSizeBar, &framesPerSecondBox,
                                                             &frameCountBox, &saveAsAviOption, &saveAsGifOption})
        control->setEnabled(enabled);
}

void WindowModel::blendDirectionClicked()
{
    saveOptions({{names::kBlendLeftOption, &blendLeftOption},
                 {names::kBlendRightOption, &blendRightOption},
                 {names::kBlendTopOption, &blendTopOption},
                 {names::kBlendBottomOption, &blendBottomOption}});
    updateBlendSizeRange();
}

void WindowModel::updateBlendSizeRange()
{
    blendSizeBar.setRange(0, blendSizeLimit(blendDirection(), blendCanvas.canvas()));
}

// After the direction and the canvas: the stored start, clamped to what they allow.
void WindowModel::restoreBlendSize()
{
    blendCanvas.restore();
    updateBlendSizeRange();
    if (const auto stored = blendCanvas.storedBlendSize()) {
        m_restoringBlendSize = true;
        blendSizeBar.setValue(*stored);
        m_restoringBlendSize = false;
    }
}

void WindowModel::outputFormatClicked()
{
    saveOptions({{names::kSaveAsAviOption, &saveAsAviOption}, {names::kSaveAsGifOption, &saveAsGifOption}});
    if (saveAsAviOption.value() || saveAsGifOption.value())
        videoOutput.setChosen(false);   // AVI or GIF replaces "Save As Video"
}

void WindowModel::qualityChoiceClicked()
{
    saveOptions({{names::kSmartDetectOption, &smartDetectOption}, {names::kFixedQualityOption, &fixedQualityOption}});
    qualityValueFrame.setEnabled(!smartDetectOption.value());
}

void WindowModel::qualitySliderChanged()
{
    qualityValueFrame.setCaption(std::to_string(qualitySlider.value()) + "%");
    writeThrough(names::kQualitySlider.settingsKey, std::to_string(qualitySlider.value()));
}

void WindowModel::image1Changed() { writeThrough(names::kImage1Box.settingsKey, image1Box.text()); }
void WindowModel::image2Changed() { writeThrough(names::kImage2Box.settingsKey, image2Box.text()); }
void WindowModel::outputFolderChanged() { writeThrough(names::kOutputFolderBox.settingsKey, outputFolderBox.text()); }
void WindowModel::frameCountChanged() { writeThrough(names::kFrameCountBox.settingsKey, frameCountBox.text()); }
void WindowModel::framesPerSecondChanged()
{
    writeThrough(names::kFramesPerSecondBox.settingsKey, framesPerSecondBox.text());
}

// ---- Input files, samples, explanations ----------------------------------------------------

void WindowModel::openFileInto(TextBox& box, std::string_view routine)
{
    namespace label = labels::browseImage;
    StepRunner steps(ui(), routine);
    OpenFileRequest request;
    std::vector<std::filesystem::path> chosen;
    steps.run(label::kClearChosen, [&] { chosen.clear(); });
    steps.run(label::kSetDialogTitle, [&] { request.title = "Choose One Picture"; });
    steps.run(label::kSetDialogFilter, [&] { request.filter = "JPG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|"; });
    steps.run(label::kShowOpenDialog, [&] { chosen = ui().openFiles(request); });
    // The box holds one path: the first name of a selection is the one that goes in.
    std::string fileName;
    if (!chosen.empty())
        fileName = chosen.front().string();
    if (!steps.test(label::kTestFileChosen, [&] { return !fileName.empty(); }))
        return;
    steps.run(label::kShowFileName, [&] { box.setText(fileName); });
}

void WindowModel::browseImage1() { openFileInto(image1Box, names::kBrowseImage1Button.reportName); }
void WindowModel::browseImage2() { openFileInto(image2Box, names::kBrowseImage2Button.reportName); }

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

void WindowModel::loadSamples()
{
    namespace label = labels::loadSamples;
    StepRunner steps(ui(), names::kLoadSamplesButton.reportName);
    const std::filesystem::path samples = samplesFolder();
    if (steps.test(label::kTestBlendOrOverlay, [&] { return blendOption.value() || overlayOption.value(); })) {
        steps.run(label::kShowBlendSample1, [&] { image1Box.setText((samples / "sample1.jpg").string()); });
        steps.run(label::kShowBlendSample2, [&] { image2Box.setText((samples / "sample2.jpg").string()); });
        return;
    }
    if (steps.test(label::kTestFade, [&] { return fadeOption.value(); })) {
        steps.run(label::kShowFadeSample1, [&] { image1Box.setText((samples / "face1.jpg").string()); });
        steps.run(label::kShowFadeSample2, [&] { image2Box.setText((samples / "face2.jpg").string()); });
    }
}

void WindowModel::showHelp()
{
    namespace label = labels::help;
    StepRunner steps(ui(), names::kHelpButton.reportName);
    steps.run(label::kShowHelp, [&] {
        showMessage("To prevent images from being cropped:\n\n"
                    "1. All images must be the same pixel dimension (height and width)\n\n"
                    "2. The first image must be larger than the second image.");
    });
}

void WindowModel::showQualityHelp()
{
    namespace label = labels::qualityHelp;
    StepRunner steps(ui(), names::kQualityHelpButton.reportName);
    steps.run(label::kShowQualityHelp, [&] {
        std::string fixed = fixedQualityOption.caption();
        std::erase(fixed, ':');
        showMessage(smartDetectOption.caption() +
                    " will automatically detect the image quality of each input JPG file and use this information "
                    "to create a similar quality output JPG file.\n\n" +
                    fixed + " will use the same image quality for every output JPG file.");
    });
}

void WindowModel::checkNumeric(TextBox& box)
{
    if (isNumeric(box.text()))
        return;
    showMessage("Must be a numeric entry.");
    if (onSetFocus) onSetFocus(box);
}

void WindowModel::frameCountLostFocus() { checkNumeric(frameCountBox); }
void WindowModel::framesPerSecondLostFocus() { checkNumeric(framesPerSecondBox); }

// ---- Output folder -------------------------------------------------------------------------

void WindowModel::browseOutputFolder()
{
    namespace label = labels::browseFolder;
    StepRunner steps(ui(), names::kBrowseFolderButton.reportName);
    std::string folder;
    steps.run(label::kShowFolderDialog, [&] {
        if (auto chosen = ui().browseFolder("Save To This Folder", {}))
            folder = chosen->string();
    });
    if (!steps.test(label::kTestFolderChosen, [&] { return !folder.empty(); }))
        return;
    steps.run(label::kSaveFolder, [&] { saveSetting(names::kBrowseFolderButton.settingsKey, folder); });
    if (steps.test(label::kTestTrailingSeparator, [&] { return folder.back() != '/'; }))
        steps.run(label::kShowFolderWithSeparator, [&] { outputFolderBox.setText(folder + "/"); });
    else
        steps.run(label::kShowFolder, [&] { outputFolderBox.setText(folder); });
}

// ---- Start-up and closing ------------------------------------------------------------------

void WindowModel::load()
{
    namespace label = labels::windowLoad;
    StepRunner steps(ui(), names::kWindowLoad.reportName);

    steps.run(label::kApplySkin, [&] {
        if (!fileExists((m_env.programFolder / "x" / "o.cjs").string()))
            return;
        // There is no skinning component here: the skin file switches the window to the
        // platform's button-face colour behind its option buttons, frames and labels.
        skinned = true;
        backColour = kButtonFaceColour;
        if (onWindowChanged) onWindowChanged();
    });
    steps.run(label::kSetCaption, [&] {
        caption = m_env.productName;
        m_job.setApplicationTitle(applicationTitleFor(m_env.productName));
        if (onWindowChanged) onWindowChanged();
    });
    const std::filesystem::path handPointer = m_env.programFolder / "HAND-M.CUR";
    if (steps.test(label::kTestHandPointer, [&] { return fileExists(handPointer.string()); })) {
        steps.run(label::kLoadHandPointer, [&] {
            readCursorHotSpot(handPointer, customPointerHotX, customPointerHotY);
            customPointerFile = handPointer;
            if (onPointerChanged) onPointerChanged();
        });
    }
    steps.run(label::kOpenHomePageByChance, [&] {
        const int draw = static_cast<int>(m_env.random() * 100.0) + 1;
        if (draw == 7 && !ui().shellStart(m_env.homePage))
            throw RuntimeError(errnum::FileNotFound, "File not found");
    });

    restoreSettings(steps);
    restoreBlendSize();   // the Blend's own keys; none stored: 729 x 425, stretched, start 0
    morph.restore();   // the morph's own keys; none stored: the plain fade
    videoOutput.restore();   // the video output's keys; none stored: AVI or GIF as restored above
    gifOptions.restore();    // the GIF choices' keys; none stored: halftone and ordered
    m_align = m_settings.value(kSettingsApplication, kSettingsSection, kAlignSettingsKey) == "True";
    if (onAlignChanged)
        onAlignChanged();
    if (const auto stored = m_settings.value(kSettingsApplication, kSettingsSection, kColourKey))
        for (const auto& [word, choice] : kColourWords)
            if (*stored == word)
                m_colourChoice = choice;
    if (onColourChoiceChanged)
        onColourChoiceChanged();
    if (const std::optional<std::string> notice = m_settings.takeNotice())   // a damaged store set aside
        showMessage(*notice);
}

void WindowModel::setAlign(bool on)
{
    if (on == m_align)
        return;
    m_align = on;
    writeThrough(kAlignSettingsKey, on ? "True" : "False");
}

void WindowModel::setColourChoice(ColourChoice choice)
{
    m_colourChoice = choice;
    for (const auto& [word, value] : kColourWords)
        if (value == choice)
            m_settings.setIfWritable(kSettingsApplication, kSettingsSection, kColourKey, word);
    if (onColourChoiceChanged)
        onColourChoiceChanged();
}

// Steps kRestoreImage1 to kEnableQualityValue of start-up (labels::windowLoad): every stored
// value back into its control.
void WindowModel::restoreSettings(StepRunner& steps)
{
    namespace label = labels::windowLoad;
    // The stored values as the previous run left them. The restore fires the handlers, and
    // they write back: step kRunBlendHandler runs the Blend handler, which stores the current
    // (design) mix type, so reading a key after that would lose the mix type the user had chosen.
    const struct {
        int step;
        OptionButton& option;
        ControlNames names;
        const char* fallback;
    } options[] = {
        {label::kRestoreBlendLeft, blendLeftOption, names::kBlendLeftOption, "1"},
        {label::kRestoreBlendRight, blendRightOption, names::kBlendRightOption, "0"},
        {label::kRestoreBlendTop, blendTopOption, names::kBlendTopOption, "0"},
        {label::kRestoreBlendBottom, blendBottomOption, names::kBlendBottomOption, "0"},
        {label::kRestoreBlend, blendOption, names::kBlendOption, "1"},
        {label::kRestoreFade, fadeOption, names::kFadeOption, "0"},
        {label::kRestoreOverlay, overlayOption, names::kOverlayOption, "0"},
        {label::kRestoreSaveAsAvi, saveAsAviOption, names::kSaveAsAviOption, "1"},
        {label::kRestoreSaveAsGif, saveAsGifOption, names::kSaveAsGifOption, "0"},
        {label::kRestoreSmartDetect, smartDetectOption, names::kSmartDetectOption, "1"},
        {label::kRestoreFixedQuality, fixedQualityOption, names::kFixedQualityOption, "0"},
    };
    std::map<std::string, std::optional<std::string>, std::less<>> stored;
    for (const ControlNames& control : {names::kImage1Box, names::kImage2Box, names::kOutputFolderBox,
                                        names::kFrameCountBox, names::kFramesPerSecondBox, names::kQualitySlider})
        stored[std::string(control.settingsKey)] = m_settings.value(kSettingsApplication, kSettingsSection, control.settingsKey);
    for (const auto& restore : options)
        stored[std::string(restore.names.settingsKey)] =
            m_settings.value(kSettingsApplication, kSettingsSection, restore.names.settingsKey);
    const auto storedOr = [&stored](ControlNames control, std::string_view fallback) {
        const auto found = stored.find(control.settingsKey);
        return found != stored.end() && found->second ? *found->second : std::string(fallback);
    };

    const std::string desktop = withTrailingSeparator(m_env.desktopFolder.string());
    steps.run(label::kRestoreImage1, [&] { image1Box.setText(storedOr(names::kImage1Box, "")); });
    steps.run(label::kRestoreImage2, [&] { image2Box.setText(storedOr(names::kImage2Box, "")); });
    steps.run(label::kRestoreOutputFolder, [&] {
        outputFolderBox.setText(storedOr(names::kOutputFolderBox, desktop));
    });
    steps.run(label::kRestoreFrameCount, [&] { frameCountBox.setText(storedOr(names::kFrameCountBox, "10")); });
    steps.run(label::kRestoreFramesPerSecond, [&] {
        framesPerSecondBox.setText(storedOr(names::kFramesPerSecondBox, "5"));
    });
    steps.run(label::kRunBlendHandler, [&] { blendChosen(); });
    for (const auto& restore : options)
        steps.run(restore.step, [&] {
            setOptionValue(restore.option, booleanFromSetting(storedOr(restore.names, restore.fallback)));
        });
    steps.run(label::kRestoreQualitySlider, [&] {
        const std::int32_t value = textToInt32(storedOr(names::kQualitySlider, "85"));
        if (value < qualitySlider.min() || value > qualitySlider.max())
            throw RuntimeError(kInvalidPropertyValue, "Invalid property value");
        qualitySlider.setValue(value);
    });
    steps.run(label::kShowQuality, [&] { qualityValueFrame.setCaption(std::to_string(qualitySlider.value()) + "%"); });
    if (steps.test(label::kTestSmartDetect, [&] { return smartDetectOption.value(); }))
        steps.run(label::kDisableQualityValue, [&] { qualityValueFrame.setEnabled(false); });
    else
        steps.run(label::kEnableQualityValue, [&] { qualityValueFrame.setEnabled(true); });
}

void WindowModel::queryUnload(bool& cancel, int /*unloadMode*/)
{
    namespace label = labels::windowQueryUnload;
    cancel = false;
    StepRunner steps(ui(), names::kWindowQueryUnload.reportName);
    steps.run(label::kLetEventsRun, [&] { ui().yield(); });
    steps.run(label::kLetEventsRunAgain, [&] { ui().yield(); });
}

void WindowModel::unload()
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

void WindowModel::mouseMoved(const Control* control)
{
    if (m_port.busy())
        return;
    for (const Control* button : {&browseImage1Button, &startButton, &browseImage2Button, &helpButton,
                                  &browseFolderButton, &loadSamplesButton, &qualityHelpButton})
        if (control == button)
            return setPointer(Pointer::Custom);
    const std::initializer_list<const Control*> arrowAreas = {
        nullptr,           &directionFrame,   &blendSizeFrame,    &mixTypeFrame,    &image1Frame,
        &image2Frame,      &outputFolderFrame, &framesPerSecondFrame, &frameCountFrame, &outputFrame,
        &fadeOptionsFrame, &blendOptionsFrame, &qualityFrame,      &qualityValueFrame, &blendLeftOption,
        &blendRightOption, &blendTopOption,   &blendBottomOption, &image1Box,        &image2Box,
        &smartDetectOption, &fixedQualityOption};
    for (const Control* area : arrowAreas)
        if (control == area)
            return setPointer(Pointer::Default);
}

WindowModel::PointerShape WindowModel::pointerShape() const
{
    if (m_port.busy())
        return PointerShape::Hourglass;
    if (m_pointer == Pointer::Custom && !customPointerFile.empty())
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
