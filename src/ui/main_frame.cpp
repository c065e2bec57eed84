#include "main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWhatsThis>

#include "about_dlg.h"
#include "app_settings_dlg.h"
#include "conversion/dravik_doc.h"
#include "dravik_view.h"
#include "help_window.h"
#include "window_front_end.h"
#include "window_placement.h"

namespace dravik {

namespace {

constexpr const char* kToolbarStateKey = "State";
constexpr const char* kStatusBarKey = "Status Bar";

// The text of a status-bar pane wide enough for its longest text.
QLabel* Pane(QWidget* parent, const QString& widest) {
    auto* label = new QLabel(parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 8);
    return label;
}

// The Quick Look's icon: a line over two axes, as its charts draw.
QIcon ChartIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    painter.drawPolyline(QPolygonF({QPointF(4, 3), QPointF(4, 28), QPointF(29, 28)}));
    painter.setPen(QPen(QColor(32, 120, 200), 2.5));
    painter.drawPolyline(QPolygonF({QPointF(6, 22), QPointF(11, 12), QPointF(15, 18),
                                    QPointF(20, 6), QPointF(24, 16), QPointF(29, 11)}));
    return QIcon(pixmap);
}

}  // namespace

CMainFrame::CMainFrame(CDravikDoc& doc, CWindowFrontEnd& front_end, CSettingsStore& store,
                       CProductInfo product, QWidget* parent)
    : QMainWindow(parent),
      m_doc(doc),
      m_front_end(front_end),
      m_store(store),
      m_product(std::move(product)) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(QStringLiteral("Dravik"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_view = new CDravikView(doc, front_end, store, this);
    setCentralWidget(m_view);
    front_end.SetOwner(this);

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    // The window is exactly as large as its form and bars.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    RestoreControlBars();

    connect(m_view, &CDravikView::TitleChanged, this, [this](const QString& title) {
        if (windowTitle() != title) setWindowTitle(title);
    });
    connect(m_view, &CDravikView::ConvertingChanged, this, [this](bool converting) {
        m_panes[2]->setText(converting ? QStringLiteral(" CONVERTING... ") : QString());
        UpdateCommands();
    });
    connect(m_view, &CDravikView::HeaderModeChanged, this, [this](bool header) {
        m_panes[1]->setText(header ? QStringLiteral(" H ") : QString());
        Action("header")->setChecked(header);
    });
    connect(m_view, &CDravikView::CloseRequested, this, &QWidget::close, Qt::QueuedConnection);
    m_placement.Read(store);
    UpdateCommands();
}

CMainFrame::~CMainFrame() {
    // A window never shown (a batch run) keeps the stored position.
    if (m_shown_once) {
        if (isVisible()) m_placement.rect = FrameRect(*this);
        m_placement.Write(m_store);
    }
}

QAction* CMainFrame::AddAction(const char* name, const QString& text, const QString& tip,
                               const QKeySequence& keys) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    // The text before the line break is the status prompt, the rest the tool tip.
    const qsizetype split = tip.indexOf(QLatin1Char('\n'));
    action->setStatusTip(split < 0 ? tip : tip.left(split));
    action->setToolTip(split < 0 ? tip : tip.mid(split + 1));
    action->setWhatsThis(action->statusTip() + QLatin1Char('.'));
    if (!keys.isEmpty()) action->setShortcut(keys);
    addAction(action);
    return action;
}

QAction* CMainFrame::Action(const char* name) const {
    return findChild<QAction*>(QString::fromLatin1(name));
}

QLabel* CMainFrame::StatusPane(int index) const {
    return index >= 0 && index < 3 ? m_panes[index] : nullptr;
}

