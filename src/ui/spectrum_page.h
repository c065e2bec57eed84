// The quick look's spectrum page: each spectral group's values of one frame
// against wavelength, one line per group. While a conversion runs it shows
// the newest frame; once it has ended, a slider and a spin box choose among
// the frames whose spectra were kept (spread over the whole conversion).
#pragma once

#include <QWidget>
#include <vector>

#include "conversion/quick_look_output.h"

class QChart;
class QLabel;
class QLineSeries;
class QSlider;
class QSpinBox;
class QValueAxis;

namespace dravik {

class CZoomChartView;

class CSpectrumPage : public QWidget {
    Q_OBJECT

  public:
    explicit CSpectrumPage(QWidget* parent = nullptr);

    // A new conversion: one line per group of `layout`.
    void SetLayout(const CQuickLookLayout& layout);
    void Show(const CQuickLookSnapshot& snapshot);
    // The log's index of the frame to show, or -1 for the newest.
    int ChosenFrame() const noexcept { return m_chosen; }
    CZoomChartView* View() const noexcept { return m_view; }
    // The line of group `k` (tests read the points drawn).
    QLineSeries* Line(std::size_t k) const { return k < m_lines.size() ? m_lines[k] : nullptr; }

  signals:
    // Another frame was chosen: a fresh snapshot is wanted.
    void FrameChosen();

  private:
    void OnSlider(int position);
    void OnSpinBox(int frame);
    void FitAxes();

    CQuickLookLayout m_layout;
    QChart* m_chart = nullptr;
    CZoomChartView* m_view = nullptr;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
    std::vector<QLineSeries*> m_lines;
    QSlider* m_slider = nullptr;
    QSpinBox* m_frame = nullptr;
    QLabel* m_caption = nullptr;
    std::vector<int> m_kept;
    int m_chosen = -1;
};

}  // namespace dravik
