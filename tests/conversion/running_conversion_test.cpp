// Conversions driven step by step, as a window drives them, and ended or
// disturbed while their frames flow: cancelled, ended early, closed, their
// parameters edited, their log cut short, grown or replaced underneath.
// Whatever happens the output holds whole rows only, nothing is written
// after the end, and the summary counts what was converted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "conversion_test_support.h"

namespace dravik {
namespace {

using namespace dravik::testing;

const fs::path kTdf = DataDir() / "worked_example" / "abcd0042.tdf";

// A log of `frames` worked example frames with their time tags.
fs::path Log(const std::string& name, unsigned frames) {
    const fs::path path = ScratchDir("log_" + name) / "log.raw";
    WriteAll(path, WorkedFrames(1, frames));
    return path;
}

// Every line is a whole row, with the cells of the heading, ended by CR LF;
// the number of rows after the heading.
std::size_t WholeRows(const std::string& output) {
    std::size_t rows = 0;
    long cells = -1;
    for (std::size_t at = 0; at < output.size(); ++rows) {
        const std::size_t end = output.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a cut row at byte " << at;
            break;
        }
        const long n = std::count(output.begin() + at, output.begin() + end, ',');
        if (cells < 0) cells = n;
        EXPECT_EQ(n, cells) << rows;
        at = end + 2;
    }
    return rows - 1;
}

bool PastFrame100(const CConversionStatus& s) {
    return s.frames_processed > 100;
}

TEST(RunningConversion, EndedWhileFramesFlowWritesNothingAfterwards) {
    enum class EHow { kCancel, kEndStep, kDeleteContents };
    const fs::path log = Log("ended", 400000);
    for (EHow how : {EHow::kCancel, EHow::kEndStep, EHow::kDeleteContents}) {
        SCOPED_TRACE(static_cast<int>(how));
        Conversion run("ended_" + std::to_string(static_cast<int>(how)));
        run.doc->GetParameters().time_tags = 1;
        run.Files(log, kTdf);
        ASSERT_TRUE(run.Begin());
        run.doc->RequestNextFrame();
        ASSERT_FALSE(run.Poll(PastFrame100).done) << "the log converted before the end";
        switch (how) {
            case EHow::kCancel:
                run.doc->AbortConversion();
                EXPECT_TRUE(run.Poll().done);
                EXPECT_FALSE(run.doc->EndConversion(true));
                EXPECT_EQ(run.doc->GetOutcome(), EConversionOutcome::kAborted);
                break;
            case EHow::kEndStep:
                EXPECT_FALSE(run.doc->EndConversion(false));
                // A window that ends it again (closing after the end) changes nothing.
                EXPECT_FALSE(run.doc->EndConversion(true));
                EXPECT_EQ(run.doc->GetOutcome(), EConversionOutcome::kFailed);
                EXPECT_EQ(run.doc->GetConversionStatus().done, 1);
                break;
            case EHow::kDeleteContents:  // (the destructor does the same)
                run.doc->DeleteContents();
                break;
        }
        // No false write error, and nothing written once the end has returned.
        EXPECT_TRUE(run.front_end.messages.empty());
        const std::string output = run.Output();
        const std::size_t rows = WholeRows(output);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(run.Output(), output);
        const std::string summary = "Conversion aborted.\r\n\tFrames processed: " +
                                    std::to_string(rows) + "\r\n\tResynchronizations required: " +
                                    std::to_string(rows - 1) + "\r\n";
        EXPECT_TRUE(EndsWithSummary(ReadAll(run.dir / "run.log"), summary));
        if (how == EHow::kDeleteContents) {
            // The document lives on: a new control, and the next conversion runs.
            run.doc->OnNewDocument();
            run.Files(DataDir() / "worked_example" / "data.raw", kTdf, run.dir / "next.dat");
            EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kComplete);
        }
    }
}

TEST(RunningConversion, TheParametersAreThoseItBeganWith) {
    Conversion run("back_to_back");
    CDravikParameters& p = run.doc->GetParameters();
    p.time_tags = p.time_tags_formatted = p.check_sum_checking = 1;
    run.Files(DataDir() / "worked_example" / "data.raw", kTdf);
    for (int conversion = 0; conversion < 2; ++conversion) {
        ASSERT_TRUE(run.Begin());
        // A parameters dialog edits the document's set while the conversion
        // runs: that is for the next conversion only.
        run.doc->GetParameters().delimiter = ";";
        run.doc->RequestNextFrame();
        ASSERT_TRUE(run.Poll().done);
        EXPECT_TRUE(run.doc->EndConversion(false));
        EXPECT_EQ(run.Output(), ReadAll(DataDir() / "worked_example_plain" / "expected" / "out.dat"));
        run.doc->GetParameters().delimiter = ",";
    }
}