void CMainFrame::CreateMenus() {
    QStyle* s = style();
    QAction* properties =
        AddAction("appProperties", QStringLiteral("&Properties..."),
                  QStringLiteral("Dravik application properties\nDravik Properties"));
    QAction* exit =
        AddAction("exit", QStringLiteral("E&xit"), QStringLiteral("Quit the program\nExit"));
    QAction* parameters =
        AddAction("parameters", QStringLiteral("&Parameters..."),
                  QStringLiteral("Conversion parameters\nConversion Parameters (Ctrl+P)"),
                  QKeySequence(QStringLiteral("Ctrl+P")));
    QAction* naming =
        AddAction("fileNaming", QStringLiteral("&File Naming..."),
                  QStringLiteral("Output file naming convention\nOutput File Naming (Ctrl+F)"),
                  QKeySequence(QStringLiteral("Ctrl+F")));
    QAction* header =
        AddAction("header", QStringLiteral("&Header"),
                  QStringLiteral("Enable/Disable header conversion\nHeader Conversion (Ctrl+H)"),
                  QKeySequence(QStringLiteral("Ctrl+H")));
    QAction* convert = AddAction("convert", QStringLiteral("&Convert"),
                                 QStringLiteral("Begin conversion\nBegin Conversion (Ctrl+C)"),
                                 QKeySequence(QStringLiteral("Ctrl+C")));
    QAction* list_properties =
        AddAction("listProperties", QStringLiteral("Pr&operties..."),
                  QStringLiteral("File list properties\nFile List Properties (Ctrl+O)"),
                  QKeySequence(QStringLiteral("Ctrl+O")));
    QAction* refresh = AddAction("refresh", QStringLiteral("&Refresh"),
                                 QStringLiteral("Refresh File lists\nRefresh File Lists (Ctrl+R)"),
                                 QKeySequence(QStringLiteral("Ctrl+R")));
    QAction* log = AddAction(
        "conversionLog", QStringLiteral("Conversion &Log"),
        QStringLiteral(
            "Show or hide the Conversion Log Output window\nToggle Conversion Log Output Window"));
    QAction* quick_look = AddAction(
        "quickLook", QStringLiteral("&Quick Look"),
        QStringLiteral("Show or hide the Quick Look window, which draws the spectra and series "
                       "of the conversion in progress\nQuick Look (Ctrl+K)"),
        QKeySequence(QStringLiteral("Ctrl+K")));
    QAction* status_bar =
        AddAction("statusBar", QStringLiteral("&Status Bar"),
                  QStringLiteral("Show or hide the status bar\nToggle StatusBar"));
    QAction* help =
        AddAction("helpTopics", QStringLiteral("&Help Topics"),
                  QStringLiteral("List Help topics\nHelp Topics"), QKeySequence(Qt::Key_F1));
    QAction* about = AddAction("about", QStringLiteral("&About Dravik..."),
                               QStringLiteral("Display program information, version number and "
                                              "legal notice\nAbout"));
    QAction* whats_this = QWhatsThis::createAction(this);
    whats_this->setObjectName(QStringLiteral("contextHelp"));
    whats_this->setShortcut(QKeySequence(QStringLiteral("Shift+F1")));
    whats_this->setStatusTip(
        QStringLiteral("Display help for clicked on buttons, menus and windows"));
    whats_this->setToolTip(QStringLiteral("Help"));
    addAction(whats_this);
    // Enter begins a conversion too; the view ignores it while one runs.
    QAction* enter =
        AddAction("convertEnter", QStringLiteral("Convert"), QStringLiteral("Begin conversion"));
    enter->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});

    header->setCheckable(true);
    header->setChecked(m_view->IsHeaderMode());
    log->setCheckable(true);
    quick_look->setCheckable(true);
    status_bar->setCheckable(true);
    status_bar->setChecked(true);

    parameters->setIcon(s->standardIcon(QStyle::SP_FileDialogDetailedView));
    naming->setIcon(s->standardIcon(QStyle::SP_FileDialogNewFolder));
    header->setIcon(s->standardIcon(QStyle::SP_FileDialogInfoView));
    convert->setIcon(s->standardIcon(QStyle::SP_MediaPlay));
    list_properties->setIcon(s->standardIcon(QStyle::SP_FileDialogListView));
    refresh->setIcon(s->standardIcon(QStyle::SP_BrowserReload));
    log->setIcon(s->standardIcon(QStyle::SP_FileDialogContentsView));
    quick_look->setIcon(ChartIcon());
    // A menu entry with an icon shows its "on" state as a sunken icon, easy to
    // miss: the entries that switch something on show a check mark instead
    // (their toolbar buttons keep the icons).
    for (QAction* toggle : {header, log, quick_look}) toggle->setIconVisibleInMenu(false);
    about->setIcon(s->standardIcon(QStyle::SP_MessageBoxInformation));
    whats_this->setIcon(s->standardIcon(QStyle::SP_TitleBarContextHelpButton));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Dravik"));
    file->addAction(properties);
    file->addSeparator();
    file->addAction(exit);
    QMenu* conversion = menuBar()->addMenu(QStringLiteral("&Conversion"));
    conversion->addAction(parameters);
    conversion->addAction(naming);
    conversion->addSeparator();
    conversion->addAction(header);
    conversion->addAction(convert);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    view->addAction(list_properties);
    view->addAction(refresh);
    view->addAction(log);
    view->addAction(quick_look);
    view->addSeparator();
    // The toolbar's own show/hide entry is added with the toolbar.
    view->addAction(status_bar);
    QMenu* help_menu = menuBar()->addMenu(QStringLiteral("&Help"));
    help_menu->addAction(help);
    help_menu->addSeparator();
    help_menu->addAction(about);

    connect(properties, &QAction::triggered, this, &CMainFrame::ShowAppSettings);
    connect(exit, &QAction::triggered, this, &QWidget::close);
    connect(header, &QAction::triggered, this, [this] { m_view->ToggleHeaderConversion(); });
    connect(convert, &QAction::triggered, this, [this] { m_view->BeginConversion(); });
    connect(enter, &QAction::triggered, this, [this] { m_view->BeginConversion(); });
    connect(log, &QAction::triggered, this, [this] { m_view->ToggleConversionLog(); });
    connect(parameters, &QAction::triggered, this, [this] { m_view->ShowParameters(); });
    connect(naming, &QAction::triggered, this, [this] { m_view->ShowFileNaming(); });
    connect(list_properties, &QAction::triggered, this, [this] { m_view->ShowListProperties(); });
    connect(refresh, &QAction::triggered, this, [this] { m_view->RefreshFileLists(); });
    connect(status_bar, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    connect(help, &QAction::triggered, this, &CMainFrame::ShowHelp);
    connect(about, &QAction::triggered, this, &CMainFrame::ShowAbout);
    connect(quick_look, &QAction::triggered, this, [this] { m_view->ToggleQuickLook(); });
    connect(m_view, &CDravikView::LogWindowShown, log, &QAction::setChecked);
    connect(m_view, &CDravikView::QuickLookShown, quick_look, &QAction::setChecked);
    connect(m_view, &CDravikView::ConvertingChanged, this, &CMainFrame::UpdateCommands);
}

