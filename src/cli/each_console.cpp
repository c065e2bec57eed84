#include "cli/each_console.h"

namespace dravik {

void CEachConsole::Say(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_terminal.PrintText(text);
}

void CEachConsole::Message(const std::string& label, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_messages_shown.insert(text).second) return;
    m_terminal.PrintText(label + ":\r\n" + text);
}

bool CEachConsole::AskOnce(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    const auto known = m_answers.find(text);
    if (known != m_answers.end()) return known->second;
    const bool answer = m_terminal.AskYesNo(text);
    m_answers.emplace(text, answer);
    return answer;
}

void CEachConsole::ShowStatusLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_terminal.ShowStatusLine(text);
}

void CEachConsole::ClearStatusLine() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_terminal.ClearStatusLine();
}

}  // namespace dravik
