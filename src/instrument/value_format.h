// The text of a sensor's value in an output column: the value's kind (data type
// and fit) decides whether it is written raw, calibrated, as a time text or as
// the text of its value error code.
//
// Every value of every row goes through these functions, so each has an appending
// form that writes into a caller-owned string: a string reused for a whole row
// grows once and then formats without allocating.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "instrument/number_format.h"
#include "instrument/sensor.h"
#include "instrument/sensor_format.h"

namespace dravik {

// The text of a value error code: "Error 1" to "Error 8" for 0x20000001 to
// 0x20000008, "Error 0" for every other code.
void GetValueErrorText(std::string& out, int code);

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
    struct FrameTime {
        const CSensor* source;  // the integration time sensor (null: none)
        const CSensor* user;    // an OPTIC3 sensor that uses it
        CIntegrationTime time;
        bool evaluated;
    };
    std::vector<CSensor*> m_sensors;
    std::vector<int> m_time_of;  // per column: its entry in m_times, or -1
    std::vector<FrameTime> m_times;
    std::string m_scratch;
};

}  // namespace dravik
