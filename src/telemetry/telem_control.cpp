#include "telemetry/telem_control.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "instrument/instrument.h"
#include "instrument/sensor.h"
#include "platform/disk_file.h"
#include "platform/text.h"
#include "telemetry/oxa_telemetry_doc.h"

namespace dravik {

int DecodeSyncBytes(const std::string& units, std::uint8_t* bytes, int max_bytes) {
    int count = 0;
    bool escapes_ok = true;
    std::size_t i = 0;
    while (i < units.size() && count < max_bytes) {
        if (units[i] == '\\' && i + 1 < units.size() && units[i + 1] == 'x') {
            const std::size_t digits = std::min<std::size_t>(2, units.size() - (i + 2));
            int value = 0;
            bool clean = digits > 0;
            for (std::size_t d = 0; d < digits && clean; ++d) {
                const int h = HexDigitValue(units[i + 2 + d]);
                if (h < 0) clean = false;
                value = value * 16 + h;
            }
            if (clean && escapes_ok) {
                bytes[count++] = static_cast<std::uint8_t>(value);
            } else {
                escapes_ok = false;
            }
            i += 2 + digits;
        } else {
            bytes[count++] = static_cast<std::uint8_t>(units[i]);
            ++i;
        }
    }
    return count;
}

// ---------------------------------------------------------------------------
// Construction and the processing thread

CTelemControl::CTelemControl(COxaTelemetryDoc* doc) : m_doc(doc) {
    m_thread = std::thread(&CTelemControl::ThreadMain, this);
    std::unique_lock lock(m_thread_lock);
    m_thread_cv.wait(lock, [this] { return m_thread_started; });
    m_thread_running = true;
}

CTelemControl::~CTelemControl() {
    if (IsActive()) Shutdown();
    StopThread();
    if (m_thread.joinable()) {
        if (std::this_thread::get_id() == m_thread.get_id()) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
}

bool CTelemControl::IsActive() {
    std::lock_guard lock(m_thread_lock);
    return m_active;
}

bool CTelemControl::IsThreadRunning() {
    std::lock_guard lock(m_thread_lock);
    return m_thread_running;
}

void CTelemControl::SetStopDelay(int milliseconds) {
    std::lock_guard lock(m_queue_lock);
    m_stop_delay_ms = std::max(milliseconds, 0);
}

void CTelemControl::ThreadMain() {
    {
        std::lock_guard lock(m_thread_lock);
        m_thread_started = true;
    }
    m_thread_cv.notify_all();
    while (RunIteration() != 0) {
    }
    {
        std::lock_guard lock(m_queue_lock);
        m_markers_final = true;
    }
    m_marker_cv.notify_all();
    {
        std::lock_guard lock(m_thread_lock);
        m_thread_ended = true;
    }
    m_thread_cv.notify_all();
}

int CTelemControl::RunIteration() {
    std::deque<CProcessCommand> batch;
    bool stop = false;
    {
        std::unique_lock lock(m_queue_lock);
        if (m_stopping) {
            // Nothing can be queued any more; an optional linger only keeps the
            // thread alive a little longer before the last look at the queue.
            const int delay = m_stop_delay_ms;
            lock.unlock();
            if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            lock.lock();
        } else {
            m_queue_cv.wait_for(lock, std::chrono::milliseconds(500),
                                [this] { return !m_commands.empty() || m_stop_requested; });
        }
        // One batch is what is queued now. What its callbacks queue (the next
        // frame request) waits for the next batch, so the resource list lock
        // is let go between frames and a removal never waits for a whole
        // conversion.
        batch.swap(m_commands);
        stop = std::exchange(m_stop_requested, false);
    }
    if (!batch.empty()) {
        std::uint64_t marker = 0;
        {
            std::lock_guard resources(m_resource_lock);
            for (const CProcessCommand& command : batch) {
                if (command.code == kCmdFlushMarker) {
                    marker = std::max(marker, command.marker);
                } else {
                    ProcessCommand(command);
                }
            }
            // The removed resource's last messages and status have been delivered.
            std::lock_guard access(m_access_lock);
            m_pending_deletion.reset();
        }
        if (marker != 0) {
            {
                std::lock_guard lock(m_queue_lock);
                m_passed_marker = std::max(m_passed_marker, marker);
            }
            m_marker_cv.notify_all();
        }
    }
    std::lock_guard lock(m_queue_lock);
    if (stop) {
        m_stopping = true;
        return 1;
    }
    return m_stopping ? 0 : 1;
}

std::uint64_t CTelemControl::QueueMarker() {
    std::uint64_t marker = 0;
    {
        std::lock_guard lock(m_queue_lock);
        if (m_stopping || m_markers_final) return 0;
        marker = ++m_last_marker;
        m_commands.push_back(CProcessCommand{std::string(), kCmdFlushMarker, marker});
    }
    m_queue_cv.notify_one();
    return marker;
}

void CTelemControl::WaitForMarker(std::uint64_t marker) {
    if (marker == 0 || std::this_thread::get_id() == m_thread.get_id()) return;
    std::unique_lock lock(m_queue_lock);
    m_marker_cv.wait(lock, [&] { return m_passed_marker >= marker || m_markers_final; });
}

CTelemComm* CTelemControl::ResourceByName(const std::string& name) {
    for (std::size_t i = 0; i < m_resource_names.size(); ++i) {
        if (m_resource_names[i] == name) return m_resources[i].get();
    }
    return nullptr;
}

void CTelemControl::ProcessCommand(const CProcessCommand& command) {
    const std::string& name = command.resource_name;
    CTelemComm* comm = nullptr;
    {
        std::lock_guard access(m_access_lock);
        if (m_pending_deletion && m_pending_deletion->GetName() == name) {
            comm = m_pending_deletion.get();
        } else {
            comm = ResourceByName(name);
        }
    }
    // Each call into a resource is made under the access lock, which is
    // released before the document is called.
    switch (command.code) {
        case kCmdStatusChanged: {
            if (comm == nullptr) break;
            int status = 0;
            std::vector<std::pair<std::string, int>> instruments;
            {
                std::lock_guard access(m_access_lock);
                status = comm->GetStatus();
                const int count = comm->GetAttachedCount();
                for (int i = 0; i < count; ++i) {
                    std::string header = comm->GetInstrumentHeader(i);
                    const int s = comm->GetInstrumentStatus(header);
                    instruments.emplace_back(std::move(header), s);
                }
            }
            if (m_doc == nullptr) break;
            m_doc->OnCommResourceStatus(name, status);
            for (const auto& [header, s] : instruments) m_doc->OnInstrumentStatus(header, s);
            break;
        }
        case kCmdFileStatus: {
            if (comm == nullptr) break;
            int cause = 0;
            int eof = 0;
            int open = 0;
            {
                std::lock_guard access(m_access_lock);
                cause = comm->GetFileErrorCause();
                eof = comm->GetEndOfFile();
                open = comm->IsFileOpen();
            }
            if (m_doc != nullptr) m_doc->OnFileResourceStatus(name, cause, eof, open);
            break;
        }
        case kCmdMessage: {
            if (comm != nullptr) {
                for (;;) {
                    std::string text;
                    {
                        std::lock_guard access(m_access_lock);
                        text = comm->GetNextMessage();
                    }
                    if (text.empty()) break;
                    if (m_doc != nullptr) m_doc->OnTelemetryMessage(text);
                }
            } else {
                std::string text;
                {
                    std::lock_guard lock(m_queue_lock);
                    text.swap(m_message_text);
                }
                if (!text.empty() && m_doc != nullptr) m_doc->OnTelemetryMessage(text);
            }
            break;
        }
        case kCmdFramesAvailable: {
            if (comm == nullptr) break;
            for (;;) {
                std::unique_ptr<CFrameData> frame;
                {
                    std::lock_guard access(m_access_lock);
                    frame = comm->RetrieveFrame();
                }
                if (!frame) break;
                if (m_doc != nullptr) m_doc->OnTelemetryFrame(name, std::move(frame));
            }
            break;
        }
        case kCmdRetrieveFrame: {
            if (comm == nullptr) break;
            std::unique_ptr<CFrameData> frame;
            {
                std::lock_guard access(m_access_lock);
                frame = comm->RetrieveFrame();
            }
            if (m_doc != nullptr) m_doc->OnTelemetryFrame(name, std::move(frame));
            break;
        }
        default:
            break;
    }
}

void CTelemControl::QueueCommand(const std::string& resource_name, int code) {
    {
        std::lock_guard lock(m_queue_lock);
        if (m_stopping) return;
        m_commands.push_back(CProcessCommand{resource_name, code});
    }
    m_queue_cv.notify_one();
}

void CTelemControl::StopThread() {
    {
        std::lock_guard lock(m_thread_lock);
        if (!m_thread_running) return;
    }
    // The thread cannot wait for itself; a stop asked from one of its own
    // callbacks only marks the request.
    if (std::this_thread::get_id() == m_thread.get_id()) {
        {
            std::lock_guard lock(m_queue_lock);
            m_stop_requested = true;
        }
        return;
    }
    {
        std::lock_guard lock(m_queue_lock);
        m_stop_requested = true;
    }
    m_queue_cv.notify_one();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_thread_lock);
    m_thread_running = false;
}

void CTelemControl::Shutdown() {
    if (!IsActive()) return;
    // Removals wait for the processing thread, which cannot wait for itself.
    if (std::this_thread::get_id() == m_thread.get_id()) return;
    for (;;) {
        std::string name;
        {
            std::lock_guard resources(m_resource_lock);
            if (m_resource_names.empty()) break;
            name = m_resource_names.front();
        }
        if (RemoveCommResource(name) == kControlRemovalPending) {
            // The processing thread deletes the pending resource at the end
            // of its batch; a thread that no longer runs batches leaves it to us.
            const std::uint64_t marker = QueueMarker();
            if (marker != 0) {
                WaitForMarker(marker);
            } else {
                std::lock_guard resources(m_resource_lock);
                std::lock_guard access(m_access_lock);
                m_pending_deletion.reset();
            }
        }
    }
    for (;;) {
        std::string header;
        {
            std::lock_guard instruments(m_instrument_lock);
            if (m_headers.empty()) break;
            header = m_headers.front();
        }
        if (RemoveInstrument(header) != 0) {
            // An instrument that cannot be detached any more is dropped as is.
            std::lock_guard instruments(m_instrument_lock);
            std::lock_guard access(m_access_lock);
            if (!m_headers.empty() && m_headers.front() == header) {
                m_instruments.erase(m_instruments.begin());
                m_headers.erase(m_headers.begin());
                m_attachment.erase(m_attachment.begin());
            }
        }
    }
    StopThread();
    {
        std::lock_guard resources(m_resource_lock);
        std::lock_guard access(m_access_lock);
        m_pending_deletion.reset();
    }
    std::lock_guard lock(m_thread_lock);
    m_active = false;
}

// ---------------------------------------------------------------------------
// Messages

std::string CTelemControl::Explanation(int code) {
    switch (code) {
        case kControlResourceNotFound:
            return "\tThe communications resource could not be found.\r\n";
        case kControlResourceDefined:
            return "\tThe communications resource has already been defined.\r\n";
        case kControlResourceInvalid:
            return "\tThe communications resource reference is invalid.\r\n";
        case kControlInstrumentNotFound:
            return "\tThe instrument could not be found.\r\n";
        case kControlInstrumentDefined:
            return "\tThe instrument has already been defined.\r\n";
        case kControlInstrumentInvalid:
            return "\tThe instrument reference is invalid.\r\n";
        case kControlNotAFile:
            return "\tThe specified communications resource is not a file.\r\n";
        case kControlNotASerialPort:
            return "\tThe specified communications resource is not a serial port.\r\n";
        default:
            return {};
    }
}

void CTelemControl::ReportMessage(const std::string& text, int code) {
    {
        std::lock_guard lock(m_queue_lock);
        m_message_text += text;
        m_message_text += Explanation(code);
    }
    QueueCommand(std::string(), kCmdMessage);
}

// ---------------------------------------------------------------------------
// Lookups (access lock held by the caller)

int CTelemControl::CheckResource(int index, CTelemComm*& comm) {
    comm = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= m_resources.size()) {
        return kControlResourceInvalid;
    }
    comm = m_resources[index].get();
    return comm != nullptr ? 0 : kControlResourceNotFound;
}

