// The settings store on QSettings: one INI file per application, one group per section
// (<config folder>/Hedracor/Hedracor.ini, group [Vantorell]). Every write is flushed at once,
// so a store that cannot be written is known at the write that failed. A file that cannot be one
// this store wrote (not text, over 1 MB, a line over 64 KB, not a readable file) is never read:
// it is set aside beside itself as "Hedracor.ini.damaged-<date and time>" (kept, never deleted),
// the store starts empty and is written afresh, and takeNotice() says so once.
#pragma once

#include "platform/SettingsStore.h"

#include <filesystem>
#include <map>
#include <memory>

class QSettings;

namespace vantorell {

class QtSettingsStore final : public SettingsStore {
public:
    // The per-user configuration folder of the platform ($XDG_CONFIG_HOME or ~/.config).
    static std::filesystem::path defaultRoot();

    // Keeps the files under `root`; tests pass a temporary folder.
    explicit QtSettingsStore(std::filesystem::path root = defaultRoot());
    ~QtSettingsStore() override;

    std::optional<std::string> value(std::string_view application, std::string_view section,
                                     std::string_view key) override;
    void setValue(std::string_view application, std::string_view section, std::string_view key,
                  std::string_view value) override;

    std::optional<std::string> takeNotice() override;

    // The file that holds an application's settings.
    std::filesystem::path fileFor(std::string_view application) const;

private:
    // The application's settings; nullptr when its damaged file could not be set aside (then
    // nothing is read and every write fails).
    QSettings* settingsFor(std::string_view application);

    std::filesystem::path m_root;
    std::optional<std::string> m_notice;
    std::map<std::string, std::unique_ptr<QSettings>, std::less<>> m_files;
};

}  // namespace vantorell
