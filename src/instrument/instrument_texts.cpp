// The texts of the loader's results, of file error causes, of line
// diagnostics and of the actions that follow them.
#include "instrument/instrument.h"

#include "platform/disk_file.h"

namespace dravik {

namespace {

constexpr const char* kAborted = "\tInstrument processing aborted.\r\n";

}  // namespace

const char* CInstrument::GetCodeText(int code) noexcept {
    switch (code) {
        case kInstrumentOk:
            return "\tNo error.\r\n";
        case kInstrumentNoFileName:
            return "\tThe Calibration or Telemetry Definition File was not specified.\r\n"
                   "\tInstrument processing aborted.\r\n";
        case kInstrumentAlreadyLoaded:
            return "\tThe instrument has already been defined.\r\n\tInstrument processing "
                   "aborted.\r\n";
        // The file error line comes first for these two.
        case kInstrumentOpenFailed:
        case kInstrumentReadFailed:
            return kAborted;
        case kInstrumentTooManyMalformedLines:
            return "\tThe file format is invalid or corrupted.\r\n\tInstrument processing "
                   "aborted.\r\n";
        case kInstrumentNoInstrumentLine:
            return kAborted;
        case kInstrumentNoTerminator:
            return "\tThe TERMINATOR delimiter could not be found.\r\n"
                   "\tInstrument processing aborted.\r\n";
        case kInstrumentBadFitType:
            return "\tThe fit type parameter is invalid.\r\n\tInstrument processing aborted.\r\n";
        case kInstrumentBadFieldLength:
            return "\tThe field length parameter is invalid.\r\n\tInstrument processing "
                   "aborted.\r\n";
        case kInstrumentBadDataType:
            return "\tThe data type parameter is invalid.\r\n\tInstrument processing aborted.\r\n";
        case kInstrumentBadGainRanges:
            return "\tThe gain range parameter is invalid.\r\n\tInstrument processing aborted.\r\n";
        case kInstrumentInvalidSensorIndex:
            return "\tThe sensor reference is invalid.\r\n";
        case kInstrumentSensorNotFound:
            return "\tThe sensor could not be found.\r\n";
        default:
            return "\tUnknown error.\r\n";
    }
}

std::string CInstrument::GetFileErrorText(int cause) {
    return FileErrorText(cause, FileErrorWording::kInstrument);
}

const char* CInstrument::GetDiagnosticText(int code) noexcept {
    switch (code) {
        case 0:
            return "No error.\r\n";
        case kDiagLineFormat:
            return "Unexpected sensor definition line format.\r\n";
        case kDiagUnits:
            return "The units parameter format is invalid.\r\n";
        case kDiagFitType:
            return "The fit type parameter is invalid.\r\n";
        case kDiagMoreGainRanges:
            return "More gain ranges expected before the end of file.\r\n";
        case kDiagGainCoefficient:
            return "Invalid gain coefficient found in gain range line.\r\n";
        case kDiagGainCoefficientCount:
            return "Unexpected number of gain coefficients found in gain range line.\r\n";
        case kDiagFieldLength:
            return "The field length parameter is invalid.\r\n";
        case kDiagDataType:
            return "The data type parameter is invalid.\r\n";
        case kDiagGainRanges:
            return "The gain range parameter is invalid.\r\n";
        case kDiagVariableInFixedFrame:
            return "Variable field length parameter found in a fixed frame length format.\r\n";
        case kDiagAfterTerminator:
            return "Cannot have sensors defined after the TERMINATOR delimiter.\r\n";
        case kDiagDelimiterLine:
            return "Invalid DELIMITER definition line.\r\n";
        case kDiagNotVariableField:
            return "The field length parameter does not specify a variable length field.\r\n";
        case kDiagFieldDelimiterLength:
            return "The FIELD delimiter field length is invalid.\r\n";
        case kDiagTerminatorLength:
            return "The TERMINATOR delimiter field length is invalid.\r\n";
        case kDiagDelimiterFitUse:
            return "Invalid use of the DELIMITER fit type.\r\n";
        case kDiagNoIntegrationSensor:
            return "No valid integration time sensor was found.\r\n";
        default:
            return "Unknown error.\r\n";
    }
}

const char* CInstrument::GetActionText(LoadAction action) noexcept {
    switch (action) {
        case LoadAction::kNone:
            return "\t\t> No action taken.\r\n";
        case LoadAction::kSensorIgnored:
            return "\t\t> Sensor ignored.\r\n";
        case LoadAction::kUnitsIgnored:
            return "\t\t> Sensor units ignored.\r\n";
        case LoadAction::kExtraParametersIgnored:
            return "\t\t> Extra sensor definition line parameters ignored.\r\n";
        case LoadAction::kCoefficientIgnored:
            return "\t\t> Gain coefficient ignored.\r\n";
        case LoadAction::kExtraCoefficientsIgnored:
            return "\t\t> Extra gain coefficients ignored.\r\n";
        case LoadAction::kFitSetToNone:
            return "\t\t> Fit type set to NONE.\r\n";
        case LoadAction::kDataSetToBU:
            return "\t\t> Data type set to BU.\r\n";
        case LoadAction::kDataSetToAF:
            return "\t\t> Data type set to AF.\r\n";
        case LoadAction::kDataSetToAS:
            return "\t\t> Data type set to AS.\r\n";
        case LoadAction::kDataSetToAI:
            return "\t\t> Data type set to AI.\r\n";
        case LoadAction::kGainRangesSetTo0:
            return "\t\t> Gain ranges set to 0.\r\n";
        case LoadAction::kGainRangesSetTo1:
            return "\t\t> Gain ranges set to 1.\r\n";
        case LoadAction::kGainRangesSetTo4:
            return "\t\t> Gain ranges set to 4.\r\n";
        case LoadAction::kFieldLengthSetTo1:
            return "\t\t> Field length set to 1.\r\n";
        case LoadAction::kFieldLengthSetTo4:
            return "\t\t> Field length set to 4.\r\n";
        case LoadAction::kFieldLengthSetTo8:
            return "\t\t> Field length set to 8.\r\n";
        case LoadAction::kFieldDelimiterSetToComma:
            return "\t\t> FIELD delimiter set to \",\".\r\n";
        case LoadAction::kTerminatorSetToCrLf:
            return "\t\t> TERMINATOR delimiter set to \"\\x0D\\x0A\".\r\n";
    }
    return "\t\t> Unknown action.\r\n";
}

}  // namespace dravik
