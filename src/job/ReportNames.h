// The names that users' files and screens carry, in one table: the key under which each
// control's value is stored in the settings file (Hedracor.ini, section [Vantorell]), and the
// routine name that a control's handler gives in its "Application Error" reports
// ("in Vantorell2021/08/31.Form1.<routine> at line <label>"). Settings files written by
// earlier versions and support requests quoting a report rely on these exact spellings, so
// they are data here, never identifiers in the code. The labels of each routine's steps are in
// job/StepLabels.h.
#pragma once

#include <string_view>

namespace vantorell {

struct ControlNames {
    std::string_view settingsKey;   // empty: the control's value is not stored
    std::string_view reportName;    // empty: the control's handler makes no report of its own
};

namespace names {
//                                                     settings key        report name
inline constexpr ControlNames kImage1Box            {"Image 1",          ""};
inline constexpr ControlNames kImage2Box            {"Image 2",          ""};
inline constexpr ControlNames kOutputFolderBox      {"Text3",            ""};
inline constexpr ControlNames kFrameCountBox        {"Number Of Images", ""};
inline constexpr ControlNames kFramesPerSecondBox   {"FPS",              ""};
inline constexpr ControlNames kBlendLeftOption      {"Option1",          ""};
inline constexpr ControlNames kBlendRightOption     {"Option2",          ""};
inline constexpr ControlNames kBlendTopOption       {"Option3",          ""};
inline constexpr ControlNames kBlendBottomOption    {"Option4",          ""};
inline constexpr ControlNames kBlendOption          {"Option5",          "Option5_Click"};
inline constexpr ControlNames kFadeOption           {"Option6",          "Option6_Click"};
inline constexpr ControlNames kOverlayOption        {"Option7",          "Option7_Click"};
inline constexpr ControlNames kSaveAsAviOption      {"Option8",          ""};
inline constexpr ControlNames kSaveAsGifOption      {"Option9",          ""};
inline constexpr ControlNames kSmartDetectOption    {"Option21",         ""};
inline constexpr ControlNames kFixedQualityOption   {"Option22",         ""};
inline constexpr ControlNames kQualitySlider        {"Slider1",          ""};
inline constexpr ControlNames kBrowseImage1Button   {"",                 "PushButton1_Click"};
inline constexpr ControlNames kStartButton          {"",                 "PushButton2_Click"};
inline constexpr ControlNames kBrowseImage2Button   {"",                 "PushButton3_Click"};
inline constexpr ControlNames kHelpButton           {"",                 "PushButton4_Click"};
inline constexpr ControlNames kBrowseFolderButton   {"LastFolderDot",    "PushButton5_Click"};
inline constexpr ControlNames kLoadSamplesButton    {"",                 "PushButton7_Click"};
inline constexpr ControlNames kQualityHelpButton    {"",                 "PushButton8_Click"};
inline constexpr ControlNames kWindowLoad           {"",                 "Form_Load"};
inline constexpr ControlNames kWindowQueryUnload    {"",                 "Form_QueryUnload"};

// Work files of a Fade job, inside its private work folder.
inline constexpr std::string_view kFrameFilePrefix = "Morph_";   // Morph_0.bmp, Morph_1.bmp, ...
inline constexpr std::string_view kResavedFrameFile = "temp.bmp";
inline constexpr std::string_view kGifFramesFile = "frames.raw";   // a GIF's frames beyond memory
}  // namespace names

}  // namespace vantorell
