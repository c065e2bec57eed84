// The document base class: owns one telemetry control for its lifetime,
// exposes every control operation as a virtual operation of its own, receives
// the control's five callbacks, and recognises special sensors of an instrument.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "instrument/sensor_format.h"
#include "platform/frame_data.h"
#include "telemetry/telem_comm.h"
#include "telemetry/telem_control.h"

namespace dravik {

class CDiskFile;
class CSensor;

class COxaTelemetryDoc {
  public:
    // Creates the control (and so starts its processing thread).
    COxaTelemetryDoc();
    // Shuts the control down. A derived document must call DeleteContents() in
    // its own destructor: the control's callbacks must not reach a document
    // whose derived part is already gone.
    virtual ~COxaTelemetryDoc();
    COxaTelemetryDoc(const COxaTelemetryDoc&) = delete;
    COxaTelemetryDoc& operator=(const COxaTelemetryDoc&) = delete;

    // A new control for a new or opened document (an existing one is shut down
    // and deleted first).
    void NewControl();
    // Shuts the control down and deletes it.
    virtual void DeleteContents();
    bool HasControl() const noexcept { return m_control_present; }
    CTelemControl* GetControl() noexcept { return m_control.get(); }

    // Telemetry operations, forwarded to the control. Without a control the
    // operations answer 0x50000000 (those returning a flag or an object: 0;
    // counts, values and indexes: -1) and the others do nothing.
    virtual int AddCommResource(CDiskFile* file, int buffer_size);
    virtual int AddCommResource(const CSerialSettings& settings);
    virtual int RemoveCommResource(const std::string& name);
    virtual int ModifyCommResource(const std::string& name, const CSerialSettings& settings);
    virtual int AddInstrument(const std::string& file_name);
    virtual int RemoveInstrument(const std::string& header);
    virtual int AttachInstrument(const std::string& header, const std::string& resource_name,
                                 int no_sync = 0);
    virtual int DetachInstrument(const std::string& header);
    virtual int CommResourceExists(int resource);  // 0 without a control
    virtual int ConnectCommResource(int resource);
    virtual int DisconnectCommResource(int resource);
    virtual int StartAcquisition(int instrument);
    virtual int StopAcquisition(int instrument);
    virtual int GetBytesDiscarded(std::int64_t& count, int resource);
    virtual int GetCommInfo(int resource, CFileResourceSettings& settings);
    virtual int GetCommInfo(int resource, CSerialSettings& settings);
    virtual int GetAbortCode(int resource, int& code);
    virtual int GetInstrumentFileType(int instrument, std::string& text);
    virtual int GetInstrumentFileName(int instrument, std::string& text);
    virtual int GetInstrumentSerialNumber(int instrument, std::string& text);
    virtual int GetInstrumentCommResource(std::string& name, int instrument);
    virtual int GetInstrumentHeader(std::string& header, int instrument);
    virtual int GetCommResourceId(std::string& name, int resource);
    virtual int GetInstrumentCount();
    virtual int GetCommResourceCount();
    virtual int GetInstrumentLinesRead(int instrument);
    virtual int GetInstrumentFrameSize(int instrument);
    virtual int GetInstrumentSensorCount(int instrument);
    virtual int FindInstrument(const std::string& header);
    virtual int FindCommResource(const std::string& name);
    virtual int FindInstrumentSensor(int instrument, const std::string& type, int start);
    virtual CSensor* GetInstrumentSensors(int instrument, int sensor);
    virtual void ResetBytesDiscarded(int resource);
    virtual void GetFileFrame(int resource);
    virtual void ReportMessage(const std::string& text, int code = 0);
    // Waits until the processing thread has carried out everything queued so
    // far (messages delivered through OnTelemetryMessage, removed resources
    // deleted). Must not be called with the document's own lock held.
    void WaitForQueuedCommands();

    // Sensor values of one frame (the free functions of instrument/value_format.h
    // do the work; a derived document may change how a column is written).
    // The sensor's calibrated value as a number; 0 or a value error code.
    virtual int ConvertSensorValue(double& out, CSensor& sensor, const CFrameData* frame);
    // The column text of the sensor in this frame.
    virtual void FormatSensorValue(std::string& out, CSensor& sensor, const CFrameData* frame,
                                   const CSensorFormat& format);
    // "Error 1" ... "Error 8", "Error 0" for any other code.
    virtual void GetValueErrorText(std::string& out, int code);

    // Special sensors of an instrument: the index of the first sensor that
    // passes every test, or -1.
    virtual int FindFrameCounterSensor(int instrument);
    virtual int FindChecksumSensor(int instrument);
    virtual int FindTimerSensor(int instrument);
    virtual int FindTiltSensor(int instrument, const std::string& identifier);
    virtual int FindStrainSensor(int instrument);
    virtual int FindPressureSensor(int instrument);
    virtual int FindTemperatureSensor(int instrument);
    virtual int FindConductivitySensor(int instrument);
    virtual int FindBetaRedSensor(int instrument);
    virtual int FindBetaBlueSensor(int instrument);
    virtual int FindSensorNear490(int instrument, const std::string& type);
    virtual int FindCdomSensor(int instrument);
    virtual int FindIrradianceSensor(int instrument, int downwelling);

    // A signed raw value as its column text (BS fields of 1 and 2 bytes are
    // taken as 8- and 16-bit numbers).
    void FormatSignedRaw(std::string& out, const CSensor& sensor, const CSensorFormat& format,
                         std::int32_t value);
    // A double in the "f", "e" or "g" form of the format, always with a point.
    void FormatDouble(std::string& out, double value, const CSensorFormat& format);

    // Callbacks of the control, all on its processing thread.
    //
    // One message, possibly several lines. The base implementation stamps every
    // line in place with the local date and time (see StampMessage).
    virtual void OnTelemetryMessage(std::string& text);
    // One frame of the named resource, or none when the request produced none
    // (end of data, or a read error). The receiver owns the frame; the base
    // implementation deletes it.
    virtual void OnTelemetryFrame(const std::string& resource_name,
                                  std::unique_ptr<CFrameData> frame);
    virtual void OnFileResourceStatus(const std::string& resource_name, int file_error_cause,
                                      int end_of_file, int file_open);
    virtual void OnCommResourceStatus(const std::string& resource_name, int status);
    virtual void OnInstrumentStatus(const std::string& header, int status);

    // Stamps every line of `text` with "%Y-%m-%d  %H:%M:%S> " of `local`: a
    // line beginning with a tab and an empty line are left unstamped (the first
    // line is always stamped); text after the last CR LF is dropped.
    static std::string StampMessage(const std::string& text, const std::tm& local);

    // The clock used for stamping (local broken-down time); tests inject one.
    void SetLocalClock(std::function<std::tm()> clock) { m_local_clock = std::move(clock); }

  protected:
    std::tm LocalNow() const;

  private:
    using SensorTest = std::function<bool(const CSensor&)>;
    int FindSensor(int instrument, const std::string& type, const SensorTest& test);

    std::atomic<bool> m_control_present{false};
    std::unique_ptr<CTelemControl> m_control;
    std::function<std::tm()> m_local_clock;
};

}  // namespace dravik
