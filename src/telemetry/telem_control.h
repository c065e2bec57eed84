// The one object through which the program uses telemetry acquisition. It owns
// the communications resources and the instruments, records which instrument is
// attached to which resource, and runs a processing thread that carries every
// event of the resources (messages, status, frames) to the document.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "telemetry/telem_comm.h"

namespace dravik {

class CDiskFile;
class CInstrument;
class CSensor;
class COxaTelemetryDoc;

// Result codes of the control.
enum TelemControlCode : int {
    kControlResourceNotFound = 0x40000001,
    kControlResourceDefined = 0x40000002,
    kControlResourceInvalid = 0x40000003,
    kControlInstrumentNotFound = 0x40000004,
    kControlInstrumentDefined = 0x40000005,
    kControlInstrumentInvalid = 0x40000006,
    kControlNotAFile = 0x40000007,
    kControlNotASerialPort = 0x40000008,
    kControlInstrumentLineErrors = 0x40000009,
    kControlRemovalPending = 0x4000000A,
    kNoTelemetryControl = 0x50000000,
};

// One command for the processing thread: an event of the named resource (an
// empty name stands for the control's own messages).
struct CProcessCommand {
    std::string resource_name;
    int code = 0;
    std::uint64_t marker = 0;  // kCmdFlushMarker: its number
};

// A command of the control's own: every command queued before it has been
// carried out once the processing thread has passed it.
inline constexpr int kCmdFlushMarker = 6;

// Synchronization bytes of an instrument of another maker, written in the units
// of its SPECIAL line: "\x" with two hexadecimal digits is one byte, any other
// character is its own byte; at most `max_bytes` are stored. After an escape
// that does not convert cleanly no later escape is stored; plain characters
// still are. Returns the number of bytes stored.
int DecodeSyncBytes(const std::string& units, std::uint8_t* bytes, int max_bytes);

class CTelemControl final : public CTelemCommOwner {
  public:
    // Starts the processing thread; `doc` receives every callback (may be null
    // in tests that only watch results). The control does not own the document.
    explicit CTelemControl(COxaTelemetryDoc* doc);
    ~CTelemControl() override;  // runs Shutdown while still active
    CTelemControl(const CTelemControl&) = delete;
    CTelemControl& operator=(const CTelemControl&) = delete;

    // Resources. A file resource is named by the file's full path; the file
    // object stays the caller's and must outlive the resource.
    int AddCommResource(CDiskFile* file, int buffer_size);
    int AddCommResource(const CSerialSettings& settings);
    int RemoveCommResource(const std::string& name);
    int ModifyCommResource(const std::string& name, const CSerialSettings& settings);

    // Instruments.
    int AddInstrument(const std::string& file_name);
    int RemoveInstrument(const std::string& header);
    int AttachInstrument(const std::string& header, const std::string& resource_name,
                         int no_sync = 0);
    int DetachInstrument(const std::string& header);

    int CommResourceExists(int resource);
    int ConnectCommResource(int resource);
    int DisconnectCommResource(int resource);
    int StartAcquisition(int instrument);
    int StopAcquisition(int instrument);
    int GetBytesDiscarded(std::int64_t& count, int resource);
    int GetCommInfo(int resource, CFileResourceSettings& settings);
    int GetCommInfo(int resource, CSerialSettings& settings);
    int GetAbortCode(int resource, int& code);
    int GetInstrumentFileType(int instrument, std::string& text);
    int GetInstrumentFileName(int instrument, std::string& text);
    int GetInstrumentSerialNumber(int instrument, std::string& text);
    int GetInstrumentCommResource(std::string& name, int instrument);  // 1 or 0
    int GetInstrumentHeader(std::string& header, int instrument);      // 1 or 0
    int GetCommResourceId(std::string& name, int resource);            // 1 or 0
    int GetInstrumentCount();
    int GetCommResourceCount();
    int GetInstrumentLinesRead(int instrument);    // -1 on failure
    int GetInstrumentFrameSize(int instrument);    // -1 on failure
    int GetInstrumentSensorCount(int instrument);  // -1 on failure
    int FindInstrument(const std::string& header);
    int FindCommResource(const std::string& name);
    // First sensor after `start` whose type matches ignoring case, or -1.
    int FindInstrumentSensor(int instrument, const std::string& type, int start);
    // The sensor stays the instrument's; valid until the instrument is removed.
    CSensor* GetInstrumentSensors(int instrument, int sensor);
    void ResetBytesDiscarded(int resource);
    // Asks the processing thread for one frame of a file resource; the frame,
    // or none, arrives through the document's OnTelemetryFrame.
    void GetFileFrame(int resource);
    // Queues a message of the control, with the explanation of `code` appended.
    void ReportMessage(const std::string& text, int code = 0);

