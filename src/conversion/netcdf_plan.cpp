#include "conversion/netcdf_plan.h"

#include <algorithm>
#include <set>

#include "conversion/output_layout.h"
#include "conversion/spectral_groups.h"
#include "instrument/sensor.h"

namespace dravik {

namespace {

// netCDF takes names of up to 256 bytes; room is left for a number.
constexpr std::size_t kMaxNameLength = 200;

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
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
    const std::vector<CSpectralGroup> spectral = FindSpectralGroups(c);
    std::set<std::string> placed;  // spectral types whose variable is planned
    for (std::size_t k = 0; k < c.sensors.size(); ++k) {
        const CSensor* s = c.sensors[k];
        CNetcdfVariable v;
        v.units = s->GetUnits();
        v.fit_type = std::string(FitTypeName(s->GetFitType()));
        v.kind = ValueKindOf(s, apply_fit);
        const auto group = std::find_if(spectral.begin(), spectral.end(),
                                        [s](const CSpectralGroup& g) { return g.type == s->GetType(); });
        if (group == spectral.end()) {
            v.long_name = SensorColumnName(*s);
            v.name = names.Unique(NetcdfName(v.long_name));
            v.check_sum = static_cast<int>(k) == c.check_sum_column;
            v.columns = {k};
        } else {
            // The whole type at the place of its first channel.
            if (!placed.insert(group->type).second) continue;
            v.long_name = s->GetType();
            v.name = names.Unique(NetcdfName(v.long_name));
            v.wavelength_name = names.Unique("wavelength_" + v.name);
            v.coefficients_name = names.Unique(v.name + "_coefficients");
            v.coefficient_dimension = names.Unique(v.name + "_coefficient");
            for (std::size_t member : group->columns) {
                v.coefficient_count = std::max<std::size_t>(
                    v.coefficient_count, c.sensors[member]->GetCoefficients().size());
            }
            v.wavelengths = group->wavelengths;
            v.columns = group->columns;
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
