// The progress window driven by the view through real conversions of the
// example logs: what it shows for each way a conversion ends, and the cancel
// path a person takes.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "settings/memory_settings.h"
#include "conversion_dlg.h"
#include "dravik_view.h"
#include "modal_test_support.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

namespace {

QString Text(QWidget* window, const char* name) {
    return window->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

}  // namespace

class ConversionWindowTest : public QObject {
    Q_OBJECT

    struct Fixture {
        CMemorySettings store;
        CWindowFrontEnd front_end{store};
        CDravikDoc doc{front_end, &store};
        CDravikView view{doc, front_end, store};
        Fixture() {
            front_end.SetOwner(&view);
            doc.SetProgramDirectory(ExamplesDir().string());
        }
        // Starts a conversion and waits until its progress window shows the
        // end (the view has then run the end step).
        CConversionDlg* Convert(const fs::path& log, const fs::path& out, const std::string& inst) {
            doc.SetLogFilePath(log.string());
            doc.SetOutputFilePath(out.string());
            doc.SetInstrumentFilePath(inst);
            view.PostStartConversion(false);
            if (!QTest::qWaitFor(
                    [&] {
                        return front_end.Progress() != nullptr && front_end.Progress()->IsDone() &&
                               front_end.Progress()->findChild<QPushButton*>("button")->text() ==
                                   "OK";
                    },
                    60000)) {
                return nullptr;
            }
            return front_end.Progress();
        }
    };

  private slots:
    void completeConversionShowsFilesCountersAndFullBar() {
        Fixture f;
        const fs::path dir = ScratchDir("complete");
        f.doc.GetParameters().process_limit = 100;
        f.doc.GetParameters().process_depth = 5;
        f.doc.GetParameters().frame_counter_checking = 1;
        f.doc.GetParameters().check_sum_checking = 1;
        CConversionDlg* dlg = f.Convert(ExamplesDir() / "spr0117.raw", dir / "out.dat",
                                        (ExamplesDir() / "spr0117.cal").string());
        QVERIFY(dlg != nullptr);
        QCOMPARE(dlg->windowTitle(), QString("Dravik Conversion"));
        QCOMPARE(Text(dlg, "status"), QString("Conversion complete."));
        QCOMPARE(Text(dlg, "logFile"), QString("Log File: spr0117.raw (85.72 KB)"));
        QCOMPARE(Text(dlg, "instrumentFile"), QString("Instrument File: spr0117.cal"));
        QCOMPARE(Text(dlg, "limits"),
                 QString("Conversion Limit: 100 frames (maximum)\nConversion Depth: 5 frames"));
        auto* bar = dlg->findChild<QProgressBar*>("progress");
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 100);
        const CConversionStatus s = f.doc.GetConversionStatus();
        QCOMPARE(Text(dlg, "framesProcessed"), QString::number(s.frames_processed) + " ");
        QCOMPARE(Text(dlg, "resynchronizations"), QString::number(s.resynchronizations) + " ");
        QCOMPARE(Text(dlg, "frameCounterErrors"), QString("0 "));
        QCOMPARE(Text(dlg, "checkSumErrors"), QString("0 "));
        QVERIFY(dlg->findChild<QLabel*>("checkSumErrorsCaption")->isEnabled());
        QCOMPARE(dlg->Percent(), 100);
        QCOMPARE(f.view.Outcome(), EConversionOutcome::kComplete);

        // OK ends the conversion: the window goes, the view is idle again.
        dlg->findChild<QPushButton*>("button")->click();
        QTRY_VERIFY(f.front_end.Progress() == nullptr && !f.view.IsConverting());
    }

    void headerConversionWithoutLimitCountsBytes() {
        Fixture f;
        const fs::path dir = ScratchDir("header");
        f.doc.GetParameters().process_limit = 100;  // frames mean nothing here
        CConversionDlg* dlg = f.Convert(ExamplesDir() / "cast0117.raw", dir / "h.dat", "");
        QVERIFY(dlg != nullptr);
        QCOMPARE(Text(dlg, "status"), QString("Conversion complete."));
        QCOMPARE(Text(dlg, "instrumentFile"), QString("Header Conversion"));
        QCOMPARE(Text(dlg, "limits"), QString());
        auto* bar = dlg->findChild<QProgressBar*>("progress");
        QCOMPARE(bar->maximum(), 6056);
        QCOMPARE(bar->value(), 6056);
    }

