#include "conversion/file_error_text.h"

namespace dravik {

const char* GetFileErrorText(int cause) noexcept {
    static const char* const kTexts[] = {
        "No error occurred.",
        "An unspecified error occurred.",
        "The file could not be found.",
        "All or part of the path is invalid.",
        "The permitted number of open files was exceeded.",
        "The file could not be accessed.",
        "There was an attempt to use an invalid file handle.",
        "The current working directory cannot be removed.",
        "There are no more directory entries.",
        "There was an error trying to set the file pointer.",
        "There was a hardware error.",
        "A sharing violation occured, or a shared region was locked.",
        "There was an attempt to lock a region that was already locked.",
        "The disk is full.",
        "The end of file was reached.",
    };
    if (cause < 0 || cause >= static_cast<int>(sizeof kTexts / sizeof kTexts[0])) {
        return "An unknown file error orrured.";
    }
    return kTexts[cause];
}

}  // namespace dravik
