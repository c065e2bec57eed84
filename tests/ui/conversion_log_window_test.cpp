// The conversion log window: the text it keeps (open or closed) stays under
// its limit by whole lines, with the newest text last, and its placement and
// Show Window flag persist.
#include <QPlainTextEdit>
#include <QtTest>

#include "settings/memory_settings.h"
#include "conversion_log_dlg.h"

using namespace dravik;

namespace {

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

QString Shown(const QString& mirror) {
    QString text = mirror;
    return text.replace("\r\n", "\n");
}

}  // namespace

class ConversionLogWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void trimsWholeLinesOpenOrClosed() {
        for (bool open : {true, false}) {
            CMemorySettings store;
            CConversionLogDlg dlg(store);
            if (open) dlg.CreateLogWindow();
            for (int i = 0; i < 100; ++i)
                dlg.AppendText(Lines(i * 7, 7));  // 700 lines, 70000 chars
            const QString& text = dlg.Text();
            QVERIFY2(text.size() < CConversionLogDlg::kTextLimit,
                     qPrintable(QString::number(text.size())));
            QVERIFY(text.size() > CConversionLogDlg::kTextLimit - 2 * 101 - 200);
            QVERIFY(text.startsWith(QString::fromStdString(Lines(700 - text.size() / 101, 1))));
            QVERIFY(text.endsWith(QString::fromStdString(Lines(699, 1))));
            if (open) {
                QCOMPARE(dlg.findChild<QPlainTextEdit*>()->toPlainText(), Shown(text));
            }
        }
        // One text larger than the whole limit keeps its newest lines.
        CMemorySettings store;
        CConversionLogDlg dlg(store);
        dlg.CreateLogWindow();
        dlg.AppendText(Lines(0, 1000));
        QVERIFY(dlg.Text().size() < CConversionLogDlg::kTextLimit);
        QVERIFY(dlg.Text().endsWith(QString::fromStdString(Lines(999, 1))));
    }

    void textArrivingWhileClosedShowsWhenOpened() {
        CMemorySettings store;
        CConversionLogDlg dlg(store);
        dlg.AppendText("Begin header conversion.\r\n\tLog File: \"a.raw\"\r\n");
        QVERIFY(!dlg.IsOpen());
        dlg.CreateLogWindow();
        dlg.AppendText("Conversion complete.\r\n");
        QCOMPARE(
            dlg.findChild<QPlainTextEdit*>()->toPlainText(),
            QString("Begin header conversion.\n\tLog File: \"a.raw\"\nConversion complete.\n"));
        dlg.Clear();
        QCOMPARE(dlg.findChild<QPlainTextEdit*>()->toPlainText(), QString());
    }

    void placementAndShowWindowPersist() {
        CMemorySettings store;
        QRect stored_frame;
        {
            CConversionLogDlg dlg(store);
            QVERIFY(!dlg.GetShowWindow());
            dlg.CreateLogWindow();
            QCOMPARE(store.GetInt("Conversion Log Window", "Show Window", -5), 1);
            dlg.move(40, 50);
            dlg.resize(300, 200);
            const QRect frame = dlg.frameGeometry();
            QCOMPARE(frame.topLeft(), QPoint(40, 50));
            QTRY_COMPARE(
                QString::fromStdString(store.GetString("Conversion Log Window", "Rect", "")),
                QString::asprintf("0040 0050 %04d %04d", 40 + frame.width(), 50 + frame.height()));
            stored_frame = frame;
            // Closed with its close box: Show Window goes back to 0.
            QSignalSpy closed(&dlg, &CConversionLogDlg::Closed);
            dlg.close();
            QCOMPARE(closed.count(), 1);
            dlg.DestroyLogWindow();
            QCOMPARE(store.GetInt("Conversion Log Window", "Show Window", -5), 0);
            dlg.CreateLogWindow();
        }
        // Open when the program ended: open again, where it was.
        QCOMPARE(store.GetInt("Conversion Log Window", "Show Window", -5), 1);
        CConversionLogDlg dlg(store);
        QVERIFY(dlg.GetShowWindow());
        dlg.CreateLogWindow();
        QCOMPARE(dlg.frameGeometry(), stored_frame);
    }
};

QTEST_MAIN(ConversionLogWindowTest)
#include "conversion_log_window_test.moc"
