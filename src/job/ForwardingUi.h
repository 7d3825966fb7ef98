// A UiPort that passes every call on to another port. Ports that watch or answer a few calls
// (the window's pointer tracking, a job's recording) derive from it and override just those.
#pragma once

#include "avi/AviCodecs.h"
#include "job/UiPort.h"

namespace vantorell {

class ForwardingUi : public UiPort {
public:
    explicit ForwardingUi(UiPort& target) : m_target(target) {}

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override
    {
        return m_target.messageBox(text, buttons, icon, title);
    }
    void statusMessage(std::string_view text, std::string_view title) override { m_target.statusMessage(text, title); }
    void yield() override { m_target.yield(); }
    void setBusyPointer(bool busy) override { m_target.setBusyPointer(busy); }
    void progressChanged(const ProgressBar& bar) override { m_target.progressChanged(bar); }
    std::vector<std::filesystem::path> openFiles(const OpenFileRequest& request) override
    {
        return m_target.openFiles(request);
    }
    std::optional<std::filesystem::path> browseFolder(std::string_view title, const std::filesystem::path& start) override
    {
        return m_target.browseFolder(title, start);
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        return m_target.chooseCompressor(offered);
    }
    bool shellStart(std::string_view target) override { return m_target.shellStart(target); }

protected:
    UiPort& target() { return m_target; }

private:
    UiPort& m_target;
};

}  // namespace vantorell
