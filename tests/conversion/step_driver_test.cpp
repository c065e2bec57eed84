// The conversion driven the way a window drives it: the step operations are
// called from one thread, and a timer tick (here a short wait between polls)
// takes the status, the progress report, the pending messages and the log
// text, until the done flag is seen. Nothing here waits with WaitForDone.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>

#include "conversion_test_support.h"

namespace dravik {
namespace {

using namespace dravik::testing;
using Clock = std::chrono::steady_clock;

const fs::path kWorked = DataDir() / "worked_example";
constexpr auto kTick = std::chrono::milliseconds(2);
constexpr auto kPatience = std::chrono::seconds(120);

double Millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Calls the step operations as a window's timer would and records the
// longest time any of them kept the driving thread.
class StepDriver {
  public:
    explicit StepDriver(CDravikDoc& doc) : m_doc(doc) {}

    template <class F>
    auto Step(F&& f) {
        const Clock::time_point start = Clock::now();
        if constexpr (std::is_void_v<decltype(f())>) {
            f();
            Note(start);
        } else {
            auto result = f();
            Note(start);
            return result;
        }
    }

    // Everything up to the first frame request; false when the conversion
    // did not start.
    bool Begin() {
        if (!Step([&] { return m_doc.CreateProgressDialog(); })) return false;
        if (!Step([&] { return m_doc.PrepareConversion(); })) return false;
        Step([&] { return m_doc.MakeProgressSetup(); });
        if (!Step([&] { return m_doc.StartConversion(false); }) || m_doc.IsSkipped()) return false;
        Step([&] { m_doc.RequestNextFrame(); });
        return true;
    }

    // One timer tick.
    CConversionStatus Tick() {
        std::this_thread::sleep_for(kTick);
        CProgressReport report = Step([&] { return m_doc.MakeProgressReport(); });
        Step([&] { m_doc.ShowPendingMessages(); });
        log_text += Step([&] { return m_doc.TakeLogText(); });
        return report.status;
    }

    // Ticks until `until` holds for the status (or the conversion is done).
    CConversionStatus TickUntil(const std::function<bool(const CConversionStatus&)>& until) {
        const Clock::time_point give_up = Clock::now() + kPatience;
        CConversionStatus status = Tick();
        while (!status.done && !until(status) && Clock::now() < give_up) status = Tick();
        return status;
    }
    CConversionStatus TickUntilDone() {
        return TickUntil([](const CConversionStatus&) { return false; });
    }

    bool End(bool cancelled) {
        const bool complete = Step([&] { return m_doc.EndConversion(cancelled); });
        Step([&] { return m_doc.DestroyProgressDialog(); });
        log_text += m_doc.TakeLogText();
        return complete;
    }

    double longest_step_ms = 0;
    std::string log_text;

