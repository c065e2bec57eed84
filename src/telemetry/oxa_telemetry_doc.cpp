#include "telemetry/oxa_telemetry_doc.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "instrument/sensor.h"
#include "platform/text.h"

namespace dravik {

namespace {

// Data type rule of counters and check sums: a one-byte BU field or an AI field.
bool IsCounterData(const CSensor& s) {
    return (s.GetDataType() == kDataBU && s.GetFieldLength() == 1) || s.GetDataType() == kDataAI;
}

}  // namespace

COxaTelemetryDoc::COxaTelemetryDoc() {
    NewControl();
}

COxaTelemetryDoc::~COxaTelemetryDoc() {
    if (m_control) m_control->Shutdown();
    m_control.reset();
    m_control_present = false;
}

void COxaTelemetryDoc::NewControl() {
    if (m_control) {
        m_control->Shutdown();
        m_control.reset();
    }
    m_control_present = false;
    m_control = std::make_unique<CTelemControl>(this);
    m_control_present = true;
}

void COxaTelemetryDoc::DeleteContents() {
    if (!m_control) return;
    m_control->Shutdown();
    m_control.reset();
    m_control_present = false;
}

// ---------------------------------------------------------------------------
// Forwarding

int COxaTelemetryDoc::AddCommResource(CLogSource* log, int buffer_size) {
    return m_control ? m_control->AddCommResource(log, buffer_size) : kNoTelemetryControl;
}
int COxaTelemetryDoc::AddCommResource(const CSerialSettings& settings) {
    return m_control ? m_control->AddCommResource(settings) : kNoTelemetryControl;
}
int COxaTelemetryDoc::RemoveCommResource(const std::string& name) {
    return m_control ? m_control->RemoveCommResource(name) : kNoTelemetryControl;
}
int COxaTelemetryDoc::AddInstrument(const std::string& file_name) {
    return m_control ? m_control->AddInstrument(file_name) : kNoTelemetryControl;
}
int COxaTelemetryDoc::RemoveInstrument(const std::string& header) {
    return m_control ? m_control->RemoveInstrument(header) : kNoTelemetryControl;
}
int COxaTelemetryDoc::AttachInstrument(const std::string& header, const std::string& resource_name,
                                       int no_sync) {
    return m_control ? m_control->AttachInstrument(header, resource_name, no_sync)
                     : kNoTelemetryControl;
}
int COxaTelemetryDoc::CommResourceExists(int resource) {
    return m_control ? m_control->CommResourceExists(resource) : 0;
}
int COxaTelemetryDoc::ConnectCommResource(int resource) {
    return m_control ? m_control->ConnectCommResource(resource) : kNoTelemetryControl;
}
int COxaTelemetryDoc::StartAcquisition(int instrument) {
    return m_control ? m_control->StartAcquisition(instrument) : kNoTelemetryControl;
}
int COxaTelemetryDoc::GetBytesDiscarded(std::int64_t& count, int resource) {
    return m_control ? m_control->GetBytesDiscarded(count, resource) : kNoTelemetryControl;
}
int COxaTelemetryDoc::GetInstrumentFileType(int instrument, std::string& text) {
    return m_control ? m_control->GetInstrumentFileType(instrument, text) : kNoTelemetryControl;
}
int COxaTelemetryDoc::GetInstrumentSerialNumber(int instrument, std::string& text) {
    return m_control ? m_control->GetInstrumentSerialNumber(instrument, text) : kNoTelemetryControl;
}
int COxaTelemetryDoc::GetInstrumentHeader(std::string& header, int instrument) {
    return m_control ? m_control->GetInstrumentHeader(header, instrument) : 0;
}
int COxaTelemetryDoc::GetCommResourceId(std::string& name, int resource) {
    return m_control ? m_control->GetCommResourceId(name, resource) : 0;
}
int COxaTelemetryDoc::GetCommResourceCount() {
    return m_control ? m_control->GetCommResourceCount() : -1;
}
int COxaTelemetryDoc::GetInstrumentSensorCount(int instrument) {
    return m_control ? m_control->GetInstrumentSensorCount(instrument) : -1;
}
CSensor* COxaTelemetryDoc::GetInstrumentSensors(int instrument, int sensor) {
    return m_control ? m_control->GetInstrumentSensors(instrument, sensor) : nullptr;
}
void COxaTelemetryDoc::ResetBytesDiscarded(int resource) {
    if (m_control) m_control->ResetBytesDiscarded(resource);
}
void COxaTelemetryDoc::WaitForQueuedCommands() {
    if (m_control) m_control->WaitForQueuedCommands();
}
void COxaTelemetryDoc::GetFileFrame(int resource) {
    if (m_control) m_control->GetFileFrame(resource);
}
void COxaTelemetryDoc::ReportMessage(const std::string& text, int code) {
    if (m_control) m_control->ReportMessage(text, code);
}

// ---------------------------------------------------------------------------
// Sensor recognition

int COxaTelemetryDoc::FindSensor(int instrument, const std::string& type, const SensorTest& test) {
    if (!m_control) return -1;
    for (int index = m_control->FindInstrumentSensor(instrument, type, -1); index >= 0;
         index = m_control->FindInstrumentSensor(instrument, type, index)) {
        const CSensor* sensor = GetInstrumentSensors(instrument, index);
        if (sensor != nullptr && test(*sensor)) return index;
    }
    return -1;
}

namespace {

// Of two searches, whichever match comes first in sensor order.
int FirstOf(int a, int b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

}  // namespace

int COxaTelemetryDoc::FindFrameCounterSensor(int instrument) {
    const int frame = FindSensor(instrument, "FRAME", [](const CSensor& s) {
        return (s.GetIdentifier().empty() || EqualsIgnoreCase(s.GetIdentifier(), "COUNTER")) &&
               IsCounterData(s) && s.GetFitType() == kFitCount;
    });
    const int framecounter = FindSensor(instrument, "FRAMECOUNTER", [](const CSensor& s) {
        return s.GetIdentifier().empty() && IsCounterData(s) && s.GetFitType() == kFitCount;
    });
    return FirstOf(frame, framecounter);
}

int COxaTelemetryDoc::FindChecksumSensor(int instrument) {
    const int check = FindSensor(instrument, "CHECK", [](const CSensor& s) {
        return EqualsIgnoreCase(s.GetIdentifier(), "SUM") && IsCounterData(s) &&
               s.GetFitType() == kFitCount;
    });
    const int checksum = FindSensor(instrument, "CHECKSUM", [](const CSensor& s) {
        return s.GetIdentifier().empty() && IsCounterData(s) && s.GetFitType() == kFitCount;
    });
    return FirstOf(check, checksum);
}

// ---------------------------------------------------------------------------
// Callbacks

std::tm COxaTelemetryDoc::LocalNow() const {
    if (m_local_clock) return m_local_clock();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string COxaTelemetryDoc::StampMessage(const std::string& text, const std::tm& local) {
    char stamp[64];
    const std::size_t stamp_length =
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d  %H:%M:%S> ", &local);
    std::string out;
    out.reserve(text.size() + 2 * stamp_length);
    std::size_t pos = 0;
    bool first = true;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos;
         end = text.find("\r\n", pos)) {
        const std::string_view line(text.data() + pos, end + 2 - pos);
        // Detail lines (a leading tab) and blank lines belong to the line above.
        if (first || (line[0] != '\t' && line.size() > 2)) out.append(stamp, stamp_length);
        out.append(line);
        first = false;
        pos = end + 2;
    }
    return out;
}

void COxaTelemetryDoc::OnTelemetryMessage(std::string& text) {
    if (!m_control_present || text.empty()) return;
    text = StampMessage(text, LocalNow());
}

void COxaTelemetryDoc::OnTelemetryFrame(const std::string&, std::unique_ptr<CFrameData> frame) {
    frame.reset();
}

void COxaTelemetryDoc::OnFileResourceStatus(const std::string&, int, int, int) {}

void COxaTelemetryDoc::OnCommResourceStatus(const std::string&, int) {}

void COxaTelemetryDoc::OnInstrumentStatus(const std::string&, int) {}

}  // namespace dravik
