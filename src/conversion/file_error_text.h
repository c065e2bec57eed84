// Texts of the file error causes as the conversion engine reports them.
#pragma once

namespace dravik {

// The text of a file error cause (0 to 14); any other cause gives the
// unknown-error text. The texts carry no line end.
const char* GetFileErrorText(int cause) noexcept;

}  // namespace dravik
