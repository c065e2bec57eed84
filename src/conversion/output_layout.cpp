#include "conversion/output_layout.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "instrument/sensor.h"

namespace dravik {

namespace {

std::size_t PadCount(std::size_t length, int width) {
    int w = std::min(width, kMaxCellWidth);
    return w > 0 && static_cast<std::size_t>(w) > length ? static_cast<std::size_t>(w) - length : 0;
}

// "%0Nlu" without printf.
std::string ZeroPadded(std::uint32_t value, std::size_t digits) {
    char buf[16];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    std::string text(buf, end);
    if (text.size() < digits) text.insert(0, digits - text.size(), '0');
    return text;
}

std::string_view Part(std::string_view text, std::size_t start, std::size_t count) {
    if (start >= text.size()) return {};
    return text.substr(start, count);
}

bool IsTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string SensorColumnName(const CSensor& sensor) {
    std::string name = sensor.GetType();
    if (!sensor.GetIdentifier().empty()) name += "(" + sensor.GetIdentifier() + ")";
    return name;
}

void AppendCell(std::string& line, std::string_view text, int width) {
    line.append(PadCount(text.size(), width), ' ');
    line.append(text);
}

void AppendLeftCell(std::string& line, std::string_view text, int width) {
    line.append(text);
    line.append(PadCount(text.size(), width), ' ');
}

void AppendUnsignedCell(std::string& line, std::uint64_t value, int width) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    AppendCell(line, std::string_view(buf, static_cast<std::size_t>(end - buf)), width);
}

void AppendBlankCell(std::string& line, int width) {
    line.append(PadCount(0, width), ' ');
}

void RemoveTrailingDelimiter(std::string& line, std::string_view delimiter) {
    if (!delimiter.empty() && line.size() >= delimiter.size() &&
        std::string_view(line).substr(line.size() - delimiter.size()) == delimiter) {
        line.resize(line.size() - delimiter.size());
    }
}

void EncodeTimeTag(std::uint32_t yyyyddd, std::uint32_t hhmmssmmm, std::uint8_t out[7]) {
    out[0] = static_cast<std::uint8_t>(yyyyddd >> 16);
    out[1] = static_cast<std::uint8_t>(yyyyddd >> 8);
    out[2] = static_cast<std::uint8_t>(yyyyddd);
    out[3] = static_cast<std::uint8_t>(hhmmssmmm >> 24);
    out[4] = static_cast<std::uint8_t>(hhmmssmmm >> 16);
    out[5] = static_cast<std::uint8_t>(hhmmssmmm >> 8);
    out[6] = static_cast<std::uint8_t>(hhmmssmmm);
}

CTimeTag DecodeTimeTag(std::span<const std::uint8_t> bytes) {
    CTimeTag tag;
    tag.date = (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | bytes[2];
    if (tag.date < 1000000) tag.date += 1800000;
    tag.time = (std::uint32_t{bytes[3]} << 24) | (std::uint32_t{bytes[4]} << 16) |
               (std::uint32_t{bytes[5]} << 8) | bytes[6];
    return tag;
}

double DecimalHours(std::uint32_t time) {
    std::uint32_t hh = time / 10000000;
    std::uint32_t mm = (time / 100000) % 100;
    std::uint32_t ss = (time / 1000) % 100;
    std::uint32_t mmm = time % 1000;
    return hh + mm / 60.0 + ss / 3600.0 + mmm / 3600000.0;
}

void AppendTimeTagCells(std::string& line, const CTimeTag& tag, bool formatted, int width,
                        std::string_view delimiter, std::string_view decimal_hours_text) {
    std::string d = ZeroPadded(tag.date, 7);
    if (!formatted) {
        AppendCell(line, d, width);
        line.append(delimiter);
        line.append(decimal_hours_text);
        line.push_back('\n');
        return;
    }
    std::string t = ZeroPadded(tag.time, 9);
    // The year is padded so that the whole "YYYY-DDD" cell fills the width,
    // the hours so that "HH:MM:SS.mmm" does.
    AppendCell(line, Part(d, 0, 4), width > 0 ? std::max(width - 4, 1) : 0);
    line.push_back('-');
    line.append(Part(d, 4, 3));
    line.append(delimiter);
    AppendCell(line, Part(t, 0, 2), width > 0 ? std::max(width - 10, 1) : 0);
    line.push_back(':');
    line.append(Part(t, 2, 2));
    line.push_back(':');
    line.append(Part(t, 4, 2));
    line.push_back('.');
    line.append(Part(t, 6, 3));
    line.push_back('\n');
}

void AppendMissingTimeTagCells(std::string& line, bool suppress_strings, int width,
                               std::string_view delimiter, std::string_view error_text) {
    std::string_view text = suppress_strings ? std::string_view() : error_text;
    AppendCell(line, text, width);
    line.append(delimiter);
    AppendCell(line, text, width);
    line.push_back('\n');
}

CHeaderRecord SplitHeaderRecord(std::string_view text) {
    while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
    CHeaderRecord record;
    std::size_t last_open = text.rfind('(');
    if (last_open != std::string_view::npos) {
        std::string_view rest = text.substr(last_open + 1);
        record.name = std::string(rest.substr(0, rest.find(')')));
    }
    std::string_view value = text.substr(0, text.find('('));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    record.value = std::string(value);
    return record;
}

std::string FormatHeaderLine(const CHeaderRecord& record, int width, std::string_view delimiter) {
    std::string line;
    AppendLeftCell(line, record.name, width);
    line.append(delimiter);
    AppendLeftCell(line, record.value, width);
    line.push_back('\n');
    return line;
}

}  // namespace dravik
