#include "platform/QtSettingsStore.h"

#include "platform/RuntimeError.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace vantorell {
namespace {

QString qt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString keyPath(std::string_view section, std::string_view key) { return qt(section) + u'/' + qt(key); }

}  // namespace

std::filesystem::path QtSettingsStore::defaultRoot()
{
    return std::filesystem::path(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString());
}

QtSettingsStore::QtSettingsStore(std::filesystem::path root) : m_root(std::move(root)) {}

QtSettingsStore::~QtSettingsStore() = default;

std::filesystem::path QtSettingsStore::fileFor(std::string_view application) const
{
    return m_root / std::string(application) / (std::string(application) + ".ini");
}

QSettings& QtSettingsStore::settingsFor(std::string_view application)
{
    auto found = m_files.find(application);
    if (found == m_files.end()) {
        const QString file = QString::fromStdString(fileFor(application).string());
        found = m_files.emplace(std::string(application), std::make_unique<QSettings>(file, QSettings::IniFormat))
                    .first;
    }
    return *found->second;
}

std::optional<std::string> QtSettingsStore::value(std::string_view application, std::string_view section,
                                                  std::string_view key)
{
    QSettings& settings = settingsFor(application);
    const QString path = keyPath(section, key);
    if (!settings.contains(path))
        return std::nullopt;
    const QVariant stored = settings.value(path);
    // A hand-edited INI line with unquoted commas ("a,b") reads back as a list; the store
    // holds strings only, so give the line back as it was written.
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(u',').toStdString();
    if (!stored.canConvert<QString>())
        return std::string();
    return stored.toString().toStdString();
}

void QtSettingsStore::setValue(std::string_view application, std::string_view section, std::string_view key,
                               std::string_view value)
{
    QSettings& settings = settingsFor(application);
    settings.setValue(keyPath(section, key), qt(value));
    settings.sync();
    if (settings.status() == QSettings::AccessError || !settings.isWritable())
        throw RuntimeError(errnum::FileAccessError,
                           "Path/File access error: the settings file " + settings.fileName().toStdString() +
                               " cannot be written");
}

}  // namespace vantorell