  private:
    void Note(Clock::time_point start) {
        longest_step_ms = std::max(longest_step_ms, Millis(Clock::now() - start));
    }
    CDravikDoc& m_doc;
};

// A long log of whole frames with their time tags: the worked example's
// three frames over and over.
const fs::path& LongLog() {
    static const fs::path path = [] {
        const std::string unit = ReadAll(kWorked / "data.raw");
        std::string data;
        data.reserve(unit.size() * 400000);
        for (int i = 0; i < 400000; ++i) data += unit;
        fs::path p = ScratchDir("long_log") / "long.raw";
        WriteAll(p, data);
        return p;
    }();
    return path;
}

struct Conversion {
    CRecordingFrontEnd front_end;
    std::unique_ptr<CDravikDoc> doc;
    fs::path dir;
    explicit Conversion(const std::string& name, const fs::path& log = LongLog())
        : dir(ScratchDir(name)) {
        doc = MakeDoc(front_end, dir / "run.log");
        doc->GetParameters().delimiter = ",";
        doc->GetParameters().time_tags = 1;
        doc->SetLogFilePath(log.string());
        doc->SetOutputFilePath((dir / "out.dat").string());
        doc->SetInstrumentFilePath((kWorked / "abcd0042.tdf").string());
    }
    std::string Output() const { return ReadAll(dir / "out.dat"); }
};

// Every line of the output is a whole row: the heading and then rows of the
// same number of cells, each ended by CR LF. Returns the number of rows.
std::size_t WholeRows(const std::string& output) {
    EXPECT_TRUE(output.size() >= 2 && output.substr(output.size() - 2) == "\r\n");
    std::size_t rows = 0;
    std::size_t cells = std::string::npos;
    for (std::size_t at = 0; at < output.size();) {
        const std::size_t end = output.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a cut row at byte " << at;
            break;
        }
        const std::string_view line(output.data() + at, end - at);
        const std::size_t n = static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
        if (cells == std::string::npos) cells = n;
        EXPECT_EQ(n, cells) << "row " << rows;
        ++rows;
        at = end + 2;
    }
    return rows - 1;  // the heading
}

void ExpectPrompt(const StepDriver& driver) {
    std::printf("[ measured ] longest step on the driving thread: %.2f ms\n",
                driver.longest_step_ms);
    // Generous for sanitizer builds; a step that waits for a conversion
    // takes seconds on these logs.
    EXPECT_LT(driver.longest_step_ms, 1000.0);
}

TEST(StepDriver, CancelInTheMiddleStopsAtTheNextFrame) {
    Conversion run("cancel");
    StepDriver driver(*run.doc);
    ASSERT_TRUE(driver.Begin());
    CConversionStatus status =
        driver.TickUntil([](const CConversionStatus& s) { return s.frames_processed > 100; });
    ASSERT_FALSE(status.done) << "the log converted before the cancel";
    driver.Step([&] { run.doc->AbortConversion(); });
    status = driver.TickUntilDone();
    ASSERT_TRUE(status.done);
    EXPECT_FALSE(driver.End(true));
    EXPECT_EQ(run.doc->GetOutcome(), EConversionOutcome::kAborted);
    EXPECT_TRUE(run.front_end.messages.empty());
    EXPECT_EQ(WholeRows(run.Output()), status.frames_processed);
    EXPECT_NE(driver.log_text.find("Conversion aborted.\r\n\tFrames processed: " +
                                   std::to_string(status.frames_processed)),
              std::string::npos)
        << driver.log_text;
    ExpectPrompt(driver);
}

TEST(StepDriver, EndingBeforeDoneAbortsWithoutAFalseWriteError) {
    Conversion run("end_early");
    StepDriver driver(*run.doc);
    ASSERT_TRUE(driver.Begin());
    ASSERT_FALSE(driver.TickUntil([](const CConversionStatus& s) {
                           return s.frames_processed > 100;
                       }).done);
    EXPECT_FALSE(driver.End(false));
    // A window that ends it again (closing after the end) changes nothing.
    EXPECT_FALSE(driver.End(true));
    EXPECT_EQ(run.doc->GetOutcome(), EConversionOutcome::kFailed);
    EXPECT_TRUE(run.front_end.messages.empty()) << run.front_end.messages.front();
    const CConversionStatus status = run.doc->GetConversionStatus();
    EXPECT_EQ(status.done, 1);
    EXPECT_EQ(status.aborted, 1);
    const std::string output = run.Output();
    EXPECT_EQ(WholeRows(output), status.frames_processed);
    // Nothing more is written once the end step has returned.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(run.Output(), output);
    ExpectPrompt(driver);
}

TEST(StepDriver, ClosingTheDocumentMidRunWritesNothingAfterwards) {
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "contents deleted");
        Conversion run(destroy ? "close_destroy" : "close_delete");
        StepDriver driver(*run.doc);
        ASSERT_TRUE(driver.Begin());
        ASSERT_FALSE(driver.TickUntil([](const CConversionStatus& s) {
                               return s.frames_processed > 100;
                           }).done);
        if (destroy) {
            driver.Step([&] { run.doc.reset(); });
        } else {
            driver.Step([&] { run.doc->DeleteContents(); });
        }
        const std::string output = run.Output();
        const std::size_t rows = WholeRows(output);
        EXPECT_GT(rows, 100u);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(run.Output(), output);
        const std::string log = ReadAll(run.dir / "run.log");
        EXPECT_TRUE(EndsWithSummary(log, "Conversion aborted.\r\n\tFrames processed: " +
                                             std::to_string(rows) +
                                             "\r\n\tResynchronizations required: " +
                                             std::to_string(rows - 1) + "\r\n"))
            << log.substr(log.size() - std::min<std::size_t>(log.size(), 300));
        if (!destroy) {
            // The document lives on: a new control, and the next conversion runs.
            run.doc->OnNewDocument();
            run.doc->SetLogFilePath((kWorked / "data.raw").string());
            ASSERT_TRUE(driver.Begin());
            ASSERT_TRUE(driver.TickUntilDone().done);
            EXPECT_TRUE(driver.End(false));
            WholeRows(run.Output());
        }
        ExpectPrompt(driver);
    }
}

