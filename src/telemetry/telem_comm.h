// One communications resource: a log file read in chunks (file resource) or a
// serial port read by its own reader thread. It queues the raw telemetry bytes, finds the headers
// of its enabled instruments in them, cuts frames and keeps them in a bounded frame buffer until
// the consumer takes them, and tells its owner about events.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/frame_data.h"

namespace dravik {

class CDiskFile;
class CSerialPort;
struct CLineErrors;

// Result codes of a communications resource.
enum TelemCommCode : int {
    kCommReadError = 0x10000001,
    kCommStatusEventError = 0x10000002,
    kCommOverlappedReadError = 0x10000003,
    kCommOverlappedStatusError = 0x10000004,
    kCommOverlappedInitError = 0x10000005,
    kCommReadBufferInitError = 0x10000006,
    kCommStatusError = 0x10000007,
    kCommPortOpenFailed = 0x10000008,
    kCommOpenError = 0x10000009,
    kCommSetupError10 = 0x10000010,
    kCommSetupError11 = 0x10000011,
    kCommSetupError12 = 0x10000012,
    kCommSetupError13 = 0x10000013,
    kCommSetupError14 = 0x10000014,
    kCommReaderStartFailed = 0x10000015,
    kCommThreadError = 0x10000016,
    kCommNotAttached = 0x10000017,
    kCommAlreadyAttached = 0x10000018,
    kCommNotInitialized = 0x10000019,
    kCommReinitialize = 0x10000020,
    kCommNotConnected = 0x10000021,
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

// The open log file and the chunk size it is read in. The file stays the
// caller's: the resource neither closes nor deletes it.
struct CFileResourceSettings {
    CDiskFile* file = nullptr;
    int buffer_size = 0;
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

// Raw telemetry waiting to be synchronized. Bytes are appended at the tail and
// consumed at the head; they stay contiguous so that searches can run over
// plain memory and a frame is copied in one piece. The consumed space at the
// front is reclaimed when the buffer would otherwise have to grow.
class CByteQueue {
  public:
    std::size_t size() const noexcept { return m_tail - m_head; }
    bool empty() const noexcept { return m_tail == m_head; }
    const std::uint8_t* data() const noexcept { return m_buf.data() + m_head; }
    std::uint8_t operator[](std::size_t i) const noexcept { return m_buf[m_head + i]; }

    void Append(const std::uint8_t* bytes, std::size_t count);
    // Room for `count` more bytes behind the queued ones, valid until the next
    // change of the queue; Commit makes the first `used` of them queued bytes.
    std::uint8_t* Reserve(std::size_t count);
    void Commit(std::size_t used) noexcept { m_tail += used; }
    // Removes up to `count` bytes from the head; returns how many were removed.
    std::size_t Consume(std::size_t count) noexcept;
    // Removes the byte at `index`. Erase and Prepend serve the searches of
    // instruments without synchronization strings, whose text lines never
    // reach the longest-frame limit that Offset() marks positions for.
    void Erase(std::size_t index) noexcept;
    // Puts bytes in front of the head.
    void Prepend(const std::uint8_t* bytes, std::size_t count);
    void Clear() noexcept {
        m_consumed += size();
        m_head = m_tail = 0;
    }
    // Bytes consumed since the queue was made: the stream offset of the head.
    std::uint64_t Offset() const noexcept { return m_consumed; }

  private:
    std::vector<std::uint8_t> m_buf;
    std::size_t m_head = 0;
    std::size_t m_tail = 0;
    std::uint64_t m_consumed = 0;
};

class CTelemComm {
  public:
    // The longest variable frame: a header whose terminator does not follow
    // within this many bytes starts no frame.
    static constexpr std::size_t kMaxVariableFrame = 1 << 20;

    explicit CTelemComm(CTelemCommOwner* owner = nullptr);
    ~CTelemComm();
    CTelemComm(const CTelemComm&) = delete;
    CTelemComm& operator=(const CTelemComm&) = delete;

