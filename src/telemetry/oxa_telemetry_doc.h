// The document base class: owns one telemetry control for its lifetime,
// exposes the control operations the program uses as virtual operations of
// its own, receives the control's five callbacks, and recognises the frame
// counter and check sum sensors of an instrument.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "platform/frame_data.h"
#include "telemetry/telem_comm.h"
#include "telemetry/telem_control.h"

namespace dravik {

class CLogSource;
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
    // counts: -1) and the others do nothing.
    virtual int AddCommResource(CLogSource* log, int buffer_size);
    virtual int AddCommResource(const CSerialSettings& settings);
    virtual int RemoveCommResource(const std::string& name);
    virtual int AddInstrument(const std::string& file_name);
    virtual int RemoveInstrument(const std::string& header);
    virtual int AttachInstrument(const std::string& header, const std::string& resource_name,
                                 int no_sync = 0);
    virtual int CommResourceExists(int resource);  // 0 without a control
    virtual int ConnectCommResource(int resource);
    virtual int StartAcquisition(int instrument);
    virtual int GetBytesDiscarded(std::int64_t& count, int resource);
    virtual int GetInstrumentFileType(int instrument, std::string& text);
    virtual int GetInstrumentSerialNumber(int instrument, std::string& text);
    virtual int GetInstrumentHeader(std::string& header, int instrument);
    virtual int GetCommResourceId(std::string& name, int resource);
    virtual int GetCommResourceCount();
    virtual int GetInstrumentSensorCount(int instrument);
    virtual CSensor* GetInstrumentSensors(int instrument, int sensor);
    virtual void ResetBytesDiscarded(int resource);
    virtual void GetFileFrame(int resource);
    virtual void ReportMessage(const std::string& text, int code = 0);
    // Waits until the processing thread has carried out everything queued so
    // far (messages delivered through OnTelemetryMessage, removed resources
    // deleted). Must not be called with the document's own lock held.
    void WaitForQueuedCommands();

    // The frame counter and check sum sensors of an instrument: the index of
    // the first sensor that passes every test, or -1.
    virtual int FindFrameCounterSensor(int instrument);
    virtual int FindChecksumSensor(int instrument);

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

  private:
    using SensorTest = std::function<bool(const CSensor&)>;
    int FindSensor(int instrument, const std::string& type, const SensorTest& test);
    std::tm LocalNow() const;

    std::atomic<bool> m_control_present{false};
    std::unique_ptr<CTelemControl> m_control;
    std::function<std::tm()> m_local_clock;
};

}  // namespace dravik
