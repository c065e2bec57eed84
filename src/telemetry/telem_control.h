// The one object through which the program uses telemetry acquisition. It owns
// the communications resources and the instruments, records which instrument is
// attached to which resource, and runs a processing thread that carries every
// event of the resources (messages, status, frames) to the document.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "telemetry/processing_thread.h"
#include "telemetry/telem_comm.h"

namespace dravik {

class CLogSource;
class CInstrument;
class CSensor;
class COxaTelemetryDoc;

class CTelemControl final : public CTelemCommOwner {
  public:
    // Starts the processing thread; `doc` receives every callback (may be null
    // in tests that only watch results). The control does not own the document.
    explicit CTelemControl(COxaTelemetryDoc* doc);
    ~CTelemControl() override;  // runs Shutdown while still active
    CTelemControl(const CTelemControl&) = delete;
    CTelemControl& operator=(const CTelemControl&) = delete;

    // Resources. A file resource is named by its log's name (the full path,
    // or "standard input"); the log stays the caller's and must outlive the
    // resource.
    int AddCommResource(CLogSource* log, int buffer_size);
    int AddCommResource(const CSerialSettings& settings);
    int RemoveCommResource(const std::string& name);

    // Instruments.
    int AddInstrument(const std::string& file_name);
    int RemoveInstrument(const std::string& header);
    int AttachInstrument(const std::string& header, const std::string& resource_name,
                         int no_sync = 0);
    int DetachInstrument(const std::string& header);

    int CommResourceExists(int resource);
    int ConnectCommResource(int resource);
    int StartAcquisition(int instrument);
    int GetBytesDiscarded(std::int64_t& count, int resource);
    // Framing and break errors a serial port's driver counted while connected.
    int GetLineErrorCounts(int resource, std::uint64_t& framing, std::uint64_t& breaks);
    int GetInstrumentFileType(int instrument, std::string& text);
    int GetInstrumentSerialNumber(int instrument, std::string& text);
    int GetInstrumentHeader(std::string& header, int instrument);  // 1 or 0
    int GetCommResourceId(std::string& name, int resource);        // 1 or 0
    int GetCommResourceCount();
    int GetInstrumentSensorCount(int instrument);  // -1 on failure
    int FindInstrument(const std::string& header);
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

    // Returns once the processing thread has carried out everything queued
    // so far (messages delivered, a removed resource deleted); at once on the
    // processing thread itself and once the thread has ended.
    void WaitForQueuedCommands();

    // Removes every resource and instrument and stops the processing thread.
    void Shutdown();

    // Resource notifications (CTelemCommOwner).
    void QueueCommand(const std::string& resource_name, int code) override;

  private:
    // One batch of commands, with the resource list lock held.
    void RunBatch(const CProcessingThread::Batch& batch);
    void ProcessCommand(const CProcessCommand& command);
    CTelemComm* ResourceByName(const std::string& name);  // resource list lock held
    // Adds a resource of that name set up by `init` (0 or its code).
    template <class Init>
    int AddResource(const std::string& name, Init&& init);
    int CheckResource(int index, CTelemComm*& comm);     // 0 or 0x40000003/1
    int CheckInstrument(int index, CInstrument*& inst);  // 0 or 0x40000006/4
    // Runs `read` on instrument `index` under the access lock; a bad index
    // logs `failure` with its code. Returns 0 or that code.
    template <class Read>
    int QueryInstrument(int index, const char* failure, Read&& read);
    // The same for resource `index`.
    template <class Use>
    int QueryResource(int index, const char* failure, Use&& use);

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

    std::atomic<bool> m_active{true};  // cleared by Shutdown

    // Guarded by the resource list lock (names also by the access lock).
    std::vector<std::unique_ptr<CTelemComm>> m_resources;
    std::vector<std::string> m_resource_names;
    std::unique_ptr<CTelemComm> m_pending_deletion;

    // Guarded by the instrument lock.
    std::vector<std::unique_ptr<CInstrument>> m_instruments;
    std::vector<std::string> m_headers;
    std::vector<int> m_attachment;  // resource index per instrument, or -1

    // Last: it starts once everything it works on is there, and stops first.
    CProcessingThread m_thread;
};

}  // namespace dravik
