// dravik-convert-bench: how fast a large log converts, against a floor.
//
// Generates (or takes) a log of the example radiometer, converts it through
// the conversion document with calibration and time tags, and reports from
// that one run the log throughput, frames per second and the peak resident
// set. The floor is the least any converter must do for the same output:
// format the same number of values with std::to_chars (fixed, 10 digits after
// the point) and write the same number of bytes.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/dravik_doc.h"
#include "recording_front_end.h"
#include "instrument/instrument.h"
#include "log_generator.h"

#ifndef DRAVIK_EXAMPLES_DIR
#define DRAVIK_EXAMPLES_DIR "examples"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

std::uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Formats `values` numbers and writes `bytes` bytes to `path` through a 1 MiB
// buffer: the work of a conversion without any of its decoding.
bool FloorLoop(const std::string& path, std::uint64_t values, std::uint64_t bytes,
               std::uint64_t& formatted_bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    std::vector<char> buffer(1 << 20);
    std::size_t used = 0;
    std::uint64_t written = 0;
    bool ok = true;
    auto flush = [&] {
        if (used > 0 && ::write(fd, buffer.data(), used) != static_cast<ssize_t>(used)) ok = false;
        written += used;
        used = 0;
    };
    formatted_bytes = 0;
    for (std::uint64_t i = 0; i < values && ok; ++i) {
        if (buffer.size() - used < 64) flush();
        // Values like calibrated radiometer channels.
        const double value = static_cast<double>((i * 2654435761u) & 0xFFFF) * 7.963872e-05 * 1.36;
        auto result = std::to_chars(buffer.data() + used, buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 10);
        const std::size_t n = static_cast<std::size_t>(result.ptr - (buffer.data() + used));
        formatted_bytes += n + 1;
        used += n;
        buffer[used++] = '\t';
    }
    flush();
    // Make up the bytes the conversion writes beyond the formatted values
    // (time tags, line ends).
    std::fill(buffer.begin(), buffer.end(), ' ');
    while (ok && written < bytes) {
        used = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), bytes - written));
        flush();
    }
    ::close(fd);
    return ok;
}

void Usage() {
    std::fputs(
        "Usage: dravik-convert-bench [--log FILE] [--size MiB] [--dir DIR] [--keep]\n"
        "Converts a log of the example radiometer (generated: 200 MiB by default)\n"
        "with calibration and time tags and compares the time with the floor.\n",
        stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::string log_path;
    std::string dir;
    std::uint64_t size_mib = 200;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--log" && i + 1 < argc) {
            log_path = argv[++i];
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            size_mib = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--keep") {
            keep = true;
        } else {
            Usage();
            return 2;
        }
    }
    const bool own_dir = dir.empty();
    if (own_dir) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/dravik-bench-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = name.data();
    }
    const std::string instrument_path = std::string(DRAVIK_EXAMPLES_DIR) + "/spr0117.cal";
    const std::string output_path = dir + "/bench.dat";
    const std::string floor_path = dir + "/floor.dat";
    const bool generated = log_path.empty();

    if (generated) {
        log_path = dir + "/bench.raw";
        dravik::CInstrument instrument;
        if (instrument.Load(instrument_path) != 0) {
            std::fprintf(stderr, "cannot load %s\n", instrument_path.c_str());
            return 1;
        }
        dravik::LogGeneratorOptions options;
        options.bytes = size_mib << 20;
        options.time_tags = true;
        options.seed = 200;
        dravik::CLogSink sink;
        dravik::LogSummary summary;
        const auto t0 = Clock::now();
        dravik::CLogGenerator generator(&instrument, options);
        if (sink.Open(log_path) != 0 || generator.Generate(sink, summary) != 0 ||
            sink.Close() != 0) {
            std::fprintf(stderr, "cannot write %s\n", log_path.c_str());
            return 1;
        }
        std::printf("generated %s: %.1f MiB, %llu frames in %.2f s\n", log_path.c_str(),
                    static_cast<double>(summary.bytes) / (1 << 20),
                    static_cast<unsigned long long>(summary.frames), Seconds(t0, Clock::now()));
    }
    const double log_mib = static_cast<double>(FileSize(log_path)) / (1 << 20);

    // The conversion: calibrated values and time tags, as "/c /t" asks.
    std::uint64_t frames = 0;
    std::size_t columns = 0;
    double convert_seconds = 0;
    {
        dravik::CRecordingFrontEnd front_end;
        dravik::CDravikDoc doc(front_end, nullptr);
        doc.SetLogFilePath(log_path);
        doc.SetOutputFilePath(output_path);
        doc.SetInstrumentFilePath(instrument_path);
        doc.GetParameters().format.apply_fit = 1;
        doc.GetParameters().time_tags = 1;
        const auto t0 = Clock::now();
        const dravik::EConversionOutcome outcome = doc.RunConversion();
        convert_seconds = Seconds(t0, Clock::now());
        for (const std::string& m : front_end.messages) std::fprintf(stderr, "%s\n", m.c_str());
        if (outcome != dravik::EConversionOutcome::kComplete) {
            std::fprintf(stderr, "the conversion did not complete\n");
            return 1;
        }
        frames = front_end.last_report.status.frames_processed;
    }
    const double rss_after_conversion = PeakRssMiB();
    const std::uint64_t output_bytes = FileSize(output_path);

    // Cells per row: every sensor with a fit plus the two time tag cells.
    {
        dravik::CInstrument instrument;
        instrument.Load(instrument_path);
        for (const auto& sensor : instrument.GetSensors()) {
            if (sensor->GetFitType() != dravik::kFitNone) ++columns;
        }
        columns += 2;
    }
    const std::uint64_t values = frames * columns;
    std::uint64_t formatted = 0;
    const auto f0 = Clock::now();
    if (!FloorLoop(floor_path, values, output_bytes, formatted)) {
        std::fprintf(stderr, "cannot write %s\n", floor_path.c_str());
        return 1;
    }
    const double floor_seconds = Seconds(f0, Clock::now());

    std::printf("log:        %.1f MiB, %llu frames, %zu cells per row\n", log_mib,
                static_cast<unsigned long long>(frames), columns);
    std::printf("conversion: %.3f s  %.1f MiB/s of log  %.0f frames/s  output %.1f MiB\n",
                convert_seconds, log_mib / convert_seconds,
                static_cast<double>(frames) / convert_seconds,
                static_cast<double>(output_bytes) / (1 << 20));
    std::printf("floor:      %.3f s  (%llu values with to_chars, %.1f MiB written)\n",
                floor_seconds, static_cast<unsigned long long>(values),
                static_cast<double>(std::max(formatted, output_bytes)) / (1 << 20));
    std::printf("ratio:      %.2f x the floor (goal 1.5)\n", convert_seconds / floor_seconds);
    std::printf("peak RSS:   %.1f MiB (goal under 64)\n", rss_after_conversion);

    if (!keep) {
        if (generated) std::remove(log_path.c_str());
        std::remove(output_path.c_str());
        std::remove(floor_path.c_str());
        if (own_dir) ::rmdir(dir.c_str());
    }
    return 0;
}
