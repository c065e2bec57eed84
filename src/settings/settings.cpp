#include "settings/settings.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "settings/parameters.h"
#include "settings/program_dir.h"

namespace dravik {

namespace {

constexpr std::string_view kRectKey = "Rect";

// A decimal integer at the start of `text` after blanks, as the fixed-offset
// rectangle reading takes it: anything that is not a number reads as 0.
int NumberAt(std::string_view text, std::size_t offset) {
    if (offset >= text.size()) return 0;
    std::size_t i = offset;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    int value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() ? value : 0;
}

// Whitespace-separated integers making up the whole text, or nothing.
std::optional<std::vector<int>> WholeNumbers(std::string_view text) {
    std::vector<int> numbers;
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i == text.size()) break;
        std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        std::string_view token = text.substr(start, i - start);
        int value = 0;
        auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
        numbers.push_back(value);
    }
    return numbers;
}

std::optional<CWindowRect> ReadRect(const CSettingsStore& store, std::string_view section,
                                    int count) {
    std::string text;
    LoadStringNonEmpty(store, section, kRectKey, text);
    if (text.empty()) return std::nullopt;
    return ParseWindowRect(text, count);
}

}  // namespace

// ---- Settings

CAppSettings::CAppSettings() : CAppSettings(StartupWorkingDirectory()) {}

CAppSettings::CAppSettings(std::string startup_directory)
    : conversion_log_directory(std::move(startup_directory)) {}

void CAppSettings::Read(const CSettingsStore& store) {
    const std::string_view s = kSettingsSection;
    LoadInt(store, s, "Save Settings", save_settings);
    LoadInt(store, s, "Overwrite Prompt", overwrite_prompt);
    LoadInt(store, s, "Dismiss Progress", dismiss_progress);
    LoadInt(store, s, "Conversion Log", conversion_log);
    LoadStringNonEmpty(store, s, "Conversion Log Directory", conversion_log_directory);
}

void CAppSettings::Write(CSettingsStore& store, const CDravikParameters& options) const {
    const std::string_view s = kSettingsSection;
    store.WriteInt(s, "Save Settings", save_settings);
    if (!options.has_overwrite_option) store.WriteInt(s, "Overwrite Prompt", overwrite_prompt);
    if (!options.has_end_window_option) store.WriteInt(s, "Dismiss Progress", dismiss_progress);
    if (!options.has_conversion_log_option) store.WriteInt(s, "Conversion Log", conversion_log);
    store.WriteString(s, "Conversion Log Directory", conversion_log_directory);
}

void CAppSettings::ApplyCommandLineOverrides(const CDravikParameters& options) {
    if (options.has_overwrite_option) overwrite_prompt = options.overwrite_option_prompt;
    if (options.has_end_window_option) dismiss_progress = options.end_window_option_dismiss;
}

// ---- View

void CViewSettings::Read(const CSettingsStore& store) {
    LoadStringNotMinusOne(store, kViewSection, "Default Outfile", default_outfile);
    LoadInt(store, kViewSection, "ConvertHeader", convert_header);
}

void CViewSettings::Write(CSettingsStore& store) const {
    store.WriteString(kViewSection, "Default Outfile", default_outfile);
    store.WriteInt(kViewSection, "ConvertHeader", convert_header);
}

// ---- File lists

CFileListSettings::CFileListSettings(FileListKind kind, std::string startup_directory)
    : kind(kind),
      working_directory(std::move(startup_directory)),
      file_filter(DefaultFilter(kind)) {}

std::string_view CFileListSettings::Section() const {
    switch (kind) {
        case FileListKind::kLog:
            return kLogViewSection;
        case FileListKind::kInstrument:
            return kInstrumentViewSection;
        case FileListKind::kOutput:
            break;
    }
    return kOutputViewSection;
}

std::string_view CFileListSettings::DefaultFilter(FileListKind kind) {
    switch (kind) {
        case FileListKind::kLog:
            return "*.raw";
        case FileListKind::kInstrument:
            return "*.cal";
        case FileListKind::kOutput:
            break;
    }
    return "*.dat";
}

