#include "telemetry/telem_codes.h"

#include <cerrno>

#include "platform/disk_file.h"
#include "telemetry/serial_port.h"

namespace dravik {

namespace {

// The system's text for an error number, with the line end the message lists
// expect.
std::string SystemText(int err) {
    return SystemErrorText(err) + ".\r\n";
}

std::string Tabbed(const std::string& text) {
    std::string out(1, '\t');
    out += text;
    return out;
}

}  // namespace

std::string CommExplanation(int code, int system_error, bool connecting, int file_error) {
    switch (code) {
        case kCommReadError:
        case kCommStatusEventError:
        case kCommReadBufferInitError:
        case kCommStatusError: {
            std::string text = code == kCommReadError          ? "\tRead error: "
                               : code == kCommStatusEventError ? "\tStatus event error: "
                               : code == kCommStatusError      ? "\tCommunications status error: "
                                                          : "\tRead buffer initialization error: ";
            text += SystemText(system_error);
            if (connecting) text += "\tConnection failed.\r\n";
            return text;
        }
        case kCommOpenError:
        case kCommSetupError10:
        case kCommSetupError12:
        case kCommSetupError13:
        case kCommSetupError14:
            return Tabbed(SystemText(errno)) + "\tConnection failed.\r\n";
        case kCommThreadError:
            return Tabbed(SystemText(errno));
        case kCommNotAttached:
            return "\tThe instrument has not been attached or defined.\r\n";
        case kCommAlreadyAttached:
            return "\tThe instrument has already been attached.\r\n";
        case kCommNotInitialized:
            return "\tThe communications resource has not been initialized.\r\n";
        case kCommStillConnected:
            return "\tThe serial port is still connected.\r\n";
        case kCommInvalidFile:
            return "\tInvalid file resource.\r\n";
        case kCommInvalidPort:
            return "\tInvalid serial port identification.\r\n";
        case kCommGlobalSyncOff:
            return "\tGlobal synchronization has been deactivated.\r\n";
        case kCommAbortNotReset:
            return "\tThe telemetry abort code has not been reset.\r\n";
        case kCommFileError:
            return Tabbed(FileErrorText(file_error, FileErrorWording::kResource));
        case kCommFileNotOpen:
            return "\tThe file resource is not open.\r\n";
        case kCommNoSyncAttached:
            return "\tThere is already an instrument attached to this\r\n\tresource with no frame "
                   "synchronization string defined.\r\n\tOnly one of these instruments can be "
                   "attached to the resource.\r\n";
        case kCommNoSyncAlone:
            return "\tThe instrument specifies that no frame synchronization\r\n\tstring will be "
                   "found in the telemetry.\r\n\tOnly one of these instruments can be attached to "
                   "the resource.\r\n";
        case kCommBsiSyncCount:
            return "\tA BSI instrument must be specified with multiples of \r\n\ttwo-byte data "
                   "synchronization arrays, using the SPECIAL \r\n\tsensor definition line.\r\n";
        default:
            return {};
    }
}

std::string ControlExplanation(int code) {
    switch (code) {
        case kControlResourceNotFound:
            return "\tThe communications resource could not be found.\r\n";
        case kControlResourceDefined:
            return "\tThe communications resource has already been defined.\r\n";
        case kControlResourceInvalid:
            return "\tThe communications resource reference is invalid.\r\n";
        case kControlInstrumentNotFound:
            return "\tThe instrument could not be found.\r\n";
        case kControlInstrumentDefined:
            return "\tThe instrument has already been defined.\r\n";
        case kControlInstrumentInvalid:
            return "\tThe instrument reference is invalid.\r\n";
        case kControlNotAFile:
            return "\tThe specified communications resource is not a file.\r\n";
        default:
            return {};
    }
}

}  // namespace dravik
