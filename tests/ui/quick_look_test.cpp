// The Quick Look window fed by real conversions: the spectra and series it
// draws are the values of the CSV file the same conversion wrote, a frame
// with a check sum error is marked, its state is kept between starts, and
// its charts export as PNG and SVG.
#include <QImage>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <cstdlib>

#include "conversion_dlg.h"
#include "dravik_view.h"
#include "quick_look_window.h"
#include "series_page.h"
#include "settings/memory_settings.h"
#include "spectrum_page.h"
#include "ui_test_support.h"
#include "window_front_end.h"
#include "zoom_chart_view.h"

using namespace dravik;
using namespace dravik::testing;

namespace {

// The CSV file's cells, row by row, the heading row first.
std::vector<QStringList> CsvRows(const fs::path& path) {
    std::vector<QStringList> rows;
    for (const QString& line : QString::fromStdString(ReadAll(path)).split('\n', Qt::SkipEmptyParts))
        rows.push_back(line.split(','));
    return rows;
}

double Cell(const QStringList& row, qsizetype at) {
    return std::strtod(row[at].toStdString().c_str(), nullptr);
}

}  // namespace

class QuickLookTest : public QObject {
    Q_OBJECT

    CMemorySettings store;
    fs::path dir;
    std::vector<QStringList> rows;

    // Converts spr0117.raw, its 5th frame damaged, to CSV with the quick look open.
    void Convert(CDravikView& view, CDravikDoc& doc, CWindowFrontEnd& front_end) {
        std::string log = ReadAll(ExamplesDir() / "spr0117.raw");
        std::size_t fifth = 0;
        for (int n = 0; n < 5; ++n) fifth = log.find("SPR0117", n == 0 ? 0 : fifth + 1);
        log[fifth + 20] ^= 0x55;
        WriteAll(dir / "damaged.raw", log);
        doc.SetLogFilePath((dir / "damaged.raw").string());
        doc.SetOutputFilePath((dir / "out.csv").string());
        doc.SetInstrumentFilePath((ExamplesDir() / "spr0117.cal").string());
        CDravikParameters& p = doc.GetParameters();
        p.format.apply_fit = 1;
        p.time_tags = 1;
        p.check_sum_checking = 1;
        p.output_format = 1;
        view.ToggleQuickLook();
        view.PostStartConversion();
        QVERIFY(QTest::qWaitFor([&] { return front_end.Progress() && front_end.Progress()->IsDone(); }, 60000));
        view.QuickLook().Refresh();
        rows = CsvRows(dir / "out.csv");
    }

  private slots:
    void initTestCase() {
        dir = ScratchDir("quick_look");
        store.WriteInt("Settings", "Overwrite Prompt", 0);
    }

    void drawsTheValuesOfTheOutputFile() {
        CWindowFrontEnd front_end(store);
        CDravikDoc doc(front_end, &store);
        CDravikView view(doc, front_end, store);
        front_end.SetOwner(&view);
        CQuickLookWindow& look = view.QuickLook();
        // Two columns, one on each axis, chosen before the conversion.
        const QString left = QStringLiteral("ES(416.0) [uW/cm^2/nm]"), right = QStringLiteral("TILT(X) [deg]");
        look.Series().Choose(CSeriesPage::kLeft, {left});
        look.Series().Choose(CSeriesPage::kRight, {right});
        Convert(view, doc, front_end);
        const QStringList& head = rows[0];
        QCOMPARE(rows.size(), std::size_t{301});
        QCOMPARE(look.windowTitle(), QStringLiteral("Quick Look - damaged.raw"));

        // Spectra of chosen frames: ES 350.0 ... ES 769.1 in the CSV's columns.
        const qsizetype first_es = head.indexOf(QStringLiteral("ES(350.0) [uW/cm^2/nm]"));
        QVERIFY(first_es > 0);
        for (const int frame : {1, 5, 100, 300}) {
            look.Spectrum().findChild<QSpinBox*>("frameBox")->setValue(frame);
            const QList<QPointF> drawn = look.Spectrum().Line(0)->points();
            QCOMPARE(drawn.size(), 128);
            for (qsizetype c = 0; c < drawn.size(); ++c) {
                QCOMPARE(drawn[c].y(), Cell(rows[static_cast<std::size_t>(frame)], first_es + c));
                QCOMPARE(QStringLiteral("ES(%1) [uW/cm^2/nm]").arg(drawn[c].x(), 0, 'f', 1),
                         head[first_es + c]);
            }
        }

        // Every frame is a point.
        look.findChild<QTabWidget*>("pages")->setCurrentIndex(1);
        for (const auto& [k, name] : {std::pair{0, left}, std::pair{1, right}}) {
            const QList<QPointF> drawn = look.Series().Line(k)->points();
            QCOMPARE(drawn.size(), 300);
            for (qsizetype i = 0; i < drawn.size(); ++i)
                QCOMPARE(drawn[i].y(), Cell(rows[static_cast<std::size_t>(i + 1)], head.indexOf(name)));
        }
        // The damaged frame's mark, at its time.
        const QList<QPointF> marks = look.Series().Marks()->points();
        QCOMPARE(marks.size(), 1);
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(marks[0].x()), Qt::UTC)
                     .toString(Qt::ISODateWithMs)
                     .left(23),
                 rows[5][0].left(23));

        // Home after a zoom shows every point again.
        CZoomChartView* chart = look.Series().View();
        QTest::qWait(50);
        const QPointF centre = chart->rect().center();
        QWheelEvent wheel(centre, chart->mapToGlobal(centre), {}, {0, 120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart->viewport(), &wheel);
        QVERIFY(chart->IsZoomed());
        QTest::keyClick(chart, Qt::Key_Home);
        QVERIFY(!chart->IsZoomed());

        // Exports.
        QVERIFY(ExportChart(*chart, QString::fromStdString((dir / "series.png").string())));
        QCOMPARE(QImage(QString::fromStdString((dir / "series.png").string())).size(), chart->grab().size());
        QVERIFY(ExportChart(*chart, QString::fromStdString((dir / "series.svg").string())));
        QVERIFY(ReadAll(dir / "series.svg").find("<svg") != std::string::npos);
    }

    void keepsItsStateBetweenStarts() {
        // The first test left the window open with two columns chosen.
        CWindowFrontEnd front_end(store);
        CDravikDoc doc(front_end, &store);
        CDravikView view(doc, front_end, store);
        view.InitialUpdate();
        QVERIFY(view.IsQuickLookShown());
        QCOMPARE(view.QuickLook().Series().Chosen(CSeriesPage::kRight).size(), 1);
        QCOMPARE(view.QuickLook().Series().Chosen(CSeriesPage::kLeft).front(),
                 QStringLiteral("ES(416.0) [uW/cm^2/nm]"));
        view.ToggleQuickLook();
        QCOMPARE(store.GetInt("Quick Look Window", "Show Window", -1), 0);
    }
};

QTEST_MAIN(QuickLookTest)
#include "quick_look_test.moc"
