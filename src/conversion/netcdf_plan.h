// What a conversion's NetCDF file holds, worked out from its columns before
// the file is created: one variable per output sensor, named in letters,
// digits and underscores and unique, and the channels of a spectral sensor
// type (two or more sensors of one type and units with numeric identifiers
// and an OPTIC fit, such as ES 350.0 ... ES 769.1) gathered into one 2-D
// variable over a wavelength coordinate. No netCDF call is made here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/conversion_output.h"
#include "instrument/column_values.h"

namespace dravik {

struct CNetcdfVariable {
    std::string name;
    std::string long_name;  // the column's name in the text table ("ES", "TIME(UTC)")
    std::string units;      // from the instrument file ("" when it gives none)
    std::string fit_type;   // "OPTIC3", "DDMM", ...
    EValueKind kind = EValueKind::kNumber;
    bool check_sum = false;  // the check sum column: holds the frame's residual
    // Deflated (after a shuffle): raw counts, times and residuals, which
    // shrink a great deal. Calibrated values and angles are full-precision
    // doubles whose low bytes deflate cannot shrink, so compressing them
    // would cost most of a conversion's time for a file a fifth smaller;
    // they are stored as they are, and so are texts.
    bool compress = false;
    // The columns it holds: one, or a spectral type's channels in the order
    // of their wavelengths.
    std::vector<std::size_t> columns;
    // A spectral type: the channels' wavelengths (nm), the name of their
    // coordinate and of the dimensions of its calibration coefficients.
    std::vector<double> wavelengths;
    std::string wavelength_name;
    std::string coefficients_name;   // "ES_coefficients": the coefficients per channel
    std::string coefficient_dimension;  // "ES_coefficient"
    std::size_t coefficient_count = 0;  // the most any channel has
};

struct CNetcdfPlan {
    std::vector<CNetcdfVariable> variables;
    bool time = false;                 // a time(frame) variable of the time tags
    bool frame_counter_flags = false;  // frame_counter_error(frame)
    bool check_sum_flags = false;      // check_sum_error(frame)
    // Numbers per frame (1-D variables, channels of 2-D ones, the time).
    std::size_t numbers_per_frame = 0;
    std::size_t texts_per_frame = 0;
};

CNetcdfPlan PlanNetcdf(const COutputColumns& columns);

// A name of letters, digits and underscores that begins with a letter: every
// other character becomes "_", runs of "_" become one ("TIME(UTC)" becomes
// "TIME_UTC").
std::string NetcdfName(std::string_view text);

}  // namespace dravik
