// The progress window driven by the view through real conversions of the
// example logs (what it shows while and after converting, and the cancel path
// a person takes), and the conversion log window's text and placement.
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "conversion_dlg.h"
#include "conversion_log_dlg.h"
#include "dravik_view.h"
#include "ui_test_support.h"
#include "settings/memory_settings.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

namespace {

QString Text(QWidget* window, const char* name) {
    return window->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// `count` numbered lines of 99 characters plus "\r\n".
std::string Lines(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i) {
        char head[16];
        std::snprintf(head, sizeof head, "%06d", i);
        text += head + std::string(93, '.') + "\r\n";
    }
    return text;
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
        void Start(const fs::path& log, const fs::path& out, const std::string& inst) {
            doc.SetLogFilePath(log.string());
            doc.SetOutputFilePath(out.string());
            doc.SetInstrumentFilePath(inst);
            view.PostStartConversion();
        }
        // Waits until the progress window shows the end (the view has then
        // run the end step).
        CConversionDlg* Ended() {
            const bool ended = QTest::qWaitFor(
                [&] {
                    CConversionDlg* p = front_end.Progress();
                    return p != nullptr && p->IsDone() &&
                           p->findChild<QPushButton*>("button")->text() == "OK";
                },
                60000);
            return ended ? front_end.Progress() : nullptr;
        }
    };

  private slots:
    void eachConversionShowsItsFilesLimitsAndEnd() {
        const std::string spr = (ExamplesDir() / "spr0117.cal").string();
        const std::string nav = (ExamplesDir() / "nav0001.tdf").string();
        const struct {
            const char* log;
            const char* size;  // of the log, or what was read of it
            std::string instrument;
            int limit, depth;
            const char *status, *instrument_text, *limits;
            int bar;        // range, and position at the end
            bool checks;    // the error counters' captions are enabled
        } cases[] = {
            {"spr0117.raw", "85.72 KB", spr, 100, 5, "Conversion complete.", "Instrument File: spr0117.cal",
             "Conversion Limit: 100 frames (maximum)\nConversion Depth: 5 frames", 100, true},
            // A header conversion counts bytes, whatever the limit says.
            {"cast0117.raw", "5.91 KB", "", 100, 1, "Conversion complete.", "Header Conversion", "", 6056,
             false},
            {"nav0001.raw", "13.31 KB", nav, 0, 1, "Conversion complete.",
             "Instrument File: nav0001.tdf", "", 13632, false},
            // A compressed log's length is known at its end: the bytes read.
            {"spr0117.raw.gz", "85.72 KB read", spr, 0, 1, "Conversion complete.",
             "Instrument File: spr0117.cal", "", 1, false},
            {"nav0001.raw", "13.31 KB", spr, 0, 1, "Conversion aborted.\nSPR0117 not found.",
             "Instrument File: spr0117.cal", "", 13632, true},
        };
        const fs::path dir = ScratchDir("ends");
        QCOMPARE(std::system(("gzip -c " + (ExamplesDir() / "spr0117.raw").string() + " > " +
                              (dir / "spr0117.raw.gz").string())
                                 .c_str()),
                 0);
        Fixture f;
        int n = 0;
        for (const auto& c : cases) {
            f.doc.GetParameters().process_limit = c.limit;
            f.doc.GetParameters().process_depth = c.depth;
            f.doc.GetParameters().frame_counter_checking = c.checks;
            f.doc.GetParameters().check_sum_checking = c.checks;
            const fs::path log = fs::exists(dir / c.log) ? dir / c.log : ExamplesDir() / c.log;
            f.Start(log, dir / (std::to_string(++n) + ".dat"), c.instrument);
            CConversionDlg* dlg = f.Ended();
            QVERIFY(dlg != nullptr);
            QCOMPARE(dlg->windowTitle(), QString("Dravik Conversion"));
            QCOMPARE(Text(dlg, "status"), QString(c.status));
            QCOMPARE(Text(dlg, "logFile"), QString("Log File: %1 (%2)").arg(c.log, c.size));
            QCOMPARE(Text(dlg, "instrumentFile"), QString(c.instrument_text));
            QCOMPARE(Text(dlg, "limits"), QString(c.limits));
            auto* bar = dlg->findChild<QProgressBar*>("progress");
            QCOMPARE(bar->maximum(), c.bar);
            if (Text(dlg, "status") == "Conversion complete.") QCOMPARE(bar->value(), c.bar);
            for (const char* counter : {"checkSumErrors", "frameCounterErrors"}) {
                QCOMPARE(dlg->findChild<QLabel*>(QString(counter) + "Caption")->isEnabled(),
                         c.checks);
                // Blank without its sensor.
                QCOMPARE(Text(dlg, counter).isEmpty(), !c.checks);
            }
            QCOMPARE(Text(dlg, "framesProcessed"),
                     QString::number(f.doc.GetConversionStatus().frames_processed) + " ");
            // OK ends the conversion: the window goes, the view is idle again.
            dlg->findChild<QPushButton*>("button")->click();
            QTRY_VERIFY(f.front_end.Progress() == nullptr && !f.view.IsConverting());
        }
        QCOMPARE(f.view.Outcome(), EConversionOutcome::kFailed);
    }

