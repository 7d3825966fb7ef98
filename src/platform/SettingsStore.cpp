#include "platform/SettingsStore.h"

#include "platform/RuntimeError.h"

namespace vantorell {

std::string SettingsStore::get(std::string_view application, std::string_view section, std::string_view key,
                               std::string_view fallback)
{
    if (auto stored = value(application, section, key))
        return std::move(*stored);
    return std::string(fallback);
}

bool SettingsStore::setIfWritable(std::string_view application, std::string_view section, std::string_view key,
                                  std::string_view value)
{
    try {
        setValue(application, section, key, value);
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

}  // namespace vantorell
