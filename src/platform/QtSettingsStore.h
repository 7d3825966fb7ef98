// The settings store on QSettings: one INI file per application, one group per section
// (<config folder>/Hedracor/Hedracor.ini, group [Vantorell]). Every write is flushed at once,
// so a store that cannot be written is known at the write that failed.
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

    // The file that holds an application's settings.
    std::filesystem::path fileFor(std::string_view application) const;

private:
    QSettings& settingsFor(std::string_view application);

    std::filesystem::path m_root;
    std::map<std::string, std::unique_ptr<QSettings>, std::less<>> m_files;
};

}  // namespace vantorell