    // File resource.
    int InitializeFileResource(CDiskFile* file, int buffer_size);
    int InitializeFileResource(const CFileResourceSettings& settings) {
        return InitializeFileResource(settings.file, settings.buffer_size);
    }
    // Forgets the file object: a removed resource no longer reads it, so the
    // caller may close the file as soon as the resource has been removed.
    void ReleaseFile() noexcept { m_file.file = nullptr; }
    int GetFileErrorCause();  // reset by the call
    int GetEndOfFile();       // reset by the call
    int IsFileOpen() const;
    int GetFileInfo(CFileResourceSettings& settings) const;
    std::string GetFileErrorText() const;
    static std::string FileErrorText(int cause);

    // A resource fed only through AppendBytes, the way a serial port's reader
    // feeds it: nothing is read, and a frame waits until its bytes arrive.
    int InitializeByteStream(const std::string& name, int scan_limit = 1024);

    // Serial port: a termios device opened exclusively and read by a reader
    // thread, which synchronizes the bytes and cuts the frames as they come.
    int InitializeSerialPort(const CSerialSettings& settings);
    int GetSerialInfo(CSerialSettings& settings) const;
    // 1 when the port can be opened or another program holds it, else 0.
    int Exists();
    int Connect();
    int Disconnect();
    int GetAbortCode();  // cleared by the call
    // Line errors the driver counted since the port was connected (0 where
    // the driver keeps no counts, such as a pseudo-terminal).
    std::uint64_t GetFramingErrorTotal() const noexcept { return m_framing_total; }
    std::uint64_t GetBreakErrorTotal() const noexcept { return m_break_total; }
    // Reports the line errors the driver counted since the last look (the
    // reader calls it whenever some were counted). Break and framing errors
    // are said at most five times in a row. Returns 0.
    int CheckCommStatus(const CLineErrors& errors);

    // Instruments.
    int Attach(const AttachInfo& info);
    int Detach(const std::string& header);
    int EnableAcquisition(const std::string& header);
    int DisableAcquisition(const std::string& header);

    // Synchronization and frames.
    int Synchronize();
    int ExtractFrames();
    std::unique_ptr<CFrameData> RetrieveFrame();
    // Queues raw bytes. On a serial port this is the reader's hand-over: it
    // ends the waiting for telemetry and runs ProcessBytes. A byte stream
    // only queues them.
    void AppendBytes(const void* bytes, std::size_t count);
    // One processing round: synchronize and extract frames while the passes
    // make progress, then tell the owner when frames are ready.
    void ProcessBytes();

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

    // Frame buffer depth (a serial port may choose another positive value).
    void SetMaxFrameDepth(int depth) noexcept {
        if (depth > 0) m_max_depth = depth;
    }
    std::size_t GetBufferedFrameCount();
    std::size_t GetQueuedByteCount() const noexcept { return m_queue.size(); }
    int GetMatchIndex();

    // Messages.
    void ReportMessage(const std::string& text, int code);
    std::string GetNextMessage();
    bool HasMessages();

  private:
    struct Instrument {
        CFrameInfo info;
        int found = 0;
    };

    bool IsOwned() const noexcept {
        return m_state == kStateFileOwned || m_state == kStateSerialOwned;
    }
    void Notify(int code);
    std::string Explanation(int code) const;
    // Reads one chunk of the log file into the queue; returns the bytes queued.
    std::size_t ReadFileResource();
    // Returns the number of bytes removed from the head of the queue.
    std::size_t SearchHeaders(const std::vector<std::string>& candidates, bool global);
    // Searches and frame conversions of instruments without synchronization
    // strings, by the special kind of the first attached instrument. They
    // return what SearchHeaders and ExtractFrames return.
    std::size_t SearchNoSync();
    int ConvertSpecialFrame(const std::string& kind);
    // Kind-specific preparation when such an instrument is attached; 0 or
    // 0x10000031 (logged).
    int PrepareNoSync(CFrameInfo& info);
    std::size_t SearchTerminator(const std::string& header, const std::string& terminator);
    std::size_t SearchBsi(const std::uint8_t* sync_bytes);
    std::size_t SearchHobilabs();
    int ConvertBsiFrame();
    int ConvertHobilabsFrame();
    // Takes `bytes` as the next frame of `inst` (frame lock held): counter,
    // time stamp, buffer depth, "found" message. Returns which of the two
    // messages were logged.
    enum : int { kFoundLogged = 1, kOverflowLogged = 2 };
    int TakeFrame(Instrument& inst, std::string_view bytes, bool chained);

