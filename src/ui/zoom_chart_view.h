// A chart view the quick look's pages draw in: the mouse wheel zooms in and
// out around the pointer, a drag with the left button zooms into the dragged
// rectangle, and Home shows the whole chart again. While zoomed, a page keeps
// its axes where the user put them as new points arrive.
#pragma once

#include <QChartView>
#include <QString>

namespace dravik {

class CZoomChartView : public QChartView {
    Q_OBJECT

  public:
    explicit CZoomChartView(QChart* chart, QWidget* parent = nullptr);

    bool IsZoomed() const noexcept { return m_zoomed; }
    // Shows the whole chart again (Home).
    void ResetZoom();

  signals:
    // The axes were zoomed by the user.
    void Zoomed();
    // Home: the page fits the axes to its points again.
    void ZoomReset();

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool m_zoomed = false;
};

// Gives `axis` (a value axis, or a date axis counting milliseconds) a range
// holding low..high that ends on round steps, with about five ticks; nothing
// (no new layout of the chart) when it already has that range. An empty
// range (low > high) becomes 0..1.
void FitAxis(QAbstractAxis* axis, double low, double high);

// Saves what `view` shows as a PNG image or, for a name ending in ".svg", an
// SVG drawing; false when the file could not be written.
bool ExportChart(QChartView& view, const QString& path);

}  // namespace dravik
