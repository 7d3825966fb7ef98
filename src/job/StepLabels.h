// The step labels of each command routine, one table per routine (job/ReportNames.h holds the
// routines' report names). A step that fails is reported "at line <label>", and support
// requests quote that number, so the numbers are data: they never change, and a number
// dropped from the code stays taken. Steps run through StepRunner (job/StepRunner.h).
#pragma once

namespace vantorell::labels {

// PushButton2_Click: the Start command (job/MixJob.cpp, job/FadeJob.cpp, job/FadeGif.cpp).
namespace start {
// Taken by the job itself, not run as steps: the busy test and mark, the run set up, and the
// busy mark cleared when the run ends (also where a run without an output folder returns).
inline constexpr int kTestBusy = 100;
inline constexpr int kMarkBusy = 102;
inline constexpr int kBeginRun = 104;
inline constexpr int kClearBusy = 458;

inline constexpr int kTestOutputFolder = 106;
inline constexpr int kShowNoOutputFolder = 456;
inline constexpr int kComposeOutputPath = 108;
inline constexpr int kNormalizeOutputPath = 110;
inline constexpr int kClearStaleResult = 112;
inline constexpr int kTestFixedQuality = 114;
inline constexpr int kTakeFixedQuality = 116;
inline constexpr int kTestBlend = 118;
inline constexpr int kTestFade = 288;
inline constexpr int kTestOverlay = 430;

// Blend.
inline constexpr int kBlendBusyPointer = 120;
inline constexpr int kTestBlendLeft = 122;
inline constexpr int kTestBlendRight = 160;
inline constexpr int kTestBlendTop = 198;
inline constexpr int kTestBlendBottom = 236;
// The Left branch's steps. The Right, Top and Bottom branches run the same steps, each at the
// distance of its own test from kTestBlendLeft.
inline constexpr int kBlendLoadBase = 124;
inline constexpr int kBlendLoadFadedIn = 126;
inline constexpr int kBlendTestSmartDetect = 128;
inline constexpr int kBlendEstimateQuality1 = 130;
inline constexpr int kBlendTestQuality2Higher = 132;
inline constexpr int kBlendEstimateQuality2 = 134;
inline constexpr int kBlendKeepSource1 = 136;
inline constexpr int kBlendKeepSource2 = 138;
inline constexpr int kBlendStretchBase = 140;
inline constexpr int kBlendStretchFadedIn = 142;
inline constexpr int kBlendStretchCanvas = 144;
inline constexpr int kBlendMeasureCanvas = 154;
inline constexpr int kBlendPictures = 158;
inline constexpr int kSaveBlendResult = 274;
inline constexpr int kBlendNormalPointer = 278;
inline constexpr int kBlendClosingMessage = 286;

// Fade.
inline constexpr int kFadeBusyPointer = 290;
inline constexpr int kLoadImage1 = 292;
inline constexpr int kLoadImage2 = 294;
inline constexpr int kLoadSource1 = 296;   // also a sequence's first picture of each pair
inline constexpr int kLoadSource2 = 298;   // also a sequence's second picture of each pair
inline constexpr int kAutoSizeMeshStart = 300;
inline constexpr int kAutoSizeMeshEnd = 302;
inline constexpr int kTestBothLoaded = 304;
inline constexpr int kSetUpMeshes = 306;
inline constexpr int kClearWorkFolder = 310;
inline constexpr int kClearFrame = 312;
inline constexpr int kSetFrameWidth = 314;
inline constexpr int kSetFrameHeight = 316;
inline constexpr int kSetTriangles1 = 318;
inline constexpr int kSetTriangles2 = 320;
inline constexpr int kClearMeshStart = 322;
inline constexpr int kClearMeshEnd = 324;
inline constexpr int kCaptureSource1 = 326;   // also after each sequence pair's loads
inline constexpr int kCaptureSource2 = 328;
inline constexpr int kSetProgressMax = 330;
inline constexpr int kPlanFrames = 332;
inline constexpr int kShowFrameProgress = 334;
// The stages of one frame (mix/FadeRenderer's Stage, in its order).
inline constexpr int kFramePath = 336;
inline constexpr int kFrameMap = 338;
inline constexpr int kFrameCapture = 340;
inline constexpr int kRenderFrame = 342;
inline constexpr int kFrameWriteBack = 344;
inline constexpr int kDeliverFrame = 358;
inline constexpr int kFinishFrame = 360;
inline constexpr int kRefreshFrame = 362;
inline constexpr int kReleaseSource1 = 366;
inline constexpr int kReleaseSource2 = 368;
inline constexpr int kResetFrameProgress = 370;
inline constexpr int kTestVideoOutput = 372;
// Opened and closed the platform's AVI library; FFmpeg needs neither, so no step runs here.
inline constexpr int kOpenAviLibrary = 374;
inline constexpr int kCloseAviLibrary = 378;
inline constexpr int kWriteVideo = 376;
inline constexpr int kTestGifOutput = 380;
inline constexpr int kCloseGifFrames = 384;
inline constexpr int kGifFramesNormalPointer = 386;
inline constexpr int kStartGifProgress = 388;
inline constexpr int kMakeGif = 394;
inline constexpr int kShowMakeGifFailed = 396;
inline constexpr int kMakeGifFailed = 398;
inline constexpr int kTestNothingToSave = 400;
inline constexpr int kShowNothingToSave = 402;
inline constexpr int kYieldBeforeSaveGif = 404;
inline constexpr int kSaveGifBusyPointer = 406;
inline constexpr int kSaveGif = 408;
inline constexpr int kSaveGifFailedPointer = 410;
inline constexpr int kSaveGifFailed = 412;
inline constexpr int kRemoveWorkFolder = 416;
inline constexpr int kFadeNormalPointer = 426;
inline constexpr int kFadeResetProgress = 428;
inline constexpr int kFadeClosingMessage = 424;

// Overlay.
inline constexpr int kOverlayBusyPointer = 432;
inline constexpr int kLoadOverlay1 = 434;
inline constexpr int kLoadOverlay2 = 436;
inline constexpr int kOverlayTestSmartDetect = 438;
inline constexpr int kOverlayEstimateQuality1 = 440;
inline constexpr int kOverlayTestQuality2Higher = 442;
inline constexpr int kOverlayEstimateQuality2 = 444;
inline constexpr int kOverlayPictures = 446;
inline constexpr int kSaveOverlayResult = 448;
inline constexpr int kOverlayNormalPointer = 450;
inline constexpr int kOverlayResetProgress = 452;
inline constexpr int kOverlayClosingMessage = 454;

// Align (a request that asks for it): picture 2 mapped onto picture 1's frame once both loaded.
inline constexpr int kAlignBlend = 460;
inline constexpr int kAlignFade = 462;
inline constexpr int kAlignOverlay = 464;
inline constexpr int kAutoMeshFade = 466;
}  // namespace start

// The first steps of each mix-type option's handler, Option5_Click, Option6_Click and
// Option7_Click alike (app/WindowModel.cpp).
namespace mixType {
inline constexpr int kSetStartCaption = 100;
inline constexpr int kSaveBlendOption = 102;
inline constexpr int kSaveFadeOption = 104;
inline constexpr int kSaveOverlayOption = 106;
}  // namespace mixType

// Option5_Click: Blend chosen, after the mixType steps.
namespace blendOption {
inline constexpr int kEnableMixControls = 108;
inline constexpr int kDisableOutputFrame = 110;
inline constexpr int kDisableSaveAsAvi = 112;
inline constexpr int kDisableSaveAsGif = 114;
inline constexpr int kDisableFramesPerSecondFrame = 116;
inline constexpr int kDisableFrameCountFrame = 118;
inline constexpr int kDisableFramesPerSecondBox = 120;
inline constexpr int kDisableFrameCountBox = 122;
}  // namespace blendOption

// Option6_Click: Fade chosen, after the mixType steps.
namespace fadeOption {
inline constexpr int kEnableFadeControls = 108;
}  // namespace fadeOption

// Option7_Click: Overlay chosen, after the mixType steps.
namespace overlayOption {
inline constexpr int kDisableMixControls = 108;
}  // namespace overlayOption

// PushButton1_Click and PushButton3_Click: an input picture chosen into its box.
namespace browseImage {
inline constexpr int kClearChosen = 100;
inline constexpr int kSetDialogTitle = 102;
inline constexpr int kSetDialogFilter = 104;
inline constexpr int kShowOpenDialog = 106;
inline constexpr int kTestFileChosen = 108;
inline constexpr int kShowFileName = 110;
}  // namespace browseImage

// PushButton4_Click: the help box.
namespace help {
inline constexpr int kShowHelp = 100;
}  // namespace help

// PushButton5_Click: the output folder chosen.
namespace browseFolder {
inline constexpr int kShowFolderDialog = 100;
inline constexpr int kTestFolderChosen = 102;
inline constexpr int kSaveFolder = 104;
inline constexpr int kTestTrailingSeparator = 104;   // the same number as kSaveFolder
inline constexpr int kShowFolderWithSeparator = 106;
inline constexpr int kShowFolder = 108;
}  // namespace browseFolder

// PushButton7_Click: the sample pictures for the chosen mix type.
namespace loadSamples {
inline constexpr int kTestBlendOrOverlay = 100;
inline constexpr int kShowBlendSample1 = 102;
inline constexpr int kShowBlendSample2 = 104;
inline constexpr int kTestFade = 106;
inline constexpr int kShowFadeSample1 = 108;
inline constexpr int kShowFadeSample2 = 110;
}  // namespace loadSamples

// PushButton8_Click: the quality help box.
namespace qualityHelp {
inline constexpr int kShowQualityHelp = 100;
}  // namespace qualityHelp

// Form_Load: the window's start-up.
namespace windowLoad {
inline constexpr int kApplySkin = 100;
inline constexpr int kSetCaption = 102;
inline constexpr int kTestHandPointer = 104;
inline constexpr int kLoadHandPointer = 106;
inline constexpr int kOpenHomePageByChance = 108;
// Every stored value back into its control.
inline constexpr int kRestoreImage1 = 130;
inline constexpr int kRestoreImage2 = 132;
inline constexpr int kRestoreOutputFolder = 134;
inline constexpr int kRestoreFrameCount = 136;
inline constexpr int kRestoreFramesPerSecond = 138;
inline constexpr int kRunBlendHandler = 140;
inline constexpr int kRestoreBlendLeft = 142;
inline constexpr int kRestoreBlendRight = 144;
inline constexpr int kRestoreBlendTop = 146;
inline constexpr int kRestoreBlendBottom = 148;
inline constexpr int kRestoreBlend = 150;
inline constexpr int kRestoreFade = 152;
inline constexpr int kRestoreOverlay = 154;
inline constexpr int kRestoreSaveAsAvi = 156;
inline constexpr int kRestoreSaveAsGif = 158;
inline constexpr int kRestoreSmartDetect = 160;
inline constexpr int kRestoreFixedQuality = 162;
inline constexpr int kRestoreQualitySlider = 164;
inline constexpr int kShowQuality = 166;
inline constexpr int kTestSmartDetect = 168;
inline constexpr int kDisableQualityValue = 170;
inline constexpr int kEnableQualityValue = 172;
}  // namespace windowLoad

// Form_QueryUnload: the window asked to close.
namespace windowQueryUnload {
inline constexpr int kLetEventsRun = 102;
inline constexpr int kLetEventsRunAgain = 104;
}  // namespace windowQueryUnload

}  // namespace vantorell::labels