    void failedConversionsSayWhy() {
        Fixture f;
        const fs::path dir = ScratchDir("failed");
        const std::string cal = (ExamplesDir() / "spr0117.cal").string();

        // A log without a single frame of the instrument.
        CConversionDlg* dlg = f.Convert(ExamplesDir() / "nav0001.raw", dir / "a.dat", cal);
        QVERIFY(dlg != nullptr);
        QCOMPARE(Text(dlg, "status"), QString("Conversion aborted.\nSPR0117 not found."));
        QCOMPARE(f.view.Outcome(), EConversionOutcome::kFailed);
        dlg->findChild<QPushButton*>("button")->click();
        QTRY_VERIFY(!f.view.IsConverting());

        // Frames, then more junk than the file buffer holds.
        const fs::path junk = dir / "junk.raw";
        WriteAll(junk, ReadAll(ExamplesDir() / "spr0117.raw") + std::string(20000, '\0'));
        dlg = f.Convert(junk, dir / "b.dat", cal);
        QVERIFY(dlg != nullptr);
        QCOMPARE(Text(dlg, "status"), QString("Conversion aborted.\nFile buffer overrun."));
        QVERIFY(Text(dlg, "framesProcessed") != "0 ");
        QCOMPARE(f.view.Outcome(), EConversionOutcome::kFailed);
        dlg->findChild<QPushButton*>("button")->click();
        QTRY_VERIFY(!f.view.IsConverting());

        // An instrument without frame counter or check sum: both greyed, blank.
        dlg = f.Convert(ExamplesDir() / "nav0001.raw", dir / "c.dat",
                        (ExamplesDir() / "nav0001.tdf").string());
        QVERIFY(dlg != nullptr);
        QCOMPARE(Text(dlg, "status"), QString("Conversion complete."));
        QVERIFY(!dlg->findChild<QLabel*>("checkSumErrorsCaption")->isEnabled());
        QVERIFY(!dlg->findChild<QLabel*>("frameCounterErrorsCaption")->isEnabled());
        QCOMPARE(Text(dlg, "checkSumErrors"), QString());
        QCOMPARE(Text(dlg, "frameCounterErrors"), QString());
    }

    void cancelAsksFirstThenAborts() {
        Fixture f;
        const fs::path dir = ScratchDir("cancel");
        // A log long enough to be still converting when the questions come.
        const std::string frames = ReadAll(ExamplesDir() / "spr0117.raw");
        std::string big;
        for (int i = 0; i < 600; ++i) big += frames;
        WriteAll(dir / "big.raw", big);
        f.doc.SetLogFilePath((dir / "big.raw").string());
        f.doc.SetOutputFilePath((dir / "out.dat").string());
        f.doc.SetInstrumentFilePath((ExamplesDir() / "spr0117.cal").string());
        f.view.PostStartConversion(false);
        QTRY_VERIFY(f.front_end.Progress() != nullptr &&
                    Text(f.front_end.Progress(), "status") == "SPR0117 conversion in progress...");
        CConversionDlg* dlg = f.front_end.Progress();

        // Escape asks; "No" lets the conversion go on.
        QString question;
        AnswerMessageBox(QMessageBox::No, &question);
        QTest::keyClick(dlg, Qt::Key_Escape);
        QCOMPARE(question, QString("Abort conversion?"));
        QVERIFY(!dlg->IsDone());

        // "Yes" aborts.
        AnswerMessageBox(QMessageBox::Yes, &question);
        dlg->close();
        QCOMPARE(Text(dlg, "status"), QString("Conversion aborted."));
        QCOMPARE(dlg->findChild<QPushButton*>("button")->text(), QString("OK"));
        QTRY_COMPARE(f.view.Outcome(), EConversionOutcome::kAborted);
        QCOMPARE(Text(dlg, "status"), QString("Conversion aborted."));
        QVERIFY(f.doc.GetConversionStatus().frames_processed < 600u * 300u);

        // Once ended, the close box no longer asks: it dismisses.
        dlg->close();
        QTRY_VERIFY(f.front_end.Progress() == nullptr && !f.view.IsConverting());
    }

    void refusedOverwriteEndsWithoutTouchingTheFile() {
        Fixture f;
        const fs::path dir = ScratchDir("refused");
        WriteAll(dir / "out.dat", "keep me");
        f.doc.SetLogFilePath((ExamplesDir() / "spr0117.raw").string());
        f.doc.SetOutputFilePath((dir / "out.dat").string());
        f.doc.SetInstrumentFilePath((ExamplesDir() / "spr0117.cal").string());
        bool asked = false;
        WhenModal([&asked](QWidget* modal) {
            asked = true;
            modal->findChild<QPushButton*>("no")->click();
        });
        f.view.PostStartConversion(false);
        QTRY_VERIFY(asked && f.front_end.Progress() == nullptr && !f.view.IsConverting());
        QCOMPARE(f.view.Outcome(), EConversionOutcome::kAborted);
        QCOMPARE(ReadAll(dir / "out.dat"), std::string("keep me"));
    }
};

QTEST_MAIN(ConversionWindowTest)
#include "conversion_window_test.moc"
