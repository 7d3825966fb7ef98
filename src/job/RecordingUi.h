// The UI port a job's steps talk to during one run: it passes everything on to the caller's
// port, records every message box into the run's outcome, and answers the compressor dialog
// itself when the request names a compressor. It is also where a cancel is noticed: every
// yield and progress change, and the return of every box and dialog, is a checkpoint.
#pragma once

#include "job/ForwardingUi.h"
#include "job/MixRequest.h"
#include "platform/Cancellation.h"

namespace vantorell {

class RecordingUi final : public ForwardingUi {
public:
    RecordingUi(UiPort& target, const MixRequest& request, MixOutcome& outcome, const CancelFlag* cancel = nullptr)
        : ForwardingUi(target), m_request(request), m_outcome(outcome), m_cancel(cancel)
    {
    }

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override
    {
        // Before the box too: a writer that answered a cancel's unwinding as a plain failure
        // (the GIF writer answers every failure so) must not show that failure.
        checkpoint();
        m_outcome.messages.push_back({std::string(text), std::string(title)});
        const MsgResult answer = target().messageBox(text, buttons, icon, title);
        checkpoint();
        return answer;
    }
    void statusMessage(std::string_view text, std::string_view title) override
    {
        checkpoint();
        m_outcome.messages.push_back({std::string(text), std::string(title)});
        target().statusMessage(text, title);
    }
    void yield() override
    {
        checkpoint();
        target().yield();
    }
    void progressChanged(const ProgressBar& bar) override
    {
        checkpoint();
        target().progressChanged(bar);
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        if (!m_request.codec) {
            auto choice = target().chooseCompressor(offered);
            checkpoint();
            return choice;
        }
        for (const CompressorOption& option : offered)
            if (option.name == *m_request.codec)
                return CompressorChoice{option.name};
        return std::nullopt;   // not offered by this build: as if the dialog were cancelled
    }

private:
    // Once the result is in place the job is as good as done: a late cancel changes nothing.
    void checkpoint() const
    {
        if (m_cancel && !m_outcome.wroteResult())
            m_cancel->checkpoint();
    }

    const MixRequest& m_request;
    MixOutcome& m_outcome;
    const CancelFlag* m_cancel;
};

}  // namespace vantorell
