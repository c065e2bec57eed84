// The Quick Look window (View > Quick Look, Ctrl+K): the spectrum and the
// series of the conversion in progress, drawn while it runs. Its model is a
// CQuickLookOutput that the view hands the document as a side output while
// the window is open; a 100 ms timer copies what changed and redraws, so the
// processing thread never waits for the window. In a run over several files
// it follows the conversion in progress. Its placement, whether it is open,
// the page shown and the chosen columns are kept ("Quick Look Window").
#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <memory>

#include "conversion/quick_look_output.h"
#include "settings/settings.h"

class QPushButton;
class QTabWidget;

namespace dravik {

class CSeriesPage;
class CSettingsStore;
class CSpectrumPage;
class CZoomChartView;

class CQuickLookWindow : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kRefreshInterval = 100;  // ms

    // Reads the "Quick Look Window" section.
    CQuickLookWindow(CSettingsStore& store, QWidget* parent = nullptr,
                     CQuickLookLimits limits = {});
    ~CQuickLookWindow() override;

    CQuickLookOutput& Output() noexcept { return *m_output; }
    bool GetShowWindow() const noexcept { return m_settings.show_window != 0; }
    bool IsOpen() const noexcept { return m_open; }
    // Opens the window (Show Window becomes 1) and starts its refreshes.
    void Open();
    // Closes it (Show Window becomes 0).
    void Close();
    // Copies the model and redraws now, if anything changed.
    void Refresh();

    CSpectrumPage& Spectrum() const noexcept { return *m_spectrum; }
    CSeriesPage& Series() const noexcept { return *m_series; }
    // The chart of the page shown.
    CZoomChartView* ShownChart() const;
    // Saves the shown chart; the file dialog asks where.
    void ExportShownChart();

  signals:
    // The user closed the window with its close box.
    void Closed();
    // The window drew a new copy of the model.
    void Refreshed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override { close(); }
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void StoreSettings();
    // The model reads the values of the chosen columns in every frame.
    void ChooseSeries();
    void Redraw();

    CSettingsStore& m_store;
    CQuickLookWindowSettings m_settings;
    std::unique_ptr<CQuickLookOutput> m_output;
    bool m_open = false;
    bool m_placed = false;
    bool m_wanted = true;  // a choice changed: redraw even without new frames
    std::uint64_t m_version = 0;
    std::uint64_t m_generation = 0;
    CQuickLookSnapshot m_snapshot;
    QTimer m_timer;
    QTabWidget* m_pages = nullptr;
    CSpectrumPage* m_spectrum = nullptr;
    CSeriesPage* m_series = nullptr;
    QPushButton* m_export = nullptr;
};

}  // namespace dravik
