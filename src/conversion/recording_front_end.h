// A front end that shows nothing: it records every message and question and
// answers questions from a script. Used by tests and by callers that want
// the engine's messages as data.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "conversion/front_end.h"

namespace dravik {

class CRecordingFrontEnd : public CFrontEnd {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }

    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        if (yes_no_answers.empty()) return true;
        bool answer = yes_no_answers.front();
        yes_no_answers.pop_front();
        return answer;
    }

    EOverwriteAnswer AskOverwrite(const std::string& text, bool yes_to_all_enabled) override {
        overwrite_questions.push_back(text);
        overwrite_yes_to_all_enabled.push_back(yes_to_all_enabled);
        if (overwrite_answers.empty()) return default_overwrite;
        EOverwriteAnswer answer = overwrite_answers.front();
        overwrite_answers.pop_front();
        return answer;
    }

    bool CreateProgress() override { return can_create_progress; }
    void InitProgress(const CProgressSetup& setup) override { setups.push_back(setup); }
    bool RefreshProgress(const CProgressReport& report) override {
        last_report = report;
        ++refreshes;
        return true;
    }
    void CloseProgress() override { ++progress_closed; }

    // Script (questions not scripted are answered Yes).
    std::deque<bool> yes_no_answers;
    EOverwriteAnswer default_overwrite = EOverwriteAnswer::kYes;
    std::deque<EOverwriteAnswer> overwrite_answers;
    bool can_create_progress = true;

    // Record.
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> overwrite_questions;
    std::vector<bool> overwrite_yes_to_all_enabled;
    std::vector<CProgressSetup> setups;
    CProgressReport last_report;
    int refreshes = 0;
    int progress_closed = 0;
};

}  // namespace dravik
