// dravik-window-bench: how a conversion in the desktop program's window
// compares with the headless converter, and how often the window refreshes
// its progress meanwhile.
//
//   dravik-window-bench [--size 50M] [--keep DIR] [--quick-look [--pairs N]]
//
// Generates a radiometer log of the given size, converts it calibrated
// (/c) with the window's view on the current Qt platform (offscreen works),
// then with dravik-convert (taken from beside this program's build tree, or
// DRAVIK_CONVERT), and prints both times, their ratio, and the longest gap
// between two progress refreshes of the window. With --quick-look the
// window converts the log once more with the Quick Look open (its spectrum
// and four series drawn) and prints that time, its ratio to the conversion
// without it and the longest gap between two of its redraws; --pairs N
// converts N more pairs, with and without it in turn (the first of a pair
// alternating), and prints each pair's ratio. Point TMPDIR at a memory file
// system (/dev/shm) to keep the disk's write-back out of the figures.
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/memory_settings.h"
#include "conversion_dlg.h"
#include "dravik_view.h"
#include "quick_look_window.h"
#include "window_front_end.h"

namespace fs = std::filesystem;
using namespace dravik;

namespace {

struct CWindowRun {
    bool complete = false;
    double seconds = 0;
    double cpu_seconds = 0;  // of every thread of the process (a busy machine hides less)
    long long longest_gap_ms = 0;  // between two progress refreshes
    unsigned refreshes = 0;
    long long longest_redraw_gap_ms = 0;  // between two quick look redraws
    unsigned redraws = 0;
};

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// One conversion in the window's view, with the Quick Look open or not.
CWindowRun RunWindow(QApplication& app, const std::string& log, const std::string& output,
                     const std::string& instrument, bool quick_look) {
    CMemorySettings store;
    store.WriteInt("Settings", "Overwrite Prompt", 0);
    store.WriteString("Quick Look Window", "Left Columns",
                      "ES(412.7) [uW/cm^2/nm]|ES(551.3) [uW/cm^2/nm]");
    store.WriteString("Quick Look Window", "Right Columns", "T(W) [C]|TILT(X) [deg]");
    store.WriteInt("Quick Look Window", "Page", 1);  // the series, the more to draw
    CWindowRun run;
    CWindowFrontEnd front_end(store);
    CDravikDoc doc(front_end, &store);
    CDravikView view(doc, front_end, store);
    front_end.SetOwner(&view);
    doc.SetLogFilePath(log);
    doc.SetOutputFilePath(output);
    doc.SetInstrumentFilePath(instrument);
    doc.GetParameters().format.apply_fit = 1;
    if (quick_look) view.ToggleQuickLook();

    QElapsedTimer clock, since_refresh, since_redraw;
    bool done = false;
    QObject::connect(&view.QuickLook(), &CQuickLookWindow::Refreshed, [&] {
        if (since_redraw.isValid()) {
            run.longest_redraw_gap_ms = std::max(run.longest_redraw_gap_ms, since_redraw.elapsed());
        }
        since_redraw.start();
        ++run.redraws;
    });
    QObject::connect(&view, &CDravikView::ProgressRefreshed, [&] {
        if (since_refresh.isValid()) {
            const long long gap = since_refresh.elapsed();
            run.longest_gap_ms = std::max(run.longest_gap_ms, gap);
            if (gap > 150) {
                std::printf("  refresh %u came %lld ms after the one before\n", run.refreshes, gap);
            }
        }
        since_refresh.start();
        ++run.refreshes;
        if (front_end.Progress() != nullptr && front_end.Progress()->IsDone() && !done) {
            done = true;
            run.seconds = clock.nsecsElapsed() / 1e9;
            app.quit();
        }
    });
    const double cpu_start = ProcessCpuSeconds();
    clock.start();
    view.PostStartConversion();
    app.exec();
    run.cpu_seconds = ProcessCpuSeconds() - cpu_start;
    run.complete = view.Outcome() == EConversionOutcome::kComplete;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string size = "50M";
    bool quick_look = false;
    int pairs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--size" && i + 1 < argc) size = argv[i + 1];
        if (std::string(argv[i]) == "--quick-look") quick_look = true;
        if (std::string(argv[i]) == "--pairs" && i + 1 < argc) pairs = std::atoi(argv[i + 1]);
    }
    const fs::path dir =
        fs::temp_directory_path() / ("dravik_window_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string instrument = std::string(DRAVIK_EXAMPLES_DIR) + "/spr0117.cal";
    const std::string log = (dir / "bench.raw").string();
    const std::string loggen_command = std::string(DRAVIK_LOGGEN) + " " + instrument + " " + log +
                                       " --size " + size + " --time-tags > /dev/null 2>&1";
    if (std::system(loggen_command.c_str()) != 0) {
        std::fprintf(stderr, "dravik-loggen failed\n");
        return 1;
    }

    CWindowRun plain = RunWindow(app, log, (dir / "window.dat").string(), instrument, false);
    if (!plain.complete) {
        std::fprintf(stderr, "the window's conversion did not complete\n");
        return 1;
    }
    CWindowRun look;
    if (quick_look) {
        look = RunWindow(app, log, (dir / "look.dat").string(), instrument, true);
        if (!look.complete) {
            std::fprintf(stderr, "the conversion with the quick look did not complete\n");
            return 1;
        }
    }
    const double window_seconds = plain.seconds;

    const char* converter = std::getenv("DRAVIK_CONVERT");
    const std::string convert_command =
        std::string(converter != nullptr ? converter : DRAVIK_CONVERT_PATH) + " " + log + " " +
        (dir / "converter.dat").string() + " " + instrument + " /c /ow=yes > /dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(convert_command.c_str());
    const double convert_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
        std::fprintf(stderr, "dravik-convert failed\n");
        return 1;
    }
    const bool same = fs::file_size(dir / "window.dat") == fs::file_size(dir / "converter.dat");
    std::printf("log: %s, %llu bytes\n", size.c_str(),
                static_cast<unsigned long long>(fs::file_size(log)));
    std::printf("window:         %.3f s (%u progress refreshes, longest gap %lld ms)\n",
                window_seconds, plain.refreshes, plain.longest_gap_ms);
    if (quick_look) {
        std::printf("quick look:     %.3f s (%u progress refreshes, longest gap %lld ms; "
                    "%u redraws, longest gap %lld ms)\n",
                    look.seconds, look.refreshes, look.longest_gap_ms, look.redraws,
                    look.longest_redraw_gap_ms);
        std::printf("ratio quick look / window: %.3f\n", look.seconds / window_seconds);
    }
    for (int pair = 0; quick_look && pair < pairs; ++pair) {
        const bool look_first = pair % 2 == 0;
        CWindowRun with, without;
        for (const bool open : {look_first, !look_first}) {
            fs::remove(dir / "pair.dat");
            (open ? with : without) = RunWindow(app, log, (dir / "pair.dat").string(), instrument, open);
        }
        std::printf("pair %d: without %.3f s, with %.3f s, ratio %.3f; CPU %.3f s and %.3f s, ratio "
                    "%.3f; longest gaps with it: redraws %lld ms, progress %lld ms\n",
                    pair + 1, without.seconds, with.seconds, with.seconds / without.seconds,
                    without.cpu_seconds, with.cpu_seconds, with.cpu_seconds / without.cpu_seconds,
                    with.longest_redraw_gap_ms, with.longest_gap_ms);
    }
    std::printf("dravik-convert: %.3f s (process, start-up included)\n", convert_seconds);
    std::printf("ratio window / dravik-convert: %.3f\n", window_seconds / convert_seconds);
    std::printf("outputs of the same length: %s\n", same ? "yes" : "NO");
    fs::remove_all(dir);
    return same ? 0 : 1;
}
