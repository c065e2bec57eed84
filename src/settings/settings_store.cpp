#include "settings/settings_store.h"

namespace dravik {

namespace {
// Strings are read with this default so that a missing key and a stored
// "-1" look alike.
constexpr std::string_view kUnset = "-1";
}  // namespace

void LoadInt(const CSettingsStore& store, std::string_view section, std::string_view key,
             int& value) {
    int stored = store.GetInt(section, key, -1);
    if (stored != -1) value = stored;
}

void LoadStringNonEmpty(const CSettingsStore& store, std::string_view section, std::string_view key,
                        std::string& value) {
    std::string stored = store.GetString(section, key, kUnset);
    if (!stored.empty() && stored != kUnset) value = std::move(stored);
}

void LoadStringNotMinusOne(const CSettingsStore& store, std::string_view section,
                           std::string_view key, std::string& value) {
    std::string stored = store.GetString(section, key, kUnset);
    if (stored != kUnset) value = std::move(stored);
}

}  // namespace dravik
