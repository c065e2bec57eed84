#include "spectrum_page.h"

#include <QChart>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "zoom_chart_view.h"

namespace dravik {

CSpectrumPage::CSpectrumPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("spectrumPage"));
    m_chart = new QChart;
    m_chart->setTitle(QStringLiteral("Spectrum"));
    m_x = new QValueAxis(m_chart);
    m_x->setTitleText(QStringLiteral("Wavelength (nm)"));
    m_y = new QValueAxis(m_chart);
    m_chart->addAxis(m_x, Qt::AlignBottom);
    m_chart->addAxis(m_y, Qt::AlignLeft);
    m_view = new CZoomChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("spectrumChart"));
    m_view->setWhatsThis(QStringLiteral(
        "The spectrum of one frame: each spectral sensor type's values against wavelength. "
        "Turn the mouse wheel to zoom, drag a rectangle to zoom into it, press Home to see "
        "the whole spectrum."));
    connect(m_view, &CZoomChartView::ZoomReset, this, &CSpectrumPage::FitAxes);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("frameSlider"));
    m_slider->setWhatsThis(QStringLiteral(
        "Once the conversion has ended, chooses the frame whose spectrum is shown among the "
        "frames kept, which are spread over the whole log."));
    m_frame = new QSpinBox(this);
    m_frame->setObjectName(QStringLiteral("frameBox"));
    m_frame->setWhatsThis(QStringLiteral(
        "The frame whose spectrum is shown; a frame that was not kept gives the nearest one "
        "that was."));
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("spectrumCaption"));
    auto* frame_label = new QLabel(QStringLiteral("&Frame:"), this);
    frame_label->setBuddy(m_frame);
    connect(m_slider, &QSlider::valueChanged, this, &CSpectrumPage::OnSlider);
    connect(m_frame, &QSpinBox::valueChanged, this, &CSpectrumPage::OnSpinBox);

    auto* row = new QHBoxLayout;
    row->addWidget(frame_label);
    row->addWidget(m_frame);
    row->addWidget(m_slider, 1);
    row->addWidget(m_caption);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(row);
    m_slider->setEnabled(false);
    m_frame->setEnabled(false);
}

void CSpectrumPage::SetLayout(const CQuickLookLayout& layout) {
    for (QLineSeries* line : m_lines) {
        m_chart->removeSeries(line);
        delete line;
    }
    m_lines.clear();
    m_layout = layout;
    m_chosen = -1;
    m_kept.clear();
    QString units;
    for (const CQuickLookGroup& group : layout.groups) {
        auto* line = new QLineSeries(m_chart);
        line->setName(QString::fromStdString(group.type));
        m_chart->addSeries(line);
        line->attachAxis(m_x);
        line->attachAxis(m_y);
        m_lines.push_back(line);
        if (units.isEmpty()) units = QString::fromStdString(group.units);
    }
    m_y->setTitleText(units);
    m_chart->legend()->setVisible(m_lines.size() > 1);
    m_chart->setTitle(layout.groups.empty()
                          ? QStringLiteral("No spectral sensors in this conversion")
                          : QStringLiteral("Spectrum"));
    m_view->ResetZoom();
}

void CSpectrumPage::Show(const CQuickLookSnapshot& s) {
    for (std::size_t g = 0; g < m_lines.size(); ++g) {
        const CQuickLookGroup& group = m_layout.groups[g];
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(group.wavelengths.size()));
        for (std::size_t c = 0; c < group.wavelengths.size(); ++c) {
            const std::size_t at = group.first + c;
            if (at < s.spectrum.size() && std::isfinite(s.spectrum[at])) {
                points.append(QPointF(group.wavelengths[c], s.spectrum[at]));
            }
        }
        m_lines[g]->replace(points);
    }
    // The frames to choose from once the conversion has ended.
    const bool choosing = !s.running && !s.kept_indices.empty();
    if (m_kept != s.kept_indices) {
        m_kept = s.kept_indices;
        const QSignalBlocker quiet_slider(m_slider), quiet_box(m_frame);
        m_slider->setRange(0, std::max<int>(0, static_cast<int>(m_kept.size()) - 1));
        m_frame->setRange(m_kept.empty() ? 0 : m_kept.front(), m_kept.empty() ? 0 : m_kept.back());
    }
    m_slider->setEnabled(choosing);
    m_frame->setEnabled(choosing);
    if (s.spectrum_index >= 0) {
        const auto at = std::find(m_kept.begin(), m_kept.end(), s.spectrum_index);
        const QSignalBlocker quiet_slider(m_slider), quiet_box(m_frame);
        if (at != m_kept.end()) m_slider->setValue(static_cast<int>(at - m_kept.begin()));
        m_frame->setValue(s.spectrum_index);
    }
    m_caption->setText(s.spectrum_index < 0 ? QStringLiteral("no frame yet")
                       : s.running ? QStringLiteral("newest frame")
                                   : QStringLiteral("%1 frames kept").arg(m_kept.size()));
    if (!m_view->IsZoomed()) FitAxes();
}

void CSpectrumPage::OnSlider(int position) {
    if (position < 0 || position >= static_cast<int>(m_kept.size())) return;
    m_chosen = m_kept[static_cast<std::size_t>(position)];
    emit FrameChosen();
}

void CSpectrumPage::OnSpinBox(int frame) {
    m_chosen = frame;
    emit FrameChosen();
}

void CSpectrumPage::FitAxes() {
    double x_low = INFINITY, x_high = -INFINITY, y_low = INFINITY, y_high = -INFINITY;
    for (QLineSeries* line : m_lines) {
        for (const QPointF& p : line->points()) {
            x_low = std::min(x_low, p.x());
            x_high = std::max(x_high, p.x());
            y_low = std::min(y_low, p.y());
            y_high = std::max(y_high, p.y());
        }
    }
    FitAxis(m_x, x_low, x_high);
    FitAxis(m_y, y_low, y_high);
}

}  // namespace dravik
