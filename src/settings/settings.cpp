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
    CSectionReader(store, section)(kRectKey, text, ELoadRule::kNonEmpty);
    if (text.empty()) return std::nullopt;
    return ParseWindowRect(text, count);
}

// The keys of each section, in their write order (see settings_store.h).

// "Settings": a key with an option beside it is not written on a run that
// was given that option, so the option never outlives its run.
template <class Settings, class Key>
void AppKeys(Settings& s, Key&& key) {
    using enum ELoadRule;
    using P = CDravikParameters;
    key("Save Settings", s.save_settings, kInt, nullptr);
    key("Overwrite Prompt", s.overwrite_prompt, kInt, &P::has_overwrite_option);
    key("Dismiss Progress", s.dismiss_progress, kInt, &P::has_end_window_option);
    key("Conversion Log", s.conversion_log, kInt, &P::has_conversion_log_option);
    key("Conversion Log Directory", s.conversion_log_directory, kNonEmpty, nullptr);
}

template <class View, class Key>
void ViewKeys(View& v, Key&& key) {
    key("Default Outfile", v.default_outfile, ELoadRule::kNotMinusOne);
    key("ConvertHeader", v.convert_header, ELoadRule::kInt);
}

// Only the instrument list has the package keys, and writes them first.
template <class List, class Key>
void FileListKeys(List& l, Key&& key) {
    using enum ELoadRule;
    if (l.kind == FileListKind::kInstrument) {
        key("Use Working Directory", l.use_working_directory, kInt);
        key("Instrument Package File", l.instrument_package_file, kNotMinusOne);
    }
    key("Working Directory", l.working_directory, kNonEmpty);
    key("File Selected", l.file_selected, kNotMinusOne);
    key("File Filter", l.file_filter, kNonEmpty);
    key("Sort Type", l.sort_type, kInt);
    key("Sort Direction", l.sort_direction, kInt);
    key("Recursive", l.recursive, kInt);
}

template <class Naming, class Key>
void NamingKeys(Naming& n, Key&& key) {
    using enum ELoadRule;
    key("File Base", n.file_base, kNotMinusOne);
    key("File Increment", n.file_increment, kNotMinusOne);
    key("File Extension", n.file_extension, kNotMinusOne);
    key("File Mode", n.file_mode, kInt);
    key("Increment Type", n.increment_type, kInt);
}

}  // namespace

// ---- Settings

CAppSettings::CAppSettings() : CAppSettings(StartupWorkingDirectory()) {}

CAppSettings::CAppSettings(std::string startup_directory)
    : conversion_log_directory(std::move(startup_directory)) {}

void CAppSettings::Read(const CSettingsStore& store) {
    const CSectionReader read(store, kSettingsSection);
    AppKeys(*this, [&](std::string_view key, auto& value, ELoadRule rule, auto) {
        read(key, value, rule);
    });
}

void CAppSettings::Write(CSettingsStore& store, const CDravikParameters& options) const {
    const CSectionWriter write(store, kSettingsSection);
    AppKeys(*this, [&](std::string_view key, const auto& value, ELoadRule rule,
                       int CDravikParameters::*option) {
        if (option == nullptr || !(options.*option)) write(key, value, rule);
    });
}

void CAppSettings::ApplyCommandLineOverrides(const CDravikParameters& options) {
    if (options.has_overwrite_option) overwrite_prompt = options.overwrite_option_prompt;
    if (options.has_end_window_option) dismiss_progress = options.end_window_option_dismiss;
}

// ---- View

void CViewSettings::Read(const CSettingsStore& store) {
    ViewKeys(*this, CSectionReader(store, kViewSection));
}

void CViewSettings::Write(CSettingsStore& store) const {
    ViewKeys(*this, CSectionWriter(store, kViewSection));
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
    FileListKeys(*this, CSectionReader(store, Section()));
}

void CFileListSettings::Write(CSettingsStore& store) const {
    FileListKeys(*this, CSectionWriter(store, Section()));
}

// ---- Output file naming

std::string_view CNamingSettings::Section() const {
    return kind == NamingKind::kInstrument ? kInstrumentConversionSection
                                           : kHeaderConversionSection;
}

void CNamingSettings::Read(const CSettingsStore& store) {
    NamingKeys(*this, CSectionReader(store, Section()));
}

void CNamingSettings::Write(CSettingsStore& store) const {
    NamingKeys(*this, CSectionWriter(store, Section()));
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
    CSectionReader(store, kConversionLogWindowSection)("Show Window", show_window);
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

void CQuickLookWindowSettings::Read(const CSettingsStore& store) {
    if (auto r = ReadRect(store, kQuickLookWindowSection, 4)) rect = r;
    const CSectionReader key(store, kQuickLookWindowSection);
    key("Show Window", show_window);
    key("Page", page);
    key("Left Columns", left_columns, ELoadRule::kNotMinusOne);
    key("Right Columns", right_columns, ELoadRule::kNotMinusOne);
}

void CQuickLookWindowSettings::Write(CSettingsStore& store) const {
    if (rect) store.WriteString(kQuickLookWindowSection, kRectKey, FormatWindowRect(*rect));
    const CSectionWriter key(store, kQuickLookWindowSection);
    key("Show Window", show_window);
    key("Page", page);
    key("Left Columns", left_columns, ELoadRule::kNotMinusOne);
    key("Right Columns", right_columns, ELoadRule::kNotMinusOne);
}

}  // namespace dravik
