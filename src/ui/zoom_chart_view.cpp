#include "zoom_chart_view.h"

#include <QFile>
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
