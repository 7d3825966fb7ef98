#include "platform/SettingsStore.h"

namespace vantorell {

std::string SettingsStore::get(std::string_view application, std::string_view section, std::string_view key,
                               std::string_view fallback)
{
    if (auto stored = value(application, section, key))
        return std::move(*stored);
    return std::string(fallback);
}

}  // namespace vantorell
