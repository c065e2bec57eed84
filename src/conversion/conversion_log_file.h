// The conversion log file: the running record of what the program did. It is
// created anew when opened (emptying an older file of that name) and then
// appended to by every conversion of the program run. Texts arrive already
// stamped and with CR LF line ends and are written as their bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/disk_file.h"

namespace dravik {

struct CAppSettings;
class CDravikParameters;

class CConversionLogFile {
  public:
    static constexpr const char* kBaseName = "Dravik";
    static constexpr const char* kExtension = "log";
    static constexpr int kMaxNumber = 9;

    // Opens the conversion log that the settings or the command line choose,
    // or keeps the one already open while it still is that one:
    //  - with the conversion log option (/cl=FILE) the named file; a file
    //    already open is kept;
    //  - otherwise, with Conversion Log on, Dravik.log (or Dravik2.log ...)
    //    in the Conversion Log Directory. A file already open in that
    //    directory is kept, whatever Conversion Log says; one open elsewhere
    //    is closed first.
    // `in_use` holds the full paths of the files the conversion reads, which
    // the conversion log must never be (see OpenInDirectory). Returns the
    // warning to show when no file could be opened, or an empty text.
    std::string Open(const CAppSettings& settings, const CDravikParameters& params,
                     const std::vector<std::string>& in_use);
    // Appends a text. When the write fails the file is closed (nothing more
    // is written until the next Open) and the warning to show is returned;
    // otherwise, and when no file is open, an empty text.
    std::string Append(std::string_view text);

    // Opens Dravik.log in `directory`; when another open holds that file (or
    // it cannot be accessed), Dravik2.log ... Dravik9.log in turn. Returns
    // the warning to show when no file could be opened, or an empty text.
    // A directory without a trailing "/" gets one.
    // A name that is one of the files `in_use` (the log and instrument files
    // of the conversion) counts as held by another open: opening the
    // conversion log empties its file, which must never be the data.
    std::string OpenInDirectory(const std::string& directory,
                                const std::vector<std::string>& in_use = {});
    // Opens the file named on the command line; the warning, or an empty text.
    std::string OpenNamed(const std::string& path, const std::vector<std::string>& in_use = {});

    bool IsOpen() const noexcept { return m_file.IsOpen(); }
    // What the system said about the failure of the last Open or Append
    // (CDiskFile::GetSystemErrorText), or an empty text.
    std::string GetSystemErrorText() const { return m_file.GetSystemErrorText(); }
    // The path as it was opened (directory and name), empty when closed.
    const std::string& GetPath() const noexcept { return m_path; }
    // The identity of the open file; false when closed.
    bool GetIdentity(CFileIdentity& identity) const { return m_file.GetIdentity(identity); }
    // The directory part of the path, up to and including the last "/".
    std::string GetDirectory() const;

    // Writes the text; 0 or the file error cause (6 when not open).
    int Write(std::string_view text);
    void Close() noexcept;

    // "dir/" + "Dravik.log", or "dir/" + "Dravik<n>.log" for n >= 2.
    static std::string MakeName(const std::string& directory, int number);
    static std::string NormalizeDirectory(const std::string& directory);

  private:
    int OpenPath(const std::string& path, const std::vector<std::string>& in_use);

    CDiskFile m_file;
    std::string m_path;
};

}  // namespace dravik
