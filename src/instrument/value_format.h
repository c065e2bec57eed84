// The text of a sensor's value in an output column: the value's kind (data type
// and fit) decides whether it is written raw, calibrated, as a time text or as
// the text of its value error code.
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
#include "instrument/number_format.h"
#include "instrument/sensor.h"
#include "instrument/sensor_format.h"

namespace dravik {

// The text of a value error code: "Error 1" to "Error 8" for 0x20000001 to
// 0x20000008, "Error 0" for every other code.
void GetValueErrorText(std::string& out, int code);

// The number a signed raw value stands for when no fit applies: a BS field of
// one or two bytes read back as an 8- or 16-bit signed number (its decoding
// does not sign-extend), so the byte 0xFF stands for -1; any other value as it is.
std::int32_t SignedRawNumber(const CSensor& sensor, std::int32_t value) noexcept;

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

}  // namespace dravik
