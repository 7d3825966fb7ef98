// A UiPort that passes everything on to the window's port and remembers whether the busy
// (hourglass) pointer is up, so that the window's pointer feedback can stand aside meanwhile.
#pragma once

#include "platform/UiPort.h"

#include <functional>

namespace vantorell {

class PointerTrackingUi final : public UiPort {
public:
    explicit PointerTrackingUi(UiPort& target) : m_target(target) {}

    bool busy() const { return m_busy; }
    std::function<void()> onBusyChanged;

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override
    {
        return m_target.messageBox(text, buttons, icon, title);
    }
    void yield() override { m_target.yield(); }
    void setBusyPointer(bool busy) override
    {
        m_busy = busy;
        m_target.setBusyPointer(busy);
        if (onBusyChanged) onBusyChanged();
    }
    void progressChanged(const ProgressBar& bar) override { m_target.progressChanged(bar); }
    std::vector<std::filesystem::path> openFiles(const OpenFileRequest& request) override
    {
        return m_target.openFiles(request);
    }
    std::optional<std::filesystem::path> browseFolder(std::string_view title,
                                                      const std::filesystem::path& start) override
    {
        return m_target.browseFolder(title, start);
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        return m_target.chooseCompressor(offered);
    }
    bool shellStart(std::string_view target) override { return m_target.shellStart(target); }

private:
    UiPort& m_target;
    bool m_busy = false;
};

}  // namespace vantorell
