#include "log_generator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "instrument/instrument.h"
#include "instrument/sensor.h"
#include "platform/calendar.h"
#include "platform/text.h"

namespace dravik {

namespace {

constexpr std::uint32_t kMsPerDay = 86400000;

// Whether `part` appears in `text`, ignoring case.
bool ContainsNoCase(std::string_view text, std::string_view part) {
    return AsciiLower(text).find(AsciiLower(part)) != std::string::npos;
}

// The check sensors are recognised as the conversion recognises them: a
// one-byte BU field or an AI field with a COUNT fit.
bool IsCheckDataType(const CSensor& s) {
    return (s.GetDataType() == kDataBU && s.GetFieldLength() == 1) || s.GetDataType() == kDataAI;
}

// The first sensor of type `type` whose identifier is `identifier` (or empty,
// when `empty_ok`), else the first of type `other_type` without identifier.
int FindCheckSensor(const CInstrument& instrument, std::string_view type,
                    std::string_view identifier, bool empty_ok, std::string_view other_type) {
    const auto& sensors = instrument.GetSensors();
    for (const bool first : {true, false}) {
        for (std::size_t i = 0; i < sensors.size(); ++i) {
            const CSensor& s = *sensors[i];
            if (!EqualsIgnoreCase(s.GetType(), first ? type : other_type)) continue;
            const std::string& ident = s.GetIdentifier();
            const bool ident_ok =
                first ? EqualsIgnoreCase(ident, identifier) || (empty_ok && ident.empty())
                      : ident.empty();
            if (ident_ok && IsCheckDataType(s) && s.GetFitType() == kFitCount) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

void PutBigEndian(std::string& frame, std::size_t offset, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::size_t at = offset + i;
        if (at >= frame.size()) return;  // a field that runs past the frame is cut there
        frame[at] = static_cast<char>((value >> (8 * (bytes - 1 - i))) & 0xFF);
    }
}

std::string IntegerText(std::int64_t value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// A number written in the "C" locale with `decimals` digits after the point.
std::string FixedText(double value, int decimals) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                std::max(decimals, 0));
    if (result.ec != std::errc()) return "0";
    return std::string(buffer, result.ptr);
}

}  // namespace

// splitmix64: small, fast and the same on every platform, unlike the
// distributions of <random>, so a seed gives the same log everywhere.
class CLogGenerator::Random {
  public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }

