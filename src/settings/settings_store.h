// The persistent settings: named sections holding integer and string keys.
// The engine reads and writes its settings only through this interface; the
// desktop program and the headless converter back it with an INI file, the
// tests with memory.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

class CSettingsStore {
  public:
    virtual ~CSettingsStore() = default;

    // The stored integer, or `default_value` when the key is missing or does
    // not hold an integer.
    virtual int GetInt(std::string_view section, std::string_view key, int default_value) const = 0;
    // The stored string, or `default_value` when the key is missing.
    virtual std::string GetString(std::string_view section, std::string_view key,
                                  std::string_view default_value) const = 0;
    // Writes never report failure: a value that cannot be stored keeps its
    // default at the next start.
    virtual void WriteInt(std::string_view section, std::string_view key, int value) = 0;
    virtual void WriteString(std::string_view section, std::string_view key,
                             std::string_view value) = 0;
};

// The load rules every reader follows. A stored -1 (integer) or "-1" (string)
// stands for "not set" and never replaces the value in memory.

// Rule "int": `value` takes the stored integer unless it is missing or -1.
void LoadInt(const CSettingsStore& store, std::string_view section, std::string_view key,
             int& value);
// Rule "non-empty": `value` takes the stored string unless it is missing,
// empty or "-1".
void LoadStringNonEmpty(const CSettingsStore& store, std::string_view section, std::string_view key,
                        std::string& value);
// Rule "not-minus-one": `value` takes the stored string unless it is missing
// or "-1"; an empty stored string is taken.
void LoadStringNotMinusOne(const CSettingsStore& store, std::string_view section,
                           std::string_view key, std::string& value);

}  // namespace dravik
