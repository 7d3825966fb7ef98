// A settings store in memory for tests: holds what the window writes, can be pre-filled with
// stored values (as a previous run would have left them) and can refuse every write.
#pragma once

#include "platform/RuntimeError.h"
#include "platform/SettingsStore.h"

#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vantorell::test {

class MemorySettings final : public SettingsStore {
public:
    using Key = std::tuple<std::string, std::string, std::string>;

    std::optional<std::string> value(std::string_view application, std::string_view section,
                                     std::string_view key) override
    {
        const auto found = values.find(Key(application, section, key));
        if (found == values.end())
            return std::nullopt;
        return found->second;
    }

    void setValue(std::string_view application, std::string_view section, std::string_view key,
                  std::string_view value) override
    {
        ++writeAttempts;
        if (readOnly)
            throw RuntimeError(errnum::FileAccessError, "Path/File access error");
        values[Key(application, section, key)] = std::string(value);
        writes.emplace_back(key);
    }

    std::optional<std::string> takeNotice() override { return std::exchange(notice, std::nullopt); }

    // Shortcuts for the window's own application and section.
    void put(std::string_view key, std::string_view value)
    {
        values[Key(kSettingsApplication, kSettingsSection, key)] = std::string(value);
    }
    std::optional<std::string> stored(std::string_view key)
    {
        return value(kSettingsApplication, kSettingsSection, key);
    }

    std::map<Key, std::string> values;
    std::vector<std::string> writes;   // keys in the order written
    int writeAttempts = 0;
    bool readOnly = false;
    std::optional<std::string> notice;   // what a damaged store would say, once
};

}  // namespace vantorell::test