  private:
    std::uint64_t m_state;
};

enum class Role {
    kPlain,            // a slowly wandering value inside the field's range
    kCounter,          // the frame counter: rises by one per frame, wraps after 255
    kCheckSum,         // makes the frame's bytes add up to zero modulo 256
    kElapsed,          // seconds since the first frame
    kIntegration,      // an integration time in milliseconds
    kDate,             // DDMMYY
    kEpoch,            // seconds since 1970 (TIME2)
    kClock,            // HHMMSS.ss
    kLatitude,         // DDMM.mmmm
    kLongitude,        // DDDMM.mmmm
    kNorthHemisphere,  // "N" beside a latitude
    kWestHemisphere,   // "W" beside a longitude
};

struct CLogGenerator::SensorPlan {
    const CSensor* sensor = nullptr;
    int data_type = kDataUnset;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    bool variable = false;
    int field_index = -1;
    Role role = Role::kPlain;
    double low = 0.0;
    double high = 1.0;
    double level = 0.5;  // position inside [low, high], wanders from frame to frame
};

CLogGenerator::CLogGenerator(const CInstrument* instrument, const LogGeneratorOptions& options)
    : m_instrument(instrument),
      m_options(options),
      m_random(std::make_unique<Random>(options.seed)) {
    const std::uint32_t year = options.start_date / 1000;
    const std::uint32_t day = std::clamp<std::uint32_t>(options.start_date % 1000, 1, 366);
    m_days = DaysFromCivil(year, 1, 1) + day - 1;
    m_ms_of_day = options.start_time_ms % kMsPerDay;
    m_counter_start = static_cast<std::uint32_t>(m_random->Below(256));
    if (!options.header_sync.empty()) {
        m_forbidden_second = static_cast<std::uint8_t>(options.header_sync[0]);
    }
    m_forbidden_first = m_forbidden_second;
    if (m_instrument != nullptr && !m_instrument->GetHeader().empty()) {
        m_forbidden_first = static_cast<std::uint8_t>(m_instrument->GetHeader()[0]);
    }
    if (m_instrument != nullptr) PlanSensors();
}

CLogGenerator::~CLogGenerator() = default;

void CLogGenerator::PlanSensors() {
    m_counter_sensor = FindCheckSensor(*m_instrument, "FRAME", "COUNTER", true, "FRAMECOUNTER");
    m_check_sum_sensor = FindCheckSensor(*m_instrument, "CHECK", "SUM", false, "CHECKSUM");
    const auto& sensors = m_instrument->GetSensors();
    m_plans.resize(sensors.size());
    for (std::size_t i = 0; i < sensors.size(); ++i) {
        const CSensor& s = *sensors[i];
        SensorPlan& p = m_plans[i];
        p.sensor = &s;
        p.data_type = s.GetDataType();
        p.offset = s.GetOffset();
        p.length = s.GetFieldLength();
        p.variable = s.IsVariable();
        p.field_index = s.GetVariableFieldIndex();
        p.level = m_random->Uniform();

        const int fit = s.GetFitType();
        const std::string& type = s.GetType();
        if (static_cast<int>(i) == m_counter_sensor) {
            p.role = Role::kCounter;
        } else if (static_cast<int>(i) == m_check_sum_sensor) {
            p.role = Role::kCheckSum;
        } else if (fit == kFitDDMMYY) {
            p.role = Role::kDate;
        } else if (fit == kFitTime2) {
            p.role = Role::kEpoch;
        } else if (fit == kFitHHMMSS) {
            p.role = Role::kClock;
        } else if (fit == kFitDDMM) {
            p.role = ContainsNoCase(type, "LON") || ContainsNoCase(s.GetIdentifier(), "LON")
                         ? Role::kLongitude
                         : Role::kLatitude;
        } else if (EqualsIgnoreCase(type, "TIMER")) {
            p.role = Role::kElapsed;
        } else if (EqualsIgnoreCase(type, "INTTIME")) {
            p.role = Role::kIntegration;
        } else if (p.data_type == kDataAS && ContainsNoCase(s.GetIdentifier(), "HEMI")) {
            p.role = ContainsNoCase(type, "LON") ? Role::kWestHemisphere : Role::kNorthHemisphere;
        }

        // The range a plain value wanders in, from what the field can hold.
        const std::uint32_t n = std::min<std::uint32_t>(p.length, 8);
        switch (p.data_type) {
            case kDataBU:
            case kDataBS: {
                const std::uint32_t bytes = std::clamp<std::uint32_t>(n, 1, 4);
                const double max = std::ldexp(1.0, static_cast<int>(8 * bytes)) - 1;
                if (p.data_type == kDataBS && bytes == 4) {
                    p.low = -1.0e6;
                    p.high = 1.0e6;
                } else if (bytes == 1) {
                    p.low = 0;
                    p.high = max;
                } else if (fit == kFitPolyU || fit == kFitPolyF) {
                    // Housekeeping channels (temperature, tilt, supply) stay near mid scale.
                    p.low = 0.35 * max;
                    p.high = 0.45 * max;
                } else {
                    // Counts above the dark level and well below saturation.
                    p.low = 0.03 * max;
                    p.high = 0.5 * max;
                }
                break;
            }
            case kDataHU:
            case kDataHS: {
                const std::uint32_t digits = std::clamp<std::uint32_t>(n, 1, 8);
                const double max = std::ldexp(1.0, static_cast<int>(4 * digits)) - 1;
                if (p.data_type == kDataHS) {
                    const double magnitude = std::ldexp(1.0, static_cast<int>(4 * digits - 2)) - 1;
                    p.low = -0.8 * magnitude;
                    p.high = 0.8 * magnitude;
                } else {
                    p.low = 0;
                    p.high = 0.9 * max;
                }
                break;
            }
            case kDataAI:
                p.low = 0;
                p.high = p.variable || p.length >= 6 ? 99999 : std::pow(10.0, p.length) - 1;
                break;
            default:  // BF, BD, AF: a water temperature or a speed
                p.low = 0.5;
                p.high = 30.0;
                break;
        }
        if (p.role == Role::kIntegration) {
            p.low = 32;
            p.high = 1024;
        }
    }
}

double CLogGenerator::FrameValue(SensorPlan& p) {
    // A bounded random walk: neighbouring frames hold neighbouring values,
    // as a real sensor's readings do.
    p.level += (m_random->Uniform() - 0.5) * 0.06;
    if (p.level < 0) p.level = -p.level;
    if (p.level > 1) p.level = 2 - p.level;

    const double seconds_of_day = m_ms_of_day / 1000.0;
    switch (p.role) {
        case Role::kCounter:
            return static_cast<double>((m_counter_start + m_frame_number) % 256);
        case Role::kCheckSum:
            return 0;
        case Role::kElapsed:
            return static_cast<double>(m_frame_number) * m_options.period_ms / 1000.0;
        case Role::kDate: {
            std::int64_t y;
            unsigned m, d;
            CivilFromDays(m_days, y, m, d);
            return d * 10000.0 + m * 100.0 + static_cast<double>(y % 100);
        }
        case Role::kEpoch:
            return static_cast<double>(m_days) * 86400.0 + seconds_of_day;
        case Role::kClock: {
            const std::uint32_t s = m_ms_of_day / 1000;
            return (s / 3600) * 10000.0 + (s / 60 % 60) * 100.0 + (s % 60) +
                   (m_ms_of_day % 1000) / 1000.0;
        }
        case Role::kLatitude:
        case Role::kLongitude: {
            const double degrees = (p.role == Role::kLatitude ? 44.0 : 63.0) + p.level * 0.5;
            const double whole = std::floor(degrees);
            return whole * 100.0 + (degrees - whole) * 60.0;
        }
        case Role::kPlain:
        case Role::kIntegration:
        case Role::kNorthHemisphere:
        case Role::kWestHemisphere:
            break;
    }
    return p.low + p.level * (p.high - p.low);
}

std::string CLogGenerator::TextValue(SensorPlan& p, double value, std::size_t width) {
    std::string text;
    switch (p.data_type) {
        case kDataAS: {
            if (p.role == Role::kNorthHemisphere || p.role == Role::kWestHemisphere) {
                text.assign(width > 1 ? width - 1 : 0, ' ');
                text.push_back(p.role == Role::kNorthHemisphere ? 'N' : 'W');
                return text;
            }
            static constexpr char kLetters[] = "ABCDEFGHJKLMNPRSTUVWXYZ";
            const std::size_t count = width > 0 ? width : 1 + m_random->Below(3);
            for (std::size_t i = 0; i < count; ++i) {
                text += kLetters[m_random->Below(sizeof kLetters - 1)];
            }
            return text;
        }
        case kDataAF: {
            int decimals = 4;
            if (p.role == Role::kClock) decimals = 2;
            if (p.role == Role::kEpoch) decimals = 3;
            if (width > 0) {
                // As many decimals as the field leaves room for.
                const std::string whole = IntegerText(static_cast<std::int64_t>(value));
                decimals = static_cast<int>(width) - static_cast<int>(whole.size()) - 1;
            }
            text = decimals >= 0 ? FixedText(value, decimals) : IntegerText(std::llround(value));
            if (width == 0) {
                // Positions and times keep their leading zeros: dddmm.mmmm, ddmm.mmmm, hhmmss.ss.
                const std::size_t digits = p.role == Role::kLongitude ? 5
                                           : p.role == Role::kLatitude || p.role == Role::kClock
                                               ? (p.role == Role::kClock ? 6 : 4)
                                               : 0;
                const std::size_t point = std::min(text.find('.'), text.size());
                if (point < digits) text.insert(0, digits - point, '0');
            }
            break;
        }
        default:
            text = IntegerText(std::llround(value));
            break;
    }
    if (width > 0) {
        if (text.size() > width) text.assign(width, '9');
        text.insert(0, width - text.size(), ' ');  // right-aligned, as loggers pad numbers
    }
    return text;
}

void CLogGenerator::PutFixedField(SensorPlan& p, double value) {
    const std::size_t at = p.offset;
    const std::uint32_t n = p.length;
    switch (p.data_type) {
        case kDataBU:
        case kDataBS: {
            const std::uint32_t bytes = std::min<std::uint32_t>(n, 4);
            const double max = std::ldexp(1.0, static_cast<int>(8 * bytes)) - 1;
            std::int64_t raw = std::llround(value);
            if (!(p.data_type == kDataBS && bytes == 4)) {
                raw = static_cast<std::int64_t>(std::clamp(static_cast<double>(raw), 0.0, max));
            }
            PutBigEndian(m_frame, at, static_cast<std::uint64_t>(raw) & 0xFFFFFFFFu, bytes);
            break;
        }
        case kDataBF: {
            const float f = static_cast<float>(value);
            std::uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            PutBigEndian(m_frame, at, bits, 4);
            break;
        }
        case kDataBD: {
            std::uint64_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            PutBigEndian(m_frame, at, bits, 8);
            break;
        }
        case kDataHU:
        case kDataHS: {
            const std::uint32_t digits = std::clamp<std::uint32_t>(n, 1, 8);
            std::uint64_t raw;
            if (p.data_type == kDataHS) {
                // Sign and magnitude: the sign is the bit of weight 4 in the first digit.
                const std::uint64_t limit = (1ull << (4 * digits - 2)) - 1;
                const double magnitude = std::min(std::fabs(value), static_cast<double>(limit));
                raw = static_cast<std::uint64_t>(magnitude);
                if (value < 0) raw |= 1ull << (4 * digits - 2);
            } else {
                const double limit = std::ldexp(1.0, static_cast<int>(4 * digits)) - 1;
                raw = static_cast<std::uint64_t>(std::clamp(value, 0.0, limit));
            }
            static constexpr char kHex[] = "0123456789ABCDEF";
            for (std::uint32_t i = 0; i < digits && at + i < m_frame.size(); ++i) {
                m_frame[at + i] = kHex[(raw >> (4 * (digits - 1 - i))) & 0xF];
            }
            break;
        }
        default: {  // AI, AF, AS: text right-aligned in the field
            const std::string text = TextValue(p, value, n);
            for (std::size_t i = 0; i < text.size() && at + i < m_frame.size(); ++i) {
                m_frame[at + i] = text[i];
            }
            break;
        }
    }
}

void CLogGenerator::BuildFixedFrame() {
    const std::string& header = m_instrument->GetHeader();
    const std::size_t size = std::max<std::size_t>(
        static_cast<std::size_t>(std::max(m_instrument->GetFrameSize(), 0)), header.size());
    m_frame.assign(size, '\0');
    for (SensorPlan& p : m_plans) {
        if (p.variable || p.length == 0 || p.role == Role::kCheckSum) continue;
        PutFixedField(p, FrameValue(p));
    }
    std::copy(header.begin(), header.end(), m_frame.begin());
    if (m_check_sum_sensor >= 0) {
        SensorPlan& p = m_plans[static_cast<std::size_t>(m_check_sum_sensor)];
        if (p.offset < m_frame.size()) {
            if (p.data_type == kDataBU) {
                // The bytes from the first header byte through the check sum
                // byte add up to zero modulo 256.
                unsigned sum = 0;
                for (std::size_t i = 0; i < p.offset; ++i) {
                    sum += static_cast<std::uint8_t>(m_frame[i]);
                }
                m_frame[p.offset] = static_cast<char>((256 - sum % 256) % 256);
            } else {
                PutFixedField(p, 0);  // an AI check sum field is written, not balanced
            }
        }
    }
}

void CLogGenerator::BuildVariableFrame() {
    const std::string& delimiters = m_instrument->GetFieldDelimiters();
    const std::string& terminator = m_instrument->GetTerminator();
    m_frame = m_instrument->GetHeader();
    for (std::size_t k = 0; k < delimiters.size(); ++k) {
        m_frame += delimiters[k];
        for (SensorPlan& p : m_plans) {
            if (!p.variable || p.field_index != static_cast<int>(k)) continue;
            const std::string text = TextValue(p, FrameValue(p), 0);
            // A character that would end the field early travels as a "^hh" escape.
            for (char c : text) {
                if (c == '^' || delimiters.find(c) != std::string::npos ||
                    (!terminator.empty() && c == terminator[0])) {
                    static constexpr char kHex[] = "0123456789ABCDEF";
                    const auto u = static_cast<std::uint8_t>(c);
                    m_frame += '^';
                    m_frame += kHex[u >> 4];
                    m_frame += kHex[u & 0xF];
                } else {
                    m_frame += c;
                }
            }
            break;
        }
    }
    m_frame += terminator;
}

const std::string& CLogGenerator::NextFrame() {
    if (m_instrument == nullptr) {
        m_frame.clear();
        return m_frame;
    }
    if (m_instrument->IsVariableFrame()) {
        BuildVariableFrame();
    } else {
        BuildFixedFrame();
    }
    std::int64_t y;
    unsigned m, d;
    CivilFromDays(m_days, y, m, d);
    const std::int64_t day_of_year = m_days - DaysFromCivil(y, 1, 1) + 1;
    const std::uint32_t s = m_ms_of_day / 1000;
    const std::uint32_t date = static_cast<std::uint32_t>(y * 1000 + day_of_year);
    const std::uint32_t time =
        (s / 3600) * 10000000u + (s / 60 % 60) * 100000u + (s % 60) * 1000u + m_ms_of_day % 1000;
    EncodeTimeTag(date, time, m_last_tag);
    AdvanceClock();
    ++m_frame_number;
    return m_frame;
}

int CLogGenerator::WriteGarbage(CLogSink& sink, std::uint64_t count, LogSummary& summary) {
    char chunk[4096];
    while (count > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof chunk));
        for (std::size_t i = 0; i < n; ++i) {
            auto b = static_cast<std::uint8_t>(m_random->Next() >> 56);
            while (b == m_forbidden_first || b == m_forbidden_second) ++b;
            chunk[i] = static_cast<char>(b);
        }
        if (int cause = sink.Write(std::string_view(chunk, n))) return cause;
        summary.garbage_bytes += n;
        count -= n;
    }
    return 0;
}

