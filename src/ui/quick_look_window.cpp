#include "quick_look_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

#include "series_page.h"
#include "spectrum_page.h"
#include "window_placement.h"
#include "zoom_chart_view.h"

namespace dravik {

namespace {

const QString kNameSeparator = QStringLiteral("|");

QStringList Names(const std::string& text) {
    return QString::fromStdString(text).split(kNameSeparator, Qt::SkipEmptyParts);
}

}  // namespace

CQuickLookWindow::CQuickLookWindow(CSettingsStore& store, QWidget* parent, CQuickLookLimits limits)
    : QDialog(parent), m_store(store), m_output(std::make_unique<CQuickLookOutput>(limits)) {
    setObjectName(QStringLiteral("QuickLookWindow"));
    setWindowTitle(QStringLiteral("Quick Look"));
    setModal(false);
    setSizeGripEnabled(true);
    setWhatsThis(QStringLiteral(
        "The Quick Look draws the conversion in progress: the spectrum of the newest frame and "
        "the chosen columns against time, without reading the output file."));
    m_settings.Read(store);

    m_spectrum = new CSpectrumPage(this);
    m_series = new CSeriesPage(this);
    m_series->Choose(CSeriesPage::kLeft, Names(m_settings.left_columns));
    m_series->Choose(CSeriesPage::kRight, Names(m_settings.right_columns));
    ChooseSeries();
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("pages"));
    m_pages->addTab(m_spectrum, QStringLiteral("&Spectrum"));
    m_pages->addTab(m_series, QStringLiteral("S&eries"));
    m_pages->setCurrentIndex(m_settings.page == 1 ? 1 : 0);
    m_export = new QPushButton(QStringLiteral("E&xport..."), this);
    m_export->setObjectName(QStringLiteral("export"));
    m_export->setWhatsThis(
        QStringLiteral("Saves the chart shown as a PNG image or an SVG drawing."));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_export);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);
    resize(860, 520);

    auto want = [this] {
        m_wanted = true;
        Refresh();
    };
    connect(m_spectrum, &CSpectrumPage::FrameChosen, this, want);
    connect(m_series, &CSeriesPage::ColumnsChanged, this, [this, want] {
        ChooseSeries();
        StoreSettings();
        want();
    });
    connect(m_pages, &QTabWidget::currentChanged, this, [this, want] {
        StoreSettings();
        want();
    });
    connect(m_export, &QPushButton::clicked, this, &CQuickLookWindow::ExportShownChart);
    m_timer.setInterval(kRefreshInterval);
    connect(&m_timer, &QTimer::timeout, this, &CQuickLookWindow::Refresh);
}

CQuickLookWindow::~CQuickLookWindow() {
    // The window goes with the program, not by the user's choice: it opens
    // again at the next start. Its place is the one measured while it was
    // shown: a window manager has taken the frame away by now.
    if (m_open) {
        m_open = false;
        StoreSettings();
    }
}

void CQuickLookWindow::Open() {
    m_settings.show_window = 1;
    // Placed before it first appears, so that the window manager puts it
    // there; the stored outer size is kept once the frame is known.
    if (!m_placed) {
        m_placed = true;
        RestoreWindow(*this, m_settings.rect, true);
    }
    show();
    m_open = true;
    StoreSettings();
    m_wanted = true;
    Refresh();
    m_timer.start();
}

void CQuickLookWindow::Close() {
    m_timer.stop();
    m_open = false;
    hide();
    m_settings.show_window = 0;
    StoreSettings();
}

void CQuickLookWindow::StoreSettings() {
    if (m_open) m_settings.rect = FrameRect(*this);
    m_settings.page = m_pages->currentIndex();
    m_settings.left_columns = m_series->Chosen(CSeriesPage::kLeft).join(kNameSeparator).toStdString();
    m_settings.right_columns =
        m_series->Chosen(CSeriesPage::kRight).join(kNameSeparator).toStdString();
    m_settings.Write(m_store);
}

void CQuickLookWindow::ChooseSeries() {
    std::vector<std::string> names;
    for (const auto axis : {CSeriesPage::kLeft, CSeriesPage::kRight}) {
        for (const QString& name : m_series->Chosen(axis)) names.push_back(name.toStdString());
    }
    m_output->ChooseSeries(std::move(names));
}

void CQuickLookWindow::Refresh() {
    const std::uint64_t version = m_output->Version();
    if (version == m_version && !m_wanted) return;
    m_version = version;
    m_wanted = false;
    Redraw();
}

void CQuickLookWindow::Redraw() {
    // The copy is taken in one short lock; the drawing happens after it.
    m_output->Snapshot(m_series->Columns(), m_spectrum->ChosenFrame(), m_snapshot);
    if (m_snapshot.generation != m_generation) {
        m_generation = m_snapshot.generation;
        const CQuickLookLayout layout = m_output->Layout();
        m_spectrum->SetLayout(layout);
        m_series->SetLayout(layout);
        setWindowTitle(layout.log_name.empty()
                           ? QStringLiteral("Quick Look")
                           : QStringLiteral("Quick Look - %1").arg(QString::fromStdString(layout.log_name)));
        // The new conversion's columns and its newest frame.
        m_output->Snapshot(m_series->Columns(), m_spectrum->ChosenFrame(), m_snapshot);
    }
    // Only the page shown is drawn; the other catches up when it is chosen.
    if (m_pages->currentIndex() == 1) {
        m_series->Show(m_snapshot);
    } else {
        m_spectrum->Show(m_snapshot);
    }
    emit Refreshed();
}

CZoomChartView* CQuickLookWindow::ShownChart() const {
    return m_pages->currentIndex() == 1 ? m_series->View() : m_spectrum->View();
}

void CQuickLookWindow::ExportShownChart() {
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Chart"), QString(),
        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg)"), &filter);
    if (path.isEmpty()) return;
    QString named = path;
    if (!named.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) &&
        !named.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        named += filter.startsWith(QStringLiteral("SVG")) ? QStringLiteral(".svg")
                                                          : QStringLiteral(".png");
    }
    if (!ExportChart(*ShownChart(), named)) {
        QMessageBox::warning(this, QStringLiteral("Quick Look"),
                             QStringLiteral("The chart could not be saved as\n\"%1\".").arg(named));
    }
}

void CQuickLookWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit Closed();
}

void CQuickLookWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (isVisible() && m_open) StoreSettings();
}

void CQuickLookWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (isVisible() && m_open) StoreSettings();
}

}  // namespace dravik
