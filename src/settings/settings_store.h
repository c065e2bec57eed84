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
enum class ELoadRule {
    kInt,          // the stored integer unless it is missing or -1
    kNonEmpty,     // the stored string unless it is missing, empty or "-1"
    kNotMinusOne,  // the stored string unless it is missing or "-1" (empty is taken)
};

// Each section's keys are listed once, in their write order, by a function
//     template <class Record, class Key> void Keys(Record& record, Key&& key)
// that calls key(name, record.field, rule) for every key; the reader and the
// writer below go through that one list, so that what is read is what is
// written, with the same names, kinds and rules.
class CSectionReader {
  public:
    CSectionReader(const CSettingsStore& store, std::string_view section)
        : m_store(store), m_section(section) {}
    void operator()(std::string_view key, int& value, ELoadRule rule = ELoadRule::kInt) const;
    void operator()(std::string_view key, std::string& value, ELoadRule rule) const;

  private:
    const CSettingsStore& m_store;
    std::string_view m_section;
};

class CSectionWriter {
  public:
    CSectionWriter(CSettingsStore& store, std::string_view section)
        : m_store(store), m_section(section) {}
    void operator()(std::string_view key, int value, ELoadRule = ELoadRule::kInt) const {
        m_store.WriteInt(m_section, key, value);
    }
    void operator()(std::string_view key, const std::string& value, ELoadRule) const {
        m_store.WriteString(m_section, key, value);
    }

  private:
    CSettingsStore& m_store;
    std::string_view m_section;
};

}  // namespace dravik
