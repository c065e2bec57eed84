#include "cli/run_report.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/disk_file.h"

#ifndef DRAVIK_VERSION
#define DRAVIK_VERSION "0.0.0"
#endif

namespace dravik {

namespace {

// The length of the UTF-8 character at the start of `text`, or 0 when it
// does not start with one.
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned min = 0;
    unsigned code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, min = 0x80, code = lead & 0x1fu;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, min = 0x800, code = lead & 0x0fu;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, min = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3fu);
    }
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code < min || code > 0x10ffff || surrogate ? 0 : length;
}

void AppendString(std::string& json, std::string_view text) {
    json += '"';
    char escape[8];
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text.front());
        std::size_t length = 1;
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            json += escape;
        } else if ((length = Utf8Length(text)) == 0) {
            length = 1;
            std::snprintf(escape, sizeof escape, "\\udc%02x", c);
            json += escape;
        } else {
            json.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    json += '"';
}

void AppendNameOrNull(std::string& json, const std::string& text) {
    if (text.empty()) {
        json += "null";
    } else {
        AppendString(json, text);
    }
}

void AppendCount(std::string& json, std::optional<std::uint64_t> value) {
    json += value ? std::to_string(*value) : std::string("null");
}

void AppendRecord(std::string& json, const CReportRecord& record) {
    const CEachResult& r = record.result;
    const bool named = !record.output.empty();
    const bool counts = HasCounts(r, named);
    auto count = [&](bool shown, std::uint64_t value) {
        return counts && shown ? std::optional<std::uint64_t>(value) : std::nullopt;
    };
    json += "    {\"log\": ";
    AppendString(json, record.log);
    json += ", \"instrument\": ";
    AppendNameOrNull(json, record.instrument);
    json += ", \"package\": ";
    AppendNameOrNull(json, record.package);
    json += ", \"output\": ";
    AppendNameOrNull(json, record.output);
    json += ",\n     \"outcome\": ";
    AppendString(json, OutcomeText(r, named));
    json += ", \"complete\": ";
    json += r.started && named && r.outcome == EConversionOutcome::kComplete ? "true" : "false";
    json += ",\n     \"frames\": ";
    AppendCount(json, count(true, r.status.frames_processed));
    json += ", \"resynchronizations\": ";
    AppendCount(json, count(true, r.status.resynchronizations));
    json += ", \"frame_counter_errors\": ";
    AppendCount(json, count(r.counter_sensor, r.status.frame_counter_errors));
    json += ", \"check_sum_errors\": ";
    AppendCount(json, count(r.check_sum_sensor, r.status.check_sum_errors));
    json += ",\n     \"bytes_read\": ";
    AppendCount(json, count(true, r.status.bytes_consumed));
    json += ", \"seconds\": ";
    char seconds[32];
    const auto end =
        std::to_chars(seconds, seconds + sizeof seconds, r.seconds, std::chars_format::fixed, 3)
            .ptr;
    json.append(seconds, end);
    json += "}";
}

}  // namespace

std::string FormatRunReport(const std::vector<CReportRecord>& records) {
    std::string json = "{\"program\": \"dravik-convert\", \"version\": \"" DRAVIK_VERSION
                       "\", \"conversions\": [\n";
    for (std::size_t i = 0; i < records.size(); ++i) {
        AppendRecord(json, records[i]);
        json += i + 1 < records.size() ? ",\n" : "\n";
    }
    json += "]}\n";
    return json;
}

std::string WriteRunReport(const std::string& path, const std::vector<CReportRecord>& records) {
    const std::string json = FormatRunReport(records);
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr;
    if (written) {
        written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
        written = std::fclose(file) == 0 && written;
    }
    if (written) return {};
    return "The report could not be written to \"" + path +
           "\": " + std::strerror(errno != 0 ? errno : EIO) + ".";
}

std::string ReportFileClash(const std::string& report, const std::vector<std::string>& files) {
    namespace fs = std::filesystem;
    // The name a file has or will have, links and "." and ".." resolved.
    auto canonical = [](const std::string& path) {
        std::error_code ec;
        fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
        return ec ? fs::path() : full;
    };
    const fs::path report_path = canonical(report);
    CFileIdentity report_identity;
    const bool exists = GetFileIdentity(report, report_identity);
    for (const std::string& file : files) {
        if (file.empty()) continue;
        CFileIdentity identity;
        const bool same =
            (exists && GetFileIdentity(file, identity) && identity == report_identity) ||
            (!report_path.empty() && canonical(file) == report_path);
        if (same) {
            const std::string also = file == report ? "" : " (\"" + file + "\")";
            return "The report file \"" + report + "\" is one of the files of the conversions" +
                   also + ": give the report another name.";
        }
    }
    return {};
}

}  // namespace dravik
