#include "platform/QtSettingsStore.h"

#include "platform/RuntimeError.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <utility>

namespace vantorell {
namespace {

QString qt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString keyPath(std::string_view section, std::string_view key) { return qt(section) + u'/' + qt(key); }

constexpr std::uintmax_t kMaxStoreBytes = 1 << 20;
constexpr std::size_t kMaxLineBytes = 64 << 10;

// Whether `bytes` is text as this store writes it: UTF-8 without control characters other than
// tabs and line ends, and no line over kMaxLineBytes.
std::optional<std::string> textDamage(std::string_view bytes)
{
    std::size_t lineStart = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (lead == '\n' || lead == '\r')
            lineStart = at + 1;
        else if (at - lineStart >= kMaxLineBytes)
            return "a line over 64 KB";
        if (lead < 0x80) {
            if ((lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r') || lead == 0x7f)
                return "not text";
            ++at;
            continue;
        }
        const std::size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                                   : lead >= 0xf0 && lead <= 0xf4                                   ? 4
                                                                                                     : 0;
        if (length == 0 || at + length > bytes.size())
            return "not text";
        for (std::size_t i = 1; i < length; ++i)
            if ((static_cast<unsigned char>(bytes[at + i]) & 0xc0) != 0x80)
                return "not text";
        at += length;
    }
    return std::nullopt;
}

// Why the file cannot be one this store wrote, or nullopt when it may be (or is not there). Only
// a regular file is opened: a pipe at its name would never end.
std::optional<std::string> damageOf(const std::filesystem::path& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)   // none there (or no way there): nothing to set aside
        return std::nullopt;
    if (!S_ISREG(st.st_mode))
        return "not a file";
    if (std::uintmax_t(st.st_size) > kMaxStoreBytes)
        return "over 1 MB";
    std::ifstream in(file, std::ios::binary);
    std::string bytes(std::size_t(st.st_size), '\0');
    if (!in.read(bytes.data(), std::streamsize(bytes.size())) || in.peek() != std::ifstream::traits_type::eof())
        return "unreadable";
    return textDamage(bytes);
}

// A name beside `file` for a damaged copy that says so and names nothing that exists.
std::filesystem::path setAsideName(const std::filesystem::path& file)
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = file.string() + ".damaged-" + stamp;
    std::filesystem::path name = stem;
    std::error_code ec;
    for (int n = 2; std::filesystem::symlink_status(name, ec).type() != std::filesystem::file_type::not_found; ++n)
        name = stem + "-" + std::to_string(n);
    return name;
}

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

std::optional<std::string> QtSettingsStore::takeNotice() { return std::exchange(m_notice, std::nullopt); }

QSettings* QtSettingsStore::settingsFor(std::string_view application)
{
    auto found = m_files.find(application);
    if (found != m_files.end())
        return found->second.get();
    const std::filesystem::path path = fileFor(application);
    if (const std::optional<std::string> damage = damageOf(path)) {
        const std::filesystem::path aside = setAsideName(path);
        std::error_code ec;
        std::filesystem::rename(path, aside, ec);
        m_notice = ec ? "The settings file " + path.string() + " is damaged (" + *damage +
                            ") and could not be set aside: the window starts with its defaults, and "
                            "settings are not kept."
                      : "The settings file " + path.string() + " was damaged (" + *damage + "). It is kept as " +
                            aside.string() + ", and the window starts with its defaults.";
        if (ec)
            return m_files.emplace(std::string(application), nullptr).first->second.get();
    }
    auto settings = std::make_unique<QSettings>(QString::fromStdString(path.string()), QSettings::IniFormat);
    return m_files.emplace(std::string(application), std::move(settings)).first->second.get();
}

std::optional<std::string> QtSettingsStore::value(std::string_view application, std::string_view section,
                                                  std::string_view key)
{
    QSettings* settings = settingsFor(application);
    const QString path = keyPath(section, key);
    if (!settings || !settings->contains(path))
        return std::nullopt;
    const QVariant stored = settings->value(path);
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
    QSettings* settings = settingsFor(application);
    if (settings) {
        settings->setValue(keyPath(section, key), qt(value));
        settings->sync();
    }
    if (!settings || settings->status() == QSettings::AccessError || !settings->isWritable())
        throw RuntimeError(errnum::FileAccessError, "Path/File access error: the settings file " +
                                                        fileFor(application).string() + " cannot be written");
}

}  // namespace vantorell