int CTelemControl::CheckInstrument(int index, CInstrument*& inst) {
    inst = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= m_instruments.size()) {
        return kControlInstrumentInvalid;
    }
    inst = m_instruments[index].get();
    return inst != nullptr ? 0 : kControlInstrumentNotFound;
}

// ---------------------------------------------------------------------------
// Resources

int CTelemControl::AddCommResource(CDiskFile* file, int buffer_size) {
    std::lock_guard resources(m_resource_lock);
    const std::string name = file != nullptr ? file->GetFilePath() : std::string();
    if (!name.empty() && ResourceByName(name) != nullptr) {
        ReportMessage(FillMessage("Unable to add communications resource: %s.\r\n", {name}),
                      kControlResourceDefined);
        return kControlResourceDefined;
    }
    auto comm = std::make_unique<CTelemComm>(this);
    const int code = comm->InitializeFileResource(file, buffer_size);
    if (code != 0) {
        // Its messages are delivered once, through the control.
        for (std::string text = comm->GetNextMessage(); !text.empty();
             text = comm->GetNextMessage()) {
            ReportMessage(text, 0);
        }
        return code;
    }
    std::lock_guard access(m_access_lock);
    m_resources.push_back(std::move(comm));
    m_resource_names.push_back(name);
    return 0;
}

