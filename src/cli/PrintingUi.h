// The batch command line's UI port: what the window would show goes to stderr with the same
// texts ("Done." to stdout); there is no message loop to yield to and no dialog to show.
#pragma once

#include "cli/JsonProgress.h"
#include "job/SilentUi.h"

#include <cstdio>
#include <optional>
#include <string>

namespace vantorell::cli {

class PrintingUi final : public SilentUi {
public:
    // The compressor dialog without a user: "uncompressed" when it is offered, else the first.
    // (A compressor named with --codec travels in the request, and the job answers for it.)

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override;
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override;
    void progressChanged(const ProgressBar& bar) override;

    // --progress json: every box and the progress go to `json` as lines ("Done." still to stdout
    // as well); a progress line whose step the job does not name says `defaultStep` ("Overlay").
    void printAsJson(JsonProgress& json, std::string defaultStep)
    {
        m_json = &json;
        m_defaultStep = std::move(defaultStep);
    }

    // Why a message could not be printed (a closed pipe, a full disk), or nullopt: the job's
    // own work may have succeeded, but what it said was lost.
    const std::optional<std::string>& outputError() const { return m_outputError; }

private:
    void noteOutput(std::FILE* stream);

    std::optional<std::string> m_outputError;
    JsonProgress* m_json = nullptr;
    std::string m_defaultStep;
    bool m_printedProgress = false;
};

// A message box's text for a terminal: CR LF and lone CRs become line feeds.
std::string terminalText(std::string_view text);

// Text as it may be printed to a terminal, a pipe or a file: a name can hold anything, and an ESC
// in it would drive the terminal. Control characters (C0, DEL, C1, and a stray byte from 0x80 to
// 0x9f) become "\xHH", and then a backslash becomes "\\", so the bytes can be recovered. Text
// with nothing to escape comes back unchanged. Line feeds stay when `keepLineFeeds` (a message's
// own lines).
std::string visibleText(std::string_view text, bool keepLineFeeds = false);

// The same, with every byte that is not UTF-8 escaped too: a name as a report (JSON, UTF-8) can
// hold it with every byte recoverable.
std::string recoverableText(std::string_view text);

// Text for a JSON string (--progress json): valid UTF-8 stays as it is, control characters
// included (the JSON writer escapes them as \u00XX); a byte that is not UTF-8 becomes "\xHH",
// and then a backslash "\\", so every byte of a file name can be recovered.
std::string jsonText(std::string_view text);

}  // namespace vantorell::cli
