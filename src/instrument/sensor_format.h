// How one sensor value is written: the conversion parameters "Double Type",
// "Apply Fit", "Hex Format", "Width" and "Precision".
#pragma once

namespace dravik {

struct CSensorFormat {
    int double_type = 0;  // 0 fixed-point ("f"), 1 exponent ("e"), any other value shortest ("g")
    int apply_fit = 0;    // apply the sensor's fit; when clear, raw values are written
    int hex_format = 0;   // raw integer values in hexadecimal (only when apply_fit is clear)
    int width = -1;       // minimum field width; below 1 means none
    int precision = -1;   // digits after the point (significant digits for "g"); negative: default
};

}  // namespace dravik
