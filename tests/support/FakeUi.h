// A scripted UiPort for tests: records every message box in order, answers dialogs from
// queues the test fills, and counts yields and progress updates.
#pragma once

#include "avi/AviCodecs.h"
#include "platform/Controls.h"
#include "job/UiPort.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vantorell::test {

struct FakeUi final : UiPort {
    struct Box {
        std::string text;
        MsgButtons buttons;
        MsgIcon icon;
        std::string title;
    };
    std::vector<Box> boxes;
    std::deque<MsgResult> boxAnswers;                        // default: Ok
    std::deque<std::vector<std::filesystem::path>> fileAnswers;   // default: cancel (empty)
    std::deque<std::optional<std::filesystem::path>> folderAnswers;
    std::deque<std::optional<CompressorChoice>> compressorAnswers;   // default: uncompressed
    std::vector<OpenFileRequest> fileRequests;
    std::vector<std::string> folderTitles;
    std::vector<std::vector<CompressorOption>> compressorOffers;
    std::vector<std::string> shellStarts;
    std::vector<double> progressValues;
    std::vector<bool> busyPointer;
    int yields = 0;
    std::function<void()> onYield;   // runs at every yield, as a handler would during one

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override;
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield();
    }
    void setBusyPointer(bool busy) override { busyPointer.push_back(busy); }
    void progressChanged(const ProgressBar& bar) override { progressValues.push_back(bar.value()); }
    std::vector<std::filesystem::path> openFiles(const OpenFileRequest& request) override;
    std::optional<std::filesystem::path> browseFolder(std::string_view title,
                                                      const std::filesystem::path& start) override;
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override;
    bool shellStart(std::string_view target) override
    {
        shellStarts.emplace_back(target);
        return true;
    }

    // The texts of all boxes, in order.
    std::vector<std::string> texts() const;
    // Boxes titled "Application Error".
    std::vector<Box> applicationErrors() const;
};

}  // namespace vantorell::test