TEST(StepDriver, BackToBackConversionsUseTheParametersTheyBeganWith) {
    Conversion run("back_to_back", kWorked / "data.raw");
    run.doc->GetParameters().time_tags_formatted = 1;
    StepDriver driver(*run.doc);
    const std::string expected =
        "SN,FRAME(COUNTER),ES(412.5),CHECK(SUM),DATETAG,TIMETAG2\r\n"
        "0042,1,2101,242,2004-123,12:34:56.789\r\n"
        "0042,2,2102,240,2004-123,12:34:57.000\r\n"
        "0042,3,2103,238,2004-124,00:00:00.001\r\n";
    for (int conversion = 0; conversion < 2; ++conversion) {
        ASSERT_TRUE(driver.Begin());
        // A parameters dialog edits the document's set while the conversion
        // runs: that is for the next conversion only.
        run.doc->GetParameters().delimiter = ";";
        ASSERT_TRUE(driver.TickUntilDone().done);
        EXPECT_TRUE(driver.End(false));
        EXPECT_EQ(run.doc->GetOutcome(), EConversionOutcome::kComplete);
        EXPECT_EQ(run.Output(), expected);
        run.doc->GetParameters().delimiter = ",";
    }
    EXPECT_TRUE(run.front_end.messages.empty());
}

TEST(StepDriver, JunkShowsProgressAndACancelTakesEffectAtOnce) {
    // 400 MiB that match no instrument, made in an instant as a sparse file.
    fs::path junk = ScratchDir("junk") / "junk.raw";
    WriteAll(junk, "");
    fs::resize_file(junk, std::uintmax_t{400} << 20);
    Conversion run("junk_run", junk);
    StepDriver driver(*run.doc);
    ASSERT_TRUE(driver.Begin());
    std::uint64_t last = 0;
    int moves = 0;
    CConversionStatus status = driver.TickUntil([&](const CConversionStatus& s) {
        if (s.bytes_consumed > last) {
            last = s.bytes_consumed;
            ++moves;
        }
        return moves >= 3;
    });
    ASSERT_FALSE(status.done);
    EXPECT_EQ(moves, 3);
    const Clock::time_point cancel = Clock::now();
    driver.Step([&] { run.doc->AbortConversion(); });
    status = driver.TickUntilDone();
    const double latency = Millis(Clock::now() - cancel);
    ASSERT_TRUE(status.done);
    std::printf("[ measured ] cancel on junk took effect after %.2f ms\n", latency);
    EXPECT_LT(latency, 1000.0);
    EXPECT_LT(status.bytes_consumed, std::uint64_t{400} << 20);
    EXPECT_FALSE(driver.End(true));
    EXPECT_EQ(WholeRows(run.Output()), 0u);
    ExpectPrompt(driver);
}

// The buffer size only changes how the log is read: the same rows and the
// same counts come out, wherever the chunks end.
TEST(StepDriver, TheBufferSizeChangesNeitherRowsNorCounts) {
    const std::pair<fs::path, fs::path> logs[] = {
        {ExamplesDir() / "spr0117.raw", ExamplesDir() / "spr0117.cal"},
        {DataDir() / "garbage_between_frames" / "data.raw",
         DataDir() / "garbage_between_frames" / "abcd0042.tdf"},
        {DataDir() / "buffer_overrun" / "data.raw", DataDir() / "buffer_overrun" / "abcd0042.tdf"},
        {DataDir() / "truncated" / "data.raw", DataDir() / "truncated" / "abcd0042.tdf"},
    };
    for (const auto& [log, instrument] : logs) {
        SCOPED_TRACE(log.string());
        std::string first_output;
        CConversionStatus first;
        for (int buffer : {1024, 4096, 65535}) {
            SCOPED_TRACE(buffer);
            Conversion run("buffers_" + std::to_string(buffer), log);
            run.doc->SetInstrumentFilePath(instrument.string());
            run.doc->GetParameters().buffer = buffer;
            StepDriver driver(*run.doc);
            ASSERT_TRUE(driver.Begin());
            const CConversionStatus status = driver.TickUntilDone();
            ASSERT_TRUE(status.done);
            driver.End(false);
            if (buffer == 1024) {
                first_output = run.Output();
                first = status;
                EXPECT_GT(status.frames_processed, 1u);
                continue;
            }
            EXPECT_EQ(run.Output(), first_output);
            EXPECT_EQ(status.frames_processed, first.frames_processed);
            EXPECT_EQ(status.resynchronizations, first.resynchronizations);
            EXPECT_EQ(status.not_found, first.not_found);
        }
    }
}

}  // namespace
}  // namespace dravik
