#include "cli/PrintingUi.h"

#include <cstdio>

namespace vantorell::cli {

std::string TerminalText(std::string_view text)
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
        if (title == "Application Error")
            ++applicationErrors;
        std::fprintf(stderr, "%.*s: %s\n", int(title.size()), title.data(), TerminalText(text).c_str());
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
    if (codec) {
        for (const CompressorOption& option : offered)
            if (option.name == *codec)
                return CompressorChoice{option.name};
        std::string names;
        for (const CompressorOption& option : offered)
            names += (names.empty() ? "" : ", ") + option.name;
        std::fprintf(stderr, "vantorell-mix: codec \"%s\" is not available here (available: %s)\n", codec->c_str(),
                     names.c_str());
        return std::nullopt;
    }
    for (const CompressorOption& option : offered)
        if (option.name == "uncompressed")
            return CompressorChoice{option.name};
    if (offered.empty())
        return std::nullopt;
    return CompressorChoice{offered.front().name};
}

}  // namespace vantorell::cli
