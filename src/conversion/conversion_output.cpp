#include "conversion/conversion_output.h"

#include "conversion/csv_output.h"
#include "conversion/netcdf_output.h"
#include "conversion/text_output.h"
#include "platform/disk_file.h"
#include "settings/output_format.h"

namespace dravik {

std::string CConversionOutput::GetFailureText(int cause) const {
    return FileErrorText(cause, FileErrorWording::kConversion);
}

std::unique_ptr<CConversionOutput> MakeConversionOutput(const CDravikParameters& params) {
    switch (OutputFormatOf(params.output_format)) {
        case kOutputCsv:
            return std::make_unique<CCsvOutput>();
        case kOutputNetcdf:
            return std::make_unique<CNetcdfOutput>();
        case kOutputText:
            break;
    }
    return std::make_unique<CTextOutput>();
}

bool CanConvertHeaders(const CDravikParameters& params) {
    return OutputFormatOf(params.output_format) != kOutputNetcdf;
}

}  // namespace dravik
