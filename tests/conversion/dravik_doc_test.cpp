// The conversion document's failure paths, questions, outcomes and
// conversion log, run through the recording front end.
#include "conversion/dravik_doc.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "conversion/output_text_file.h"
#include "conversion_test_support.h"

namespace dravik {
namespace {

using namespace dravik::testing;

const fs::path kWorked = DataDir() / "worked_example";
const fs::path kTdf = kWorked / "abcd0042.tdf";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Without the header definition beside the program a header conversion
// cannot begin. (The golden cases and the command line's tests cover the
// other bad inputs.)
TEST(ConversionFailures, AMissingHeaderDefinitionIsShownLoggedAndFails) {
    const fs::path scratch = ScratchDir("bad_inputs");
    Conversion run("bad_header");
    run.doc->SetProgramDirectory(scratch.string());
    run.Files(kWorked / "data.raw", "", scratch / "c.dat");
    EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kFailed);
    EXPECT_EQ(run.front_end.messages,
              std::vector<std::string>{"An error occured reading the instrument file\"" +
                                       (scratch / "oxahdr1.tdf").string() +
                                       "\".\r\nConversion aborted."});
    const std::string log = run.Log();
    EXPECT_TRUE(Contains(log, "Begin header conversion.\r\n")) << log;
    EXPECT_TRUE(Contains(log, std::string(kStamp) + "Conversion aborted.\r\n")) << log;
}

// The disk filling up (a file size limit stands for it), also at the last
// write, when the output is closed: every row written before stays, and the
// conversion fails, on the screen too.
TEST(ConversionFailures, ADiskFullFailsTheConversionWhereverItComes) {
    const fs::path dir = ScratchDir("filling");
    std::string log;
    const std::string one = ReadAll(kWorked / "data.raw").substr(0, 19);  // a frame and its tag
    for (int i = 0; i < 4000; ++i) log += one;
    WriteAll(dir / "long.raw", log);
    Conversion whole("filling_whole");
    whole.Files(dir / "long.raw", kTdf);
    ASSERT_EQ(whole.doc->RunConversion(), EConversionOutcome::kComplete);
    const std::string expected = whole.Output();
    ASSERT_GT(expected.size(), COutputTextFile::kBufferSize);

    // The disk fills at the last write, and halfway through the frames.
    for (const std::size_t limit : {expected.size() - 10, COutputTextFile::kBufferSize + 5}) {
        SCOPED_TRACE(limit);
        struct rlimit old_limit {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
        const auto old_handler = signal(SIGXFSZ, SIG_IGN);
        Conversion full("filling_full_" + std::to_string(limit));
        full.Files(dir / "long.raw", kTdf);
        struct rlimit small = old_limit;
        small.rlim_cur = limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const EConversionOutcome outcome = full.doc->RunConversion();
        const std::string conversion_log = full.Log();
        setrlimit(RLIMIT_FSIZE, &old_limit);
        signal(SIGXFSZ, old_handler);
        EXPECT_EQ(outcome, EConversionOutcome::kFailed);
        EXPECT_EQ(full.front_end.messages,
                  std::vector<std::string>{"An error occured writing to the output file\r\n\"" +
                                           (full.dir / "out.dat").string() + "\"."});
        EXPECT_EQ(full.front_end.last_report.status_text, "Conversion aborted.");
        EXPECT_TRUE(Contains(conversion_log, "An error occured writing to the output file.\r\n\tThe "
                                             "disk is full.\r\n"));
        EXPECT_TRUE(
            Contains(conversion_log, std::string(kStamp) + "Conversion aborted.\r\n\tFrames"));
        EXPECT_EQ(full.Output(), expected.substr(0, limit));
    }
}

TEST(ConversionQuestions, AnExistingOutputFileIsOverwrittenOnlyWhenTheUserAgrees) {
    struct Case {
        bool prompt;
        bool multiple;
        EOverwriteAnswer answer;
        EConversionOutcome outcome;
    } cases[] = {
        {true, false, EOverwriteAnswer::kCancel, EConversionOutcome::kAborted},
        {true, false, EOverwriteAnswer::kNo, EConversionOutcome::kAborted},
        {true, true, EOverwriteAnswer::kNo, EConversionOutcome::kSkipped},
        {true, false, EOverwriteAnswer::kYes, EConversionOutcome::kComplete},
        {false, false, EOverwriteAnswer::kCancel, EConversionOutcome::kComplete},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        Conversion run("overwrite_" + std::to_string(&c - cases));
        const fs::path out = run.dir / "out.dat";
        WriteAll(out, "keep me");
        CAppSettings settings = run.doc->GetAppSettings();
        settings.overwrite_prompt = c.prompt;
        run.doc->SetAppSettings(settings);
        run.front_end.overwrite_answers.push_back(c.answer);
        run.Files(kWorked / "data.raw", kTdf);
        CDravikDoc::CRunOptions options;
        options.multiple = c.multiple;
        EXPECT_EQ(run.doc->RunConversion(options), c.outcome);
        const bool overwritten = c.outcome == EConversionOutcome::kComplete;
        EXPECT_EQ(ReadAll(out) == "keep me", !overwritten);
        if (c.prompt) {
            EXPECT_EQ(run.front_end.overwrite_questions,
                      std::vector<std::string>{
                          "The output file \"" + out.string() +
                          "\" already exists. Do you wish to overwrite this file and continue "
                          "the conversion?"});
            EXPECT_EQ(run.front_end.overwrite_yes_to_all_enabled[0], c.multiple);
        }
        if (!overwritten) {
            EXPECT_TRUE(EndsWithSummary(run.Log(), "Conversion aborted.\r\n"));
        }
    }

    // Yes to All holds for the rest of the run, until the progress display goes.
    Conversion run("overwrite_all");
    run.front_end.overwrite_answers.push_back(EOverwriteAnswer::kYesToAll);
    CDravikDoc::CRunOptions options;
    options.multiple = true;
    options.last_of_run = false;
    for (const char* out : {"a.dat", "b.dat"}) {
        WriteAll(run.dir / out, "old");
        run.Files(kWorked / "data.raw", kTdf, run.dir / out);
        EXPECT_EQ(run.doc->RunConversion(options), EConversionOutcome::kComplete);
        options.last_of_run = true;
    }
    EXPECT_EQ(run.front_end.overwrite_questions.size(), 1u);
    EXPECT_EQ(run.front_end.progress_closed, 1);
    // The next run asks again.
    run.front_end.overwrite_answers.push_back(EOverwriteAnswer::kYes);
    EXPECT_EQ(run.doc->RunConversion(options), EConversionOutcome::kComplete);
    EXPECT_EQ(run.front_end.overwrite_questions.size(), 2u);
}

TEST(ConversionOutcome, CheckSensorsFoundOrMissingAreReported) {
    // Checking asked for, but the instrument has no such sensor: one warning
    // each, no counts on the progress display, and none in the summary.
    const fs::path plain = ScratchDir("plain_tdf") / "plain.tdf";
    WriteAll(plain,
             "INSTRUMENT ABCD '' 4 AS 0 NONE\nSN 0042 '' 4 AS 0 NONE\n"
             "ES 412.5 'uW/cm^2/nm' 4 BU 0 COUNT\n");
    for (const fs::path& tdf : {plain, kTdf}) {
        const bool found = tdf == kTdf;
        Conversion run(found ? "sensors_found" : "sensors_missing");
        run.doc->GetParameters().check_sum_checking = 1;
        run.doc->GetParameters().frame_counter_checking = 1;
        run.Files(kWorked / "data.raw", tdf);
        EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kComplete);
        ASSERT_EQ(run.front_end.setups.size(), 1u);
        EXPECT_EQ(run.front_end.setups[0].frame_counter_sensor, found);
        EXPECT_EQ(run.front_end.setups[0].check_sum_sensor, found);
        EXPECT_EQ(EndsWithSummary(run.Log(), "Conversion complete.\r\n\tFrames processed: 3\r\n"
                                             "\tResynchronizations required: 2\r\n"),
                  !found);
        if (found) continue;
        EXPECT_EQ(run.front_end.messages,
                  (std::vector<std::string>{
                      "No valid FRAME COUNTER sensor found in the Telemetry Definition File for "
                      "ABCD0042. No frame counter error checking will occur for the instrument.",
                      "No valid CHECK SUM sensor found in the Telemetry Definition File for "
                      "ABCD0042. No check sum error checking will occur for the instrument."}));
    }
}

TEST(ConversionOutcome, NoProgressDisplayOrNoControlFailsCleanly) {
    Conversion no_display("no_display");
    no_display.front_end.can_create_progress = false;
    no_display.Files(kWorked / "data.raw", kTdf);
    EXPECT_EQ(no_display.doc->RunConversion(), EConversionOutcome::kFailed);
    EXPECT_EQ(no_display.front_end.messages,
              std::vector<std::string>{
                  "Unable to create Conversion Progress Dialog Box.\r\nConversion aborted."});
    EXPECT_FALSE(fs::exists(no_display.dir / "out.dat"));

    // A document whose contents were deleted has no control until it is new again.
    Conversion cleared("cleared");
    cleared.Files(kWorked / "data.raw", kTdf);
    cleared.doc->DeleteContents();
    EXPECT_EQ(cleared.doc->RunConversion(), EConversionOutcome::kFailed);
    EXPECT_EQ(cleared.front_end.messages,
              std::vector<std::string>{"An error occured creating the file resource for " +
                                       (kWorked / "data.raw").string() + ".\r\nConversion aborted."});
    cleared.doc->OnNewDocument();
    EXPECT_EQ(cleared.doc->RunConversion(), EConversionOutcome::kComplete);
}

TEST(ConversionLog, AFailedLogWriteIsShownBeforeTheFailureThatFollows) {
    // The write failure arises on the processing thread; it must reach the
    // user however the conversion ends, and before what followed it.
    Conversion run("log_full");
    run.doc->GetParameters().conversion_log_option_file = "/dev/full";
    run.Files(kWorked / "missing.raw", kTdf);
    EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kFailed);
    EXPECT_FALSE(run.doc->IsConversionLogOpen());
    ASSERT_EQ(run.front_end.messages.size(), 2u);
    EXPECT_EQ(run.front_end.messages[0],
              "An error occured writing to the conversion log file:\r\n\"/dev/full\".\r\nThe "
              "disk is full.\r\nConversion log aborted.");
}

