#include "cli/PrintingUi.h"

#include <cstdio>

namespace vantorell::cli {

std::string terminalText(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

MsgResult PrintingUi::messageBox(std::string_view text, MsgButtons buttons, MsgIcon, std::string_view title)
{
    if (text == "Done.") {
        std::fprintf(stdout, "Done.\n");
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "%.*s: %s\n", int(title.size()), title.data(), terminalText(text).c_str());
        std::fflush(stderr);
    }
    // Nobody is there to answer: the affirmative choice of each box.
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel: return MsgResult::Yes;
    default: return MsgResult::Ok;
    }
}

std::optional<CompressorChoice> PrintingUi::chooseCompressor(const std::vector<CompressorOption>& offered)
{
    for (const CompressorOption& option : offered)
        if (option.name == "uncompressed")
            return CompressorChoice{option.name};
    if (offered.empty())
        return std::nullopt;
    return CompressorChoice{offered.front().name};
}

}  // namespace vantorell::cli
