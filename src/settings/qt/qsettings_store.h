// The settings store of the desktop program and the headless converter: an
// INI file kept by QSettings. The user's file is
// $XDG_CONFIG_HOME/Quillfern/Dravik.conf (~/.config/... when XDG_CONFIG_HOME
// is not set).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "settings/settings_store.h"

class QSettings;
class QString;

namespace dravik {

class CQSettingsStore : public CSettingsStore {
  public:
    // The user's settings file.
    CQSettingsStore();
    // An INI file at `path`.
    explicit CQSettingsStore(const std::string& path);
    // Pending writes reach the file here at the latest.
    ~CQSettingsStore() override;
    CQSettingsStore(const CQSettingsStore&) = delete;
    CQSettingsStore& operator=(const CQSettingsStore&) = delete;

    // The file holds only text, so integers come back as text: a value that is
    // not wholly a 32-bit integer gives the default.
    int GetInt(std::string_view section, std::string_view key, int default_value) const override;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view default_value) const override;
    void WriteInt(std::string_view section, std::string_view key, int value) override;
    // Text that is not valid UTF-8 (a delimiter byte typed in another
    // encoding) is stored as bytes so that it reads back unchanged.
    void WriteString(std::string_view section, std::string_view key,
                     std::string_view value) override;

    // Writes pending changes now (nothing when no value changed); false when
    // the file could not be written.
    bool Sync();
    std::string FileName() const;

  private:
    // QSettings is not safe for use from several threads at once.
    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    // Something was written since the last sync.
    bool m_dirty = false;
};

}  // namespace dravik