int CTelemControl::AddCommResource(const CSerialSettings& settings) {
    std::lock_guard resources(m_resource_lock);
    const std::string& name = settings.port_name;
    if (!name.empty() && ResourceByName(name) != nullptr) {
        ReportMessage(FillMessage("Unable to add communications resource: %s.\r\n", {name}),
                      kControlResourceDefined);
        return kControlResourceDefined;
    }
    // A port the resource cannot open answers with its own code and message
    // (this build opens none), which reach the document through the control.
    auto comm = std::make_unique<CTelemComm>(this);
    const int code = comm->InitializeSerialPort(settings);
    if (code != 0) {
        for (std::string text = comm->GetNextMessage(); !text.empty();
             text = comm->GetNextMessage()) {
            ReportMessage(text, 0);
        }
        return code;
    }
    std::lock_guard access(m_access_lock);
    m_resources.push_back(std::move(comm));
    m_resource_names.push_back(name);
    return 0;
}

int CTelemControl::RemoveCommResource(const std::string& name) {
    std::lock_guard resources(m_resource_lock);
    std::lock_guard instruments(m_instrument_lock);
    if (m_pending_deletion) return kControlRemovalPending;
    const auto it = std::find(m_resource_names.begin(), m_resource_names.end(), name);
    if (it == m_resource_names.end()) {
        ReportMessage(FillMessage("Unable to remove communications resource: %s.\r\n", {name}),
                      kControlResourceNotFound);
        return kControlResourceNotFound;
    }
    const int index = static_cast<int>(it - m_resource_names.begin());
    {
        std::lock_guard access(m_access_lock);
        m_pending_deletion = std::move(m_resources[index]);
        m_pending_deletion->Disconnect();
        m_pending_deletion->GetAbortCode();
        // The caller may close the log file once this returns.
        m_pending_deletion->ReleaseFile();
        m_resources.erase(m_resources.begin() + index);
        m_resource_names.erase(m_resource_names.begin() + index);
        for (int& attached : m_attachment) {
            if (attached == index) {
                attached = -1;
            } else if (attached > index) {
                --attached;
            }
        }
    }
    // The processing thread deletes the resource once the commands queued so
    // far (the removal message among them) have been delivered.
    ReportMessage(FillMessage("Removing communications resource: %s.\r\n", {name}), 0);
    return 0;
}

