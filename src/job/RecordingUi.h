// The UI port a job's steps talk to during one run: it passes everything on to the caller's
// port, records every message box into the run's outcome, and answers the compressor dialog
// itself when the request names a compressor.
#pragma once

#include "job/MixRequest.h"
#include "platform/ForwardingUi.h"

namespace vantorell {

class RecordingUi final : public ForwardingUi {
public:
    RecordingUi(UiPort& target, const MixRequest& request, MixOutcome& outcome)
        : ForwardingUi(target), m_request(request), m_outcome(outcome)
    {
    }

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override
    {
        m_outcome.messages.push_back({std::string(text), std::string(title)});
        return target().messageBox(text, buttons, icon, title);
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        if (!m_request.codec)
            return target().chooseCompressor(offered);
        for (const CompressorOption& option : offered)
            if (option.name == *m_request.codec)
                return CompressorChoice{option.name};
        return std::nullopt;   // not offered by this build: as if the dialog were cancelled
    }

private:
    const MixRequest& m_request;
    MixOutcome& m_outcome;
};

}  // namespace vantorell