    // Flush markers. QueueMarker queues a numbered marker behind everything
    // queued so far (0 when nothing can be queued any more); WaitForMarker
    // returns once the processing thread has finished the batch that held
    // it, so every earlier command has been carried out (messages delivered,
    // a removed resource deleted). Returns at once on the processing thread
    // itself and once the thread has ended.
    std::uint64_t QueueMarker();
    void WaitForMarker(std::uint64_t marker);
    // Both in one.
    void WaitForQueuedCommands() { WaitForMarker(QueueMarker()); }

    // Removes every resource and instrument and stops the processing thread.
    void Shutdown();
    void StopThread();
    bool IsActive();
    bool IsThreadRunning();

    // Resource notifications (CTelemCommOwner).
    void QueueCommand(const std::string& resource_name, int code) override;

    // How long the processing thread lingers after a stop request before its
    // last look at the queue (0 by default: nothing can be queued once it is
    // stopping, so there is nothing to wait for).
    void SetStopDelay(int milliseconds);

  private:
    void ThreadMain();
    int RunIteration();
    void ProcessCommand(const CProcessCommand& command);
    CTelemComm* ResourceByName(const std::string& name);  // resource list lock held
    int CheckResource(int index, CTelemComm*& comm);      // 0 or 0x40000003/1
    int CheckInstrument(int index, CInstrument*& inst);   // 0 or 0x40000006/4
    // Runs `read` on instrument `index` under the access lock; a bad index
    // logs `failure` with its code. Returns 0 or that code.
    template <class Read>
    int QueryInstrument(int index, const char* failure, Read&& read);
    // The same for resource `index`.
    template <class Use>
    int QueryResource(int index, const char* failure, Use&& use);
    static std::string Explanation(int code);

    COxaTelemetryDoc* m_doc;

    // Lock order: resource list lock, then (on the processing thread, inside
    // the document's callbacks) the document's own lock, then instrument lock,
    // then access lock, then a resource's own locks; the queue lock is taken
    // last and only briefly. The resource list lock is held for one batch of
    // commands: those queued when the batch began. Commands queued by the
    // callbacks of a batch (the next frame request) wait for the next batch,
    // so another thread adding or removing a resource waits one batch at most.
    std::recursive_mutex m_resource_lock;
    std::recursive_mutex m_instrument_lock;
    std::recursive_mutex m_access_lock;
    std::mutex m_queue_lock;
    std::condition_variable m_queue_cv;
    std::mutex m_thread_lock;
    std::condition_variable m_thread_cv;

    // Guarded by the queue lock.
    std::deque<CProcessCommand> m_commands;
    std::string m_message_text;
    bool m_stop_requested = false;
    bool m_stopping = false;
    int m_stop_delay_ms = 0;
    std::uint64_t m_last_marker = 0;    // the last number handed out
    std::uint64_t m_passed_marker = 0;  // the last one whose batch has finished
    bool m_markers_final = false;       // the thread has ended: nothing more passes
    std::condition_variable m_marker_cv;

    // Guarded by the thread lock.
    bool m_thread_started = false;
    bool m_thread_ended = false;
    bool m_thread_running = false;
    bool m_active = true;

    // Guarded by the resource list lock (names also by the access lock).
    std::vector<std::unique_ptr<CTelemComm>> m_resources;
    std::vector<std::string> m_resource_names;
    std::unique_ptr<CTelemComm> m_pending_deletion;

    // Guarded by the instrument lock.
    std::vector<std::unique_ptr<CInstrument>> m_instruments;
    std::vector<std::string> m_headers;
    std::vector<int> m_attachment;  // resource index per instrument, or -1

    std::thread m_thread;
};

}  // namespace dravik