int CTelemControl::ModifyCommResource(const std::string& name, const CSerialSettings& settings) {
    std::lock_guard resources(m_resource_lock);
    std::lock_guard access(m_access_lock);
    CTelemComm* comm = ResourceByName(name);
    if (comm == nullptr) {
        ReportMessage(FillMessage("Unable to modify communications resource: %s.\r\n", {name}),
                      kControlResourceNotFound);
        return kControlResourceNotFound;
    }
    return comm->InitializeSerialPort(settings);
}

// ---------------------------------------------------------------------------
// Instruments

int CTelemControl::FindInstrument(const std::string& header) {
    std::lock_guard instruments(m_instrument_lock);
    const auto it = std::find(m_headers.begin(), m_headers.end(), header);
    return it == m_headers.end() ? -1 : static_cast<int>(it - m_headers.begin());
}

int CTelemControl::FindCommResource(const std::string& name) {
    std::lock_guard access(m_access_lock);
    const auto it = std::find(m_resource_names.begin(), m_resource_names.end(), name);
    return it == m_resource_names.end() ? -1 : static_cast<int>(it - m_resource_names.begin());
}

int CTelemControl::AddInstrument(const std::string& file_name) {
    // Loading touches nothing shared: it runs before the locks are taken.
    auto inst = std::make_unique<CInstrument>();
    const int code = inst->Load(file_name);
    ReportMessage(inst->GetMessage(), 0);
    if (code != 0) return code;
    std::lock_guard instruments(m_instrument_lock);
    std::lock_guard access(m_access_lock);
    const std::string header = inst->GetHeader();
    if (std::find(m_headers.begin(), m_headers.end(), header) != m_headers.end()) {
        ReportMessage(FillMessage("Unable to add instrument: %s.\r\n", {header}),
                      kControlInstrumentDefined);
        return kControlInstrumentDefined;
    }
    const bool line_errors = inst->GetErrorCount() != 0;
    m_instruments.push_back(std::move(inst));
    m_headers.push_back(header);
    m_attachment.push_back(-1);
    return line_errors ? kControlInstrumentLineErrors : 0;
}