void CMainFrame::CreateToolBar() {
    m_toolbar = new QToolBar(QStringLiteral("Dravik Toolbar"), this);
    m_toolbar->setObjectName(QStringLiteral("DravikToolbar"));
    m_toolbar->setAllowedAreas(Qt::AllToolBarAreas);
    for (const char* name : {"parameters", "fileNaming", "header", "convert", "", "listProperties",
                             "refresh", "conversionLog", "quickLook", "", "about", "contextHelp"}) {
        if (*name == '\0') {
            m_toolbar->addSeparator();
        } else {
            m_toolbar->addAction(Action(name));
        }
    }
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    QAction* toggle = m_toolbar->toggleViewAction();
    toggle->setObjectName(QStringLiteral("toolbar"));
    toggle->setText(QStringLiteral("&Toolbar"));
    toggle->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    QMenu* view = findChild<QMenu*>(QStringLiteral("viewMenu"));
    view->insertAction(Action("statusBar"), toggle);
}

void CMainFrame::CreateStatusBar() {
    m_panes[0] = new QLabel(QStringLiteral("For Help, press F1"), this);
    m_panes[1] = Pane(this, QStringLiteral(" H "));
    m_panes[2] = Pane(this, QStringLiteral(" CONVERTING... "));
    m_panes[0]->setObjectName(QStringLiteral("messagePane"));
    m_panes[1]->setObjectName(QStringLiteral("headerPane"));
    m_panes[2]->setObjectName(QStringLiteral("convertingPane"));
    statusBar()->addWidget(m_panes[0], 1);
    statusBar()->addPermanentWidget(m_panes[1]);
    statusBar()->addPermanentWidget(m_panes[2]);
    m_panes[1]->setText(m_view->IsHeaderMode() ? QStringLiteral(" H ") : QString());
}

void CMainFrame::UpdateCommands() {
    const bool idle = !m_view->IsConverting();
    for (const char* name :
         {"header", "convert", "parameters", "fileNaming", "listProperties", "refresh"}) {
        Action(name)->setEnabled(idle);
    }
}

void CMainFrame::RestoreControlBars() {
    const std::string state = m_store.GetString(kControlBarsSection, kToolbarStateKey, "");
    if (!state.empty()) {
        restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)));
    }
    const bool status_shown = m_store.GetInt(kControlBarsSection, kStatusBarKey, 1) != 0;
    statusBar()->setVisible(status_shown);
    Action("statusBar")->setChecked(status_shown);
}

void CMainFrame::SaveControlBars() {
    m_store.WriteString(kControlBarsSection, kToolbarStateKey,
                        saveState().toBase64().toStdString());
    m_store.WriteInt(kControlBarsSection, kStatusBarKey, statusBar()->isVisible() ? 1 : 0);
}

void CMainFrame::showEvent(QShowEvent* event) {
    if (!m_shown_once) {
        // The stored position is applied once, as the window first appears,
        // when it lies on a screen; else the window opens centred.
        m_shown_once = true;
        if (m_placement.rect) RestoreWindow(*this, m_placement.rect, false);
    }
    QMainWindow::showEvent(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The bars of a window never shown (a batch run) say nothing worth
    // keeping. The frame is measured while it is still there: a window
    // manager takes it away as the window goes.
    if (m_shown_once) {
        SaveControlBars();
        m_placement.rect = FrameRect(*this);
    }
    event->accept();
    emit Closed();
}

void CMainFrame::ShowAbout() {
    CAboutDlg about(QString::fromStdString(m_product.product_name),
                    QString::fromStdString(m_product.product_version),
                    QString::fromStdString(m_product.legal_notice), this);
    about.exec();
}

void CMainFrame::ShowHelp() {
    OpenHelp(this);
}

void CMainFrame::ShowAppSettings() {
    CAppSettingsDlg dialog(m_doc.GetAppSettings(), this);
    if (dialog.exec() == QDialog::Accepted) m_doc.SetAppSettings(dialog.Settings());
}

}  // namespace dravik
