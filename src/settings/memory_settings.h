// A settings store held in memory, for tests and for runs that must not touch
// the user's profile. Values keep their kind: an integer key read as a string
// (or the other way round) gives the default, so a reader that uses the wrong
// kind for a key shows up in tests.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "settings/settings_store.h"

namespace dravik {

class CMemorySettings : public CSettingsStore {
  public:
    int GetInt(std::string_view section, std::string_view key, int default_value) const override;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view default_value) const override;
    void WriteInt(std::string_view section, std::string_view key, int value) override;
    void WriteString(std::string_view section, std::string_view key,
                     std::string_view value) override;

    bool Contains(std::string_view section, std::string_view key) const;

  private:
    using Value = std::variant<int, std::string>;
    using Key = std::pair<std::string, std::string>;
    std::map<Key, Value, std::less<>> m_values;

    const Value* Find(std::string_view section, std::string_view key) const;
};

}  // namespace dravik
