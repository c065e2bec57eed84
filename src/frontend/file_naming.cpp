#include "frontend/file_naming.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

namespace dravik {

namespace {

// A number as the C library's atol reads it: optional blanks and sign, then
// digits as far as they go; 0 when there are none. Stored increments are
// taken as they come, so a text like "12abc" still counts as 12.
long LeadingNumber(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

// A whole decimal number from 0 to 999, digits only.
bool ParseIncrementNumber(std::string_view text, int& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && text.front() != '-' && value >= 0 && value <= 999;
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string FileTitle(std::string_view path) {
    std::string name = NamePart(path);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

bool HasExtension(std::string_view path) {
    return NamePart(path).find('.') != std::string::npos;
}

const char* NamingErrorText(ENamingError error) {
    switch (error) {
        case ENamingError::kNone:
            return "";
        case ENamingError::kNoMode:
            return "Please specify a File Naming Convention.";
        case ENamingError::kIncrementRange:
            return "Please specify an increment value from 0 to 999.";
        case ENamingError::kIncrementLetter:
            return "Please specify a single character increment value.";
        case ENamingError::kIncrementType:
            return "Please specify an Increment type.";
    }
    return "";
}

std::optional<std::string> CFileNaming::GenerateName(std::string_view log_path,
                                                     std::string_view instrument_path) const {
    const CNamingSettings& s = m_settings;
    std::string name;
    if (s.file_mode == kNamingFileTitles) {
        name = FileTitle(log_path);
        if (name.empty()) return std::nullopt;
        const std::string instrument = FileTitle(instrument_path);
        if (!instrument.empty()) {
            name += "-" + instrument;
        } else if (s.kind == NamingKind::kInstrument) {
            return std::nullopt;
        }
    } else if (s.file_mode == kNamingAutoIncrement) {
        if (s.file_increment.empty()) return std::nullopt;
        name = s.file_base;
        if (s.increment_type == kIncrementAlphabetic) {
            name += s.file_increment;
        } else if (s.increment_type == kIncrementNumeric) {
            char digits[32];
            std::snprintf(digits, sizeof digits, "%03ld", LeadingNumber(s.file_increment));
            name += digits;
        } else {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    if (!s.file_extension.empty()) name += "." + s.file_extension;
    return name;
}

std::string CFileNaming::CompleteTypedName(std::string text) const {
    if (!m_settings.file_extension.empty() && !HasExtension(text)) {
        text += "." + m_settings.file_extension;
    }
    return text;
}

void CFileNaming::AdvanceIncrement() {
    std::string& inc = m_settings.file_increment;
    // (Single characters are assigned as such: g++ 12 warns falsely about
    // assigning a short literal to a string.)
    if (m_settings.increment_type == kIncrementAlphabetic) {
        // Only the first character counts; anything below "A" (a digit, a
        // byte outside 7-bit ASCII) starts again at "A", and "Z" is the end.
        const unsigned char c = inc.empty() ? 0 : static_cast<unsigned char>(AsciiUpper(inc[0]));
        if (c < 'A' || c >= 0x80) {
            inc.assign(1, 'A');
        } else if (c >= 'Z') {
            inc.assign(1, 'Z');
        } else {
            inc.assign(1, static_cast<char>(c + 1));
        }
    } else if (m_settings.increment_type == kIncrementNumeric) {
        const long n = LeadingNumber(inc);
        if (n >= 0 && n < 999) inc = std::to_string(n + 1);
    }
}

ENamingError CFileNaming::Store(int mode, std::string base, std::string increment,
                                std::string extension, int increment_type) {
    if (mode < kNamingUserDefined || mode > kNamingAutoIncrement) return ENamingError::kNoMode;
    const bool automatic = mode == kNamingAutoIncrement;
    if (increment_type == kIncrementNumeric) {
        int value = 0;
        if (ParseIncrementNumber(increment, value)) {
            increment = std::to_string(value);
        } else if (automatic) {
            return ENamingError::kIncrementRange;
        } else {
            increment.assign(1, '0');
        }
    } else if (increment_type == kIncrementAlphabetic) {
        if (increment.size() != 1 || !IsAsciiLetter(increment[0])) {
            if (automatic) return ENamingError::kIncrementLetter;
            increment.assign(1, 'A');
        }
    } else {
        if (automatic) return ENamingError::kIncrementType;
        increment_type = kIncrementAlphabetic;
    }
    m_settings.file_mode = mode;
    m_settings.file_base = std::move(base);
    m_settings.file_increment = std::move(increment);
    m_settings.file_extension = std::move(extension);
    m_settings.increment_type = increment_type;
    return ENamingError::kNone;
}

}  // namespace dravik
