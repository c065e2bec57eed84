// How the conversion engine reaches a person in the desktop program: message
// boxes, the overwrite question and the progress window. The engine calls it
// only from the GUI thread (the view drives every step from the event loop),
// so every widget is touched on that thread.
#pragma once

#include <QPointer>

#include "conversion/front_end.h"
#include "conversion_dlg.h"

class QWidget;

namespace dravik {

class CConversionDlg;
class CSettingsStore;

class CWindowFrontEnd : public CFrontEnd {
  public:
    explicit CWindowFrontEnd(CSettingsStore& store) : m_store(store) {}
    ~CWindowFrontEnd() override;

    // The window that owns the progress window and, while nothing else is
    // shown, the message boxes.
    void SetOwner(QWidget* owner) { m_owner = owner; }

    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    EOverwriteAnswer AskOverwrite(const std::string& text, bool yes_to_all_enabled) override;

    bool CreateProgress() override;
    void InitProgress(const CProgressSetup& setup) override;
    bool RefreshProgress(const CProgressReport& report) override;
    void CloseProgress() override;

    // The progress window while a conversion (or a run) is under way.
    CConversionDlg* Progress() const noexcept { return m_progress; }

  private:
    // Message boxes stand on the window the person is looking at.
    QWidget* MessageParent() const;

    CSettingsStore& m_store;
    QPointer<QWidget> m_owner;
    // Owned by the owner window when there is one (Qt deletes it with its
    // parent), else by this object.
    QPointer<CConversionDlg> m_progress;
};

}  // namespace dravik
