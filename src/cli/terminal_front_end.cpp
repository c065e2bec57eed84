#include "cli/terminal_front_end.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "platform/text.h"

namespace dravik {

namespace {

// Set by the signal handler and read by every conversion thread of a run:
// a lock-free atomic is both safe in a handler and free of data races.
std::atomic<bool> g_cancel{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

std::string ByteCountText(std::uint64_t bytes) {
    char text[32];
    const double count = static_cast<double>(bytes);
    if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KiB", count / 1024.0);
    } else if (bytes < 1024ull * 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f MiB", count / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%.2f GiB", count / (1024.0 * 1024.0 * 1024.0));
    }
    return text;
}

std::string TerminalText(const std::string& text) {
    std::string out = UnixLineEnds(text);
    if (!out.empty() && out.back() != '\n') out += '\n';
    return out;
}

CTerminalFrontEnd::CTerminalFrontEnd() {
    m_streams.interactive = ::isatty(STDIN_FILENO) == 1;
    m_streams.show_progress = ::isatty(STDERR_FILENO) == 1;
}

void CTerminalFrontEnd::RequestCancel() noexcept {
    g_cancel.store(true);
}

bool CTerminalFrontEnd::CancelRequested() noexcept {
    return g_cancel.load();
}

void CTerminalFrontEnd::ClearProgressLine() {
    if (!m_line_shown) return;
    std::fputs("\r\x1b[K", m_streams.err);
    m_line_shown = false;
}

void CTerminalFrontEnd::PrintText(const std::string& text) {
    if (text.empty()) return;
    ClearProgressLine();
    std::fputs(TerminalText(text).c_str(), m_streams.err);
    std::fflush(m_streams.err);
}

void CTerminalFrontEnd::ShowStatusLine(const std::string& text) {
    if (!m_streams.show_progress) return;
    std::fprintf(m_streams.err, "\r%s\x1b[K", text.c_str());
    std::fflush(m_streams.err);
    m_line_shown = true;
}

void CTerminalFrontEnd::ShowMessage(const std::string& text) {
    PrintText(text);
}

bool CTerminalFrontEnd::ReadAnswer(std::string& answer) {
    answer.clear();
    int c;
    while ((c = std::fgetc(m_streams.in)) != EOF && c != '\n') {
        if (c != '\r' && c != ' ' && c != '\t') answer += static_cast<char>(c);
    }
    if (c == EOF && answer.empty()) return false;
    answer = AsciiLower(answer);
    return true;
}

bool CTerminalFrontEnd::AskYesNo(const std::string& text) {
    PrintText(text);
    if (!m_streams.interactive) {
        // Unattended, the run goes on: what was wrong is in the conversion log.
        std::fputs("Answered Yes: standard input is not a terminal.\n", m_streams.err);
        return true;
    }
    for (;;) {
        std::fputs("Yes or No? [y/n] ", m_streams.err);
        std::fflush(m_streams.err);
        std::string answer;
        if (!ReadAnswer(answer)) return false;
        if (answer == "y" || answer == "yes") return true;
        if (answer == "n" || answer == "no") return false;
    }
}

EOverwriteAnswer CTerminalFrontEnd::AskOverwrite(const std::string& text, bool yes_to_all_enabled) {
    const EOverwriteAnswer answer = Ask(text, yes_to_all_enabled);
    m_overwrite_refused = answer == EOverwriteAnswer::kNo || answer == EOverwriteAnswer::kCancel;
    return answer;
}

EOverwriteAnswer CTerminalFrontEnd::Ask(const std::string& text, bool yes_to_all_enabled) {
    PrintText(text);
    if (!m_streams.interactive) {
        // Nobody can be asked, and overwriting unasked could destroy data.
        std::fputs(
            "The output file was not overwritten: standard input is not a terminal.\n"
            "Give the option /ow=yes to overwrite an existing output file without a question.\n",
            m_streams.err);
        return EOverwriteAnswer::kCancel;
    }
    for (;;) {
        std::fputs(yes_to_all_enabled ? "[y]es, yes to [a]ll, [n]o or [c]ancel? "
                                      : "[y]es, [n]o or [c]ancel? ",
                   m_streams.err);
        std::fflush(m_streams.err);
        std::string answer;
        if (!ReadAnswer(answer)) return EOverwriteAnswer::kCancel;
        if (answer == "y" || answer == "yes") return EOverwriteAnswer::kYes;
        if (answer == "n" || answer == "no") return EOverwriteAnswer::kNo;
        if (answer == "c" || answer == "cancel") return EOverwriteAnswer::kCancel;
        if (yes_to_all_enabled && (answer == "a" || answer == "all")) {
            return EOverwriteAnswer::kYesToAll;
        }
    }
}

void CTerminalFrontEnd::InitProgress(const CProgressSetup& setup) {
    m_setup = setup;
    m_final_status.clear();
    m_started = true;
}

bool CTerminalFrontEnd::RefreshProgress(const CProgressReport& report) {
    if (m_refresh_hook) m_refresh_hook();
    const CConversionStatus& s = report.status;
    if (s.done) {
        if (m_final_status.empty() && !report.status_text.empty()) {
            m_final_status = report.status_text;
            PrintText(report.status_text);
        }
        return !CancelRequested();
    }
    if (m_streams.show_progress) {
        // Progress through the log file, whatever the limit: it is the part
        // of the work that is done. A stream's length is known only at its
        // end: the bytes read so far are all there is to show.
        const std::uint64_t length = m_setup.log_file_length;
        if (!m_setup.log_length_known) {
            std::fprintf(m_streams.err, "\r%s read  %u frames",
                         ByteCountText(s.bytes_consumed).c_str(), s.frames_processed);
        } else {
            const unsigned percent =
                length == 0 ? 100u
                            : static_cast<unsigned>(
                                  std::min<std::uint64_t>(s.bytes_consumed * 100 / length, 100));
            std::fprintf(m_streams.err, "\r%3u%%  %u frames", percent, s.frames_processed);
        }
        if (s.resynchronizations > 0)
            std::fprintf(m_streams.err, "  %u resyncs", s.resynchronizations);
        if (m_setup.frame_counter_sensor) {
            std::fprintf(m_streams.err, "  %u frame counter errors", s.frame_counter_errors);
        }
        if (m_setup.check_sum_sensor) {
            std::fprintf(m_streams.err, "  %u check sum errors", s.check_sum_errors);
        }
        std::fputs("\x1b[K", m_streams.err);
        std::fflush(m_streams.err);
        m_line_shown = true;
    }
    return !CancelRequested();
}

void CTerminalFrontEnd::CloseProgress() {
    ClearProgressLine();
    std::fflush(m_streams.err);
}

}  // namespace dravik
