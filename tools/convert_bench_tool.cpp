// dravik-convert-bench: how fast large logs convert, against a floor.
//
// Two radiometers, each converted through the conversion document with
// calibration and time tags ("/c /t"):
//   1. the example radiometer (examples/spr0117.cal): 128 OPTIC3 channels
//      with their integration time, a timer, a time stamp, housekeeping
//      channels, frame counter and check sum; 283-byte frames;
//   2. a 136-channel radiometer: OPTIC3 channels whose integration time comes
//      from a POLYU sensor, a dark count, a temperature, frame counter and
//      check sum; 292-byte frames.
// Both logs carry a 7-byte time tag after each frame.
//
// The floor is the least any converter must do for the same output: read the
// log as the conversion reads it (chunks of the Buffer size), and for every
// frame format as many numbers as the row has cells with std::to_chars (fixed,
// 10 digits after the point) into a CR LF row, written through a buffer of the
// output file's size. Times are wall-clock and processor time (all threads);
// on a busy machine the processor times are the steadier figures.
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
#include <ctime>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/dravik_doc.h"
#include "conversion/output_text_file.h"
#include "instrument/instrument.h"
#include "log_generator.h"
#include "conversion/recording_front_end.h"

#ifndef DRAVIK_EXAMPLES_DIR
#define DRAVIK_EXAMPLES_DIR "examples"
#endif

namespace {

// Wall-clock and processor time of one piece of work.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

class Stopwatch {
  public:
    Stopwatch() : m_wall(std::chrono::steady_clock::now()), m_cpu(CpuNow()) {}
    Timing Elapsed() const {
        return {std::chrono::duration<double>(std::chrono::steady_clock::now() - m_wall).count(),
                CpuNow() - m_cpu};
    }

  private:
    static double CpuNow() {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    std::chrono::steady_clock::time_point m_wall;
    double m_cpu;
};

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

std::uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// The instrument file of the 136-channel radiometer: a 12-byte header, the
// integration time, 136 channels of 2 bytes, a dark count, a temperature,
// frame counter and check sum (292 bytes).
std::string RadiometerInstrument() {
    std::string text =
        "INSTRUMENT  HYPRADIO  ''            8  AS  0  NONE\n"
        "SN          0136      ''            4  AS  0  NONE\n"
        "INTTIME     LU        'sec'         2  BU  1  POLYU\n"
        "    0.0 0.001\n";
    char line[160];
    for (int i = 0; i < 136; ++i) {
        const double nm = 305.0 + 3.3 * i;
        std::snprintf(line, sizeof line,
                      "LU          %.1f     'uW/cm^2/nm/sr' 2  BU  1  OPTIC3\n"
                      "    %.2f %.6E 1.0 0.064\n",
                      nm, 2040.0 + (i * 37) % 23, 4.2e-05 + 3.1e-07 * (i % 17));
        text += line;
    }
    text +=
        "DARK        LU        'counts'      2  BU  0  COUNT\n"
        "T           W         'C'           2  BU  1  POLYU\n"
        "    -40.0 0.0025\n"
        "FRAME       COUNTER   ''            1  BU  0  COUNT\n"
        "CHECK       SUM       ''            1  BU  0  COUNT\n";
    return text;
}

// The floor: reads the log in `chunk` bytes, cuts it into records of the
// frame and its time tag, and writes one row of `cells` numbers per record.
// The numbers come from the record's bytes, as a radiometer's channels would.
bool FloorLoop(const std::string& log_path, const std::string& out_path, std::size_t chunk,
               std::size_t record_size, std::size_t cells, std::uint64_t output_bytes) {
    const int in = ::open(log_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) {
        if (in >= 0) ::close(in);
        if (out >= 0) ::close(out);
        return false;
    }
    std::vector<char> read_buffer(chunk);
    std::vector<unsigned char> record(record_size);
    std::size_t record_used = 0;
    std::vector<char> buffer(dravik::COutputTextFile::kBufferSize + 64 * cells + 64);
    std::size_t used = 0;
    std::uint64_t written = 0;
    bool ok = true;
    auto flush = [&] {
        if (used > 0 && ::write(out, buffer.data(), used) != static_cast<ssize_t>(used)) ok = false;
        written += used;
        used = 0;
    };
    for (;;) {
        const ssize_t got = ::read(in, read_buffer.data(), read_buffer.size());
        if (got <= 0) break;
        std::size_t at = 0;
        while (at < static_cast<std::size_t>(got)) {
            const std::size_t take =
                std::min(record_size - record_used, static_cast<std::size_t>(got) - at);
            std::memcpy(record.data() + record_used, read_buffer.data() + at, take);
            record_used += take;
            at += take;
            if (record_used < record_size) break;
            record_used = 0;
            char* p = buffer.data() + used;
            for (std::size_t k = 0; k < cells; ++k) {
                const std::size_t o = (2 * k) % (record_size - 1);
                const double counts = static_cast<double>(record[o] << 8 | record[o + 1]);
                const double value = (counts - 2040.0) * 0.064 / 0.128 * 1.36 * 7.963872e-05;
                p = std::to_chars(p, p + 64, value, std::chars_format::fixed, 10).ptr;
                *p++ = k + 1 < cells ? ',' : '\r';
            }
            *p++ = '\n';
            used = static_cast<std::size_t>(p - buffer.data());
            if (used >= dravik::COutputTextFile::kBufferSize) flush();
        }
    }
    flush();
    // Make up the bytes the conversion writes beyond these rows (wider
    // cells, the headings), so that both write the same amount.
    std::fill(buffer.begin(), buffer.end(), ' ');
    while (ok && written < output_bytes) {
        used = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size(), output_bytes - written));
        flush();
    }
    ::close(in);
    ::close(out);
    return ok;
}

