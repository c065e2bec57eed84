#include "settings/qt/qsettings_store.h"

#include <QByteArray>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <charconv>
#include <climits>

namespace dravik {

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString SettingsKey(std::string_view section, std::string_view key) {
    return Utf8(section) + QLatin1Char('/') + Utf8(key);
}

// The whole text as a 32-bit integer, or nothing.
bool StrictInt(const QByteArray& text, int& value) {
    const char* first = text.constData();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    if (first != last && *first == '+') return false;
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

}  // namespace

// The INI format under the name the native format has on this platform
// (".conf"), whatever the platform.
CQSettingsStore::CQSettingsStore()
    : m_settings(std::make_unique<QSettings>(
          QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
              QStringLiteral("/Quillfern/Dravik.conf"),
          QSettings::IniFormat)) {}

CQSettingsStore::CQSettingsStore(const std::string& path)
    : m_settings(std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat)) {}

CQSettingsStore::~CQSettingsStore() = default;

int CQSettingsStore::GetInt(std::string_view section, std::string_view key,
                            int default_value) const {
    if (section.empty() || key.empty()) return default_value;
    std::lock_guard lock(m_mutex);
    const QVariant value = m_settings->value(SettingsKey(section, key));
    if (!value.isValid()) return default_value;
    switch (value.typeId()) {
        case QMetaType::Int:
            return value.toInt();
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong: {
            // Written by this process but never by this class; kept in range.
            bool ok = false;
            qlonglong wide = value.toLongLong(&ok);
            return ok && wide >= INT_MIN && wide <= INT_MAX ? static_cast<int>(wide)
                                                            : default_value;
        }
        case QMetaType::QString:
        case QMetaType::QByteArray: {
            int parsed = 0;
            const QByteArray text = value.typeId() == QMetaType::QString ? value.toString().toUtf8()
                                                                         : value.toByteArray();
            return StrictInt(text, parsed) ? parsed : default_value;
        }
        default:
            return default_value;
    }
}

std::string CQSettingsStore::GetString(std::string_view section, std::string_view key,
                                       std::string_view default_value) const {
    if (section.empty() || key.empty()) return std::string(default_value);
    std::lock_guard lock(m_mutex);
    const QVariant value = m_settings->value(SettingsKey(section, key));
    if (!value.isValid()) return std::string(default_value);
    QByteArray bytes;
    switch (value.typeId()) {
        case QMetaType::QByteArray:
            bytes = value.toByteArray();
            break;
        case QMetaType::QStringList:
            // An unquoted comma in a hand-edited file splits the text; join
            // it again rather than lose it.
            bytes = value.toStringList().join(QLatin1Char(',')).toUtf8();
            break;
        default:
            bytes = value.toString().toUtf8();
            break;
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void CQSettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
    if (section.empty() || key.empty()) return;
    const QString name = SettingsKey(section, key);
    std::lock_guard lock(m_mutex);
    // An unchanged value is not written again: a write makes the file be
    // saved, and saving syncs it to the disk, which behind a conversion's
    // hundreds of megabytes of output costs a whole flush.
    const QVariant stored = m_settings->value(name);
    if (stored.isValid() && stored.toString() == QString::number(value)) return;
    m_settings->setValue(name, value);
    m_dirty = true;
}

void CQSettingsStore::WriteString(std::string_view section, std::string_view key,
                                  std::string_view value) {
    if (section.empty() || key.empty()) return;
    const QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
    const QString text = QString::fromUtf8(bytes);
    const QString name = SettingsKey(section, key);
    const bool as_text = text.toUtf8() == bytes;
    std::lock_guard lock(m_mutex);
    const QVariant stored = m_settings->value(name);
    if (stored.isValid()) {
        const bool same = stored.typeId() == QMetaType::QByteArray ? stored.toByteArray() == bytes
                          : as_text ? stored.typeId() == QMetaType::QString && stored.toString() == text
                                    : false;
        if (same) return;
    }
    if (as_text) {
        m_settings->setValue(name, text);
    } else {
        m_settings->setValue(name, bytes);
    }
    m_dirty = true;
}

bool CQSettingsStore::Sync() {
    std::lock_guard lock(m_mutex);
    if (!m_dirty) return m_settings->status() == QSettings::NoError;
    m_dirty = false;
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

std::string CQSettingsStore::FileName() const {
    std::lock_guard lock(m_mutex);
    return m_settings->fileName().toStdString();
}

}  // namespace dravik
