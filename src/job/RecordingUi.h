// The UI port a job's steps talk to during one run: it passes everything on to the caller's
// port, records every message box into the run's outcome, and answers the compressor dialog
// itself when the request names a compressor.
#pragma once

#include "job/MixRequest.h"
#include "platform/UiPort.h"

namespace vantorell {

class RecordingUi final : public UiPort {
public:
    RecordingUi(UiPort& target, const MixRequest& request, MixOutcome& outcome)
        : m_target(target), m_request(request), m_outcome(outcome)
    {
    }

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override
    {
        m_outcome.messages.push_back({std::string(text), std::string(title)});
        return m_target.messageBox(text, buttons, icon, title);
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        if (!m_request.codec)
            return m_target.chooseCompressor(offered);
        for (const CompressorOption& option : offered)
            if (option.name == *m_request.codec)
                return CompressorChoice{option.name};
        return std::nullopt;   // not offered by this build: as if the dialog were cancelled
    }
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
    bool shellStart(std::string_view target) override { return m_target.shellStart(target); }

private:
    UiPort& m_target;
    const MixRequest& m_request;
    MixOutcome& m_outcome;
};

}  // namespace vantorell
