// The quick look's series page: output columns chosen from a list drawn
// against the time tag (or the frame index when the conversion has no time
// tags), each on the left or the right axis, growing while the conversion
// runs. Frames with a frame counter or check sum error are marked along the
// bottom. The chosen columns are kept by name from one conversion to the
// next, so that a run over several files draws the same quantities.
#pragma once

#include <QStringList>
#include <QWidget>
#include <vector>

#include "conversion/quick_look_output.h"

class QAbstractAxis;
class QChart;
class QLineSeries;
class QScatterSeries;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;

namespace dravik {

class CZoomChartView;

class CSeriesPage : public QWidget {
    Q_OBJECT

  public:
    enum EAxis { kLeft = 0, kRight = 1 };

    explicit CSeriesPage(QWidget* parent = nullptr);

    void SetLayout(const CQuickLookLayout& layout);
    void Show(const CQuickLookSnapshot& snapshot);
    // The layout's columns to draw, those of the left axis first.
    const std::vector<std::size_t>& Columns() const noexcept { return m_columns; }
    // The chosen columns' names on one axis; choosing names of columns the
    // conversion does not have keeps them for a later one.
    QStringList Chosen(EAxis axis) const { return m_names[axis]; }
    void Choose(EAxis axis, const QStringList& names);
    CZoomChartView* View() const noexcept { return m_view; }
    // The line of the k-th chosen column, and the marks (tests read them).
    QLineSeries* Line(std::size_t k) const { return k < m_lines.size() ? m_lines[k] : nullptr; }
    QScatterSeries* Marks() const noexcept { return m_marks; }

  signals:
    // The chosen columns changed: a fresh snapshot is wanted.
    void ColumnsChanged();

  private:
    void FillList();
    void OnItemChanged(QTreeWidgetItem* item, int column);
    // Lines for the chosen columns of the layout, on their axes.
    void MakeLines();
    void FitAxes();

    CQuickLookLayout m_layout;
    QStringList m_names[2];
    std::vector<std::size_t> m_columns;
    std::size_t m_left_count = 0;
    QTreeWidget* m_list = nullptr;
    QChart* m_chart = nullptr;
    CZoomChartView* m_view = nullptr;
    QAbstractAxis* m_x = nullptr;
    QValueAxis* m_y[2] = {nullptr, nullptr};
    QValueAxis* m_mark_axis = nullptr;
    std::vector<QLineSeries*> m_lines;
    QScatterSeries* m_marks = nullptr;
    bool m_filling = false;
};

}  // namespace dravik
