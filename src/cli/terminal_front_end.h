// The headless converter's face: messages, questions and progress on the
// terminal. Messages go to standard error so that standard output stays free
// for pipelines. A question is asked only when standard input is a terminal;
// otherwise it is answered the way that loses nothing: an existing output file
// is not overwritten, and an instrument file with line errors is used anyway
// (its diagnostics are in the conversion log).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "conversion/front_end.h"

namespace dravik {

class CTerminalFrontEnd : public CFrontEnd {
  public:
    struct Streams {
        std::FILE* in = stdin;
        std::FILE* err = stderr;
        bool interactive = false;    // questions are asked on `in`
        bool show_progress = false;  // a progress line that rewrites itself on `err`
    };

    // Streams of the process: questions when standard input is a terminal,
    // the progress line when standard error is one.
    CTerminalFrontEnd();
    explicit CTerminalFrontEnd(const Streams& streams) : m_streams(streams) {}

    void ShowMessage(const std::string& text) override;
    void ShowDetail(const std::string& text) override { PrintText(text); }
    bool AskYesNo(const std::string& text) override;
    EOverwriteAnswer AskOverwrite(const std::string& text, bool yes_to_all_enabled) override;

    bool CreateProgress() override { return true; }
    void InitProgress(const CProgressSetup& setup) override;
    bool RefreshProgress(const CProgressReport& report) override;
    void CloseProgress() override;

    // Called at every refresh, before the progress line is drawn: the
    // converter uses it to copy the conversion log to standard error.
    void SetRefreshHook(std::function<void()> hook) { m_refresh_hook = std::move(hook); }
    // Text that must not be cut by the progress line (conversion log text).
    void PrintText(const std::string& text);
    // A status line that rewrites itself, shown only when standard error is
    // a terminal; the next text printed clears it.
    void ShowStatusLine(const std::string& text);
    void ClearStatusLine() { ClearProgressLine(); }
    // No progress line: the output goes to the same terminal.
    void HideProgressLine() noexcept { m_streams.show_progress = false; }
    // Questions are asked (standard input is a terminal).
    bool IsInteractive() const noexcept { return m_streams.interactive; }

    // A cancel request (Ctrl-C): the next refresh asks the engine to abort.
    static void RequestCancel() noexcept;
    static bool CancelRequested() noexcept;

    // The final status text shown, or empty while none was shown.
    const std::string& FinalStatus() const noexcept { return m_final_status; }
    // A conversion was set up and its progress display initialised.
    bool ProgressStarted() const noexcept { return m_started; }
    // An existing output file was kept: the overwrite question was answered
    // No or Cancel, or could not be asked.
    bool OverwriteRefused() const noexcept { return m_overwrite_refused; }

  private:
    void ClearProgressLine();
    // The overwrite question itself.
    EOverwriteAnswer Ask(const std::string& text, bool yes_to_all_enabled);
    // Reads one answer line; false at the end of the input.
    bool ReadAnswer(std::string& answer);

    Streams m_streams;
    CProgressSetup m_setup;
    std::function<void()> m_refresh_hook;
    bool m_line_shown = false;
    bool m_started = false;
    bool m_overwrite_refused = false;
    std::string m_final_status;
};

// A count of bytes as a person reads it: "12.3 KiB", "4.5 MiB", "1.25 GiB".
std::string ByteCountText(std::uint64_t bytes);

// "\r\n" line ends become "\n" for the terminal, and the text ends with one
// "\n".
std::string TerminalText(const std::string& text);

}  // namespace dravik