struct Case {
    const char* name;
    std::string instrument_path;
};

struct CaseResult {
    std::uint64_t frames = 0;
    std::uint64_t output_bytes = 0;
    Timing conversion;
    Timing floor;
};

bool Generate(const std::string& instrument_path, const std::string& log_path,
              std::uint64_t size_mib) {
    dravik::CInstrument instrument;
    if (instrument.Load(instrument_path) != 0) {
        std::fprintf(stderr, "cannot load %s\n", instrument_path.c_str());
        return false;
    }
    dravik::LogGeneratorOptions options;
    options.bytes = size_mib << 20;
    options.time_tags = true;
    options.seed = 200;
    dravik::CLogSink sink;
    dravik::LogSummary summary;
    dravik::CLogGenerator generator(&instrument, options);
    if (sink.Open(log_path) != 0 || generator.Generate(sink, summary) != 0 || sink.Close() != 0) {
        std::fprintf(stderr, "cannot write %s\n", log_path.c_str());
        return false;
    }
    return true;
}

// One conversion and one floor run of a case.
bool RunOnce(const Case& c, const std::string& log_path, const std::string& dir,
             CaseResult& result) {
    const std::string output_path = dir + "/bench.dat";
    const std::string floor_path = dir + "/floor.dat";
    int buffer = 0;
    {
        dravik::CRecordingFrontEnd front_end;
        dravik::CDravikDoc doc(front_end, nullptr);
        doc.SetLogFilePath(log_path);
        doc.SetOutputFilePath(output_path);
        doc.SetInstrumentFilePath(c.instrument_path);
        doc.GetParameters().format.apply_fit = 1;
        doc.GetParameters().time_tags = 1;
        buffer = doc.GetParameters().buffer;
        const Stopwatch watch;
        const dravik::EConversionOutcome outcome = doc.RunConversion();
        result.conversion = watch.Elapsed();
        for (const std::string& m : front_end.messages) std::fprintf(stderr, "%s\n", m.c_str());
        if (outcome != dravik::EConversionOutcome::kComplete) {
            std::fprintf(stderr, "the conversion of %s did not complete\n", c.name);
            return false;
        }
        result.frames = front_end.last_report.status.frames_processed;
    }
    result.output_bytes = FileSize(output_path);

    // Cells per row: the serial number, every sensor with a fit, the two time tags.
    dravik::CInstrument instrument;
    instrument.Load(c.instrument_path);
    std::size_t cells = instrument.GetSerialNumber().empty() ? 2 : 3;
    for (const auto& sensor : instrument.GetSensors()) {
        if (sensor->GetFitType() != dravik::kFitNone) ++cells;
    }
    const std::size_t record_size = static_cast<std::size_t>(instrument.GetFrameSize()) + 7;
    const Stopwatch watch;
    if (!FloorLoop(log_path, floor_path, static_cast<std::size_t>(buffer), record_size, cells,
                   result.output_bytes)) {
        std::fprintf(stderr, "cannot write %s\n", floor_path.c_str());
        return false;
    }
    result.floor = watch.Elapsed();
    std::remove(output_path.c_str());
    std::remove(floor_path.c_str());
    return true;
}

