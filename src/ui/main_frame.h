// The program's single top-level window: the menus, the "Dravik Toolbar", the
// status bar with its three panes, and the main view as its form. Its size
// follows the form (no resizing, no maximizing) and its position is kept
// between runs ("Window Position"); the toolbar layout is kept under
// "Control Bars".
#pragma once

#include <QMainWindow>
#include <string>

#include "settings/settings.h"

class QAction;
class QLabel;
class QToolBar;

namespace dravik {

class CDravikDoc;
class CDravikView;
class CSettingsStore;
class CWindowFrontEnd;

// Texts of the About box.
struct CProductInfo {
    std::string product_name;
    std::string product_version;
    std::string legal_notice;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr const char* kControlBarsSection = "Control Bars";

    CMainFrame(CDravikDoc& doc, CWindowFrontEnd& front_end, CSettingsStore& store,
               CProductInfo product, QWidget* parent = nullptr);
    // Stores the window position when the window has been shown.
    ~CMainFrame() override;

    CDravikView& View() noexcept { return *m_view; }
    QToolBar* ToolBar() const noexcept { return m_toolbar; }
    // The command of a menu or toolbar entry, by its object name.
    QAction* Action(const char* name) const;
    QLabel* StatusPane(int index) const;

    void ShowAbout();
    void ShowHelp();
    void ShowAppSettings();

  signals:
    // The window has closed: the program ends.
    void Closed();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QAction* AddAction(const char* name, const QString& text, const QString& tip,
                       const QKeySequence& keys = {});
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateCommands();
    void RestoreControlBars();
    void SaveControlBars();

    CDravikDoc& m_doc;
    CWindowFrontEnd& m_front_end;
    CSettingsStore& m_store;
    CProductInfo m_product;
    CMainWindowSettings m_placement;
    bool m_shown_once = false;
    CDravikView* m_view = nullptr;
    QToolBar* m_toolbar = nullptr;
    QLabel* m_panes[3] = {nullptr, nullptr, nullptr};
};

}  // namespace dravik
