// The batch command line's UI port: what the window would show goes to stderr with the same
// texts ("Done." to stdout); there is no message loop to yield to and no dialog to show.
#pragma once

#include "job/SilentUi.h"

#include <optional>
#include <string>

namespace vantorell::cli {

class PrintingUi final : public SilentUi {
public:
    // The compressor dialog without a user: "uncompressed" when it is offered, else the first.
    // (A compressor named with --codec travels in the request, and the job answers for it.)

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override;
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override;
};

// A message box's text for a terminal: CR LF and lone CRs become line feeds.
std::string terminalText(std::string_view text);

}  // namespace vantorell::cli