int CTelemControl::RemoveInstrument(const std::string& header) {
    std::lock_guard instruments(m_instrument_lock);
    int index = FindInstrument(header);
    if (index < 0) {
        ReportMessage(FillMessage("Unable to remove instrument: %s.\r\n", {header}),
                      kControlInstrumentNotFound);
        return kControlInstrumentNotFound;
    }
    if (m_attachment[index] >= 0) {
        if (int code = DetachInstrument(header); code != 0) return code;
    }
    {
        std::lock_guard access(m_access_lock);
        m_instruments.erase(m_instruments.begin() + index);
        m_headers.erase(m_headers.begin() + index);
        m_attachment.erase(m_attachment.begin() + index);
    }
    ReportMessage(FillMessage("Removing instrument: %s.\r\n", {header}), 0);
    return 0;
}

int CTelemControl::AttachInstrument(const std::string& header, const std::string& resource_name,
                                    int no_sync) {
    std::unique_lock instruments(m_instrument_lock);
    std::unique_lock access(m_access_lock);
    int index = FindInstrument(header);
    if (index >= 0 && m_attachment[index] >= 0) {
        // Attached elsewhere: it moves.
        access.unlock();
        instruments.unlock();
        if (int code = DetachInstrument(header); code != 0) return code;
        instruments.lock();
        access.lock();
        index = FindInstrument(header);
    }
    if (index < 0) {
        ReportMessage(
            FillMessage("Unable to attach instrument %s to %s.\r\n", {header, resource_name}),
            kControlInstrumentNotFound);
        return kControlInstrumentNotFound;
    }
    CInstrument& inst = *m_instruments[index];
    AttachInfo info;
    info.header = header;
    info.frame_size = inst.GetFrameSize();
    info.terminator = inst.GetTerminator();
    info.no_sync = no_sync;
    // An instrument of another maker names its frame protocol in a SPECIAL line.
    const int special = inst.FindSensor("SPECIAL", -1);
    if (const CSensor* sensor = special >= 0 ? inst.GetSensors()[special].get() : nullptr) {
        const std::string& id = sensor->GetIdentifier();
        const bool no_fit = sensor->GetFitType() == kFitNone;
        if (EqualsIgnoreCase(id, "BSI") && sensor->GetFieldLength() == 0 && no_fit) {
            info.special_kind = "BSI";
            info.no_sync = 1;
            info.sync_byte_count = DecodeSyncBytes(sensor->GetUnits(), info.sync_bytes, 10);
        } else if (EqualsIgnoreCase(id, "HOBILABS_HS2_D") && no_fit) {
            info.special_kind = "HOBILABS_HS2_D";
            info.no_sync = 1;
        } else if ((EqualsIgnoreCase(id, "HEITRONICS_IRC") ||
                    EqualsIgnoreCase(id, "AOS_EZCOMPASS_3") ||
                    EqualsIgnoreCase(id, "SEABIRD_37SIMCT") ||
                    EqualsIgnoreCase(id, "SEABIRD_19SCT")) &&
                   no_fit) {
            for (char& ch : info.special_kind = id) {
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            }
            info.no_sync = 1;
            info.terminator = "\r\n";
        }
    }
    const auto it = std::find(m_resource_names.begin(), m_resource_names.end(), resource_name);
    if (it == m_resource_names.end()) {
        ReportMessage(
            FillMessage("Unable to attach instrument %s to %s.\r\n", {header, resource_name}),
            kControlResourceNotFound);
        return kControlResourceNotFound;
    }
    const int resource = static_cast<int>(it - m_resource_names.begin());
    const int code = m_resources[resource]->Attach(info);
    if (code == 0) m_attachment[index] = resource;
    return code;
}