TEST(RunningConversion, JunkShowsProgressAndACancelStopsIt) {
    // 400 MiB that match no instrument, made in an instant as a sparse file.
    const fs::path junk = ScratchDir("junk") / "junk.raw";
    WriteAll(junk, "");
    fs::resize_file(junk, std::uintmax_t{400} << 20);
    Conversion run("junk_run");
    run.Files(junk, kTdf);
    ASSERT_TRUE(run.Begin());
    run.doc->RequestNextFrame();
    std::uint64_t last = 0;
    int moves = 0;
    const CConversionStatus status = run.Poll([&](const CConversionStatus& s) {
        if (s.bytes_consumed > last) ++moves;
        last = s.bytes_consumed;
        return moves >= 3;
    });
    ASSERT_FALSE(status.done);
    run.doc->AbortConversion();
    EXPECT_LT(run.Poll().bytes_consumed, std::uint64_t{400} << 20);
    EXPECT_FALSE(run.doc->EndConversion(true));
    EXPECT_EQ(WholeRows(run.Output()), 0u);
}

// Unmatched bytes after the last frame are a buffer overrun from a whole
// buffer of them on.
TEST(RunningConversion, ABufferOfJunkAtTheEndIsAnOverrun) {
    const std::string frame = ReadAll(DataDir() / "worked_example" / "data.raw").substr(0, 12);
    for (std::size_t junk : {1023u, 1024u}) {
        Conversion run("overrun_" + std::to_string(junk));
        WriteAll(run.dir / "log.raw", frame + std::string(junk, 'z'));
        run.doc->GetParameters().buffer = 1024;
        run.Files(run.dir / "log.raw", kTdf);
        EXPECT_EQ(run.doc->RunConversion(), junk < 1024 ? EConversionOutcome::kComplete
                                                         : EConversionOutcome::kFailed);
        EXPECT_EQ(run.doc->GetConversionStatus().buffer_overrun, junk < 1024 ? 0 : 1);
    }
}

// The log changed between the set-up and the first read. Cut short, what
// was read before is converted, then the conversion fails and says that the
// log became shorter. Grown, it converts as it was when the conversion began.
TEST(RunningConversion, ALogChangedUnderneathConvertsAsItWasOrFailsSayingSo) {
    constexpr unsigned kFrames = 3000;
    const fs::path dir = ScratchDir("changing");
    auto append = [](const fs::path& path, const std::string& more) {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        std::fwrite(more.data(), 1, more.size(), f);
        std::fclose(f);
    };
    struct Case {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"unchanged", [] {}},
        {"cut", [&] { fs::resize_file(dir / "log.raw", 19 * 1000 + 5); }},  // inside frame 1001
        {"grown", [&] { append(dir / "log.raw", WorkedFrames(kFrames + 1, 500)); }},
    };
    std::string expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(dir / "log.raw", WorkedFrames(1, kFrames));
        Conversion run(std::string("changing_") + c.name);
        run.doc->GetParameters().time_tags = run.doc->GetParameters().time_tags_formatted = 1;
        run.doc->GetParameters().buffer = 1024;  // many reads: a change lands between two
        run.Files(dir / "log.raw", kTdf);
        ASSERT_TRUE(run.Begin());
        c.change();
        run.doc->RequestNextFrame();
        ASSERT_TRUE(run.Poll().done);
        const bool cut = std::string(c.name) == "cut";
        EXPECT_EQ(run.doc->EndConversion(false), !cut);
        run.doc->ShowPendingMessages();
        const std::string output = run.Output();
        if (expected.empty()) expected = output;
        if (!cut) {
            EXPECT_TRUE(run.front_end.messages.empty());
            EXPECT_TRUE(output == expected);
            EXPECT_EQ(run.doc->MakeProgressReport().percent, 100);
            continue;
        }
        EXPECT_EQ(run.front_end.messages,
                  std::vector<std::string>{"An error occured reading the log file\r\n\"" +
                                           (dir / "log.raw").string() +
                                           "\".\r\nIt became shorter while it was being "
                                           "converted."});
        const std::size_t rows = WholeRows(output);
        EXPECT_GT(rows, 500u);
        EXPECT_LT(rows, 1000u);
        EXPECT_TRUE(output == expected.substr(0, output.size()));
        const std::string log = run.Log();
        EXPECT_TRUE(EndsWithSummary(
            log, "Conversion aborted.\r\n\tFrames processed: " + std::to_string(rows) +
                     "\r\n\tResynchronizations required: " + std::to_string(rows - 1) + "\r\n"));
        EXPECT_NE(log.find("An error occured reading the log file.\r\n\tThe end of file was "
                           "reached.\r\n"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace dravik
