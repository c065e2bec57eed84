// Formatting of sensor values into the text of an output column.
//
// Every value of every row goes through these functions, so each has an appending
// form that writes into a caller-owned string: a string reused for a whole row
// grows once and then formats without allocating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "instrument/frame_integration_times.h"
#include "instrument/sensor.h"
#include "instrument/sensor_format.h"

namespace dravik {

// Width and precision beyond this are treated as this. The parameter dialog and the
// command line accept no more, but the registry hands over any integer, and a width of
// two billion would make every cell two gigabytes (or make the C formatter fail).
inline constexpr int kMaxFormatWidth = 32767;
inline constexpr int kMaxFormatPrecision = 32767;

// ---------------------------------------------------------------------------------
// Floating-point values.
//
// The text is exactly what the C formatter writes in the "C" locale for "%#*.*f",
// "%#*.*e" or "%#*.*g" (Double Type 0, 1, anything else), with the width only when
// it is 1 or more and the precision only when it is 0 or more: a decimal point is
// always written, "g" keeps its trailing zeros, the text is right-aligned with blanks.
// The text never depends on the program's locale.
//
// "g" follows the C standard's definition even where the C library of some systems
// does not: when rounding carries into a new power of ten in the "e" style (999999.7
// at six digits) that library drops the trailing zeros and writes "1.e+06" instead of
// "1.00000e+06".
// ---------------------------------------------------------------------------------

// Appends the text of value to out.
void AppendDouble(std::string& out, double value, const CSensorFormat& fmt);
// Replaces out with the text of value.
void FormatDouble(std::string& out, double value, const CSensorFormat& fmt);
// Writes the text into [buf, buf + size) without a terminating zero and returns its
// length, or -1 when it does not fit (nothing useful is then in buf).
int FormatDoubleChars(char* buf, int size, double value, const CSensorFormat& fmt) noexcept;

// ---------------------------------------------------------------------------------
// Sensor values.
// ---------------------------------------------------------------------------------

// The text of a value error code: "Error 1" to "Error 8" for 0x20000001 to
// 0x20000008, "Error 0" for every other code.
void GetValueErrorText(std::string& out, int code);
void AppendValueErrorText(std::string& out, int code);

// A signed raw value as written when no fit applies: a BS field of one or two bytes
// is read back as an 8- or 16-bit signed number (its decoding does not sign-extend),
// so the byte 0xFF is written -1. Decimal, right-aligned to the format's width.
void FormatSignedRaw(std::string& out, const CSensor& sensor, const CSensorFormat& fmt,
                     std::int32_t value);
// The number a signed raw value stands for when no fit applies: a short BS
// field sign-extended, any other value as it is.
std::int32_t SignedRawNumber(const CSensor& sensor, std::int32_t value) noexcept;
void AppendSignedRaw(std::string& out, const CSensor& sensor, const CSensorFormat& fmt,
                     std::int32_t value);

// The column text of the sensor in this frame: the raw or calibrated value, a time
// text, or the error text of a value that cannot be decoded or calibrated, all padded
// to the format's width so that rows keep their columns. A delimited AI, AF (or BS)
// field that holds no number gives a blank column.
void FormatSensorValue(std::string& out, CSensor& sensor, const CFrameData* frame,
                       const CSensorFormat& fmt);
void AppendSensorValue(std::string& out, CSensor& sensor, const CFrameData* frame,
                       const CSensorFormat& fmt);

// The value columns of the rows of one conversion, with the texts of
// AppendSensorValue. The sensors of a running conversion do not change, so
// what each value needs is resolved once: values are decoded without taking
// the sensors' locks or storing into them, and the integration time an OPTIC3
// value is calibrated with is evaluated once per frame for every OPTIC3 sensor
// that shares its integration time sensor, not once per value. The sensors
// must outlive the rows and keep their definition meanwhile.
class CRowValues {
  public:
    // The sensor of each column, in column order; null stands for a sensor
    // that could not be obtained ("Error 0").
    void Prepare(std::vector<CSensor*> sensors);
    // Starts the values of the next frame.
    void BeginFrame() noexcept;
    // Appends the text of one column for the frame begun last.
    void AppendValue(std::string& out, std::size_t column, const CFrameData& frame,
                     const CSensorFormat& fmt);

  private:
    std::vector<CSensor*> m_sensors;
    CFrameIntegrationTimes m_times;
    std::string m_scratch;
};

// The sensor's calibrated value in this frame as a number; returns the value error
// code of the first step that fails (0x20000001 for a text sensor).
int ConvertSensorValue(double& out, CSensor& sensor, const CFrameData* frame);

}  // namespace dravik
