#include "settings/memory_settings.h"

namespace dravik {

const CMemorySettings::Value* CMemorySettings::Find(std::string_view section,
                                                    std::string_view key) const {
    auto it = m_values.find(Key(section, key));
    return it == m_values.end() ? nullptr : &it->second;
}

int CMemorySettings::GetInt(std::string_view section, std::string_view key,
                            int default_value) const {
    const Value* value = Find(section, key);
    if (value == nullptr || !std::holds_alternative<int>(*value)) return default_value;
    return std::get<int>(*value);
}

std::string CMemorySettings::GetString(std::string_view section, std::string_view key,
                                       std::string_view default_value) const {
    const Value* value = Find(section, key);
    if (value == nullptr || !std::holds_alternative<std::string>(*value)) {
        return std::string(default_value);
    }
    return std::get<std::string>(*value);
}

void CMemorySettings::WriteInt(std::string_view section, std::string_view key, int value) {
    m_values[Key(section, key)] = value;
}

void CMemorySettings::WriteString(std::string_view section, std::string_view key,
                                  std::string_view value) {
    m_values[Key(section, key)] = std::string(value);
}

bool CMemorySettings::Contains(std::string_view section, std::string_view key) const {
    return Find(section, key) != nullptr;
}

}  // namespace dravik
