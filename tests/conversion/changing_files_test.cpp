// Files changed underneath a conversion, between its steps: the log cut
// short, grown or replaced, the instrument file replaced or emptied. The
// conversion always ends; it converts the log as it was when it began, or
// fails saying why, and never takes a row or a time tag from bytes that are
// not the log's.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "conversion_test_support.h"

namespace dravik {
namespace {

using namespace dravik::testing;

constexpr unsigned kFrames = 3000;

struct Conversion {
    CRecordingFrontEnd front_end;
    std::unique_ptr<CDravikDoc> doc;
    fs::path dir;

    Conversion(const std::string& name, const fs::path& log, const fs::path& instrument)
        : dir(ScratchDir(name)) {
        doc = MakeDoc(front_end, dir / "run.log");
        CDravikParameters& p = doc->GetParameters();
        p.delimiter = ",";
        p.time_tags = 1;
        p.time_tags_formatted = 1;
        p.buffer = 1024;  // many reads: a change lands between two of them
        doc->SetLogFilePath(log.string());
        doc->SetOutputFilePath((dir / "out.dat").string());
        doc->SetInstrumentFilePath(instrument.string());
    }
    // Set up and started, with no byte of the log read yet.
    void Begin() {
        ASSERT_TRUE(doc->CreateProgressDialog());
        ASSERT_TRUE(doc->PrepareConversion());
        ASSERT_TRUE(doc->StartConversion(false));
    }
    // Asks for the frames and ends the conversion once the frame loop is done.
    bool Run() {
        doc->RequestNextFrame();
        EXPECT_TRUE(doc->WaitForDone(120000));
        const bool ended = doc->EndConversion(false);
        doc->ShowPendingMessages();
        return ended;
    }
    std::string Output() const { return ReadAll(dir / "out.dat"); }
};

class ChangingFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::copy_file(DataDir() / "worked_example" / "abcd0042.tdf", dir_ / "abcd0042.tdf");
        WriteAll(dir_ / "log.raw", WorkedFrames(1, kFrames));
        Conversion reference("reference", dir_ / "log.raw", dir_ / "abcd0042.tdf");
        reference.Begin();
        ASSERT_TRUE(reference.Run());
        expected_ = reference.Output();
        ASSERT_EQ(std::count(expected_.begin(), expected_.end(), '\n'), kFrames + 1);
    }
    fs::path dir_;
    std::string expected_;
};

// Cut short: what was read before is converted, then the conversion fails
// and says that the log became shorter. The rows written are the first rows
// of the whole log's conversion, time tags included.
TEST_F(ChangingFiles, ALogCutShortFailsAfterTheRowsReadBefore) {
    Conversion c("cut", dir_ / "log.raw", dir_ / "abcd0042.tdf");
    c.Begin();
    fs::resize_file(dir_ / "log.raw", 19 * 1000 + 5);  // inside frame 1001
    EXPECT_FALSE(c.Run());
    EXPECT_EQ(c.doc->GetOutcome(), EConversionOutcome::kFailed);
    ASSERT_EQ(c.front_end.messages.size(), 1u);
    EXPECT_EQ(c.front_end.messages[0], "An error occured reading the log file\r\n\"" +
                                           (dir_ / "log.raw").string() +
                                           "\".\r\nIt became shorter while it was being "
                                           "converted.");
    const std::string output = c.Output();
    const auto rows = std::count(output.begin(), output.end(), '\n') - 1;
    EXPECT_GT(rows, 500);
    EXPECT_LT(rows, 1000);
    EXPECT_TRUE(output == expected_.substr(0, output.size()));
    EXPECT_EQ(c.doc->GetConversionStatus().frames_processed, static_cast<unsigned>(rows));
    c.doc.reset();
    const std::string log = ReadAll(c.dir / "run.log");
    EXPECT_TRUE(EndsWithSummary(
        log, "Conversion aborted.\r\n\tFrames processed: " + std::to_string(rows) +
                 // each time tag is bytes skipped between frames
                 "\r\n\tResynchronizations required: " + std::to_string(rows - 1) + "\r\n"))
        << log;
    EXPECT_NE(log.find("An error occured reading the log file.\r\n\tThe end of file was "
                       "reached.\r\n"),
              std::string::npos);
}

// Grown, or replaced by another file under its name, or its instrument file
// replaced and emptied: the conversion reads the log it opened, up to the
// length it had, and converts exactly what the unchanged log gives.
TEST_F(ChangingFiles, ALogGrownOrReplacedConvertsAsItWasAtTheStart) {
    struct Case {
        const char* name;
        void (*change)(const fs::path& dir);
    };
    const Case cases[] = {
        {"grown",
         [](const fs::path& dir) {
             std::FILE* f = std::fopen((dir / "log.raw").c_str(), "ab");
             const std::string more = WorkedFrames(kFrames + 1, 500);
             std::fwrite(more.data(), 1, more.size(), f);
             std::fclose(f);
         }},
        {"replaced",
         [](const fs::path& dir) {
             WriteAll(dir / "new.raw", WorkedFrames(7, 10));
             fs::rename(dir / "new.raw", dir / "log.raw");
         }},
        {"instrument emptied", [](const fs::path& dir) { WriteAll(dir / "abcd0042.tdf", ""); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        WriteAll(dir_ / "log.raw", WorkedFrames(1, kFrames));
        fs::copy_file(DataDir() / "worked_example" / "abcd0042.tdf", dir_ / "abcd0042.tdf",
                      fs::copy_options::overwrite_existing);
        Conversion c(k.name, dir_ / "log.raw", dir_ / "abcd0042.tdf");
        c.Begin();
        k.change(dir_);
        EXPECT_TRUE(c.Run());
        EXPECT_TRUE(c.front_end.messages.empty()) << c.front_end.messages[0];
        EXPECT_TRUE(c.Output() == expected_);
        EXPECT_EQ(c.doc->MakeProgressReport().percent, 100);
    }
}

}  // namespace
}  // namespace dravik