TEST(ConversionLog, NeverEmptiesTheFilesOfTheConversion) {
    // A conversion log named like the log file or the instrument file would
    // be created anew before they are read: it is refused as a file in use.
    const std::string data = ReadAll(kWorked / "data.raw");
    const std::string instrument = ReadAll(kTdf);
    for (const char* input : {"data.raw", "abcd0042.tdf"}) {
        SCOPED_TRACE(input);
        Conversion run(std::string("log_is_input_") + input);
        WriteAll(run.dir / "data.raw", data);
        WriteAll(run.dir / "abcd0042.tdf", instrument);
        run.doc->GetParameters().conversion_log_option_file = (run.dir / input).string();
        run.Files(run.dir / "data.raw", run.dir / "abcd0042.tdf");
        EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kComplete);
        EXPECT_EQ(run.front_end.messages,
                  std::vector<std::string>{
                      "An error occured while opening the conversion log file\r\n\"" +
                      (run.dir / input).string() +
                      "\".\r\nA sharing violation occured, or a shared region was locked.\r\nNo "
                      "conversion log file will be recorded."});
        run.doc.reset();
        EXPECT_EQ(ReadAll(run.dir / "data.raw"), data);
        EXPECT_EQ(ReadAll(run.dir / "abcd0042.tdf"), instrument);
    }
}

