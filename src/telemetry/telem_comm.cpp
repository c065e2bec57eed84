#include "telemetry/telem_comm.h"

#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <utility>

#include "platform/disk_file.h"
#include "platform/text.h"
#include "telemetry/serial_port.h"

namespace dravik {

namespace {

// The system's text for an error number, with the line end the message lists
// expect.
std::string SystemText(int err) {
    return SystemErrorText(err) + ".\r\n";
}

std::string Tabbed(const std::string& text) {
    std::string out(1, '\t');
    out += text;
    return out;
}

bool StartsWith(const CByteQueue& queue, const std::string& prefix) {
    return queue.size() >= prefix.size() &&
           std::memcmp(queue.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Byte queue

std::uint8_t* CByteQueue::Reserve(std::size_t count) {
    if (m_tail + count > m_buf.size()) {
        // Reclaim the consumed front before growing.
        const std::size_t live = size();
        if (m_head > 0) {
            if (live > 0) std::memmove(m_buf.data(), m_buf.data() + m_head, live);
            m_head = 0;
            m_tail = live;
        }
        if (m_tail + count > m_buf.size()) {
            m_buf.resize(std::max(m_tail + count, m_buf.size() * 2));
        }
    }
    return m_buf.data() + m_tail;
}

void CByteQueue::Append(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    std::memcpy(Reserve(count), bytes, count);
    Commit(count);
}

std::size_t CByteQueue::Consume(std::size_t count) noexcept {
    const std::size_t n = std::min(count, size());
    m_head += n;
    m_consumed += n;
    if (m_head == m_tail) m_head = m_tail = 0;
    return n;
}

void CByteQueue::Erase(std::size_t index) noexcept {
    if (index >= size()) return;
    if (index == 0) {
        Consume(1);
        return;
    }
    std::uint8_t* at = m_buf.data() + m_head + index;
    std::memmove(at, at + 1, size() - index - 1);
    --m_tail;
}

void CByteQueue::Prepend(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    if (m_head < count) {
        // Make room in front: move the live bytes up by the missing amount.
        const std::size_t live = size();
        const std::size_t shift = count - m_head;
        if (m_tail + shift > m_buf.size()) m_buf.resize(m_tail + shift);
        if (live > 0) std::memmove(m_buf.data() + m_head + shift, m_buf.data() + m_head, live);
        m_head += shift;
        m_tail += shift;
    }
    m_head -= count;
    std::memcpy(m_buf.data() + m_head, bytes, count);
}

// ---------------------------------------------------------------------------
// Construction

CTelemComm::CTelemComm(CTelemCommOwner* owner) : m_owner(owner) {}

CTelemComm::~CTelemComm() {
    // A connected port's reader still runs: it is stopped and the port's
    // saved settings are put back (by the port's own destructor), without
    // messages to an owner that is letting this resource go.
    m_stop_reader = true;
    {
        // A reader that is aborting closes the port under this lock.
        std::lock_guard lock(m_status_lock);
        if (m_port) m_port->Wake();
    }
    JoinReader();
    m_port.reset();
}

void CTelemComm::Notify(int code) {
    if (IsOwned() && m_owner != nullptr) m_owner->QueueCommand(m_name, code);
}

// ---------------------------------------------------------------------------
// Messages

std::string CTelemComm::Explanation(int code) const {
    switch (code) {
        case kCommReadError:
        case kCommStatusEventError:
        case kCommOverlappedReadError:
        case kCommOverlappedStatusError:
        case kCommOverlappedInitError:
        case kCommReadBufferInitError:
        case kCommStatusError: {
            static const char* const kLead[] = {
                "\tRead error: ",
                "\tStatus event error: ",
                "\tOverlapped read error: ",
                "\tOverlapped status event error: ",
                "\tOverlapped read initialization error: ",
                "\tRead buffer initialization error: ",
                "\tCommunications status error: ",
            };
            std::string text = kLead[code - kCommReadError];
            text += SystemText(m_last_system_error);
            if (m_connecting) text += "\tConnection failed.\r\n";
            return text;
        }
        case kCommOpenError:
        case kCommSetupError10:
        case kCommSetupError11:
        case kCommSetupError12:
        case kCommSetupError13:
        case kCommSetupError14:
            return Tabbed(SystemText(errno)) + "\tConnection failed.\r\n";
        case kCommThreadError:
            return Tabbed(SystemText(errno));
        case kCommNotAttached:
            return "\tThe instrument has not been attached or defined.\r\n";
        case kCommAlreadyAttached:
            return "\tThe instrument has already been attached.\r\n";
        case kCommNotInitialized:
            return "\tThe communications resource has not been initialized.\r\n";
        case kCommNotConnected:
            return "\tThe serial port has not been connected.\r\n";
        case kCommStillConnected:
            return "\tThe serial port is still connected.\r\n";
        case kCommInvalidFile:
            return "\tInvalid file resource.\r\n";
        case kCommInvalidPort:
            return "\tInvalid serial port identification.\r\n";
        case kCommGlobalSyncOff:
            return "\tGlobal synchronization has been deactivated.\r\n";
        case kCommAbortNotReset:
            return "\tThe telemetry abort code has not been reset.\r\n";
        case kCommFileError:
            return Tabbed(FileErrorText(m_file_error));
        case kCommFileNotOpen:
            return "\tThe file resource is not open.\r\n";
        case kCommNoSyncAttached:
            return "\tThere is already an instrument attached to this\r\n\tresource with no frame "
                   "synchronization string defined.\r\n\tOnly one of these instruments can be "
                   "attached to the resource.\r\n";
        case kCommNoSyncAlone:
            return "\tThe instrument specifies that no frame synchronization\r\n\tstring will be "
                   "found in the telemetry.\r\n\tOnly one of these instruments can be attached to "
                   "the resource.\r\n";
        case kCommBsiSyncCount:
            return "\tA BSI instrument must be specified with multiples of \r\n\ttwo-byte data "
                   "synchronization arrays, using the SPECIAL \r\n\tsensor definition line.\r\n";
        default:
            return {};
    }
}

void CTelemComm::ReportMessage(const std::string& text, int code) {
    // The explanation is built before the lock: it only reads this resource's
    // own error fields.
    std::string message = text + Explanation(code);
    std::lock_guard lock(m_message_lock);
    m_messages.push_back(std::move(message));
    Notify(kCmdMessage);
}

std::string CTelemComm::GetNextMessage() {
    std::lock_guard lock(m_message_lock);
    if (m_messages.empty()) return {};
    std::string text = std::move(m_messages.front());
    m_messages.pop_front();
    return text;
}

bool CTelemComm::HasMessages() {
    std::lock_guard lock(m_message_lock);
    return !m_messages.empty();
}

// ---------------------------------------------------------------------------
// File resource

std::string CTelemComm::FileErrorText(int cause) {
    const char* text = FileErrorCauseText(cause);
    return text != nullptr ? text : "An unknown file error occured.\r\n";
}

std::string CTelemComm::GetFileErrorText() const {
    return FileErrorText(m_file_error);
}

int CTelemComm::InitializeFileResource(CDiskFile* file, int buffer_size) {
    if (m_state != kStateUninitialized) {
        ReportMessage("Unable to reinitialize file resource.\r\n", 0);
        return kCommReinitialize;
    }
    m_file.file = file;
    // A chunk of no bytes could never make progress through the file.
    if (file == nullptr || !file->IsOpen() || file->GetFilePath().empty() || buffer_size < 1) {
        ReportMessage("Unable to initialize file resource.\r\n", kCommInvalidFile);
        return kCommInvalidFile;
    }
    std::uint64_t saved = 0;
    std::uint64_t length = 0;
    int cause = file->GetPosition(saved);
    if (cause == 0) cause = file->SeekToEnd(length);
    if (cause == 0) cause = file->Seek(saved);
    if (cause != 0) {
        m_file_error = cause;
        ReportMessage("Unable to initialize file resource.\r\n", kCommFileError);
        return kCommFileError;
    }
    m_file_length = static_cast<std::int64_t>(length);
    m_read_origin = saved;
    m_file.buffer_size = buffer_size;
    m_name = file->GetFilePath();
    m_scan_limit = static_cast<std::size_t>(buffer_size);
    m_state = m_owner != nullptr ? kStateFileOwned : kStateFile;
    ReportMessage(FillMessage("Initializing file resource: %s.\r\n", {m_name}), 0);
    {
        std::lock_guard lock(m_status_lock);
        m_global_sync_done = 1;
    }
    return 0;
}

int CTelemComm::InitializeByteStream(const std::string& name, int scan_limit) {
    if (m_state != kStateUninitialized) return kCommReinitialize;
    m_name = name;
    m_scan_limit = static_cast<std::size_t>(std::max(scan_limit, 1));
    m_state = kStateSerial;
    std::lock_guard lock(m_status_lock);
    m_global_sync_done = 1;
    return 0;
}

int CTelemComm::GetFileErrorCause() {
    return std::exchange(m_file_error, 0);
}

int CTelemComm::GetEndOfFile() {
    return std::exchange(m_end_of_file, 0);
}

int CTelemComm::IsFileOpen() const {
    return m_file.file != nullptr && m_file.file->IsOpen() ? 1 : 0;
}

int CTelemComm::GetFileInfo(CFileResourceSettings& settings) const {
    if (!IsFileResource()) return 0;
    settings = m_file;
    return 1;
}

std::size_t CTelemComm::ReadFileResource() {
    if (!IsFileOpen()) {
        ReportMessage(FillMessage("Error reading file resource %s.\r\n", {m_name}),
                      kCommFileNotOpen);
        Notify(kCmdFileStatus);
        return 0;
    }
    std::size_t got = 0;
    if (!m_end_of_file && m_file_error == 0) {
        // The file is read up to the length it had when the resource was
        // initialized: bytes appended since are left for the next reading
        // (a file that keeps growing, or a device that never ends, would
        // otherwise be read forever), and a file that ends before that
        // length was cut short underneath, which is a read error (cause 14),
        // not the end of the data.
        const std::uint64_t at = m_read_origin + m_bytes_read;
        const std::uint64_t length = static_cast<std::uint64_t>(m_file_length);
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(m_file.buffer_size), length > at ? length - at : 0));
        // Read straight behind the queued bytes: no copy of the log passes
        // through a buffer of its own.
        int cause = chunk == 0 ? 0 : m_file.file->Read(m_queue.Reserve(chunk), chunk, got);
        if (cause == 0 && got < chunk) cause = kFileEndOfFile;
        std::uint64_t position = 0;
        if (cause == 0) cause = m_file.file->GetPosition(position);
        if (cause != 0) {
            m_file_error = cause;
            Notify(kCmdFileStatus);
        } else if (got == 0 || position >= static_cast<std::uint64_t>(m_file_length)) {
            // A read that returns nothing is the end of the file as well: a file
            // cut short underneath would otherwise be read again and again.
            m_end_of_file = 1;
            Notify(kCmdFileStatus);
        }
    }
    if (m_file_error != 0) {
        ReportMessage(FillMessage("Error reading file resource %s.\r\n", {m_name}), kCommFileError);
        return 0;
    }
    if (m_end_of_file) {
        if (got == 0) return 0;
        ReportMessage(FillMessage("End of file resource reached for %s.\r\n", {m_name}), 0);
    }
    m_queue.Commit(got);
    m_bytes_read += got;
    return got;
}

// ---------------------------------------------------------------------------
// Instruments

int CTelemComm::FindInstrument(const std::string& header) const {
    for (std::size_t i = 0; i < m_instruments.size(); ++i) {
        if (m_instruments[i].info.header == header) return static_cast<int>(i);
    }
    return -1;
}

int CTelemComm::Attach(const AttachInfo& attach) {
    if (m_state == kStateUninitialized) {
        ReportMessage(FillMessage("Unable to attach %s.\r\n", {attach.header}),
                      kCommNotInitialized);
        return kCommNotInitialized;
    }
    if (m_no_sync_attached) {
        ReportMessage(FillMessage("Unable to attach %s to %s.\r\n", {attach.header, m_name}),
                      kCommNoSyncAttached);
        return kCommNoSyncAttached;
    }
    CFrameInfo info;
    info.resource_name = m_name;
    info.header = attach.header;
    // A frame of no bytes would consume nothing and be cut again forever.
    info.frame_size = std::max({attach.frame_size, static_cast<int>(attach.header.size()), 1});
    info.terminator = attach.terminator;
    if (attach.no_sync && m_state == kStateSerialOwned) {
        // Instruments without synchronization strings come with serial ports.
        if (GetAttachedCount() > 0) {
            ReportMessage(FillMessage("Unable to attach %s to %s.\r\n", {attach.header, m_name}),
                          kCommNoSyncAlone);
            return kCommNoSyncAlone;
        }
        info.special_kind = attach.special_kind;
        info.sync_byte_count = std::clamp(attach.sync_byte_count, 0, CFrameInfo::kMaxSyncBytes);
        std::memcpy(info.sync_bytes, attach.sync_bytes, sizeof info.sync_bytes);
        if (int code = PrepareNoSync(info); code != 0) return code;
        m_no_sync_attached = 1;
    }
    {
        std::lock_guard lock(m_frame_lock);
        if (FindInstrument(attach.header) >= 0) {
            m_no_sync_attached = 0;
            ReportMessage(FillMessage("Unable to attach %s to %s.\r\n", {attach.header, m_name}),
                          kCommAlreadyAttached);
            return kCommAlreadyAttached;
        }
        m_instruments.push_back(Instrument{std::move(info), 0});
    }
    ReportMessage(FillMessage("Attaching %s to %s.\r\n", {attach.header, m_name}), 0);
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::Detach(const std::string& header) {
    if (header.empty()) {
        ReportMessage("Unable to detach instrument.\r\n", kCommNotAttached);
        return kCommNotAttached;
    }
    if (m_state == kStateUninitialized) {
        ReportMessage(FillMessage("Unable to detach %s.\r\n", {header}), kCommNotInitialized);
        return kCommNotInitialized;
    }
    {
        std::lock_guard lock(m_frame_lock);
        if (FindInstrument(header) < 0) {
            ReportMessage(FillMessage("Unable to detach %s.\r\n", {header}), kCommNotAttached);
            return kCommNotAttached;
        }
    }
    if (int code = DisableAcquisition(header); code != 0) return code;
    {
        std::lock_guard lock(m_frame_lock);
        int index = FindInstrument(header);
        if (index >= 0) {
            m_instruments.erase(m_instruments.begin() + index);
            // The match refers to an attachment index: it moves with the list.
            int match = m_match_index.load();
            if (match > index) m_match_index = match - 1;
        }
        m_no_sync_attached = 0;
    }
    ReportMessage(FillMessage("Detaching %s from %s.\r\n", {header, m_name}), 0);
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::EnableAcquisition(const std::string& header) {
    {
        std::lock_guard lock(m_frame_lock);
        int index = FindInstrument(header);
        if (index < 0) {
            ReportMessage(
                FillMessage("Unable to enable telemetry acquisition on %s.\r\n", {m_name}),
                kCommNotAttached);
            return kCommNotAttached;
        }
        CFrameInfo& info = m_instruments[index].info;
        if (info.acquisition_enabled) return 0;
        info.acquisition_enabled = 1;
        ReportMessage(
            FillMessage("Enabling telemetry acquisition for %s on %s.\r\n", {header, m_name}), 0);
    }
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::DisableAcquisition(const std::string& header) {
    {
        std::lock_guard lock(m_frame_lock);
        int index = FindInstrument(header);
        if (index < 0) {
            ReportMessage(
                FillMessage("Unable to disable telemetry acquisition on %s.\r\n", {m_name}),
                kCommNotAttached);
            return kCommNotAttached;
        }
        CFrameInfo& info = m_instruments[index].info;
        if (!info.acquisition_enabled) return 0;
        info.acquisition_enabled = 0;
        if (m_match_index == index) m_match_index = -1;
        ReportMessage(
            FillMessage("Disabling telemetry acquisition for %s on %s.\r\n", {header, m_name}), 0);
    }
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::GetAttachedCount() {
    std::lock_guard lock(m_frame_lock);
    return static_cast<int>(m_instruments.size());
}

std::string CTelemComm::GetInstrumentHeader(int index) {
    std::lock_guard lock(m_frame_lock);
    if (index < 0) index = 0;
    if (static_cast<std::size_t>(index) >= m_instruments.size()) return {};
    return m_instruments[index].info.header;
}

std::int64_t CTelemComm::GetBytesDiscarded() {
    std::lock_guard lock(m_frame_lock);
    return m_discarded;
}

void CTelemComm::ResetBytesDiscarded() {
    std::lock_guard lock(m_frame_lock);
    m_discarded = 0;
}

std::size_t CTelemComm::GetBufferedFrameCount() {
    std::lock_guard lock(m_frame_lock);
    return m_frames.size();
}

// ---------------------------------------------------------------------------
// Synchronization

CFrameTime CTelemComm::Now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    // The zone only changes on the second: the broken-down time is worked out
    // once per second, not once per frame.
    thread_local std::time_t cached_second = -1;
    thread_local std::int16_t cached_west = 0;
    thread_local std::int16_t cached_daylight = 0;
    if (tv.tv_sec != cached_second) {
        std::tm local{};
        std::time_t now = tv.tv_sec;
        localtime_r(&now, &local);
        const long dst_shift = local.tm_isdst > 0 ? 3600 : 0;
        cached_west = static_cast<std::int16_t>(-(local.tm_gmtoff - dst_shift) / 60);
        cached_daylight = static_cast<std::int16_t>(local.tm_isdst > 0 ? 1 : 0);
        cached_second = tv.tv_sec;
    }
    CFrameTime t;
    t.seconds = tv.tv_sec;
    t.milliseconds = static_cast<std::uint16_t>(tv.tv_usec / 1000);
    t.minutes_west = cached_west;
    t.daylight = cached_daylight;
    return t;
}

void CTelemComm::AppendBytes(const void* bytes, std::size_t count) {
    if (!m_port_settings) {
        m_queue.Append(static_cast<const std::uint8_t*>(bytes), count);
        return;
    }
    if (m_waiting_for_telemetry) {
        {
            std::lock_guard lock(m_status_lock);
            m_quiet = 0;
            m_waiting_for_telemetry = 0;
        }
        ReportMessage(FillMessage("%s reading telemetry.\r\n", {m_name}), 0);
        Notify(kCmdStatusChanged);
    }
    m_queue.Append(static_cast<const std::uint8_t*>(bytes), count);
    ProcessBytes();
}

void CTelemComm::ProcessBytes() {
    m_round = 0;
    if (Synchronize() == 1) {
        while (ExtractFrames() == 1 && Synchronize() == 1) {
        }
    }
    bool available = false;
    {
        std::lock_guard lock(m_frame_lock);
        available = std::exchange(m_frames_available, 0) != 0;
    }
    if (available) Notify(kCmdFramesAvailable);
}

int CTelemComm::GetMatchIndex() {
    return m_match_index.load();
}

int CTelemComm::Synchronize() {
    if (m_match_index != -1) return 1;
    if (IsSerialPort() && m_queue.empty()) return 0;
    bool global = false;
    m_candidates.clear();
    {
        std::lock_guard lock(m_status_lock);
        if (!m_global_sync_done && !m_round) {
            if (m_global_sync.empty()) {
                m_global_sync_done = 1;
                return 1;
            }
            m_candidates.push_back(m_global_sync);
            global = true;
        }
    }
    if (m_candidates.empty()) {
        std::lock_guard lock(m_frame_lock);
        for (const Instrument& inst : m_instruments) {
            if (inst.info.acquisition_enabled) m_candidates.push_back(inst.info.header);
        }
        if (m_candidates.empty()) {
            // Nothing is looked for: whatever is queued belongs to no one.
            m_discarded += static_cast<std::int64_t>(m_queue.size());
            m_queue.Clear();
            return 0;
        }
    }
    std::size_t removed = 0;
    if (!m_no_sync_attached) {
        removed = SearchHeaders(m_candidates, global);
    } else if (!global) {
        // An instrument without a synchronization string (only ever on a
        // serial port) is found by the rules of its kind.
        removed = SearchNoSync();
    }
    {
        std::lock_guard lock(m_frame_lock);
        m_discarded += static_cast<std::int64_t>(removed);
    }
    if (m_match_index == -1 || m_quiet) return global ? 1 : 0;
    if (global) {
        {
            std::lock_guard lock(m_status_lock);
            ReportMessage(FillMessage("Telemetry synchronized on %s.\r\n", {m_name}), 0);
            m_match_index = -1;
            m_global_sync_done = 1;
        }
        if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    }
    return 1;
}

std::size_t CTelemComm::SearchHeaders(const std::vector<std::string>& cand, bool global) {
    const bool file = IsFileResource();
    if (m_queue.empty()) {
        if (file) ReadFileResource();
        if (m_queue.empty() || !file) return 0;
    }
    if (m_match_index != -1) return 0;

    const std::size_t n = cand.size();
    // uniform[c]: the one first byte shared by candidates c..n-1, or -1. Where
    // there is one, unmatched bytes are skipped with memchr.
    int uniform_small[8];
    std::vector<int> uniform_big;
    int* uniform = uniform_small;
    if (n > 8) {
        uniform_big.resize(n);
        uniform = uniform_big.data();
    }
    for (std::size_t c = n; c-- > 0;) {
        const int first = cand[c].empty() ? -1 : static_cast<std::uint8_t>(cand[c][0]);
        if (first < 0) {
            uniform[c] = -1;
        } else if (c + 1 == n) {
            uniform[c] = first;
        } else {
            uniform[c] = uniform[c + 1] == first ? first : -1;
        }
    }

    std::size_t i = 0;      // the byte being examined; every byte before it was consumed
    std::size_t start = 0;  // where the partial match began
    std::size_t c = 0;      // current candidate
    std::size_t k = 0;      // bytes of cand[c] matched so far
    bool matched = false;
    for (;;) {
        if (k == 0 && uniform[c] >= 0) {
            // Bytes that are neither the last queued one (which may need a read
            // first) nor at the scan limit can be skipped in one go.
            const std::size_t skip_end = std::min(m_queue.size() - 1, m_scan_limit - 1);
            if (i < skip_end) {
                const void* hit = std::memchr(m_queue.data() + i, uniform[c], skip_end - i);
                i = hit != nullptr ? static_cast<std::size_t>(
                                         static_cast<const std::uint8_t*>(hit) - m_queue.data())
                                   : skip_end;
            }
        }
        // Reaching the last queued byte, a file resource reads on so that a
        // header split between two chunks is seen whole.
        if (file && i + 1 >= m_queue.size()) ReadFileResource();
        const std::uint8_t b = m_queue[i];
        bool try_first = k == 0;
        if (k > 0) {
            if (b == static_cast<std::uint8_t>(cand[c][k])) {
                if (k + 1 == cand[c].size()) {
                    matched = true;
                } else {
                    ++k;
                }
            } else if (c + 1 < n) {
                // Later candidates get their chance from where this one began.
                ++c;
                k = 0;
                i = start;
                continue;
            } else {
                c = 0;
                k = 0;
                try_first = true;
            }
        }
        if (try_first) {
            std::size_t j = c;
            while (j < n && !cand[j].empty() && static_cast<std::uint8_t>(cand[j][0]) != b) ++j;
            if (j < n) {
                c = j;
                start = i;
                if (cand[c].size() <= 1) {
                    matched = true;  // an empty header matches wherever it is tried
                } else {
                    k = 1;
                }
            }
        }
        if (matched) break;
        // A pass ends at the scan limit even inside a partial match, which
        // then opens the queue for the next pass: a long run of near-headers
        // ("RADPRF000RADPRF000...") is dropped a scan limit at a time instead
        // of being kept whole. Only a partial match that began at the head
        // goes on, for at most a header's length.
        if (i + 1 >= m_scan_limit && (k == 0 || start > 0)) break;
        if (i + 1 >= m_queue.size()) break;
        ++i;
    }

    if (matched) {
        if (global) {
            m_match_index = 0;
            return 0;
        }
        {
            std::lock_guard lock(m_frame_lock);
            m_match_index = FindInstrument(cand[c]);
        }
        return m_queue.Consume(start);
    }
    if (global) return 0;
    // A partial match keeps its bytes for the next pass, which will see the
    // rest of the header; the bytes before it can start no header any more.
    return m_queue.Consume(k == 0 ? i + 1 : start);
}

int CTelemComm::ExtractFrames() {
    if (m_match_index == -1) {
        if (!m_round) {
            m_round = 1;
            return 1;
        }
        return 0;
    }
    const bool file = IsFileResource();
    bool found_logged = false;
    std::size_t last_length = 0;
    {
        std::unique_lock lock(m_frame_lock);
        int index = m_match_index;
        if (index < 0 || static_cast<std::size_t>(index) >= m_instruments.size()) return 0;
        // Raw frames of some instruments of other makers are converted by the
        // rules of their kind (serial ports only).
        if (m_no_sync_attached) {
            const std::string& kind = m_instruments[index].info.special_kind;
            if (kind == "BSI" || kind == "HOBILABS_HS2_D") {
                const std::string converted_kind = kind;
                lock.unlock();  // the conversions take the frame lock themselves
                return ConvertSpecialFrame(converted_kind);
            }
        }
        bool taken = false;
        for (;;) {
            Instrument& inst = m_instruments[index];
            CFrameInfo& info = inst.info;
            const std::size_t frame_size = static_cast<std::size_t>(std::max(info.frame_size, 0));
            if (m_queue.size() < frame_size) {
                if (!file) return 0;
                while (m_queue.size() < frame_size && !m_end_of_file && m_file_error == 0) {
                    if (ReadFileResource() == 0) break;
                }
            }
            std::size_t length = 0;
            if (info.terminator.empty()) {
                if (m_queue.size() < frame_size) return 0;
                length = frame_size;
            } else if (!FindTerminator(info.terminator, std::max(frame_size, kMaxVariableFrame),
                                       length)) {
                if (length == 0 || taken) return 0;
                // No terminator within the longest frame there can be: the
                // header was not the start of a frame. Its first byte is
                // dropped and the search goes on behind it, so the queue never
                // holds a whole log waiting for a terminator.
                m_queue.Consume(1);
                ++m_discarded;
                m_match_index = -1;
                return 1;
            }
            const int logged = TakeFrame(
                inst, std::string_view(reinterpret_cast<const char*>(m_queue.data()), length),
                taken);
            found_logged |= (logged & kFoundLogged) != 0;
            if (file) {
                // The queue ends at the file offset just past the last read,
                // so the bytes behind the frame are known with their offset.
                const std::size_t after = m_queue.size() - length;
                m_frames.back()->SetFollowingBytes(
                    {m_queue.data() + length, std::min(after, CFrameData::kFollowingBytes)},
                    m_read_origin + m_bytes_read - after, m_end_of_file != 0);
            }
            taken = true;
            last_length = length;
            // Instruments after this one whose header also opens the queue take
            // their frame from the same bytes.
            int next = -1;
            for (std::size_t j = static_cast<std::size_t>(index) + 1; j < m_instruments.size();
                 ++j) {
                m_match_index = static_cast<int>(j);
                const CFrameInfo& other = m_instruments[j].info;
                if (other.acquisition_enabled && StartsWith(m_queue, other.header)) {
                    next = static_cast<int>(j);
                    break;
                }
            }
            if (next < 0) break;
            index = next;
        }
        m_match_index = -1;
        m_queue.Consume(last_length);
    }
    if (found_logged && m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 1;
}

int CTelemComm::TakeFrame(Instrument& inst, std::string_view bytes, bool chained) {
    CFrameInfo& info = inst.info;
    int logged = 0;
    ++info.frame_counter;
    info.time_stamp = Now();
    info.chained = chained ? 1 : 0;
    if (m_frames.size() > static_cast<std::size_t>(m_max_depth)) {
        ReportMessage(FillMessage("%s frame buffer exceeded maximum depth.\r\n", {m_name}), 0);
        m_discarded += m_frames.front()->GetFrameLength();
        m_frames.pop_front();
        logged |= kOverflowLogged;
    }
    if (!inst.found && !m_quiet) {
        ReportMessage(FillMessage("%s found on %s.\r\n", {info.header, m_name}), 0);
        inst.found = 1;
        logged |= kFoundLogged;
    }
    m_frames.push_back(std::make_unique<CFrameData>(bytes, info));
    m_frames_available = 1;
    return logged;
}

bool CTelemComm::FindTerminator(const std::string& term, std::size_t limit, std::size_t& length) {
    const bool file = IsFileResource();
    const auto first = static_cast<std::uint8_t>(term[0]);
    std::size_t i = 0;
    std::size_t k = 0;
    length = 0;
    const std::uint64_t head = m_queue.Offset();
    if (m_no_terminator_until > head && term == m_no_terminator) {
        i = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_no_terminator_until - head, m_queue.size()));
    }
    for (;;) {
        if (i >= limit) {
            length = i;  // the frame would be longer than any frame can be
            // A terminator may still end within its length after the limit.
            m_no_terminator_until = head + i - std::min(i, term.size() - 1);
            m_no_terminator = term;
            return false;
        }
        if (i >= m_queue.size()) return false;
        if (k == 0) {
            // The last queued byte is left to the general step, which reads on.
            const std::size_t end = file ? m_queue.size() - 1 : m_queue.size();
            if (i < end) {
                const void* hit = std::memchr(m_queue.data() + i, first, end - i);
                i = hit != nullptr ? static_cast<std::size_t>(
                                         static_cast<const std::uint8_t*>(hit) - m_queue.data())
                                   : end;
                if (i >= m_queue.size()) return false;
            }
        }
        if (file && i + 1 >= m_queue.size()) ReadFileResource();
        // A byte that breaks a partial terminator is not tried again as its
        // first byte.
        if (m_queue[i] == static_cast<std::uint8_t>(term[k])) {
            if (++k == term.size()) {
                length = i + 1;
                return true;
            }
        } else {
            k = 0;
        }
        ++i;
    }
}

std::unique_ptr<CFrameData> CTelemComm::RetrieveFrame() {
    if (m_state == kStateUninitialized) {
        ReportMessage("Unable to retrieve frames.\r\n", kCommNotInitialized);
        return nullptr;
    }
    if (IsFileResource() && m_file.file != nullptr) {
        // An empty answer tells the consumer that no frame can be had, so the
        // passes go on while they make progress: one pass drops at most a scan
        // limit of unmatched bytes, and a longer stretch of them near the end
        // of the file would otherwise hide the frames behind it.
        m_request_dropped = 0;
        for (;;) {
            const std::size_t queued = m_queue.size();
            const std::uint64_t read = m_bytes_read;
            const std::int64_t discarded = GetBytesDiscarded();
            if (Synchronize() == 1) ExtractFrames();
            if (m_file_error != 0) return nullptr;
            {
                std::lock_guard lock(m_frame_lock);
                if (!m_frames.empty()) {
                    std::unique_ptr<CFrameData> frame = std::move(m_frames.front());
                    m_frames.pop_front();
                    return frame;
                }
            }
            // Every pass that drops or reads bytes changes one of these.
            if (m_queue.size() == queued && m_bytes_read == read) return nullptr;
            // The work of one request is bounded: after about a scan limit of
            // dropped bytes the consumer gets an empty answer, counts the
            // progress and asks again (or stops, when it was cancelled).
            m_request_dropped += static_cast<std::size_t>(GetBytesDiscarded() - discarded);
            if (m_request_dropped >= m_scan_limit) return nullptr;
        }
    }
    std::lock_guard lock(m_frame_lock);
    if (m_frames.empty()) return nullptr;
    std::unique_ptr<CFrameData> frame = std::move(m_frames.front());
    m_frames.pop_front();
    return frame;
}

}  // namespace dravik
