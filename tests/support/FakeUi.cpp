#include "support/FakeUi.h"

namespace vantorell::test {

MsgResult FakeUi::messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title)
{
    boxes.push_back({std::string(text), buttons, icon, std::string(title)});
    if (boxAnswers.empty())
        return MsgResult::Ok;
    const MsgResult answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
}

std::vector<std::filesystem::path> FakeUi::openFiles(const OpenFileRequest& request)
{
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return {};
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::optional<std::filesystem::path> FakeUi::browseFolder(std::string_view title, const std::filesystem::path&)
{
    folderTitles.emplace_back(title);
    if (folderAnswers.empty())
        return std::nullopt;
    auto answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

std::optional<CompressorChoice> FakeUi::chooseCompressor(const std::vector<CompressorOption>& offered)
{
    compressorOffers.push_back(offered);
    if (compressorAnswers.empty())
        return CompressorChoice{"uncompressed"};
    auto answer = compressorAnswers.front();
    compressorAnswers.pop_front();
    return answer;
}

std::vector<std::string> FakeUi::texts() const
{
    std::vector<std::string> all;
    for (const Box& box : boxes)
        all.push_back(box.text);
    return all;
}

std::vector<FakeUi::Box> FakeUi::applicationErrors() const
{
    std::vector<Box> errors;
    for (const Box& box : boxes)
        if (box.title == "Application Error")
            errors.push_back(box);
    return errors;
}

}  // namespace vantorell::test