int CTelemControl::DetachInstrument(const std::string& header) {
    std::lock_guard instruments(m_instrument_lock);
    std::lock_guard access(m_access_lock);
    const int index = FindInstrument(header);
    if (index < 0 || m_attachment[index] < 0 ||
        static_cast<std::size_t>(m_attachment[index]) >= m_resources.size()) {
        ReportMessage(FillMessage("Unable to remove instrument %s.\r\n", {header}),
                      kControlResourceNotFound);
        return kControlResourceNotFound;
    }
    const int code = m_resources[m_attachment[index]]->Detach(header);
    if (code == 0) m_attachment[index] = -1;
    return code;
}

// ---------------------------------------------------------------------------
// Operations on one resource

template <class Use>
int CTelemControl::QueryResource(int index, const char* failure, Use&& use) {
    std::lock_guard access(m_access_lock);
    CTelemComm* comm = nullptr;
    if (int code = CheckResource(index, comm); code != 0) {
        ReportMessage(failure, code);
        return code;
    }
    use(*comm);
    return 0;
}

int CTelemControl::CommResourceExists(int resource) {
    int exists = 0;
    QueryResource(resource, "Unable to check existance of communications resource.\r\n",
                  [&](CTelemComm& comm) { exists = comm.Exists(); });
    return exists;
}

int CTelemControl::ConnectCommResource(int resource) {
    int result = 0;
    const int code = QueryResource(resource, "Unable to connect communications resource.\r\n",
                                   [&](CTelemComm& comm) { result = comm.Connect(); });
    return code != 0 ? code : result;
}

