// Texts of the file error causes as the conversion engine reports them.
#pragma once

#include <string>

namespace dravik {

// The text of a file error cause (0 to 14); any other cause gives the
// unknown-error text. The texts carry no line end.
std::string GetFileErrorText(int cause);

}  // namespace dravik
