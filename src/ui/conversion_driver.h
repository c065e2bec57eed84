// The main view's conversions, one at a time or a run over several pairs of
// log and instrument files, driven from the GUI thread's event loop: starting
// and ending are queued calls, a 100 ms timer polls the document's progress
// snapshot while the processing thread converts, and the progress window's
// Cancel and OK come back as queued calls too. No step blocks the window.
//
// Where a conversion is, is one state; every change of it goes through
// SetState, which also does what entering the state means (posting the next
// step, starting or stopping the timer, aborting, tearing down).
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

#include "conversion/dravik_doc.h"

namespace dravik {

class CWindowFrontEnd;

class CConversionDriver : public QObject {
    Q_OBJECT

  public:
    static constexpr int kProgressInterval = 100;  // ms

    // Makes the first pair of a run at or after `from` whose output can be
    // named the document's log, instrument and output file: its index, or
    // nothing when none is left.
    using PairTaker = std::function<std::optional<int>(int from)>;

    // The document and the front end must outlive the driver.
    CConversionDriver(CDravikDoc& doc, CWindowFrontEnd& front_end, QObject* parent = nullptr);
    // Ends a conversion still under way as cancelled.
    ~CConversionDriver() override;

    // Queues one conversion of the document's three files.
    void StartOne();
    // Queues a run over `total` pairs, starting with the first one whose
    // output can be named; false (and nothing started) when none can.
    bool StartRun(int total, PairTaker take_pair);
    // The program is closing: a conversion under way ends as cancelled (its
    // summary still goes to the conversion log) and the progress window goes.
    void Shutdown();

    bool IsBusy() const noexcept { return m_state != EState::kIdle; }
    bool IsRun() const noexcept { return m_run.total >= 2; }
    // How the last conversion ended (the batch run's exit status).
    EConversionOutcome Outcome() const noexcept { return m_outcome; }

  signals:
    void BusyChanged(bool busy);
    // "Dravik - Conversion in Progress - ..." with the run's counter and
    // the percentage.
    void TitleChanged(const QString& title);
    // One conversion has had its end step; a run has not gone on yet.
    void ConversionEnded();
    // The run is over and its progress window gone.
    void RunEnded();
    // One refresh of the progress window has been made.
    void ProgressRefreshed();

  private:
    enum class EState {
        kIdle,        // nothing under way
        kStarting,    // the start of the document's files is queued
        kConverting,  // the timer polls the processing thread's progress
        kCancelling,  // as converting; the user asked to abort, the run ends with it
        kShowing,     // ended: the progress window shows the result until its OK
        kEnding,      // the end of the run is queued
    };
    void SetState(EState next);

    void OnStart();
    void OnTimer();
    void OnCancel();
    void OnEndRequested();
    void OnEnd();
    // The next pair of the run whose output can be named becomes the
    // document's files; false when none is left.
    bool TakeNextPair();
    // The conversion ended (`cancelled` by the user): the end step, then the
    // run goes on, ends, or waits for the OK.
    void Finish(bool cancelled);
    // The user kept the existing output of this pair: the run goes on.
    void SkipPair(const CProgressSetup& setup);
    // The end step of a conversion still converting, as cancelled.
    void EndUnfinished();
    void UpdateTitle(int percent);

    struct CRun {
        int total = 0;  // pairs; below 2 a single conversion
        int index = 0;  // the pair being converted
        int first = 0;  // the first pair started
        PairTaker take_pair;
    };

    CDravikDoc& m_doc;
    CWindowFrontEnd& m_front_end;
    EState m_state = EState::kIdle;
    CRun m_run;
    EConversionOutcome m_outcome = EConversionOutcome::kFailed;
    QTimer m_timer;
};

}  // namespace dravik