int CTelemControl::DisconnectCommResource(int resource) {
    int result = 0;
    const int code = QueryResource(resource, "Unable to disconnect communications resource.\r\n",
                                   [&](CTelemComm& comm) { result = comm.Disconnect(); });
    return code != 0 ? code : result;
}

int CTelemControl::StartAcquisition(int instrument) {
    std::lock_guard instruments(m_instrument_lock);
    std::lock_guard access(m_access_lock);
    CInstrument* inst = nullptr;
    int code = CheckInstrument(instrument, inst);
    if (code == 0 && m_attachment[instrument] < 0) code = kControlResourceNotFound;
    if (code != 0) {
        ReportMessage("Unable to start telemetry frame aquisition.\r\n", code);
        return code;
    }
    return m_resources[m_attachment[instrument]]->EnableAcquisition(m_headers[instrument]);
}

int CTelemControl::StopAcquisition(int instrument) {
    std::lock_guard instruments(m_instrument_lock);
    std::lock_guard access(m_access_lock);
    CInstrument* inst = nullptr;
    int code = CheckInstrument(instrument, inst);
    if (code == 0 && m_attachment[instrument] < 0) code = kControlResourceNotFound;
    if (code != 0) {
        ReportMessage("Unable to stop telemetry frame aquisition.\r\n", code);
        return code;
    }
    return m_resources[m_attachment[instrument]]->DisableAcquisition(m_headers[instrument]);
}

int CTelemControl::GetBytesDiscarded(std::int64_t& count, int resource) {
    count = 0;
    return QueryResource(resource, "Unable to retrieve the number of bytes discarded.\r\n",
                         [&](CTelemComm& comm) { count = comm.GetBytesDiscarded(); });
}

void CTelemControl::ResetBytesDiscarded(int resource) {
    QueryResource(resource, "Unable to reset the number of bytes discarded.\r\n",
                  [](CTelemComm& comm) { comm.ResetBytesDiscarded(); });
}

int CTelemControl::GetCommInfo(int resource, CFileResourceSettings& settings) {
    std::lock_guard access(m_access_lock);
    CTelemComm* comm = nullptr;
    int code = CheckResource(resource, comm);
    if (code == 0 && comm->GetFileInfo(settings) == 0) code = kControlNotAFile;
    if (code != 0) {
        ReportMessage("Unable to retrieve telemetry communications information.\r\n", code);
    }
    return code;
}

int CTelemControl::GetCommInfo(int resource, CSerialSettings& settings) {
    std::lock_guard access(m_access_lock);
    CTelemComm* comm = nullptr;
    int code = CheckResource(resource, comm);
    if (code == 0 && comm->GetSerialInfo(settings) == 0) code = kControlNotASerialPort;
    if (code != 0) {
        ReportMessage("Unable to retrieve telemetry communications information.\r\n", code);
    }
    return code;
}

int CTelemControl::GetAbortCode(int resource, int& abort_code) {
    return QueryResource(resource, "Unable to retrieve telemetry aquisition abort code.\r\n",
                         [&](CTelemComm& comm) { abort_code = comm.GetAbortCode(); });
}

void CTelemControl::GetFileFrame(int resource) {
    std::string name;
    {
        std::lock_guard access(m_access_lock);
        CTelemComm* comm = nullptr;
        if (int code = CheckResource(resource, comm); code != 0) {
            ReportMessage("Unable to retrieve instrument frame from file resource.\r\n", code);
            return;
        }
        name = comm->GetName();
        if (comm->GetState() != kStateFileOwned) {
            ReportMessage(
                FillMessage("Unable to retrieve frame from telemetry resource %s.\r\n", {name}),
                kControlNotAFile);
            return;
        }
    }
    QueueCommand(name, kCmdRetrieveFrame);
}

int CTelemControl::GetCommResourceId(std::string& name, int resource) {
    return QueryResource(resource, "Unable to retieve communications resource identification.\r\n",
                         [&](CTelemComm&) { name = m_resource_names[resource]; }) == 0;
}