void Usage() {
    std::fputs(
        "Usage: dravik-convert-bench [--case 1|2] [--size MiB] [--runs N] [--dir DIR] [--keep]\n"
        "Generates a log of each radiometer (200 MiB by default), converts it with\n"
        "calibration and time tags N times and compares each time with the floor's.\n",
        stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    std::uint64_t size_mib = 200;
    int only_case = 0;
    int runs = 1;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            size_mib = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--case" && i + 1 < argc) {
            only_case = std::atoi(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
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
    const std::string radiometer_path = dir + "/hypradio0136.cal";
    std::ofstream(radiometer_path) << RadiometerInstrument();
    const Case cases[] = {
        {"example radiometer (spr0117.cal)", std::string(DRAVIK_EXAMPLES_DIR) + "/spr0117.cal"},
        {"136-channel radiometer", radiometer_path}};

    int status = 0;
    for (int k = 0; k < 2 && status == 0; ++k) {
        if (only_case != 0 && only_case != k + 1) continue;
        const Case& c = cases[k];
        const std::string log_path = dir + "/bench" + std::to_string(k + 1) + ".raw";
        if (FileSize(log_path) == 0 && !Generate(c.instrument_path, log_path, size_mib)) {
            status = 1;
            break;
        }
        const double log_mib = static_cast<double>(FileSize(log_path)) / (1 << 20);
        std::printf("case %d: %s, log %.1f MiB\n", k + 1, c.name, log_mib);
        std::vector<double> walls, cpus;
        for (int r = 0; r < runs; ++r) {
            CaseResult result;
            if (!RunOnce(c, log_path, dir, result)) {
                status = 1;
                break;
            }
            const double wall = result.conversion.wall / result.floor.wall;
            const double cpu = result.conversion.cpu / result.floor.cpu;
            walls.push_back(wall);
            cpus.push_back(cpu);
            std::printf(
                "  run %d: %llu frames, output %.1f MiB; conversion %.3f s (cpu %.3f s, %.0f "
                "frames/s), floor %.3f s (cpu %.3f s); ratio %.2f (cpu %.2f)\n",
                r + 1, static_cast<unsigned long long>(result.frames),
                static_cast<double>(result.output_bytes) / (1 << 20), result.conversion.wall,
                result.conversion.cpu, static_cast<double>(result.frames) / result.conversion.wall,
                result.floor.wall, result.floor.cpu, wall, cpu);
        }
        if (status == 0) {
            std::sort(walls.begin(), walls.end());
            std::sort(cpus.begin(), cpus.end());
            std::printf(
                "  ratio to the floor: best %.2f, median %.2f (cpu: best %.2f, median %.2f; goal "
                "1.0)\n",
                walls.front(), walls[walls.size() / 2], cpus.front(), cpus[cpus.size() / 2]);
        }
        if (!keep) std::remove(log_path.c_str());
    }
    std::printf("peak RSS: %.1f MiB (goal under 64)\n", PeakRssMiB());
    if (!keep) {
        std::remove(radiometer_path.c_str());
        if (own_dir) ::rmdir(dir.c_str());
    }
    return status;
}
