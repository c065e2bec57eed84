// The text layout of output files: padded cells, the time tag cells that
// close a row and the lines of a header conversion. Pure functions over
// strings, so that every byte of the layout can be checked without files or
// threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dravik {

class CSensor;

// The name of a sensor's column: its type, then "(" identifier ")" when it
// has an identifier.
std::string SensorColumnName(const CSensor& sensor);

// Widths beyond what the parameters dialog accepts are treated as its
// largest: a stored width of two billion must not make two-gigabyte cells.
inline constexpr int kMaxCellWidth = 32767;

// Right-aligned in `width` characters (printf "%*s") when width is above 0;
// text longer than the width is written whole.
void AppendCell(std::string& line, std::string_view text, int width);
// Left-aligned in `width` characters (printf "%-*s") when width is above 0.
void AppendLeftCell(std::string& line, std::string_view text, int width);
// An unsigned decimal, right-aligned like AppendCell.
void AppendUnsignedCell(std::string& line, std::uint64_t value, int width);
// A cell of `width` blanks (nothing when width is 0 or less).
void AppendBlankCell(std::string& line, int width);
// Removes the trailing delimiter, if the line ends with one.
void RemoveTrailingDelimiter(std::string& line, std::string_view delimiter);

// A frame's time tag: the 7 bytes that follow the frame in the log file.
struct CTimeTag {
    std::uint32_t date = 0;  // YYYYDDD
    std::uint32_t time = 0;  // HHMMSSmmm
};
inline constexpr std::size_t kTimeTagLength = 7;
// Decodes the first 7 bytes (big-endian 24-bit date, 32-bit time); a date
// below 1000000 has 1800000 added (a stored 204123 is the year 2004).
// Requires at least 7 bytes.
CTimeTag DecodeTimeTag(std::span<const std::uint8_t> bytes);
// The 7-byte time tag a logger writes after a frame: the date YYYYDDD as an
// unsigned big-endian 24-bit number, then the time HHMMSSmmm as an unsigned
// big-endian 32-bit number.
void EncodeTimeTag(std::uint32_t yyyyddd, std::uint32_t hhmmssmmm, std::uint8_t out[7]);
// The time as decimal hours: hh + mm/60 + ss/3600 + mmm/3600000.
double DecimalHours(std::uint32_t time);

// The date and time cells for a frame, ending the row with "\n".
// `formatted`: "2004-123" and "12:34:56.789"; otherwise the date as YYYYDDD
// and the time as `decimal_hours_text` (already formatted by the caller).
void AppendTimeTagCells(std::string& line, const CTimeTag& tag, bool formatted, int width,
                        std::string_view delimiter, std::string_view decimal_hours_text);
// The two cells of a frame without a complete time tag: "Error 0" (the
// `error_text`) in both, or blanks under Suppress Strings.
void AppendMissingTimeTagCells(std::string& line, bool suppress_strings, int width,
                               std::string_view delimiter, std::string_view error_text);

// One header record's value text, such as "12.5 (Battery)", split into the
// name (after the last "(" up to the next ")"; empty without "(") and the
// value (before the first "(", trailing blanks removed). Blanks, tabs and
// line ends around the text are ignored.
struct CHeaderRecord {
    std::string name;
    std::string value;
};
CHeaderRecord SplitHeaderRecord(std::string_view text);
// "name<delimiter>value\n", both cells left-aligned in `width` when above 0.
std::string FormatHeaderLine(const CHeaderRecord& record, int width, std::string_view delimiter);

}  // namespace dravik
