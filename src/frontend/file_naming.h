// Output file naming. Each conversion kind (instrument, header) has its own
// convention: the user types the name (User Defined), the name is made of the
// log and instrument file titles, or of a base and an increment that advances
// after every conversion. The automatic conventions are what let a run over
// several log and instrument files name each output without asking.
//
// Nothing here knows a window: the desktop program's view and naming dialog,
// and the headless converter's runs over many logs, share these rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace dravik {

enum NamingMode : int { kNamingUserDefined = 0, kNamingFileTitles = 1, kNamingAutoIncrement = 2 };
enum IncrementType : int { kIncrementAlphabetic = 0, kIncrementNumeric = 1 };

// The name part of a path (after the last "/"), without its final extension;
// the whole name part when it holds no dot. "/raw/a.b.raw" gives "a.b".
std::string FileTitle(std::string_view path);
// True when the name part of `path` holds a dot.
bool HasExtension(std::string_view path);

// Why the values of the naming dialog cannot be stored.
enum class ENamingError {
    kNone,
    kNoMode,            // "Please specify a File Naming Convention."
    kIncrementRange,    // "Please specify an increment value from 0 to 999."
    kIncrementLetter,   // "Please specify a single character increment value."
    kIncrementType,     // "Please specify an Increment type."
};
// The message shown for an error (empty for kNone).
const char* NamingErrorText(ENamingError error);

class CFileNaming {
  public:
    explicit CFileNaming(NamingKind kind) : m_settings(kind) {}
    explicit CFileNaming(const CNamingSettings& settings) : m_settings(settings) {}

    CNamingSettings& Settings() noexcept { return m_settings; }
    const CNamingSettings& Settings() const noexcept { return m_settings; }
    bool IsAutomatic() const noexcept {
        return m_settings.file_mode == kNamingFileTitles ||
               m_settings.file_mode == kNamingAutoIncrement;
    }

    // The output file name (no directory) in an automatic mode, or nothing
    // when none can be made: User Defined mode, an empty log title, an
    // instrument conversion without an instrument title, an empty increment
    // or an unknown increment type. `instrument_path` is empty in a header
    // conversion, whose names carry the log title alone.
    std::optional<std::string> GenerateName(std::string_view log_path,
                                            std::string_view instrument_path) const;
    // User Defined: the typed text, with "." and the extension appended when
    // the convention has an extension and the text has none.
    std::string CompleteTypedName(std::string text) const;
    // After each completed conversion in Auto Increment mode: the next letter
    // (staying at "Z") or the next number (staying at 999).
    void AdvanceIncrement();

    // Stores the values of the naming dialog, checking the increment against
    // its type. In Auto Increment mode a bad increment is refused; in the
    // other modes it is replaced by "A" or "0". `mode` and `increment_type`
    // are -1 when nothing is chosen. On an error nothing is stored.
    ENamingError Store(int mode, std::string base, std::string increment, std::string extension,
                       int increment_type);

  private:
    CNamingSettings m_settings;
};

}  // namespace dravik
