// Result codes of the telemetry layer, and the explanation each appends to
// the message of the operation that failed with it. 0 is success.
#pragma once

#include <string>

namespace dravik {

// Result codes of a communications resource.
enum TelemCommCode : int {
    kCommReadError = 0x10000001,
    kCommStatusEventError = 0x10000002,
    kCommReadBufferInitError = 0x10000006,
    kCommStatusError = 0x10000007,
    kCommPortOpenFailed = 0x10000008,
    kCommOpenError = 0x10000009,
    kCommSetupError10 = 0x10000010,
    kCommSetupError12 = 0x10000012,
    kCommSetupError13 = 0x10000013,
    kCommSetupError14 = 0x10000014,
    kCommReaderStartFailed = 0x10000015,
    kCommThreadError = 0x10000016,
    kCommNotAttached = 0x10000017,
    kCommAlreadyAttached = 0x10000018,
    kCommNotInitialized = 0x10000019,
    kCommReinitialize = 0x10000020,
    kCommStillConnected = 0x10000022,
    kCommInvalidFile = 0x10000023,
    kCommInvalidPort = 0x10000024,
    kCommGlobalSyncOff = 0x10000025,
    kCommAbortNotReset = 0x10000026,
    kCommFileError = 0x10000027,
    kCommFileNotOpen = 0x10000028,
    kCommNoSyncAttached = 0x10000029,
    kCommNoSyncAlone = 0x10000030,
    kCommBsiSyncCount = 0x10000031,
};

// The explanation of a resource's code: for the serial port's read steps the
// system's text of `system_error` (ending with "Connection failed." while the
// port is `connecting`), for the setup steps that of errno, for a file error
// the text of `file_error`; empty for 0 and codes without one.
std::string CommExplanation(int code, int system_error, bool connecting, int file_error);

// Result codes of the control.
enum TelemControlCode : int {
    kControlResourceNotFound = 0x40000001,
    kControlResourceDefined = 0x40000002,
    kControlResourceInvalid = 0x40000003,
    kControlInstrumentNotFound = 0x40000004,
    kControlInstrumentDefined = 0x40000005,
    kControlInstrumentInvalid = 0x40000006,
    kControlNotAFile = 0x40000007,
    kControlInstrumentLineErrors = 0x40000009,
    kControlRemovalPending = 0x4000000A,
    kNoTelemetryControl = 0x50000000,
};

// The explanation of a control's code; empty for codes without one.
std::string ControlExplanation(int code);

}  // namespace dravik
