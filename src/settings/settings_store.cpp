#include "settings/settings_store.h"

namespace dravik {

namespace {
// Strings are read with this default so that a missing key and a stored
// "-1" look alike.
constexpr std::string_view kUnset = "-1";
}  // namespace

void CSectionReader::operator()(std::string_view key, int& value, ELoadRule) const {
    const int stored = m_store.GetInt(m_section, key, -1);
    if (stored != -1) value = stored;
}

void CSectionReader::operator()(std::string_view key, std::string& value, ELoadRule rule) const {
    std::string stored = m_store.GetString(m_section, key, kUnset);
    if (stored == kUnset || (rule == ELoadRule::kNonEmpty && stored.empty())) return;
    value = std::move(stored);
}

}  // namespace dravik
