// dravik-window-bench: how a conversion in the desktop program's window
// compares with the headless converter, and how often the window refreshes
// its progress meanwhile.
//
//   dravik-window-bench [--size 50M] [--keep DIR]
//
// Generates a radiometer log of the given size, converts it calibrated
// (/c) with the window's view on the current Qt platform (offscreen works),
// then with dravik-convert (taken from beside this program's build tree, or
// DRAVIK_CONVERT), and prints both times, their ratio, and the longest gap
// between two progress refreshes of the window.
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
#include "window_front_end.h"

namespace fs = std::filesystem;
using namespace dravik;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string size = "50M";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--size") size = argv[i + 1];
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

    CMemorySettings store;
    store.WriteInt("Settings", "Overwrite Prompt", 0);
    double window_seconds = 0;
    long long longest_gap_ms = 0;
    unsigned refreshes = 0;
    {
        CWindowFrontEnd front_end(store);
        CDravikDoc doc(front_end, &store);
        CDravikView view(doc, front_end, store);
        front_end.SetOwner(&view);
        doc.SetLogFilePath(log);
        doc.SetOutputFilePath((dir / "window.dat").string());
        doc.SetInstrumentFilePath(instrument);
        doc.GetParameters().format.apply_fit = 1;

        QElapsedTimer clock, since_refresh;
        bool done = false;
        QObject::connect(&view, &CDravikView::ProgressRefreshed, [&] {
            if (since_refresh.isValid()) {
                const long long gap = since_refresh.elapsed();
                longest_gap_ms = std::max(longest_gap_ms, gap);
                if (gap > 150) {
                    std::printf("  refresh %u came %lld ms after the one before\n", refreshes, gap);
                }
            }
            since_refresh.start();
            ++refreshes;
            if (front_end.Progress() != nullptr && front_end.Progress()->IsDone() && !done) {
                done = true;
                window_seconds = clock.nsecsElapsed() / 1e9;
                app.quit();
            }
        });
        clock.start();
        view.PostStartConversion();
        app.exec();
        if (view.Outcome() != EConversionOutcome::kComplete) {
            std::fprintf(stderr, "the window's conversion did not complete\n");
            return 1;
        }
    }

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
                window_seconds, refreshes, longest_gap_ms);
    std::printf("dravik-convert: %.3f s (process, start-up included)\n", convert_seconds);
    std::printf("ratio window / dravik-convert: %.3f\n", window_seconds / convert_seconds);
    std::printf("outputs of the same length: %s\n", same ? "yes" : "NO");
    fs::remove_all(dir);
    return same ? 0 : 1;
}