    // Serial port steps.
    int StartReader();
    void ReaderMain();
    void ReaderAbort(int code);
    void ClosePort();
    void IdleAction();
    void JoinReader();
    int FindInstrument(const std::string& header) const;  // frame lock held
    // Scans the queue from its head for a variable frame's terminator; `length`
    // is the frame length up to and including it. Gives up at `limit` bytes
    // (false with `length` set to the limit; otherwise false leaves it 0).
    bool FindTerminator(const std::string& terminator, std::size_t limit, std::size_t& length);
    static CFrameTime Now();

    CTelemCommOwner* m_owner;
    int m_state = kStateUninitialized;
    std::string m_name;

    // Serial port fields. The status lock guards connected, disconnecting,
    // waiting and the abort code; the rest belong to the reader thread while
    // it runs.
    bool m_port_settings = false;  // InitializeSerialPort has succeeded
    int m_connected = 0;
    int m_waiting_for_telemetry = 1;
    int m_disconnecting = 0;
    std::atomic<int> m_connecting{0};
    int m_quiet = 0;
    int m_round = 0;
    std::atomic<int> m_last_system_error{0};
    int m_abort_code = 0;
    int m_idle_wait_count = 15;
    int m_framing_errors = 0;  // reported in a row
    int m_break_errors = 0;
    std::atomic<std::uint64_t> m_framing_total{0};
    std::atomic<std::uint64_t> m_break_total{0};
    int m_bsi_raw_length = 0;
    std::string m_global_sync;
    CSerialSettings m_serial;
    std::vector<std::uint8_t> m_synthetic_frame;
    std::unique_ptr<CSerialPort> m_port;
    std::thread m_reader;
    std::mutex m_reader_lock;  // the start hand-over below
    std::condition_variable m_reader_cv;
    bool m_reader_started = false;
    bool m_reader_ended = false;
    std::atomic<bool> m_stop_reader{false};

    // Synchronization.
    int m_frames_available = 0;
    int m_global_sync_done = 0;
    std::atomic<int> m_no_sync_attached{0};
    std::atomic<int> m_match_index{-1};
    int m_max_depth = 200;
    std::int64_t m_discarded = 0;
    std::size_t m_scan_limit = 1024;
    std::size_t m_request_dropped = 0;  // bytes dropped by the current RetrieveFrame
    CByteQueue m_queue;
    std::vector<std::string> m_candidates;  // reused by every pass
    // Where a terminator search that gave up stopped (a stream offset): no
    // terminator ends before it, so a later header's search resumes there
    // instead of scanning the same bytes again, which would make a log of
    // headers without terminators take time quadratic in its size.
    std::uint64_t m_no_terminator_until = 0;
    std::string m_no_terminator;  // the terminator that search looked for

    // File resource.
    CFileResourceSettings m_file;
    std::int64_t m_file_length = 0;
    std::uint64_t m_read_origin = 0;  // position of the file when its reading began
    std::uint64_t m_bytes_read = 0;
    int m_end_of_file = 0;
    int m_file_error = 0;

    mutable std::mutex m_frame_lock;   // frame buffer, instruments, counters
    mutable std::mutex m_status_lock;  // match index, global synchronization, abort code
    std::mutex m_message_lock;         // message list
    std::vector<Instrument> m_instruments;
    std::deque<std::unique_ptr<CFrameData>> m_frames;
    std::deque<std::string> m_messages;
};

}  // namespace dravik
