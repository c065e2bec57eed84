#include "telemetry/telem_comm.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "platform/log_source.h"
#include "platform/text.h"
#include "telemetry/serial_link.h"
#include "telemetry/serial_port.h"

namespace dravik {

CTelemComm::CTelemComm(CTelemCommOwner* owner) : m_owner(owner) {}

CTelemComm::~CTelemComm() {
    // A connected port's reader still runs: the link stops it while the
    // locks it takes are still here.
    m_serial.reset();
}

void CTelemComm::Notify(int code) {
    if (IsOwned() && m_owner != nullptr) m_owner->QueueCommand(m_name, code);
}

// ---------------------------------------------------------------------------
// Messages

std::string CTelemComm::Explanation(int code) const {
    return CommExplanation(code, m_serial ? m_serial->LastSystemError() : 0,
                           m_serial && m_serial->Connecting(), m_file.error_cause);
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

int CTelemComm::InitializeFileResource(CLogSource* log, int buffer_size) {
    if (m_state != kStateUninitialized) {
        ReportMessage("Unable to reinitialize file resource.\r\n", 0);
        return kCommReinitialize;
    }
    // A chunk of no bytes could never make progress through the file.
    if (log == nullptr || !log->IsOpen() || log->GetName().empty() || buffer_size < 1) {
        ReportMessage("Unable to initialize file resource.\r\n", kCommInvalidFile);
        return kCommInvalidFile;
    }
    m_file.Open(log, static_cast<std::size_t>(buffer_size));
    m_name = log->GetName();
    m_cutter.SetScanLimit(static_cast<std::size_t>(buffer_size));
    m_cutter.SetPulled(true);
    m_state = m_owner != nullptr ? kStateFileOwned : kStateFile;
    ReportMessage(FillMessage("Initializing file resource: %s.\r\n", {m_name}), 0);
    {
        std::lock_guard lock(m_status_lock);
        m_global_sync_done = 1;
    }
    return 0;
}

std::size_t CTelemComm::ReadFileResource() {
    if (!m_file.IsOpen()) {
        ReportMessage(FillMessage("Error reading file resource %s.\r\n", {m_name}),
                      kCommFileNotOpen);
        Notify(kCmdFileStatus);
        return 0;
    }
    std::size_t got = 0;
    if (!m_file.end_of_file && m_file.error_cause == 0) {
        // Read straight behind the queued bytes: no copy of the log passes
        // through a buffer of its own.
        const CFileSource::Chunk chunk = m_file.Read(m_cutter.Reserve(m_file.NextChunkSize()));
        got = chunk.got;
        if (chunk.cause != 0) {
            m_file.error_cause = chunk.cause;
            Notify(kCmdFileStatus);
        } else if (got == 0 || chunk.end) {
            // A read that returns nothing is the end of the data as well: a file
            // cut short underneath would otherwise be read again and again.
            m_file.end_of_file = 1;
            Notify(kCmdFileStatus);
        }
    }
    if (m_file.error_cause != 0) {
        ReportMessage(FillMessage("Error reading file resource %s.\r\n", {m_name}), kCommFileError);
        return 0;
    }
    if (m_file.end_of_file) {
        if (got == 0) return 0;
        ReportMessage(FillMessage("End of file resource reached for %s.\r\n", {m_name}), 0);
    }
    m_cutter.Commit(got);
    m_file.Advance(got);
    return got;
}

template <class Step>
CFrameCutter::Step CTelemComm::Pull(Step&& step) {
    for (;;) {
        const CFrameCutter::Step result = step();
        if (result == CFrameCutter::Step::kNeedBytes) {
            ReadFileResource();
        } else if (result == CFrameCutter::Step::kNeedFrameBytes) {
            // A frame short of bytes is not read for once the end of the file
            // or a read error has been met.
            if (!m_file.end_of_file && m_file.error_cause == 0) ReadFileResource();
        } else {
            return result;
        }
    }
}

void CTelemComm::AddFollowingBytes(CFrameData& frame, std::size_t length) {
    // The bytes behind the frame with their offset in the log, read ahead
    // when they are not queued yet, so that nobody reads the log again at an
    // offset (which a pipe could not do).
    constexpr std::size_t kWant = CFrameData::kFollowingBytes;
    const std::span<const std::uint8_t> after = m_cutter.BytesAfter(length);
    const std::uint64_t offset = m_cutter.Offset() + length;
    if (after.size() >= kWant || m_file.AtEnd()) {
        frame.SetFollowingBytes(after.first(std::min(after.size(), kWant)), offset);
        return;
    }
    std::uint8_t bytes[kWant];
    if (!after.empty()) std::memcpy(bytes, after.data(), after.size());
    std::size_t got = 0;
    if (const int cause = m_file.Peek(bytes + after.size(), kWant - after.size(), got);
        cause != 0) {
        frame.SetFollowingReadError(cause);
        return;
    }
    frame.SetFollowingBytes({bytes, after.size() + got}, offset);
}

// ---------------------------------------------------------------------------
// Instruments

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
        {
            std::lock_guard lock(m_frame_lock);
            if (!m_cutter.PrepareNoSync(info)) {
                ReportMessage(FillMessage("Unable to attach %s to %s.\r\n", {info.header, m_name}),
                              kCommBsiSyncCount);
                return kCommBsiSyncCount;
            }
        }
        m_no_sync_attached = 1;
    }
    {
        std::lock_guard lock(m_frame_lock);
        if (m_cutter.Find(attach.header) >= 0) {
            m_no_sync_attached = 0;
            ReportMessage(FillMessage("Unable to attach %s to %s.\r\n", {attach.header, m_name}),
                          kCommAlreadyAttached);
            return kCommAlreadyAttached;
        }
        m_cutter.Add(std::move(info));
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
        if (m_cutter.Find(header) < 0) {
            ReportMessage(FillMessage("Unable to detach %s.\r\n", {header}), kCommNotAttached);
            return kCommNotAttached;
        }
    }
    if (int code = DisableAcquisition(header); code != 0) return code;
    {
        std::lock_guard lock(m_frame_lock);
        if (const int index = m_cutter.Find(header); index >= 0) {
            m_cutter.Remove(static_cast<std::size_t>(index));
        }
        m_no_sync_attached = 0;
    }
    ReportMessage(FillMessage("Detaching %s from %s.\r\n", {header, m_name}), 0);
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::EnableAcquisition(const std::string& header) {
    return SetAcquisition(header, true);
}

int CTelemComm::DisableAcquisition(const std::string& header) {
    return SetAcquisition(header, false);
}

int CTelemComm::SetAcquisition(const std::string& header, bool enable) {
    {
        std::lock_guard lock(m_frame_lock);
        const int index = m_cutter.Find(header);
        if (index < 0) {
            ReportMessage(FillMessage(enable ? "Unable to enable telemetry acquisition on %s.\r\n"
                                             : "Unable to disable telemetry acquisition on %s.\r\n",
                                      {m_name}),
                          kCommNotAttached);
            return kCommNotAttached;
        }
        if (!m_cutter.SetEnabled(static_cast<std::size_t>(index), enable)) return 0;
        ReportMessage(FillMessage(enable ? "Enabling telemetry acquisition for %s on %s.\r\n"
                                         : "Disabling telemetry acquisition for %s on %s.\r\n",
                                  {header, m_name}),
                      0);
    }
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::GetAttachedCount() {
    std::lock_guard lock(m_frame_lock);
    return static_cast<int>(m_cutter.Count());
}

std::string CTelemComm::GetInstrumentHeader(int index) {
    std::lock_guard lock(m_frame_lock);
    if (index < 0) index = 0;
    if (static_cast<std::size_t>(index) >= m_cutter.Count()) return {};
    return m_cutter.At(static_cast<std::size_t>(index)).info.header;
}

int CTelemComm::GetInstrumentStatus(const std::string& header) const {
    if (!IsSerialPort()) return 4;
    std::lock_guard lock(m_frame_lock);
    const int index = m_cutter.Find(header);
    if (index < 0) return 3;
    const CAttachedInstrument& inst = m_cutter.At(static_cast<std::size_t>(index));
    if (!inst.info.acquisition_enabled) return 0;
    return inst.found ? 2 : 1;
}

std::int64_t CTelemComm::GetBytesDiscarded() {
    std::lock_guard lock(m_frame_lock);
    return m_discarded;
}

void CTelemComm::ResetBytesDiscarded() {
    std::lock_guard lock(m_frame_lock);
    m_discarded = 0;
}

// ---------------------------------------------------------------------------
// Synchronization and frames

bool CTelemComm::Quiet() const noexcept {
    return m_serial && m_serial->Quiet();
}

void CTelemComm::AppendBytes(const void* bytes, std::size_t count) {
    if (!m_serial) {
        m_cutter.Feed(bytes, count);
        return;
    }
    m_serial->Arrived();
    m_cutter.Feed(bytes, count);
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
        available = m_frames.TakeAdded();
    }
    if (available) Notify(kCmdFramesAvailable);
}

int CTelemComm::Synchronize() {
    using Step = CFrameCutter::Step;
    if (m_cutter.Match() != -1) return 1;
    if (IsSerialPort() && m_cutter.QueuedBytes() == 0) return 0;
    bool global = false;
    {
        std::lock_guard lock(m_status_lock);
        if (!m_global_sync_done && !m_round) {
            const std::string& sync = m_serial->GlobalSync();
            if (sync.empty()) {
                m_global_sync_done = 1;
                return 1;
            }
            m_cutter.LookFor(sync);
            global = true;
        }
    }
    if (!global) {
        std::lock_guard lock(m_frame_lock);
        if (m_cutter.LookForEnabled() == 0) {
            // Nothing is looked for: whatever is queued belongs to no one.
            m_cutter.DropAll();
            m_discarded += m_cutter.TakeDiscarded();
            return 0;
        }
    }
    if (!m_no_sync_attached) {
        if (Pull([&] { return m_cutter.SearchHeaders(global); }) == Step::kMatched && !global) {
            std::lock_guard lock(m_frame_lock);
            m_cutter.MatchCandidate();
        }
    } else if (!global) {
        // An instrument without a synchronization string (only ever on a
        // serial port) is found by the rules of its kind.
        std::lock_guard lock(m_frame_lock);
        m_cutter.SearchNoSync();
    }
    {
        std::lock_guard lock(m_frame_lock);
        m_discarded += m_cutter.TakeDiscarded();
    }
    if (m_cutter.Match() == -1 || Quiet()) return global ? 1 : 0;
    if (global) {
        {
            std::lock_guard lock(m_status_lock);
            ReportMessage(FillMessage("Telemetry synchronized on %s.\r\n", {m_name}), 0);
            m_cutter.ClearMatch();
            m_global_sync_done = 1;
        }
        if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    }
    return 1;
}

int CTelemComm::ExtractFrames() {
    using Step = CFrameCutter::Step;
    if (m_cutter.Match() == -1) {
        if (!m_round) {
            m_round = 1;
            return 1;
        }
        return 0;
    }
    bool found_logged = false;
    {
        std::unique_lock lock(m_frame_lock);
        const int index = m_cutter.Match();
        if (index < 0 || static_cast<std::size_t>(index) >= m_cutter.Count()) return 0;
        // Raw frames of some instruments of other makers are converted by the
        // rules of their kind (serial ports only).
        if (m_no_sync_attached && m_cutter.Converted()) {
            lock.unlock();  // the conversion takes the frame lock itself
            int logged = 0;
            {
                std::lock_guard convert(m_frame_lock);
                if (m_cutter.Convert() != Step::kFrame) return 0;
                logged = TakeFrame();
            }
            if (logged != 0 && m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
            return 1;
        }
        for (;;) {
            const Step step = Pull([this] { return m_cutter.Extract(); });
            if (step == Step::kFrame) {
                found_logged |= (TakeFrame() & kFoundLogged) != 0;
                continue;
            }
            m_discarded += m_cutter.TakeDiscarded();
            if (step == Step::kWait) return 0;
            break;
        }
    }
    if (found_logged && m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 1;
}

int CTelemComm::TakeFrame() {
    const CFrameCutter::Cut& cut = m_cutter.LastCut();
    CAttachedInstrument& inst = m_cutter.At(cut.instrument);
    CFrameInfo& info = inst.info;
    int logged = 0;
    ++info.frame_counter;
    info.time_stamp = CFrameTime::Now();
    info.chained = cut.chained ? 1 : 0;
    if (m_frames.Full()) {
        ReportMessage(FillMessage("%s frame buffer exceeded maximum depth.\r\n", {m_name}), 0);
        m_discarded += m_frames.DropOldest();
        logged |= kOverflowLogged;
    }
    if (!inst.found && !Quiet()) {
        ReportMessage(FillMessage("%s found on %s.\r\n", {info.header, m_name}), 0);
        inst.found = 1;
        logged |= kFoundLogged;
    }
    CFrameData& frame = m_frames.Push(std::make_unique<CFrameData>(
        std::string_view(reinterpret_cast<const char*>(cut.bytes.data()), cut.bytes.size()), info));
    if (cut.in_queue && IsFileResource()) AddFollowingBytes(frame, cut.bytes.size());
    return logged;
}

std::unique_ptr<CFrameData> CTelemComm::RetrieveFrame() {
    if (m_state == kStateUninitialized) {
        ReportMessage("Unable to retrieve frames.\r\n", kCommNotInitialized);
        return nullptr;
    }
    if (IsFileResource() && m_file.HasFile()) {
        // An empty answer tells the consumer that no frame can be had, so the
        // passes go on while they make progress: one pass drops at most a scan
        // limit of unmatched bytes, and a longer stretch of them near the end
        // of the file would otherwise hide the frames behind it.
        std::size_t dropped = 0;
        for (;;) {
            const std::size_t queued = m_cutter.QueuedBytes();
            const std::uint64_t read = m_file.Handed();
            const std::int64_t discarded = GetBytesDiscarded();
            if (Synchronize() == 1) ExtractFrames();
            if (m_file.error_cause != 0) return nullptr;
            {
                std::lock_guard lock(m_frame_lock);
                if (!m_frames.empty()) return m_frames.Pop();
            }
            // Every pass that drops or reads bytes changes one of these.
            if (m_cutter.QueuedBytes() == queued && m_file.Handed() == read) return nullptr;
            // The work of one request is bounded: after about a scan limit of
            // dropped bytes the consumer gets an empty answer, counts the
            // progress and asks again (or stops, when it was cancelled).
            dropped += static_cast<std::size_t>(GetBytesDiscarded() - discarded);
            if (dropped >= m_cutter.ScanLimit()) return nullptr;
        }
    }
    std::lock_guard lock(m_frame_lock);
    return m_frames.Pop();
}

// ---------------------------------------------------------------------------
// Serial port

int CTelemComm::InitializeSerialPort(const CSerialSettings& settings) {
    if (IsFileResource()) {
        ReportMessage("Unable to reinitialize serial communications.\r\n", 0);
        return kCommReinitialize;
    }
    if (IsSerialPort()) {
        if (settings.port_name != m_name) {
            ReportMessage("Unable to reinitialize serial communications.\r\n", kCommInvalidPort);
            return kCommInvalidPort;
        }
        if (GetStatus() != 0) {
            ReportMessage("Unable to reinitialize serial communications.\r\n", kCommStillConnected);
            return kCommStillConnected;
        }
    } else if (settings.port_name.empty()) {
        ReportMessage("Unable to initialize serial communications.\r\n", kCommInvalidPort);
        return kCommInvalidPort;
    }
    if (!m_serial) m_serial = std::make_unique<CSerialLink>(*this);
    m_serial->SetSettings(settings);
    m_name = settings.port_name;
    m_cutter.SetScanLimit(static_cast<std::size_t>(m_serial->ReadSize()));
    m_frames.SetMaxDepth(settings.max_frame_depth);
    ReportMessage(FillMessage("Initializing serial communications on %s.\r\n", {m_name}),
                  settings.global_sync.empty() ? kCommGlobalSyncOff : 0);
    m_state = m_owner != nullptr ? kStateSerialOwned : kStateSerial;
    Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::Exists() {
    if (!m_serial) return 0;
    std::lock_guard lock(m_status_lock);
    return m_serial->Exists();
}

int CTelemComm::GetStatus() const {
    if (!IsSerialPort()) return 5;
    std::lock_guard lock(m_status_lock);
    return m_serial->Status(m_global_sync_done != 0);
}

int CTelemComm::GetAbortCode() {
    int code = 0;
    {
        std::lock_guard lock(m_status_lock);
        if (m_serial) code = m_serial->TakeAbortCode();
    }
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return code;
}

int CTelemComm::Connect() {
    if (m_state == kStateUninitialized) {
        ReportMessage("Unable to open serial port communications.\r\n", kCommNotInitialized);
        return kCommNotInitialized;
    }
    return m_serial ? m_serial->Connect() : 0;
}

int CTelemComm::Disconnect() {
    if (m_state == kStateUninitialized) {
        ReportMessage("Unable to close serial port communications.\r\n", kCommNotInitialized);
        return kCommNotInitialized;
    }
    return m_serial ? m_serial->Disconnect() : 0;
}

std::uint64_t CTelemComm::GetFramingErrorTotal() const noexcept {
    return m_serial ? m_serial->LineErrors().FramingTotal() : 0;
}

std::uint64_t CTelemComm::GetBreakErrorTotal() const noexcept {
    return m_serial ? m_serial->LineErrors().BreakTotal() : 0;
}

}  // namespace dravik
