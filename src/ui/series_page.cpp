#include "series_page.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSplitter>
#include <QTreeWidget>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "zoom_chart_view.h"

namespace dravik {

namespace {

// Time tags are drawn on a date axis, which counts milliseconds.
constexpr double kMillisecondsPerSecond = 1000.0;
// The marks sit just above the bottom of the plot, on an axis of their own.
constexpr double kMarkHeight = 0.03;

}  // namespace

CSeriesPage::CSeriesPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("seriesPage"));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("seriesColumns"));
    m_list->setHeaderLabels({QStringLiteral("Column"), QStringLiteral("Left"), QStringLiteral("Right")});
    m_list->setRootIsDecorated(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->setStretchLastSection(false);
    m_list->setWhatsThis(QStringLiteral(
        "The output columns that can be drawn. Tick Left or Right to draw a column against the "
        "time tag (or the frame index) on that axis; several columns can be drawn at once."));
    connect(m_list, &QTreeWidget::itemChanged, this, &CSeriesPage::OnItemChanged);

    m_chart = new QChart;
    m_y[kLeft] = new QValueAxis(m_chart);
    m_y[kRight] = new QValueAxis(m_chart);
    m_mark_axis = new QValueAxis(m_chart);
    m_mark_axis->setRange(0.0, 1.0);
    m_mark_axis->setVisible(false);
    m_x = new QValueAxis(m_chart);
    m_chart->addAxis(m_x, Qt::AlignBottom);
    m_chart->addAxis(m_y[kLeft], Qt::AlignLeft);
    m_chart->addAxis(m_y[kRight], Qt::AlignRight);
    m_chart->addAxis(m_mark_axis, Qt::AlignRight);
    m_marks = new QScatterSeries(m_chart);
    m_marks->setName(QStringLiteral("Frame errors"));
    m_marks->setColor(Qt::red);
    m_marks->setBorderColor(Qt::red);
    m_marks->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_marks->setMarkerSize(7.0);
    m_view = new CZoomChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("seriesChart"));
    // Thousands of points draw several times faster without antialiasing.
    m_view->setRenderHint(QPainter::Antialiasing, false);
    m_view->setWhatsThis(QStringLiteral(
        "The chosen columns against the time tag, or the frame index without time tags. Red "
        "squares along the bottom mark frames with a frame counter or check sum error. Turn "
        "the mouse wheel to zoom, drag a rectangle to zoom into it, press Home to see all."));
    connect(m_view, &CZoomChartView::ZoomReset, this, &CSeriesPage::FitAxes);
    // The marks stay along the bottom whatever the zoom.
    connect(m_view, &CZoomChartView::Zoomed, this, [this] { m_mark_axis->setRange(0.0, 1.0); });

    auto* split = new QSplitter(this);
    split->addWidget(m_list);
    split->addWidget(m_view);
    split->setStretchFactor(1, 1);
    split->setSizes({290, 560});
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(split);
    m_chart->setTitle(QStringLiteral("Series"));
}

void CSeriesPage::SetLayout(const CQuickLookLayout& layout) {
    m_layout = layout;
    // The lines go with their axis and are made anew below.
    for (QLineSeries* line : m_lines) {
        m_chart->removeSeries(line);
        delete line;
    }
    m_lines.clear();
    if (m_chart->series().contains(m_marks)) m_chart->removeSeries(m_marks);
    m_chart->removeAxis(m_x);
    delete m_x;
    if (layout.time_x) {
        auto* dates = new QDateTimeAxis(m_chart);
        dates->setFormat(QStringLiteral("HH:mm:ss"));
        dates->setTitleText(QStringLiteral("Time tag (UTC)"));
        m_x = dates;
    } else {
        auto* index = new QValueAxis(m_chart);
        index->setTitleText(QStringLiteral("Frame"));
        index->setLabelFormat(QStringLiteral("%d"));
        m_x = index;
    }
    m_chart->addAxis(m_x, Qt::AlignBottom);
    m_chart->setTitle(QString::fromStdString(layout.log_name));
    FillList();
    MakeLines();
    m_view->ResetZoom();
}

