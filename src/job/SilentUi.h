// A window that is never shown: every box answers OK, every dialog is cancelled, yields and
// progress go nowhere. Front ends without a window (the batch command line, fuzzers,
// benchmarks) start from it and override what they need.
#pragma once

#include "avi/AviCodecs.h"
#include "job/UiPort.h"

namespace vantorell {

class SilentUi : public UiPort {
public:
    MsgResult messageBox(std::string_view, MsgButtons, MsgIcon, std::string_view) override { return MsgResult::Ok; }
    void yield() override {}
    void setBusyPointer(bool) override {}
    void progressChanged(const ProgressBar&) override {}
    std::vector<std::filesystem::path> openFiles(const OpenFileRequest&) override { return {}; }
    std::optional<std::filesystem::path> browseFolder(std::string_view, const std::filesystem::path&) override
    {
        return std::nullopt;
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>&) override
    {
        return std::nullopt;
    }
    bool shellStart(std::string_view) override { return false; }
};

}  // namespace vantorell
