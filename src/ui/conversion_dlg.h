// The progress window of a conversion ("Dravik Conversion"): the files, the
// limits, a progress bar and four counters, refreshed by the view every 100 ms
// from the document's snapshot. Its button reads "Cancel" while converting and
// "OK" once the last conversion of a run has ended.
#pragma once

#include <QDialog>

#include "settings/settings.h"
#include "conversion/front_end.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace dravik {

class CSettingsStore;

class CConversionDlg : public QDialog {
    Q_OBJECT

  public:
    // Reads the stored position ("Conversion Window").
    CConversionDlg(CSettingsStore& store, QWidget* parent = nullptr);

    // A run of several conversions shows "n/total"; a total below 2 is a
    // single conversion.
    void SetRunTotal(int total) { m_run_total = total; }
    void SetCurrent(int current) { m_current = current; }
    // Shows the conversion about to start (also re-used for the next
    // conversion of a run); with `cancel_afterwards` it is cancelled at once.
    void InitDisplay(const CProgressSetup& setup, bool cancel_afterwards = false);
    // One refresh from the document's report.
    void Refresh(const CProgressReport& report);

    bool IsDone() const noexcept { return m_state != EState::kConverting; }
    bool UserAborted() const noexcept { return m_state == EState::kUserAborted; }
    bool IsLastItem() const noexcept;
    int Percent() const noexcept { return m_percent; }

  signals:
    // The user asked to abort the conversion.
    void CancelRequested();
    // The user dismissed the window after the last conversion of the run.
    void EndRequested();

  protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Escape

  private:
    // Converting until the document's snapshot says done, or until the user
    // aborts; the button's text and action follow the state.
    enum class EState { kConverting, kEnded, kUserAborted };
    void SetState(EState state);
    void OnButton();
    // The close box and Escape: while converting, ask first.
    void AskToAbort();
    void StorePosition();
    void SetText(QLabel* label, const QString& text);
    void SetCounter(QLabel* label, long long value, long long& shown);
    // "Log File: NAME (n KB)", or "(n KB read)" for a log read to its end.
    void ShowLogFile(std::uint64_t bytes, bool read);

    CSettingsStore& m_store;
    CConversionWindowSettings m_position;
    bool m_placed = false;
    EState m_state = EState::kConverting;

    CProgressSetup m_setup;
    int m_run_total = 0;
    int m_current = 0;
    int m_percent = 0;
    // The bar counts frames up to the limit, or bytes of the log file scaled
    // down so that the largest file fits the bar's integer range.
    bool m_by_frames = false;
    bool m_by_bytes_read = false;  // the log's length is not known: bytes read are shown
    int m_shift = 0;
    int m_range = 1;
    long long m_shown_frames = -1;
    long long m_shown_resyncs = -1;
    long long m_shown_counter_errors = -1;
    long long m_shown_check_sum_errors = -1;

    QLabel* m_status = nullptr;
    QLabel* m_log_file = nullptr;
    QLabel* m_instrument_file = nullptr;
    QLabel* m_limits = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_frames = nullptr;
    QLabel* m_resyncs = nullptr;
    QLabel* m_counter_errors_caption = nullptr;
    QLabel* m_counter_errors = nullptr;
    QLabel* m_check_sum_errors_caption = nullptr;
    QLabel* m_check_sum_errors = nullptr;
    QPushButton* m_button = nullptr;
};

}  // namespace dravik
