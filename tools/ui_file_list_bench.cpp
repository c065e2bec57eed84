// How long a file list takes to show a folder of many files: listing, sorting,
// filling the list and laying it out. A folder of 10,000 log files should
// refresh in well under half a second. Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>

#include "file_list_box.h"

using namespace dravik;

namespace {

const QTemporaryDir& Folder() {
    static const QTemporaryDir dir = [] {
        QTemporaryDir d;
        const std::string base = d.path().toStdString() + "/";
        // Names in no particular order, with varied sizes, as a survey leaves them.
        for (int i = 0; i < 10000; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "cast%05d_stn%03d.raw", (i * 7919) % 10000, i % 137);
            std::ofstream(base + name, std::ios::binary)
                << std::string(static_cast<std::size_t>(i % 97), 'x');
        }
        return d;
    }();
    return dir;
}

void RefreshTenThousandFiles(benchmark::State& state) {
    CListProperties props(FileListKind::kLog, Folder().path().toStdString() + "/");
    props.sort_type = static_cast<int>(state.range(0));
    CFileListBox list;
    list.SetProperties(&props);
    list.resize(300, 400);
    list.show();
    for (auto _ : state) {
        list.Refresh();
        // The listing runs on a worker thread; the list fills once it is in.
        while (list.IsBusy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        list.doItemsLayout();
        benchmark::DoNotOptimize(list.count());
    }
    state.counters["files"] = list.count();
}
BENCHMARK(RefreshTenThousandFiles)
    ->Arg(kSortName)
    ->Arg(kSortDate)
    ->Arg(kSortSize)
    ->Unit(benchmark::kMillisecond);

// The listing alone, without sorting or the window.
void ListTenThousandFiles(benchmark::State& state) {
    const std::string directory = Folder().path().toStdString() + "/";
    for (auto _ : state) benchmark::DoNotOptimize(ListFiles(directory, "*.raw", false));
}
BENCHMARK(ListTenThousandFiles)->Unit(benchmark::kMillisecond);

// Listing and sorting by name, without the window.
void SortTenThousandNames(benchmark::State& state) {
    const std::vector<CListedFile> files =
        ListFiles(Folder().path().toStdString() + "/", "*.raw", false);
    for (auto _ : state) {
        CSortableStringList list(files);
        list.Sort(CSortProperties(kSortName, kSortAscending));
        benchmark::DoNotOptimize(list.Files().data());
    }
}
BENCHMARK(SortTenThousandNames)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
