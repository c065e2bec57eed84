// Helpers shared by the conversion tests: scratch folders, whole-file reads,
// a fixed clock for the conversion log's stamps and a document set up for a
// test run.
#pragma once

#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include "conversion/dravik_doc.h"
#include "conversion/recording_front_end.h"

namespace dravik::testing {

namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteAll(const fs::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

// The folder of this test process's scratch files, removed when the process
// ends so that test runs leave nothing behind.
inline const fs::path& ProcessScratchRoot() {
    static const struct Root {
        fs::path path = fs::temp_directory_path() / ("dravik_conv_" + std::to_string(getpid()));
        ~Root() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } root;
    return root.path;
}

// A fresh, empty folder of this test process.
inline fs::path ScratchDir(const std::string& name) {
    fs::path dir = ProcessScratchRoot() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// A private copy of tests/data for this test process: a conversion holds its
// log file exclusively, so tests running side by side must never open the
// same log.
inline fs::path DataDir() {
    static const fs::path copy = [] {
        fs::path dir = ProcessScratchRoot() / "data";
        fs::remove_all(dir);
        fs::create_directories(dir.parent_path());
        fs::copy(fs::path(DRAVIK_TEST_DATA_DIR), dir, fs::copy_options::recursive);
        return dir;
    }();
    return copy;
}
inline fs::path ExamplesDir() {
    static const fs::path copy = [] {
        fs::path dir = DataDir().parent_path() / "examples";
        fs::remove_all(dir);
        fs::copy(fs::path(DRAVIK_EXAMPLES_DIR), dir, fs::copy_options::recursive);
        return dir;
    }();
    return copy;
}

// Frames of the worked example instrument (ABCD0042: counter, a two-byte
// value, check sum) numbered `first` on, each followed by its time tag; the
// counter, the value and the tag's time (10:mm:ss of the number) differ from
// frame to frame, so a row or a tag taken from the wrong place shows.
inline std::string WorkedFrames(unsigned first, unsigned count) {
    std::string log;
    for (unsigned n = first; n < first + count; ++n) {
        const unsigned time = 100000000u + (n / 60 % 60) * 100000u + (n % 60) * 1000u;
        const unsigned char bytes[] = {
            'A', 'B', 'C', 'D', '0', '0', '4', '2', static_cast<unsigned char>(n),
            static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n), 0,
            // Time tag: day 2004-123, then the time as hhmmssmmm.
            0x1e, 0x94, 0x9b, static_cast<unsigned char>(time >> 24),
            static_cast<unsigned char>(time >> 16), static_cast<unsigned char>(time >> 8),
            static_cast<unsigned char>(time)};
        log.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    return log;
}

// Every stamp reads "2026-12-06  10:00:00> ".
inline std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_hour = 10;
    return t;
}
inline constexpr const char* kStamp = "2026-12-06  10:00:00> ";

// The last stamped text of a conversion log is `summary` (its count lines
// carry no stamp).
inline bool EndsWithSummary(const std::string& log, const std::string& summary) {
    std::size_t last = log.rfind(kStamp);
    return last != std::string::npos && log.substr(last) == kStamp + summary;
}

// A document writing its conversion log to `log_path`, with the header
// definition taken from the examples folder and a fixed clock.
inline std::unique_ptr<CDravikDoc> MakeDoc(CRecordingFrontEnd& front_end,
                                           const fs::path& log_path) {
    auto doc = std::make_unique<CDravikDoc>(front_end);
    doc->SetLocalClock(FixedTime);
    doc->SetProgramDirectory(ExamplesDir().string());
    CDravikParameters& p = doc->GetParameters();
    p.has_conversion_log_option = 1;
    p.conversion_log_option_file = log_path.string();
    return doc;
}

// One conversion through a document and a recording front end, writing
// out.dat and the conversion log run.log into a folder of its own.
struct Conversion {
    CRecordingFrontEnd front_end;
    std::unique_ptr<CDravikDoc> doc;
    fs::path dir;

    explicit Conversion(const std::string& name) : dir(ScratchDir(name)) {
        doc = MakeDoc(front_end, dir / "run.log");
        doc->GetParameters().delimiter = ",";
    }
    void Files(const fs::path& log, const fs::path& instrument, fs::path output = {}) {
        doc->SetLogFilePath(log.string());
        doc->SetOutputFilePath((output.empty() ? dir / "out.dat" : output).string());
        doc->SetInstrumentFilePath(instrument.string());
    }
    // Set up and started as a window does it, with no frame asked for yet.
    bool Begin() {
        return doc->CreateProgressDialog() && doc->PrepareConversion() &&
               doc->StartConversion(false);
    }
    // Polls as a window's timer does (the messages, the log text, the
    // status) until `until` holds or the frame loop is done.
    CConversionStatus Poll(const std::function<bool(const CConversionStatus&)>& until = {}) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        for (;;) {
            doc->ShowPendingMessages();
            doc->TakeLogText();
            const CConversionStatus status = doc->MakeProgressReport().status;
            if (status.done || (until && until(status)) ||
                std::chrono::steady_clock::now() > give_up) {
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    std::string Output() const { return ReadAll(dir / "out.dat"); }
    // The conversion log once the document has delivered everything.
    std::string Log() {
        doc.reset();
        return ReadAll(dir / "run.log");
    }
};

}  // namespace dravik::testing