int CLogGenerator::WriteHeaderRecords(CLogSink& sink, LogSummary& summary) {
    struct Record {
        const char* name;
        double low, high;
        int decimals;
        const char* text;  // a text value instead of a number
    };
    static constexpr Record kRecords[] = {
        {"Battery", 11.5, 13.5, 1, nullptr},     {"Cast", 1, 40, 0, nullptr},
        {"Station", 0, 0, 0, "Ridge-7"},         {"Latitude", 44.0, 44.9, 4, nullptr},
        {"Longitude", -63.9, -63.0, 4, nullptr}, {"Bottom Depth", 80, 400, 1, nullptr},
        {"Wind Speed", 0, 12, 1, nullptr},       {"Sea State", 0, 5, 0, nullptr},
        {"Cloud Cover", 0, 100, 0, nullptr},     {"Operator", 0, 0, 0, "K. Lindqvist"},
    };
    constexpr int kCount = static_cast<int>(sizeof kRecords / sizeof kRecords[0]);
    for (int i = 0; i < m_options.header_records; ++i) {
        const Record& r = kRecords[i % kCount];
        std::string value =
            r.text != nullptr
                ? std::string(r.text)
                : FixedText(r.low + m_random->Uniform() * (r.high - r.low), r.decimals);
        std::string name = r.name;
        if (i >= kCount) name.append(" ").append(IntegerText(i / kCount + 1));
        std::string line = m_options.header_sync;
        line.append(" ").append(value).append(" (").append(name).append(")\r\n");
        if (int cause = sink.Write(line)) return cause;
        ++summary.header_records;
    }
    return 0;
}

