#include "conversion/spectral_groups.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "instrument/sensor.h"

namespace dravik {

namespace {

// An identifier that is a number, such as "350.0": the wavelength of a channel.
bool Wavelength(const std::string& identifier, double& nm) {
    const char* first = identifier.data();
    const char* last = first + identifier.size();
    const auto [end, ec] = std::from_chars(first, last, nm);
    return !identifier.empty() && ec == std::errc() && end == last && std::isfinite(nm);
}

}  // namespace

std::vector<CSpectralGroup> FindSpectralGroups(const COutputColumns& c) {
    std::map<std::string, std::vector<std::pair<double, std::size_t>>> candidates;
    for (std::size_t k = 0; k < c.sensors.size(); ++k) {
        const CSensor* s = c.sensors[k];
        double nm = 0.0;
        if (static_cast<int>(k) != c.check_sum_column && s->IsOpticFit() &&
            !s->IsStringType() && Wavelength(s->GetIdentifier(), nm)) {
            candidates[s->GetType()].emplace_back(nm, k);
        }
    }
    std::vector<CSpectralGroup> groups;
    for (auto& [type, channels] : candidates) {
        std::set<double> wavelengths;
        bool same_units = true;
        for (const auto& [nm, k] : channels) {
            wavelengths.insert(nm);
            same_units = same_units && c.sensors[k]->GetUnits() == c.sensors[channels[0].second]->GetUnits();
        }
        if (channels.size() < 2 || wavelengths.size() != channels.size() || !same_units) continue;
        std::sort(channels.begin(), channels.end());
        CSpectralGroup group;
        group.type = type;
        for (const auto& [nm, k] : channels) {
            group.wavelengths.push_back(nm);
            group.columns.push_back(k);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

}  // namespace dravik
