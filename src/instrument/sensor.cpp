#include "instrument/sensor.h"

#include <algorithm>
#include <iterator>

#include "platform/text.h"

namespace dravik {

namespace {

// In the order of the type numbers.
constexpr std::string_view kDataNames[] = {"BU", "BS", "BF", "BD", "HU", "HS", "AI", "AF", "AS"};
constexpr std::string_view kFitNames[] = {"NONE",   "COUNT",  "DELIMITER", "OPTIC1",
                                          "OPTIC2", "OPTIC3", "POLYF",     "POLYU",
                                          "DDMM",   "HHMMSS", "DDMMYY",    "TIME2"};
static_assert(std::size(kDataNames) == kDataUnset && std::size(kFitNames) == kFitUnset);

template <std::size_t N>
int TypeFromName(const std::string_view (&names)[N], std::string_view name) noexcept {
    const auto* found = std::find_if(std::begin(names), std::end(names),
                                     [&](std::string_view n) { return EqualsIgnoreCase(n, name); });
    return static_cast<int>(found - std::begin(names));
}

}  // namespace

int DataTypeFromName(std::string_view name) noexcept {
    return TypeFromName(kDataNames, name);
}

int FitTypeFromName(std::string_view name) noexcept {
    return TypeFromName(kFitNames, name);
}

std::string_view FitTypeName(int fit_type) noexcept {
    return fit_type >= 0 && fit_type < kFitUnset ? kFitNames[fit_type] : std::string_view();
}

void CSensor::SetVariableField(std::string delimiters, std::string terminator, int index) {
    m_field_delimiters = std::move(delimiters);
    m_terminator = std::move(terminator);
    m_variable_field_index = index;
}

void CSensor::SetImmersed(bool immersed) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_immersed.store(immersed, std::memory_order_relaxed);
}

}  // namespace dravik
