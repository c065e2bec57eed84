// One communications resource: a log file read in chunks (file resource) or a
// serial port read by its own reader thread. Its frame cutter holds the raw
// telemetry and the attached instruments; the resource drives the cutter's
// passes under its locks, keeps the cut frames in a bounded frame buffer until
// the consumer takes them, keeps its messages, and tells its owner about events.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/frame_data.h"
#include "telemetry/file_source.h"
#include "telemetry/frame_buffer.h"
#include "telemetry/frame_cutter.h"
#include "telemetry/telem_codes.h"

namespace dravik {

class CLogSource;
class CSerialLink;

// Notifications a resource sends its owner (command codes of the control's queue).
enum TelemCommand : int {
    kCmdStatusChanged = 1,
    kCmdFileStatus = 2,
    kCmdMessage = 3,
    kCmdFramesAvailable = 4,
    kCmdRetrieveFrame = 5,
};

// Resource states.
enum TelemCommState : int {
    kStateUninitialized = 0,
    kStateFile = 1,
    kStateFileOwned = 2,
    kStateSerial = 3,
    kStateSerialOwned = 4,
};

// Whoever receives a resource's notifications (the telemetry control).
class CTelemCommOwner {
  public:
    virtual ~CTelemCommOwner() = default;
    // Called with no lock of the resource held, except for kCmdMessage, which
    // is queued inside the resource's message lock; must not call back into it.
    virtual void QueueCommand(const std::string& resource_name, int code) = 0;
};

// What the control hands to Attach for one instrument.
struct AttachInfo {
    std::string header;
    int frame_size = 0;
    std::string terminator;  // empty for a fixed frame
    int no_sync = 0;         // the instrument sends no synchronization string
    std::string special_kind;
    std::uint8_t sync_bytes[CFrameInfo::kMaxSyncBytes] = {};
    int sync_byte_count = 0;
};

// Settings of a serial port resource.
struct CSerialSettings {
    std::string port_name;       // the device path; also the resource name
    int baud_rate = 9600;        // any rate the driver accepts
    std::uint8_t byte_size = 8;  // 5 to 8
    std::uint8_t parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stop_bits = 0;  // 0 one, 1 one and a half, 2 two
    int read_size = 1024;        // bytes per read; also the scan limit
    std::string global_sync;
    int idle_wait_count = 15;
    int max_frame_depth = 200;
};

class CTelemComm {
  public:
    explicit CTelemComm(CTelemCommOwner* owner = nullptr);
    ~CTelemComm();
    CTelemComm(const CTelemComm&) = delete;
    CTelemComm& operator=(const CTelemComm&) = delete;

    // File resource: the open log, which stays the caller's, read in chunks
    // of `buffer_size` bytes as frames are asked for.
    int InitializeFileResource(CLogSource* log, int buffer_size);
    // Forgets the log: a removed resource no longer reads it, so the caller
    // may close it as soon as the resource has been removed.
    void ReleaseFile() noexcept { m_file.Release(); }
    int GetFileErrorCause() { return m_file.TakeErrorCause(); }
    int GetEndOfFile() { return m_file.TakeEndOfFile(); }
    int IsFileOpen() const { return m_file.IsOpen() ? 1 : 0; }

    // Serial port: a termios device opened exclusively and read by a reader
    // thread, which synchronizes the bytes and cuts the frames as they come.
    int InitializeSerialPort(const CSerialSettings& settings);
    // 1 when the port can be opened or another program holds it, else 0.
    int Exists();
    int Connect();
    int Disconnect();
    int GetAbortCode();  // cleared by the call
    // Line errors the driver counted since the port was connected (0 where
    // the driver keeps no counts, such as a pseudo-terminal).
    std::uint64_t GetFramingErrorTotal() const noexcept;
    std::uint64_t GetBreakErrorTotal() const noexcept;

    // Instruments.
    int Attach(const AttachInfo& info);
    int Detach(const std::string& header);
    int EnableAcquisition(const std::string& header);
    int DisableAcquisition(const std::string& header);

    // The oldest cut frame, or none; the caller owns it. A file resource
    // first cuts one: it synchronizes and extracts, reading the file as the
    // cutter asks, until a frame is cut, the data is exhausted, or about a
    // scan limit of unmatched bytes has been dropped.
    std::unique_ptr<CFrameData> RetrieveFrame();
    // Queues raw bytes. On a serial port this is the reader's hand-over: it
    // ends the waiting for telemetry and runs a processing round (which
    // synchronizes and extracts while the passes make progress, then tells
    // the owner when frames are ready).
    void AppendBytes(const void* bytes, std::size_t count);

    std::int64_t GetBytesDiscarded();
    void ResetBytesDiscarded();
    int GetAttachedCount();
    std::string GetInstrumentHeader(int index);
    const std::string& GetName() const noexcept { return m_name; }
    int GetState() const noexcept { return m_state; }
    bool IsFileResource() const noexcept {
        return m_state == kStateFile || m_state == kStateFileOwned;
    }
    bool IsSerialPort() const noexcept {
        return m_state == kStateSerial || m_state == kStateSerialOwned;
    }
    // Status for the owner's status callbacks: 5 for a file resource.
    int GetStatus() const;
    int GetInstrumentStatus(const std::string& header) const;
    std::size_t GetQueuedByteCount() const noexcept { return m_cutter.QueuedBytes(); }

    // Messages.
    void ReportMessage(const std::string& text, int code);
    std::string GetNextMessage();
    bool HasMessages();

  private:
    friend class CSerialLink;

    bool IsOwned() const noexcept {
        return m_state == kStateFileOwned || m_state == kStateSerialOwned;
    }
    void Notify(int code);
    std::string Explanation(int code) const;
    // Enables or disables the acquisition of an attached instrument.
    int SetAcquisition(const std::string& header, bool enable);
    void ProcessBytes();
    int Synchronize();
    int ExtractFrames();
    // Runs a cutter step, reading the file for it as long as it asks.
    template <class Step>
    CFrameCutter::Step Pull(Step&& step);
    // Reads one chunk of the log file into the cutter; returns the bytes queued.
    std::size_t ReadFileResource();
    bool Quiet() const noexcept;
    // Takes the cutter's last cut as the next frame (frame lock held):
    // counter, time stamp, buffer depth, "found" message. Returns which of
    // the two messages were logged.
    enum : int { kFoundLogged = 1, kOverflowLogged = 2 };
    int TakeFrame();
    // A file resource's frame brings the bytes that follow it in the log.
    void AddFollowingBytes(CFrameData& frame, std::size_t length);

    CTelemCommOwner* m_owner;
    int m_state = kStateUninitialized;
    std::string m_name;
    // The byte queue and the searches belong to the thread that feeds the
    // cutter (the control's processing thread for a file resource, the
    // reader for a serial port); its instrument list to the frame lock.
    CFrameCutter m_cutter;
    CFileSource m_file;
    std::unique_ptr<CSerialLink> m_serial;
    int m_round = 0;  // one-shot flag of a serial port's processing round
    int m_global_sync_done = 0;
    std::atomic<int> m_no_sync_attached{0};

    mutable std::mutex m_frame_lock;   // frame buffer, instruments, discarded count
    mutable std::mutex m_status_lock;  // match in a global pass, global synchronization, the port
    std::mutex m_message_lock;         // message list
    CFrameBuffer m_frames;
    std::int64_t m_discarded = 0;
    std::deque<std::string> m_messages;
};

}  // namespace dravik
