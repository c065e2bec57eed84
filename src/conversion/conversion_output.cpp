#include "conversion/conversion_output.h"

#include "conversion/text_output.h"
#include "platform/disk_file.h"

namespace dravik {

std::string CConversionOutput::GetFailureText(int cause) const {
    return FileErrorText(cause, FileErrorWording::kConversion);
}

std::unique_ptr<CConversionOutput> MakeConversionOutput(const CDravikParameters& /*params*/) {
    return std::make_unique<CTextOutput>();
}

}  // namespace dravik
