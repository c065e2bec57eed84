// The program's persistent configuration apart from the parameter set: one
// plain record per settings section, each reading and writing its own keys.
// Reading follows the load rules of settings_store.h, so a missing key, a
// stored -1 and a stored "-1" all keep the default. When each section is read
// and written is up to its owner (document, view, windows).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace dravik {

class CDravikParameters;

inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kViewSection = "View";
inline constexpr std::string_view kLogViewSection = "Log View";
inline constexpr std::string_view kInstrumentViewSection = "Instrument View";
inline constexpr std::string_view kOutputViewSection = "Output View";
inline constexpr std::string_view kInstrumentConversionSection = "Instrument Conversion";
inline constexpr std::string_view kHeaderConversionSection = "Header Conversion";
inline constexpr std::string_view kConversionWindowSection = "Conversion Window";
inline constexpr std::string_view kConversionLogWindowSection = "Conversion Log Window";
inline constexpr std::string_view kMainWindowSection = "Window Position";
inline constexpr std::string_view kQuickLookWindowSection = "Quick Look Window";

// Section "Settings": the application settings, owned by the document. Read
// when the document is built and written when it goes, whatever Save Settings
// says.
struct CAppSettings {
    // Conversion Log Directory defaults to the start-up working directory.
    CAppSettings();
    explicit CAppSettings(std::string startup_directory);

    int save_settings = 1;
    int overwrite_prompt = 1;
    int dismiss_progress = 0;
    int conversion_log = 0;
    std::string conversion_log_directory;

    void Read(const CSettingsStore& store);
    // A setting that a command-line option overrode on this run is not
    // written, so the option never outlives its run.
    void Write(CSettingsStore& store, const CDravikParameters& options) const;
    // Overwrite Prompt and Dismiss Progress take the values of the overwrite
    // and end window options when these were given.
    void ApplyCommandLineOverrides(const CDravikParameters& options);
};

// Section "View": the main view's own values.
struct CViewSettings {
    std::string default_outfile;  // last name typed as the next output file
    int convert_header = 0;       // 1 header conversion, 0 instrument conversion

    void Read(const CSettingsStore& store);
    void Write(CSettingsStore& store) const;
};

// Sections "Log View", "Instrument View", "Output View": one file list each.
enum class FileListKind { kLog, kInstrument, kOutput };

struct CFileListSettings {
    CFileListSettings(FileListKind kind, std::string startup_directory);

    FileListKind kind;
    std::string working_directory;
    std::string file_selected;
    std::string file_filter;  // "*.raw", "*.cal" or "*.dat" by default
    int sort_type = 0;        // 0 name, 1 date, 2 size
    int sort_direction = 0;   // 0 ascending, 1 descending
    int recursive = 0;
    // Instrument list only: files come from the working directory (1) or from
    // the instrument package file (0).
    int use_working_directory = 1;
    std::string instrument_package_file;

    std::string_view Section() const;
    static std::string_view DefaultFilter(FileListKind kind);

    void Read(const CSettingsStore& store);
    void Write(CSettingsStore& store) const;
};

// Sections "Instrument Conversion" and "Header Conversion": the output file
// naming of each conversion kind.
enum class NamingKind { kInstrument, kHeader };

struct CNamingSettings {
    explicit CNamingSettings(NamingKind kind) : kind(kind) {}

    NamingKind kind;
    std::string file_base;
    std::string file_increment = "A";  // letter or number text
    std::string file_extension = "dat";
    int file_mode = 0;       // 0 user defined, 1 log [-instrument] file title(s), 2 auto increment
    int increment_type = 0;  // 0 alphabetically, 1 numerically

    std::string_view Section() const;

    void Read(const CSettingsStore& store);
    void Write(CSettingsStore& store) const;
};

// Window placements, stored as "%04d %04d" (position) or "%04d %04d %04d %04d"
// (left, top, right, bottom).
struct CWindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const CWindowRect&) const = default;
};

std::string FormatWindowPosition(int left, int top);
std::string FormatWindowRect(const CWindowRect& rect);
// Reads `count` (2 or 4) numbers: left, top[, right, bottom]. A text of that
// many whitespace-separated integers is read as such, whatever their widths
// (windows on a screen left of the main one have wide negative positions);
// anything else is read at the fixed offsets 0, 5, 10 and 15, where a
// non-number or a text too short reads as 0.
CWindowRect ParseWindowRect(std::string_view text, int count);

// "Conversion Window": the progress window's position (its size is fixed).
struct CConversionWindowSettings {
    std::optional<CWindowRect> position;  // none: centred

    void Read(const CSettingsStore& store);
    void Write(CSettingsStore& store) const;  // writes nothing without a position
};

// "Conversion Log Window": its placement and whether it was open.
struct CConversionLogWindowSettings {
    std::optional<CWindowRect> rect;  // none: centred
    int show_window = 0;

    void Read(const CSettingsStore& store);
    void WriteRect(CSettingsStore& store) const;  // writes nothing without a rect
    void WriteShowWindow(CSettingsStore& store) const;
};

// "Window Position": the main window's placement.
struct CMainWindowSettings {
    std::optional<CWindowRect> rect;

    void Read(const CSettingsStore& store);
    void Write(CSettingsStore& store) const;  // writes nothing without a rect
};

// "Quick Look Window": its placement, whether it was open, the page shown
// and the columns its series draw on the left and on the right axis (names
// as the CSV table heads them, separated by "|").
struct CQuickLookWindowSettings {
    std::optional<CWindowRect> rect;  // none: beside the main window
    int show_window = 0;
    int page = 0;  // 0 spectrum, 1 series
    std::string left_columns;
    std::string right_columns;

    void Read(const CSettingsStore& store);
    void Write(CSettingsStore& store) const;  // the rectangle only when there is one
};

}  // namespace dravik
