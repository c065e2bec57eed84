// dravik-loggen: writes a deterministic raw telemetry log for one instrument.
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/instrument.h"
#include "log_generator.h"

namespace {

constexpr int kMaxFrameSize = 16 << 20;

constexpr const char* kUsage =
    "Usage: dravik-loggen [options] INSTRUMENT OUTPUT\n"
    "       dravik-loggen --header-records N [options] OUTPUT\n"
    "\n"
    "Writes a raw telemetry log with frames of the instrument described by the\n"
    "instrument file INSTRUMENT (.cal or .tdf) to OUTPUT (\"-\" for standard\n"
    "output). The same options and seed always give the same bytes. Without an\n"
    "instrument the log holds header records only.\n"
    "\n"
    "Options:\n"
    "  --frames N          frames to write (default 300 when --size is not given)\n"
    "  --size N[K|M|G]     write frames until the log holds at least N bytes\n"
    "                      (K, M, G: 1024, 1024^2, 1024^3)\n"
    "  --seed N            seed of the values and the garbage (default 1)\n"
    "  --garbage RATE      fraction of the log, 0 to 0.99, made of random bytes\n"
    "                      between frames (default 0)\n"
    "  --time-tags         a 7-byte time tag after each frame\n"
    "  --header-records N  N header records such as \"OXAHDR 12.5 (Battery)\" before\n"
    "                      the first frame\n"
    "  --header-sync TEXT  synchronization string of header records (default OXAHDR)\n"
    "  --start-date D      date of the first frame as YYYYDDD (default 2026100)\n"
    "  --start-time T      time of the first frame as HHMMSSmmm (default 100000000)\n"
    "  --period MS         milliseconds between frames (default 250)\n"
    "  --help              this text\n";

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
    if (text.empty()) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool ParseSize(std::string_view text, std::uint64_t& value) {
    std::uint64_t scale = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K':
            case 'k':
                scale = 1ull << 10;
                break;
            case 'M':
            case 'm':
                scale = 1ull << 20;
                break;
            case 'G':
            case 'g':
                scale = 1ull << 30;
                break;
            default:
                break;
        }
        if (scale != 1) text.remove_suffix(1);
    }
    if (!ParseUnsigned(text, value) || value > UINT64_MAX / scale) return false;
    value *= scale;
    return true;
}

bool ParseRate(std::string_view text, double& value) {
    if (text.empty()) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() && value >= 0 && value <= 0.99;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "dravik-loggen: %s\n", text.c_str());
    return 2;
}

// The loader's texts end their lines with CR LF; a terminal wants LF.
std::string TerminalText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r') out += c;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    dravik::LogGeneratorOptions options;
    bool frames_given = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string_view v;
        std::uint64_t n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--time-tags") {
            options.time_tags = true;
        } else if (arg == "--frames") {
            if (!value(v) || !ParseUnsigned(v, options.frames)) return Fail("invalid --frames");
            frames_given = true;
        } else if (arg == "--size") {
            if (!value(v) || !ParseSize(v, options.bytes)) return Fail("invalid --size");
        } else if (arg == "--seed") {
            if (!value(v) || !ParseUnsigned(v, options.seed)) return Fail("invalid --seed");
        } else if (arg == "--garbage") {
            if (!value(v) || !ParseRate(v, options.garbage_rate)) {
                return Fail("invalid --garbage (a fraction from 0 to 0.99)");
            }
        } else if (arg == "--header-records") {
            if (!value(v) || !ParseUnsigned(v, n) || n > 1000000) {
                return Fail("invalid --header-records");
            }
            options.header_records = static_cast<int>(n);
        } else if (arg == "--header-sync") {
            if (!value(v) || v.empty()) return Fail("invalid --header-sync");
            options.header_sync = std::string(v);
        } else if (arg == "--start-date") {
            if (!value(v) || !ParseUnsigned(v, n) || n > 9999366 || n % 1000 == 0 ||
                n % 1000 > 366) {
                return Fail("invalid --start-date (YYYYDDD)");
            }
            options.start_date = static_cast<std::uint32_t>(n);
        } else if (arg == "--start-time") {
            if (!value(v) || !ParseUnsigned(v, n) || n / 10000000 > 23 || n / 100000 % 100 > 59 ||
                n / 1000 % 100 > 59) {
                return Fail("invalid --start-time (HHMMSSmmm)");
            }
            options.start_time_ms = static_cast<std::uint32_t>(
                (n / 10000000) * 3600000 + (n / 100000 % 100) * 60000 + n % 100000);
        } else if (arg == "--period") {
            if (!value(v) || !ParseUnsigned(v, n) || n > 86400000) return Fail("invalid --period");
            options.period_ms = static_cast<std::uint32_t>(n);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("unknown option " + std::string(arg) + " (see --help)");
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty() || files.size() > 2 || (files.size() == 1 && options.header_records == 0)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!frames_given && options.bytes == 0) options.frames = 300;

    dravik::CInstrument instrument;
    const bool has_instrument = files.size() == 2;
    if (has_instrument) {
        if (instrument.Load(files[0]) != 0) {
            std::fputs(TerminalText(instrument.GetMessage()).c_str(), stderr);
            return 1;
        }
        if (instrument.GetErrorCount() > 0) {
            std::fputs(TerminalText(instrument.GetMessage()).c_str(), stderr);
        }
        // Without a header no frame could ever be found in the log; a frame
        // of gigabytes would only exhaust memory.
        if (instrument.GetHeader().empty()) {
            std::fprintf(stderr, "dravik-loggen: %s defines no frame header\n", files[0].c_str());
            return 1;
        }
        if (instrument.GetFrameSize() > kMaxFrameSize) {
            std::fprintf(stderr, "dravik-loggen: frames of %d bytes are too large (at most %d)\n",
                         instrument.GetFrameSize(), kMaxFrameSize);
            return 1;
        }
    }

    const std::string& output = files.back();
    dravik::CLogSink sink;
    const int open_cause = output == "-" ? sink.OpenDescriptor(STDOUT_FILENO) : sink.Open(output);
    if (open_cause != 0) {
        std::fprintf(stderr, "dravik-loggen: cannot create %s: %s", output.c_str(),
                     dravik::CInstrument::GetFileErrorText(open_cause).c_str());
        return 1;
    }
    dravik::CLogGenerator generator(has_instrument ? &instrument : nullptr, options);
    dravik::LogSummary summary;
    int cause = generator.Generate(sink, summary);
    const int close_cause = sink.Close();
    if (cause == 0) cause = close_cause;
    if (cause != 0) {
        std::fprintf(stderr, "dravik-loggen: writing %s failed: %s", output.c_str(),
                     TerminalText(dravik::CInstrument::GetFileErrorText(cause)).c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "dravik-loggen: %llu frames, %llu header records, %llu bytes (%llu of garbage)\n",
                 static_cast<unsigned long long>(summary.frames),
                 static_cast<unsigned long long>(summary.header_records),
                 static_cast<unsigned long long>(summary.bytes),
                 static_cast<unsigned long long>(summary.garbage_bytes));
    return 0;
}
