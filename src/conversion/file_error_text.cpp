#include "conversion/file_error_text.h"

#include <string_view>

#include "platform/disk_file.h"

namespace dravik {

std::string GetFileErrorText(int cause) {
    // The engine words the sharing violation its own way and has its own
    // unknown-cause text; every other text is the file layer's, without its
    // line end.
    if (cause == kFileSharingViolation) {
        return "A sharing violation occured, or a shared region was locked.";
    }
    const char* text = FileErrorCauseText(cause);
    if (text == nullptr) return "An unknown file error orrured.";
    std::string_view line(text);
    line.remove_suffix(2);
    return std::string(line);
}

}  // namespace dravik
