// The spectral groups of a conversion's columns: the channels of a sensor type
// that measures one quantity at several wavelengths (two or more sensors of
// one type and units with numeric identifiers and an OPTIC fit, such as
// ES 350.0 ... ES 769.1). The NetCDF file gathers each group into one 2-D
// variable; the quick look draws it as a spectrum.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "conversion/conversion_output.h"

namespace dravik {

struct CSpectralGroup {
    std::string type;  // the sensors' type ("ES")
    // The group's columns among the output sensors and their wavelengths
    // (nm), in the order of the wavelengths.
    std::vector<std::size_t> columns;
    std::vector<double> wavelengths;
};

// The groups in the order of their types' names. The check sum column and
// text sensors never belong to one; a type whose channels share a wavelength
// or differ in units is no group.
std::vector<CSpectralGroup> FindSpectralGroups(const COutputColumns& columns);

}  // namespace dravik
