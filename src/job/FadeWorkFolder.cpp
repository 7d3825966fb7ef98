#include "job/FadeWorkFolder.h"

#include "platform/Interruption.h"
#include "platform/RuntimeError.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vantorell {

namespace {

std::filesystem::path makeIn(const std::filesystem::path& parent)
{
    if (parent.empty())
        return {};
    std::string pattern = (parent / "vantorell-fade-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))   // mode 0700, a new name, no existing path reused
        return {};
    return std::filesystem::path(name.data());
}

}  // namespace

void FadeWorkFolder::create()
{
    remove();
    const char* temp = std::getenv("TEMP");
    // Registered as it is made: an interrupted command line removes it.
    if (temp && *temp)
        m_path = interruption::createRegistered([&] { return makeIn(temp); });
    if (m_path.empty()) {
        std::error_code ec;
        const std::filesystem::path system = std::filesystem::temp_directory_path(ec);
        m_path = interruption::createRegistered([&] { return makeIn(system); });
    }
    if (m_path.empty())
        throw RuntimeError(errnum::PathNotFound, "Path not found");
}

void FadeWorkFolder::remove()
{
    if (m_path.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    interruption::unregister(m_path);
    m_path.clear();
}

const std::filesystem::path& FadeWorkFolder::path() const
{
    if (m_path.empty())
        throw RuntimeError(errnum::PathNotFound, "Path not found");
    return m_path;
}

std::string FadeWorkFolder::file(const std::string& name) const { return path().string() + "/" + name; }

}  // namespace vantorell
