#include "telemetry/telem_control.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "instrument/instrument.h"
#include "instrument/sensor.h"
#include "platform/log_source.h"
#include "platform/text.h"
#include "telemetry/attach_info.h"
#include "telemetry/oxa_telemetry_doc.h"

namespace dravik {

// ---------------------------------------------------------------------------
// Construction and the processing thread

CTelemControl::CTelemControl(COxaTelemetryDoc* doc)
    : m_doc(doc), m_thread([this](const CProcessingThread::Batch& batch) { RunBatch(batch); }) {}

CTelemControl::~CTelemControl() {
    if (m_active) Shutdown();
}

void CTelemControl::RunBatch(const CProcessingThread::Batch& batch) {
    std::lock_guard resources(m_resource_lock);
    for (const CProcessCommand& command : batch) ProcessCommand(command);
    // The removed resource's last messages and status have been delivered.
    std::lock_guard access(m_access_lock);
    m_pending_deletion.reset();
}

void CTelemControl::WaitForQueuedCommands() {
    m_thread.WaitForQueued();
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
                std::string text = m_thread.TakeMessageText();
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
    m_thread.Push(resource_name, code);
}

void CTelemControl::Shutdown() {
    if (!m_active) return;
    // Removals wait for the processing thread, which cannot wait for itself.
    if (m_thread.OnThread()) return;
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
            if (!m_thread.WaitForQueued()) {
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
    m_thread.Stop();
    {
        std::lock_guard resources(m_resource_lock);
        std::lock_guard access(m_access_lock);
        m_pending_deletion.reset();
    }
    m_active = false;
}

// ---------------------------------------------------------------------------
// Messages

void CTelemControl::ReportMessage(const std::string& text, int code) {
    m_thread.AppendMessage(text + ControlExplanation(code));
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

template <class Init>
int CTelemControl::AddResource(const std::string& name, Init&& init) {
    std::lock_guard resources(m_resource_lock);
    if (!name.empty() && ResourceByName(name) != nullptr) {
        ReportMessage(FillMessage("Unable to add communications resource: %s.\r\n", {name}),
                      kControlResourceDefined);
        return kControlResourceDefined;
    }
    auto comm = std::make_unique<CTelemComm>(this);
    if (const int code = init(*comm); code != 0) {
        // A resource that cannot be set up answers with its own code; its
        // messages are delivered once, through the control.
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

int CTelemControl::AddCommResource(CLogSource* log, int buffer_size) {
    return AddResource(log != nullptr ? log->GetName() : std::string(), [&](CTelemComm& comm) {
        return comm.InitializeFileResource(log, buffer_size);
    });
}

int CTelemControl::AddCommResource(const CSerialSettings& settings) {
    return AddResource(settings.port_name,
                       [&](CTelemComm& comm) { return comm.InitializeSerialPort(settings); });
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

// ---------------------------------------------------------------------------
// Instruments

int CTelemControl::FindInstrument(const std::string& header) {
    std::lock_guard instruments(m_instrument_lock);
    const auto it = std::find(m_headers.begin(), m_headers.end(), header);
    return it == m_headers.end() ? -1 : static_cast<int>(it - m_headers.begin());
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
    const AttachInfo info = MakeAttachInfo(*m_instruments[index], header, no_sync);
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

int CTelemControl::GetBytesDiscarded(std::int64_t& count, int resource) {
    count = 0;
    return QueryResource(resource, "Unable to retrieve the number of bytes discarded.\r\n",
                         [&](CTelemComm& comm) { count = comm.GetBytesDiscarded(); });
}

void CTelemControl::ResetBytesDiscarded(int resource) {
    QueryResource(resource, "Unable to reset the number of bytes discarded.\r\n",
                  [](CTelemComm& comm) { comm.ResetBytesDiscarded(); });
}

int CTelemControl::GetLineErrorCounts(int resource, std::uint64_t& framing, std::uint64_t& breaks) {
    framing = breaks = 0;
    return QueryResource(resource, "Unable to retrieve the line error counts.\r\n",
                         [&](CTelemComm& comm) {
                             framing = comm.GetFramingErrorTotal();
                             breaks = comm.GetBreakErrorTotal();
                         });
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

int CTelemControl::GetInstrumentSerialNumber(int instrument, std::string& text) {
    return QueryInstrument(instrument, "Unable to retrieve the instrument serial number.\r\n",
                           [&](CInstrument& inst) { text = inst.GetSerialNumber(); });
}

int CTelemControl::GetInstrumentHeader(std::string& header, int instrument) {
    return QueryInstrument(instrument, "Unable to retieve instrument header.\r\n",
                           [&](CInstrument&) { header = m_headers[instrument]; }) == 0;
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
