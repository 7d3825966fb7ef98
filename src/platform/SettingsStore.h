// The per-user settings store: string values addressed by application, section and key.
// The window writes every setting through as it changes and reads them back at start-up.
// QtSettingsStore keeps them in an INI file; tests use a memory store (tests/support).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantorell {

inline constexpr std::string_view kSettingsApplication = "Hedracor";
inline constexpr std::string_view kSettingsSection = "Vantorell";

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored value, or nullopt when the key is absent. A key that holds an empty string
    // answers the empty string.
    virtual std::optional<std::string> value(std::string_view application, std::string_view section,
                                             std::string_view key) = 0;
    // Stores the value. Raises RuntimeError (FileAccessError) when the store cannot be written.
    virtual void setValue(std::string_view application, std::string_view section, std::string_view key,
                          std::string_view value) = 0;

    // What the store has to tell the user, once (a damaged store set aside): the text the first
    // time it is asked after the store found it, nullopt after that and when there is none.
    virtual std::optional<std::string> takeNotice() { return std::nullopt; }

    // The stored value, or `fallback` when the key is absent.
    std::string get(std::string_view application, std::string_view section, std::string_view key,
                    std::string_view fallback);
    void set(std::string_view application, std::string_view section, std::string_view key,
             std::string_view value)
    {
        setValue(application, section, key, value);
    }
    // Stores the value, or keeps going when the store cannot be written: the choices added to
    // the window stay for the session, and the window reports a read-only store when it
    // writes its own settings. False when the value was not stored.
    bool setIfWritable(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view value);
};

}  // namespace vantorell