void CFileListSettings::Read(const CSettingsStore& store) {
    const std::string_view s = Section();
    LoadStringNonEmpty(store, s, "Working Directory", working_directory);
    LoadStringNotMinusOne(store, s, "File Selected", file_selected);
    LoadStringNonEmpty(store, s, "File Filter", file_filter);
    LoadInt(store, s, "Sort Type", sort_type);
    LoadInt(store, s, "Sort Direction", sort_direction);
    LoadInt(store, s, "Recursive", recursive);
    if (kind == FileListKind::kInstrument) {
        LoadInt(store, s, "Use Working Directory", use_working_directory);
        LoadStringNotMinusOne(store, s, "Instrument Package File", instrument_package_file);
    }
}

void CFileListSettings::Write(CSettingsStore& store) const {
    const std::string_view s = Section();
    if (kind == FileListKind::kInstrument) {
        store.WriteInt(s, "Use Working Directory", use_working_directory);
        store.WriteString(s, "Instrument Package File", instrument_package_file);
    }
    store.WriteString(s, "Working Directory", working_directory);
    store.WriteString(s, "File Selected", file_selected);
    store.WriteString(s, "File Filter", file_filter);
    store.WriteInt(s, "Sort Type", sort_type);
    store.WriteInt(s, "Sort Direction", sort_direction);
    store.WriteInt(s, "Recursive", recursive);
}

// ---- Output file naming

std::string_view CNamingSettings::Section() const {
    return kind == NamingKind::kInstrument ? kInstrumentConversionSection
                                           : kHeaderConversionSection;
}

void CNamingSettings::Read(const CSettingsStore& store) {
    const std::string_view s = Section();
    LoadStringNotMinusOne(store, s, "File Base", file_base);
    LoadStringNotMinusOne(store, s, "File Increment", file_increment);
    LoadStringNotMinusOne(store, s, "File Extension", file_extension);
    LoadInt(store, s, "File Mode", file_mode);
    LoadInt(store, s, "Increment Type", increment_type);
}

void CNamingSettings::Write(CSettingsStore& store) const {
    const std::string_view s = Section();
    store.WriteString(s, "File Base", file_base);
    store.WriteString(s, "File Increment", file_increment);
    store.WriteString(s, "File Extension", file_extension);
    store.WriteInt(s, "File Mode", file_mode);
    store.WriteInt(s, "Increment Type", increment_type);
}

// ---- Window placements

std::string FormatWindowPosition(int left, int top) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d %04d", left, top);
    return text;
}

std::string FormatWindowRect(const CWindowRect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d %04d %04d %04d", r.left, r.top, r.right, r.bottom);
    return text;
}

CWindowRect ParseWindowRect(std::string_view text, int count) {
    count = count < 4 ? 2 : 4;
    int values[4] = {0, 0, 0, 0};
    std::optional<std::vector<int>> whole = WholeNumbers(text);
    if (whole && static_cast<int>(whole->size()) == count) {
        for (int i = 0; i < count; ++i) values[i] = (*whole)[i];
    } else {
        for (int i = 0; i < count; ++i) values[i] = NumberAt(text, static_cast<std::size_t>(i) * 5);
    }
    return CWindowRect{values[0], values[1], values[2], values[3]};
}

void CConversionWindowSettings::Read(const CSettingsStore& store) {
    if (auto rect = ReadRect(store, kConversionWindowSection, 2)) position = rect;
}

void CConversionWindowSettings::Write(CSettingsStore& store) const {
    if (!position) return;
    store.WriteString(kConversionWindowSection, kRectKey,
                      FormatWindowPosition(position->left, position->top));
}

void CConversionLogWindowSettings::Read(const CSettingsStore& store) {
    if (auto r = ReadRect(store, kConversionLogWindowSection, 4)) rect = r;
    LoadInt(store, kConversionLogWindowSection, "Show Window", show_window);
}

void CConversionLogWindowSettings::WriteRect(CSettingsStore& store) const {
    if (rect) store.WriteString(kConversionLogWindowSection, kRectKey, FormatWindowRect(*rect));
}

void CConversionLogWindowSettings::WriteShowWindow(CSettingsStore& store) const {
    store.WriteInt(kConversionLogWindowSection, "Show Window", show_window);
}

void CMainWindowSettings::Read(const CSettingsStore& store) {
    if (auto r = ReadRect(store, kMainWindowSection, 4)) rect = r;
}

void CMainWindowSettings::Write(CSettingsStore& store) const {
    if (rect) store.WriteString(kMainWindowSection, kRectKey, FormatWindowRect(*rect));
}

}  // namespace dravik