int CTelemControl::GetCommResourceCount() {
    std::lock_guard access(m_access_lock);
    return static_cast<int>(m_resources.size());
}

// ---------------------------------------------------------------------------
// Operations on one instrument

template <class Read>
int CTelemControl::QueryInstrument(int index, const char* failure, Read&& read) {
    std::lock_guard access(m_access_lock);
    CInstrument* inst = nullptr;
    if (int code = CheckInstrument(index, inst); code != 0) {
        ReportMessage(failure, code);
        return code;
    }
    read(*inst);
    return 0;
}

int CTelemControl::GetInstrumentFileType(int instrument, std::string& text) {
    return QueryInstrument(instrument, "Unable to retrieve the instrument file type.\r\n",
                           [&](CInstrument& inst) { text = inst.GetFileType(); });
}

int CTelemControl::GetInstrumentFileName(int instrument, std::string& text) {
    return QueryInstrument(instrument, "Unable to retrieve the instrument file name.\r\n",
                           [&](CInstrument& inst) { text = inst.GetFileName(); });
}

int CTelemControl::GetInstrumentSerialNumber(int instrument, std::string& text) {
    return QueryInstrument(instrument, "Unable to retrieve the instrument serial number.\r\n",
                           [&](CInstrument& inst) { text = inst.GetSerialNumber(); });
}

int CTelemControl::GetInstrumentCommResource(std::string& name, int instrument) {
    std::lock_guard instruments(m_instrument_lock);
    std::lock_guard access(m_access_lock);
    CInstrument* inst = nullptr;
    if (int code = CheckInstrument(instrument, inst); code != 0) {
        ReportMessage("Unable to access instrument communications resource.\r\n", code);
        return 0;
    }
    const int resource = m_attachment[instrument];
    if (resource >= 0 && static_cast<std::size_t>(resource) < m_resource_names.size()) {
        name = m_resource_names[resource];
    }
    return 1;
}

int CTelemControl::GetInstrumentHeader(std::string& header, int instrument) {
    return QueryInstrument(instrument, "Unable to retieve instrument header.\r\n",
                           [&](CInstrument&) { header = m_headers[instrument]; }) == 0;
}

int CTelemControl::GetInstrumentCount() {
    std::lock_guard access(m_access_lock);
    return static_cast<int>(m_instruments.size());
}

int CTelemControl::GetInstrumentLinesRead(int instrument) {
    int value = -1;
    QueryInstrument(instrument, "Unable to retrieve the number of instrument file lines read.\r\n",
                    [&](CInstrument& inst) { value = inst.GetLinesRead(); });
    return value;
}

int CTelemControl::GetInstrumentFrameSize(int instrument) {
    int value = -1;
    QueryInstrument(instrument, "Unable to retrive instrument frame size.\r\n",
                    [&](CInstrument& inst) { value = inst.GetFrameSize(); });
    return value;
}

int CTelemControl::GetInstrumentSensorCount(int instrument) {
    int value = -1;
    QueryInstrument(instrument, "Unable to retrieve the number of instrument sensors.\r\n",
                    [&](CInstrument& inst) { value = inst.GetSensorCount(); });
    return value;
}

int CTelemControl::FindInstrumentSensor(int instrument, const std::string& type, int start) {
    int index = -1;
    QueryInstrument(instrument, "Unable to find instrument sensor.\r\n",
                    [&](CInstrument& inst) { index = inst.FindSensor(type, start); });
    return index;
}

CSensor* CTelemControl::GetInstrumentSensors(int instrument, int sensor) {
    CSensor* found = nullptr;
    QueryInstrument(instrument, "Unable to access instrument sensors.\r\n", [&](CInstrument& inst) {
        found = inst.GetSensor(sensor);
        if (found == nullptr) ReportMessage(inst.GetMessage(), 0);
    });
    return found;
}

}  // namespace dravik