int CLogGenerator::Generate(CLogSink& sink, LogSummary& summary) {
    summary = LogSummary{};
    if (int cause = WriteHeaderRecords(sink, summary)) return cause;
    const bool limited = m_options.frames > 0 || m_options.bytes > 0;
    const double rate = std::clamp(m_options.garbage_rate, 0.0, 0.99);
    while (m_instrument != nullptr && limited &&
           (m_options.frames == 0 || summary.frames < m_options.frames) &&
           (m_options.bytes == 0 || sink.BytesWritten() < m_options.bytes)) {
        if (rate > 0) {
            // Gaps average rate / (1 - rate) of a frame with its tag, so that
            // garbage makes up `rate` of the log.
            const double frame_bytes = static_cast<double>(
                m_frame.empty() ? std::max(m_instrument->GetFrameSize(), 1) : m_frame.size());
            const double mean = rate / (1 - rate) * (frame_bytes + (m_options.time_tags ? 7 : 0));
            const auto count = static_cast<std::uint64_t>(2 * mean * m_random->Uniform());
            if (int cause = WriteGarbage(sink, count, summary)) return cause;
        }
        const std::string& frame = NextFrame();
        if (frame.empty()) break;  // an instrument without a header has no frames
        if (int cause = sink.Write(frame)) return cause;
        if (m_options.time_tags) {
            const char* tag = reinterpret_cast<const char*>(m_last_tag);
            if (int cause = sink.Write(std::string_view(tag, 7))) return cause;
        }
        ++summary.frames;
    }
    const int cause = sink.Flush();
    summary.bytes = sink.BytesWritten();
    return cause;
}

void CLogGenerator::AdvanceClock() {
    m_ms_of_day += m_options.period_ms;
    while (m_ms_of_day >= kMsPerDay) {
        m_ms_of_day -= kMsPerDay;
        ++m_days;
    }
}

}  // namespace dravik
