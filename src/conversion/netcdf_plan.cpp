#include "conversion/netcdf_plan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>

#include "conversion/output_layout.h"
#include "instrument/sensor.h"

namespace dravik {

namespace {

// netCDF takes names of up to 256 bytes; room is left for a number.
constexpr std::size_t kMaxNameLength = 200;

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// An identifier that is a number, such as "350.0": the wavelength of a channel.
bool Wavelength(const std::string& identifier, double& nm) {
    const char* first = identifier.data();
    const char* last = first + identifier.size();
    const auto [end, ec] = std::from_chars(first, last, nm);
    return !identifier.empty() && ec == std::errc() && end == last && std::isfinite(nm);
}

// Names given so far; a name met again gets "_2", "_3", ...
class CNames {
  public:
    explicit CNames(std::set<std::string> reserved) : m_used(std::move(reserved)) {}
    std::string Unique(std::string name) {
        if (m_used.insert(name).second) return name;
        for (int n = 2;; ++n) {
            std::string numbered = name + "_" + std::to_string(n);
            if (m_used.insert(numbered).second) return numbered;
        }
    }

  private:
    std::set<std::string> m_used;
};

// The sensors of each spectral type, by type: the columns that qualify as
// channels, when there are two or more of them with distinct wavelengths
// and one units text.
std::map<std::string, std::vector<std::size_t>> SpectralTypes(const COutputColumns& c) {
    std::map<std::string, std::vector<std::size_t>> candidates;
    for (std::size_t k = 0; k < c.sensors.size(); ++k) {
        const CSensor* s = c.sensors[k];
        double nm = 0.0;
        if (static_cast<int>(k) != c.check_sum_column && s->IsOpticFit() &&
            !s->IsStringType() && Wavelength(s->GetIdentifier(), nm)) {
            candidates[s->GetType()].push_back(k);
        }
    }
    std::map<std::string, std::vector<std::size_t>> types;
    for (auto& [type, ks] : candidates) {
        std::set<double> wavelengths;
        bool same_units = true;
        for (std::size_t k : ks) {
            double nm = 0.0;
            Wavelength(c.sensors[k]->GetIdentifier(), nm);
            wavelengths.insert(nm);
            same_units = same_units && c.sensors[k]->GetUnits() == c.sensors[ks[0]]->GetUnits();
        }
        if (ks.size() >= 2 && wavelengths.size() == ks.size() && same_units) {
            types.emplace(type, std::move(ks));
        }
    }
    return types;
}

}  // namespace

std::string NetcdfName(std::string_view text) {
    std::string name;
    for (char c : text) {
        if (IsAsciiAlnum(c)) {
            name.push_back(c);
        } else if (!name.empty() && name.back() != '_') {
            name.push_back('_');
        }
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
    if (name.empty() || !(IsAsciiAlnum(name[0]) && (name[0] < '0' || name[0] > '9'))) {
        name.insert(0, "v_");
    }
    return name;
}

CNetcdfPlan PlanNetcdf(const COutputColumns& c) {
    CNetcdfPlan plan;
    plan.time = c.params.time_tags != 0;
    plan.frame_counter_flags = c.frame_counter_checked;
    plan.check_sum_flags = c.check_sum_column >= 0;
    CNames names({"frame", "time", "frame_counter_error", "check_sum_error"});
    const bool apply_fit = c.params.format.apply_fit != 0;
    const auto spectral = SpectralTypes(c);
    std::set<std::string> placed;  // spectral types whose variable is planned
    for (std::size_t k = 0; k < c.sensors.size(); ++k) {
        const CSensor* s = c.sensors[k];
        CNetcdfVariable v;
        v.units = s->GetUnits();
        v.fit_type = std::string(FitTypeName(s->GetFitType()));
        v.kind = ValueKindOf(s, apply_fit);
        const auto group = spectral.find(s->GetType());
        if (group == spectral.end()) {
            v.long_name = SensorColumnName(*s);
            v.name = names.Unique(NetcdfName(v.long_name));
            v.check_sum = static_cast<int>(k) == c.check_sum_column;
            v.columns = {k};
        } else {
            // The whole type at the place of its first channel.
            if (!placed.insert(group->first).second) continue;
            v.long_name = s->GetType();
            v.name = names.Unique(NetcdfName(v.long_name));
            v.wavelength_name = names.Unique("wavelength_" + v.name);
            v.coefficients_name = names.Unique(v.name + "_coefficients");
            v.coefficient_dimension = names.Unique(v.name + "_coefficient");
            std::vector<std::pair<double, std::size_t>> channels;
            for (std::size_t member : group->second) {
                double nm = 0.0;
                Wavelength(c.sensors[member]->GetIdentifier(), nm);
                channels.emplace_back(nm, member);
                v.coefficient_count = std::max<std::size_t>(
                    v.coefficient_count, c.sensors[member]->GetCoefficients().size());
            }
            std::sort(channels.begin(), channels.end());
            for (const auto& [nm, member] : channels) {
                v.wavelengths.push_back(nm);
                v.columns.push_back(member);
            }
            // Channels of mixed fits say so.
            for (std::size_t member : v.columns) {
                if (FitTypeName(c.sensors[member]->GetFitType()) != v.fit_type) v.fit_type = "OPTIC";
            }
        }
        v.compress = v.kind == EValueKind::kSeconds ||
                     (v.kind == EValueKind::kNumber && !(apply_fit && s->IsCalibrationFit()));
        if (v.kind == EValueKind::kText) {
            ++plan.texts_per_frame;
        } else {
            plan.numbers_per_frame += v.columns.size();
        }
        plan.variables.push_back(std::move(v));
    }
    if (plan.time) ++plan.numbers_per_frame;
    return plan;
}

}  // namespace dravik
