#include "cli/PrintingUi.h"

#include "platform/Controls.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

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

namespace {

// What escaping keeps as it is.
struct Kept {
    bool lineFeeds = false;
    bool strayBytes = false;   // bytes from 0xa0 that are not UTF-8
    bool controls = false;     // C0, DEL and C1 characters
};

// The length of the UTF-8 sequence at `at` that is well formed and, unless `keepControls`, not a
// control character (C0, DEL, C1: U+0080 to U+009F), or 0 when the byte there is to be escaped.
std::size_t printableSequence(std::string_view text, std::size_t at, bool keepControls)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return keepControls || (lead >= 0x20 && lead != 0x7f) ? 1 : 0;
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                               : lead >= 0xf0 && lead <= 0xf4                                   ? 4
                                                                                                 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    std::uint32_t code = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80)
            return 0;
        code = code << 6 | (byte(at + i) & 0x3f);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid = code >= least[length] && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
    return valid && (keepControls || code < 0x80 || code > 0x9f) ? length : 0;
}

// The bytes at `at` copied as they are (their count), or 0 when the byte there is escaped.
std::size_t keptBytes(std::string_view text, std::size_t at, Kept kept)
{
    if (kept.lineFeeds && text[at] == '\n')
        return 1;
    if (const std::size_t length = printableSequence(text, at, kept.controls); length > 0)
        return length;
    // A stray byte from 0xa0 is a character of some 8-bit code page, not a control.
    return kept.strayBytes && static_cast<unsigned char>(text[at]) >= 0xa0 ? 1 : 0;
}

std::string escaped(std::string_view text, Kept kept)
{
    std::size_t at = 0;
    for (std::size_t length; at < text.size() && (length = keptBytes(text, at, kept)) > 0;)
        at += length;
    if (at == text.size())
        return std::string(text);
    std::string out;
    for (at = 0; at < text.size();) {
        if (const std::size_t length = keptBytes(text, at, kept); length > 0) {
            out += text[at] == '\\' ? std::string_view("\\\\") : text.substr(at, length);
            at += length;
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(text[at++]);
            out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return out;
}

}  // namespace

std::string visibleText(std::string_view text, bool keepLineFeeds)
{
    return escaped(text, {.lineFeeds = keepLineFeeds, .strayBytes = true});
}

std::string recoverableText(std::string_view text) { return escaped(text, {}); }

std::string jsonText(std::string_view text) { return escaped(text, {.controls = true}); }

MsgResult PrintingUi::messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title)
{
    if (m_json)
        m_json->message(terminalText(text), messageKind(icon, title), title);
    if (text == "Done.") {
        std::fprintf(stdout, "Done.\n");
        noteOutput(stdout);
    } else if (!m_json) {
        std::fprintf(stderr, "%.*s: %s\n", int(title.size()), title.data(),
                     visibleText(terminalText(text), true).c_str());
        noteOutput(stderr);
    }
    // Nobody is there to answer: the affirmative choice of each box.
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel: return MsgResult::Yes;
    default: return MsgResult::Ok;
    }
}

void PrintingUi::progressChanged(const ProgressBar& bar)
{
    // The bar set back to 0 between steps says nothing to a driver; only the job's first 0 does.
    if (!m_json || (bar.step().empty() && bar.value() <= 0 && m_printedProgress))
        return;
    m_printedProgress = true;
    m_json->progress(bar.step().empty() ? m_defaultStep : bar.step(), bar.value(), bar.max());
}

void PrintingUi::noteOutput(std::FILE* stream)
{
    if (std::fflush(stream) != 0 && !m_outputError)
        m_outputError = std::strerror(errno);
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