TEST(HeaderConversion, InstrumentFramesAfterTheRecordsAreNoBufferOverrun) {
    Conversion cast("header_then_frames");
    WriteAll(cast.dir / "cast.raw", "OXAHDR 12.5 (Battery)\r\n" + std::string(50000, 'x') +
                                        "OXAHDR 3 (Cast)\r\n" + std::string(20000, 'y'));
    cast.Files(cast.dir / "cast.raw", "");
    EXPECT_EQ(cast.doc->RunConversion(), EConversionOutcome::kComplete);
    EXPECT_EQ(cast.Output(), "Battery,12.5\r\nCast,3\r\n");
    EXPECT_TRUE(EndsWithSummary(cast.Log(), "Conversion complete.\r\n\tFrames processed: 2\r\n"
                                            "\tResynchronizations required: 1\r\n"));
}

// A document whose frame requests go nowhere: the test answers them.
class ScriptedDoc : public CDravikDoc {
  public:
    using CDravikDoc::CDravikDoc;
    void GetFileFrame(int) override { ++requests; }
    int requests = 0;
};

TEST(FrameLoop, AReadErrorEndsTheLoop) {
    // After a read error the resource keeps answering "no frame" without
    // ever reaching the end of the file: the loop must stop asking.
    CRecordingFrontEnd front_end;
    ScriptedDoc doc(front_end);
    doc.SetLogFilePath((kWorked / "data.raw").string());
    doc.SetOutputFilePath((ScratchDir("scripted") / "out.dat").string());
    doc.SetInstrumentFilePath(kTdf.string());
    ASSERT_TRUE(doc.PrepareConversion());
    ASSERT_TRUE(doc.StartConversion(false));
    doc.RequestNextFrame();
    doc.OnTelemetryFrame("log", nullptr);  // no frame yet: the search goes on
    EXPECT_EQ(doc.requests, 2);
    doc.OnFileResourceStatus("log", kFileHardIO, 0, 1);
    doc.OnTelemetryFrame("log", nullptr);
    EXPECT_EQ(doc.requests, 2);
    EXPECT_EQ(doc.GetConversionStatus().done, 1);
    EXPECT_FALSE(doc.EndConversion(false));
    EXPECT_EQ(doc.GetOutcome(), EConversionOutcome::kFailed);
    EXPECT_EQ(front_end.messages,
              std::vector<std::string>{"An error occured reading the log file\r\n\"" +
                                       (kWorked / "data.raw").string() +
                                       "\".\r\nThere was a hardware error."});
}

}  // namespace
}  // namespace dravik