    void cancelAsksFirstThenAborts() {
        Fixture f;
        const fs::path dir = ScratchDir("cancel");
        // A log long enough to be still converting when the questions come.
        const std::string frames = ReadAll(ExamplesDir() / "spr0117.raw");
        std::string big;
        for (int i = 0; i < 600; ++i) big += frames;
        WriteAll(dir / "big.raw", big);
        f.Start(dir / "big.raw", dir / "out.dat", (ExamplesDir() / "spr0117.cal").string());
        QTRY_VERIFY(f.front_end.Progress() != nullptr &&
                    Text(f.front_end.Progress(), "status") == "SPR0117 conversion in progress...");
        CConversionDlg* dlg = f.front_end.Progress();

        // Escape asks; "No" lets the conversion go on, "Yes" aborts.
        QString question;
        AnswerMessageBox(QMessageBox::No, &question);
        QTest::keyClick(dlg, Qt::Key_Escape);
        QCOMPARE(question, QString("Abort conversion?"));
        QVERIFY(!dlg->IsDone());
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

    void logTextStaysUnderItsLimitByWholeLines() {
        for (bool open : {true, false}) {
            CMemorySettings store;
            CConversionLogDlg dlg(store);
            if (open) dlg.CreateLogWindow();
            for (int i = 0; i < 100; ++i) dlg.AppendText(Lines(i * 7, 7));  // 70000 characters
            const QString& text = dlg.Text();
            QVERIFY(text.size() < CConversionLogDlg::kTextLimit);
            QVERIFY(text.size() > CConversionLogDlg::kTextLimit - 2 * 101 - 200);
            QVERIFY(text.startsWith(QString::fromStdString(Lines(700 - text.size() / 101, 1))));
            QVERIFY(text.endsWith(QString::fromStdString(Lines(699, 1))));
            if (open) {
                QCOMPARE(dlg.findChild<QPlainTextEdit*>()->toPlainText(),
                         QString(text).replace("\r\n", "\n"));
            }
        }
        // Text that came while the window was closed shows when it opens.
        CMemorySettings store;
        CConversionLogDlg dlg(store);
        dlg.AppendText("Begin header conversion.\r\n");
        dlg.CreateLogWindow();
        dlg.AppendText(Lines(0, 1000));  // larger than the whole limit: the newest lines stay
        QVERIFY(dlg.Text().size() < CConversionLogDlg::kTextLimit);
        QVERIFY(dlg.Text().endsWith(QString::fromStdString(Lines(999, 1))));
        dlg.Clear();
        QCOMPARE(dlg.findChild<QPlainTextEdit*>()->toPlainText(), QString());
        dlg.AppendText("Begin header conversion.\r\n");
        QCOMPARE(dlg.findChild<QPlainTextEdit*>()->toPlainText(),
                 QString("Begin header conversion.\n"));
    }

    void logWindowPlacementAndShowWindowPersist() {
        CMemorySettings store;
        QRect stored_frame;
        {
            CConversionLogDlg dlg(store);
            QVERIFY(!dlg.GetShowWindow());
            dlg.CreateLogWindow();
            QCOMPARE(store.GetInt("Conversion Log Window", "Show Window", -5), 1);
            dlg.move(40, 50);
            dlg.resize(300, 200);
            stored_frame = dlg.frameGeometry();
            QTRY_COMPARE(
                QString::fromStdString(store.GetString("Conversion Log Window", "Rect", "")),
                QString::asprintf("0040 0050 %04d %04d", 40 + stored_frame.width(),
                                  50 + stored_frame.height()));
            // Closed with its close box: Show Window goes back to 0.
            QSignalSpy closed(&dlg, &CConversionLogDlg::Closed);
            dlg.close();
            QCOMPARE(closed.count(), 1);
            dlg.DestroyLogWindow();
            QCOMPARE(store.GetInt("Conversion Log Window", "Show Window", -5), 0);
            dlg.CreateLogWindow();
        }
        // Open when the program ended: open again, where it was.
        CConversionLogDlg dlg(store);
        QVERIFY(dlg.GetShowWindow());
        dlg.CreateLogWindow();
        QTRY_COMPARE(dlg.frameGeometry(), stored_frame);
    }
};

QTEST_MAIN(ConversionWindowTest)
#include "conversion_window_test.moc"
