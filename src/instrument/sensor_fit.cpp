// Calibration fits: the gain coefficients of a sensor and the physical value
// of a raw value.
#include <cmath>

#include "instrument/sensor.h"

namespace dravik {

void CSensor::AddCoefficient(double value) {
    m_coefficient_tags.push_back(m_gain_range_index);
    m_coefficients.push_back(value);
}

// A plain scan rather than std::find: it stays small enough to be inlined
// into the fits, which read three or four coefficients per value.
bool CSensor::GetCoefficient(double& value, int gain_range, int k) const noexcept {
    value = 0.0;
    if (k < 0) return false;
    for (std::size_t i = 0; i < m_coefficient_tags.size(); ++i) {
        if (m_coefficient_tags[i] != gain_range) continue;
        const std::size_t j = i + static_cast<std::size_t>(k);
        if (j < m_coefficients.size() && m_coefficient_tags[j] == gain_range) {
            value = m_coefficients[j];
            return true;
        }
        return false;
    }
    return false;
}

int CSensor::ApplyFit(double& value, double x, bool integer, std::int64_t raw_int,
                      const CIntegrationTime& time) const {
    if (m_fit_type == kFitCount) {
        value = x;
        return kValueOk;
    }
    const bool immersed = IsImmersed();
    double result = 0.0;
    switch (m_fit_type) {
        case kFitOptic1: {
            if (!integer) return kValueFitNotAllowed;
            // The two lowest bits select the gain range and stay out of the value.
            int g = static_cast<int>(raw_int & 3);
            if (g > m_gain_range_index) return kValueGainRangeUndefined;
            double xc = static_cast<double>(raw_int & ~std::int64_t{3});
            double a0, a1, im = 1.0;
            GetCoefficient(a0, g, 0);
            GetCoefficient(a1, g, 1);
            if (immersed) GetCoefficient(im, g, 2);
            result = (xc - a0) * im * a1;
            break;
        }
        case kFitOptic2:
        case kFitOptic3: {
            double t = 0.0, c = 0.0;
            if (m_fit_type == kFitOptic3) {
                if (time.status != kValueOk) return time.status;
                t = time.time;
                GetCoefficient(c, 0, 3);
            }
            double a0, a1, im = 1.0;
            GetCoefficient(a0, 0, 0);
            GetCoefficient(a1, 0, 1);
            if (immersed) GetCoefficient(im, 0, 2);
            result = m_fit_type == kFitOptic2 ? (x - a0) * im * a1 : (x - a0) * (c / t) * im * a1;
            break;
        }
        case kFitPolyF: {
            result = m_coefficients.empty() ? 0.0 : m_coefficients[0];
            for (std::size_t i = 1; i < m_coefficients.size(); ++i) result *= x - m_coefficients[i];
            break;
        }
        case kFitPolyU: {
            double power = 1.0;
            for (double a : m_coefficients) {
                result += a * power;
                power *= x;
            }
            break;
        }
        default:
            return kValueFitNotAllowed;
    }
    value = result;
    return std::isfinite(result) ? kValueOk : kValueNotFinite;
}

int CSensor::ApplyFitUnsigned(double& value, std::uint32_t raw,
                              const CIntegrationTime& time) const {
    // An HS value travels as unsigned but means a signed one.
    std::int64_t v =
        m_data_type == kDataHS ? std::int64_t{static_cast<std::int32_t>(raw)} : std::int64_t{raw};
    return ApplyFit(value, static_cast<double>(v), true, v, time);
}

int CSensor::ApplyFitSigned(double& value, std::int32_t raw, const CIntegrationTime& time) const {
    return ApplyFit(value, static_cast<double>(raw), true, raw, time);
}

int CSensor::ApplyFitDouble(double& value, double raw, const CIntegrationTime& time) const {
    return ApplyFit(value, raw, false, 0, time);
}

int CSensor::ApplyFitUnsigned(double& value, std::uint32_t raw) const {
    return ApplyFitUnsigned(value, raw, StoredIntegrationTime());
}

int CSensor::ApplyFitSigned(double& value, std::int32_t raw) const {
    return ApplyFitSigned(value, raw, StoredIntegrationTime());
}

int CSensor::ApplyFitDouble(double& value, double raw) const {
    return ApplyFitDouble(value, raw, StoredIntegrationTime());
}

}  // namespace dravik