void CSeriesPage::FillList() {
    m_filling = true;
    m_list->clear();
    for (std::size_t k = 0; k < m_layout.column_names.size(); ++k) {
        if (!m_layout.numeric[k]) continue;
        const QString name = QString::fromStdString(m_layout.column_names[k]);
        auto* item = new QTreeWidgetItem(m_list, {name});
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(k));
        item->setCheckState(1, m_names[kLeft].contains(name) ? Qt::Checked : Qt::Unchecked);
        item->setCheckState(2, m_names[kRight].contains(name) ? Qt::Checked : Qt::Unchecked);
    }
    m_list->resizeColumnToContents(1);
    m_list->resizeColumnToContents(2);
    m_filling = false;
}

void CSeriesPage::Choose(EAxis axis, const QStringList& names) {
    m_names[axis] = names;
    m_names[axis].removeDuplicates();
    for (const QString& name : m_names[axis]) m_names[1 - axis].removeAll(name);
    FillList();
    MakeLines();
    emit ColumnsChanged();
}

void CSeriesPage::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (m_filling || column < 1) return;
    const QString name = item->text(0);
    const auto axis = static_cast<EAxis>(column - 1);
    m_names[axis].removeAll(name);
    if (item->checkState(column) == Qt::Checked) {
        m_names[axis].append(name);
        // A column is drawn on one axis.
        m_names[1 - axis].removeAll(name);
        m_filling = true;
        item->setCheckState(3 - column, Qt::Unchecked);
        m_filling = false;
    }
    MakeLines();
    emit ColumnsChanged();
}

void CSeriesPage::MakeLines() {
    for (QLineSeries* line : m_lines) {
        m_chart->removeSeries(line);
        delete line;
    }
    m_lines.clear();
    m_columns.clear();
    if (m_chart->series().contains(m_marks)) m_chart->removeSeries(m_marks);
    m_left_count = 0;
    for (const EAxis axis : {kLeft, kRight}) {
        for (const QString& name : m_names[axis]) {
            const auto at = std::find(m_layout.column_names.begin(), m_layout.column_names.end(),
                                      name.toStdString());
            if (at == m_layout.column_names.end()) continue;
            const auto k = static_cast<std::size_t>(at - m_layout.column_names.begin());
            if (!m_layout.numeric[k]) continue;
            auto* line = new QLineSeries(m_chart);
            line->setName(name);
            m_chart->addSeries(line);
            line->attachAxis(m_x);
            line->attachAxis(m_y[axis]);
            m_lines.push_back(line);
            m_columns.push_back(k);
            if (axis == kLeft) ++m_left_count;
        }
    }
    m_y[kLeft]->setVisible(m_left_count > 0 || m_lines.empty());
    m_y[kRight]->setVisible(m_lines.size() > m_left_count);
    m_chart->addSeries(m_marks);
    m_marks->attachAxis(m_x);
    m_marks->attachAxis(m_mark_axis);
    m_marks->clear();
}

void CSeriesPage::Show(const CQuickLookSnapshot& s) {
    const double scale = m_layout.time_x ? kMillisecondsPerSecond : 1.0;
    for (std::size_t i = 0; i < m_lines.size() && i < s.series.size(); ++i) {
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(s.series[i].size()));
        for (const CSeriesPoint& p : s.series[i]) points.append(QPointF(p.x * scale, p.y));
        m_lines[i]->replace(points);
    }
    QList<QPointF> marks;
    for (const CSeriesMark& mark : s.marks) marks.append(QPointF(mark.x * scale, kMarkHeight));
    m_marks->replace(marks);
    if (!m_view->IsZoomed()) FitAxes();
}

void CSeriesPage::FitAxes() {
    double x_low = INFINITY, x_high = -INFINITY;
    double y_low[2] = {INFINITY, INFINITY}, y_high[2] = {-INFINITY, -INFINITY};
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const int axis = i < m_left_count ? kLeft : kRight;
        for (const QPointF& p : m_lines[i]->points()) {
            x_low = std::min(x_low, p.x());
            x_high = std::max(x_high, p.x());
            y_low[axis] = std::min(y_low[axis], p.y());
            y_high[axis] = std::max(y_high[axis], p.y());
        }
    }
    for (const QPointF& p : m_marks->points()) {
        x_low = std::min(x_low, p.x());
        x_high = std::max(x_high, p.x());
    }
    FitAxis(m_x, x_low, x_high);
    FitAxis(m_y[kLeft], y_low[kLeft], y_high[kLeft]);
    FitAxis(m_y[kRight], y_low[kRight], y_high[kRight]);
    if (m_mark_axis->min() != 0.0 || m_mark_axis->max() != 1.0) m_mark_axis->setRange(0.0, 1.0);
}

}  // namespace dravik
