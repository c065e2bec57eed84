#include "zoom_chart_view.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QTimeZone>
#include <QValueAxis>
#include <cmath>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QSvgGenerator>
#include <QWheelEvent>

namespace dravik {

namespace {

// One notch of the wheel shows this share of the plot (or its inverse).
constexpr qreal kWheelZoom = 0.8;

}  // namespace

CZoomChartView::CZoomChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    setFocusPolicy(Qt::StrongFocus);
}

void CZoomChartView::ResetZoom() {
    m_zoomed = false;
    emit ZoomReset();
}

void CZoomChartView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    const qreal factor = delta > 0 ? kWheelZoom : 1.0 / kWheelZoom;
    const QRectF area = chart()->plotArea();
    // The point under the pointer stays where it is.
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (!area.contains(at)) return;
    chart()->zoomIn(QRectF(at.x() - (at.x() - area.left()) * factor,
                           at.y() - (at.y() - area.top()) * factor, area.width() * factor,
                           area.height() * factor));
    m_zoomed = true;
    emit Zoomed();
    event->accept();
}

void CZoomChartView::mouseReleaseEvent(QMouseEvent* event) {
    // The rubber band zooms on the release of the button that drew it (the
    // right button zooms out).
    const bool zooms = event->button() == Qt::LeftButton || event->button() == Qt::RightButton;
    QChartView::mouseReleaseEvent(event);
    if (zooms) {
        m_zoomed = true;
        emit Zoomed();
    }
}

void CZoomChartView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Home) {
        ResetZoom();
        event->accept();
        return;
    }
    QChartView::keyPressEvent(event);
}

void FitAxis(QAbstractAxis* axis, double low, double high) {
    if (!(low <= high)) {
        low = 0.0;
        high = 1.0;
    }
    if (high - low < 1e-9 * std::max(1.0, std::abs(low))) {
        const double margin = std::max(std::abs(low) * 0.05, 0.5);
        low -= margin;
        high += margin;
    }
    // A step of 1, 2 or 5 times a power of ten giving at most five stretches.
    const double rough = (high - low) / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10.0;
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= rough) {
            step = m * power;
            break;
        }
    }
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    const int ticks = static_cast<int>(std::lround((high - low) / step)) + 1;
    if (auto* dates = qobject_cast<QDateTimeAxis*>(axis)) {
        const QDateTime from = QDateTime::fromMSecsSinceEpoch(std::llround(low), QTimeZone::utc());
        const QDateTime to = QDateTime::fromMSecsSinceEpoch(std::llround(high), QTimeZone::utc());
        if (dates->min() != from || dates->max() != to) dates->setRange(from, to);
        if (dates->tickCount() != ticks) dates->setTickCount(ticks);
    } else if (auto* values = qobject_cast<QValueAxis*>(axis)) {
        if (values->min() != low || values->max() != high) values->setRange(low, high);
        if (values->tickCount() != ticks) values->setTickCount(ticks);
    }
}

bool ExportChart(QChartView& view, const QString& path) {
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(view.size());
        svg.setViewBox(view.rect());
        svg.setTitle(view.chart()->title());
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        view.render(&painter);
        return painter.end() && QFile::exists(path);
    }
    return view.grab().save(path, "PNG");
}

}  // namespace dravik
