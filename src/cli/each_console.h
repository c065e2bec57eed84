// The terminal of a run over several files, shared by its conversions: one
// text at a time, each warning once (the conversions with one instrument file
// give the same warnings; the conversion log has them all), and each question
// once, its first answer holding for every conversion that asks it.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "cli/terminal_front_end.h"

namespace dravik {

class CEachConsole {
  public:
    // Any text, from any thread.
    void Say(const std::string& text);
    // A message of the conversion named `label`, unless it was shown before.
    void Message(const std::string& label, const std::string& text);
    // A yes-or-no question, asked once per text.
    bool AskOnce(const std::string& text);
    void ShowStatusLine(const std::string& text);
    void ClearStatusLine();

    // The terminal itself, for the run's start, before any conversion runs.
    CTerminalFrontEnd& Terminal() noexcept { return m_terminal; }

  private:
    std::mutex m_lock;
    CTerminalFrontEnd m_terminal;
    std::set<std::string> m_messages_shown;
    std::map<std::string, bool> m_answers;
};

}  // namespace dravik
