#include "conversion/conversion_output.h"

#include "conversion/file_error_text.h"
#include "conversion/text_output.h"

namespace dravik {

std::string CConversionOutput::GetFailureText(int cause) const {
    return GetFileErrorText(cause);
}

std::unique_ptr<CConversionOutput> MakeConversionOutput(const CDravikParameters& /*params*/) {
    return std::make_unique<CTextOutput>();
}

}  // namespace dravik
