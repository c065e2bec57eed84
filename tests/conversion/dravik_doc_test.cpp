// The conversion document's failure paths, questions, outcomes and
// conversion log, run through the recording front end.
#include "conversion/dravik_doc.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <sys/resource.h>
#include <algorithm>

#include <string>
#include <vector>

#include "settings/memory_settings.h"
#include "conversion_test_support.h"
#include "platform/disk_file.h"

namespace dravik {
namespace {

using namespace dravik::testing;

const fs::path kWorked = DataDir() / "worked_example";

struct Session {
    CRecordingFrontEnd front_end;
    std::unique_ptr<CDravikDoc> doc;
    fs::path dir;
    fs::path log_path;

    explicit Session(const std::string& name) : dir(ScratchDir(name)), log_path(dir / "run.log") {
        doc = MakeDoc(front_end, log_path);
        doc->GetParameters().delimiter = ",";
    }
    void Files(const fs::path& log, const fs::path& output, const fs::path& instrument) {
        doc->SetLogFilePath(log.string());
        doc->SetOutputFilePath(output.string());
        doc->SetInstrumentFilePath(instrument.string());
    }
    // The conversion log once the document has delivered everything.
    std::string Finish() {
        doc.reset();
        return ReadAll(log_path);
    }
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ConversionFailures, BadInputsAreShownLoggedAndFail) {
    fs::path scratch = ScratchDir("bad_inputs");
    WriteAll(scratch / "copy.raw", ReadAll(kWorked / "data.raw"));
    WriteAll(scratch / "table.csv", "depth,temperature\r\n1.5,12.25\r\n");
    struct Case {
        const char* name;
        fs::path log, output, instrument;
        std::string program_dir;  // empty: the examples folder
        std::string message;
        std::string log_text;
    } cases[] = {
        {"missing log", scratch / "none.raw", scratch / "a.dat", kWorked / "abcd0042.tdf", "",
         "An error occured opening the log file\r\n\"" + (scratch / "none.raw").string() +
             "\".\r\nConversion aborted.",
         "An error occured opening the log file.\r\n\tThe file could not be found.\r\n"},
        {"missing instrument", kWorked / "data.raw", scratch / "b.dat", scratch / "none.tdf", "",
         "An error occured reading the instrument file\"" + (scratch / "none.tdf").string() +
             "\".\r\nConversion aborted.",
         "Conversion aborted.\r\n"},
        {"missing header definition", kWorked / "data.raw", scratch / "c.dat", "", scratch.string(),
         "An error occured reading the instrument file\"" + (scratch / "oxahdr1.tdf").string() +
             "\".\r\nConversion aborted.",
         "Begin header conversion.\r\n"},
        {"missing output directory", kWorked / "data.raw", scratch / "no" / "d.dat",
         kWorked / "abcd0042.tdf", "",
         "An error occured opening the output file\r\n\"" + (scratch / "no" / "d.dat").string() +
             "\".\r\nConversion aborted.",
         "An error occured opening the output file.\r\n\tAll or part of the path is invalid.\r\n"},
        // Opening the output would empty the log: refused, saying why.
        {"output is the log", scratch / "copy.raw", scratch / "copy.raw", kWorked / "abcd0042.tdf",
         "",
         "An error occured opening the output file\r\n\"" + (scratch / "copy.raw").string() +
             "\".\r\nIt is the log file of the conversion, which was left as it was.\r\n"
             "Conversion aborted.",
         "An error occured opening the output file.\r\n\tThe output file is the log file of the "
         "conversion.\r\n"},
        // A file with no INSTRUMENT line gives no header to search for.
        {"table as instrument", kWorked / "data.raw", scratch / "f.dat", scratch / "table.csv", "",
         "The instrument file\r\n\"" + (scratch / "table.csv").string() +
             "\"\r\ndefines no instrument header (no INSTRUMENT line).\r\nConversion aborted.",
         "The instrument file defines no instrument header.\r\n"},
        {"full disk", kWorked / "data.raw", "/dev/full", kWorked / "abcd0042.tdf", "",
         "An error occured writing to the output file\r\n\"/dev/full\".\r\nConversion aborted.",
         "An error occured writing to the output file.\r\n\tThe disk is full.\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session run(std::string("bad_") + std::to_string(&c - cases));
        if (!c.program_dir.empty()) run.doc->SetProgramDirectory(c.program_dir);
        run.Files(c.log, c.output, c.instrument);
        EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kFailed);
        ASSERT_EQ(run.front_end.messages.size(), 1u);
        EXPECT_EQ(run.front_end.messages[0], c.message);
        std::string log = run.Finish();
        EXPECT_TRUE(Contains(log, c.log_text)) << log;
        EXPECT_TRUE(Contains(log, std::string(kStamp) + "Conversion aborted.\r\n")) << log;
        if (c.output != "/dev/full" && c.output != c.log) {
            EXPECT_FALSE(fs::exists(c.output));
        }
    }
    EXPECT_EQ(ReadAll(scratch / "copy.raw"), ReadAll(kWorked / "data.raw"));
}

TEST(ConversionFailures, ADiskFillingUpKeepsEveryRowWrittenBefore) {
    // Enough frames for several output buffers.
    std::string log;
    const std::string data = ReadAll(kWorked / "data.raw");
    const std::string one = data.substr(0, 19);  // frame 1 and its time tag
    for (int i = 0; i < 4000; ++i) log += one;
    fs::path dir = ScratchDir("filling");
    WriteAll(dir / "long.raw", log);

    Session whole("filling_whole");
    whole.Files(dir / "long.raw", whole.dir / "out.dat", kWorked / "abcd0042.tdf");
    ASSERT_EQ(whole.doc->RunConversion(), EConversionOutcome::kComplete);
    const std::string expected = ReadAll(whole.dir / "out.dat");
    ASSERT_GT(expected.size(), 60000u);

    // A file size limit stands for the disk filling up part way.
    constexpr rlim_t kLimit = 40000;  // inside the first full output buffer
    struct rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old_limit;
    limit.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    Session full("filling_full");
    full.Files(dir / "long.raw", full.dir / "out.dat", kWorked / "abcd0042.tdf");
    EConversionOutcome outcome = full.doc->RunConversion();
    std::string conversion_log = full.Finish();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);

    EXPECT_EQ(outcome, EConversionOutcome::kFailed);
    ASSERT_EQ(full.front_end.messages.size(), 1u);
    EXPECT_EQ(full.front_end.messages[0], "An error occured writing to the output file\r\n\"" +
                                              (full.dir / "out.dat").string() + "\".");
    EXPECT_TRUE(Contains(
        conversion_log, "An error occured writing to the output file.\r\n\tThe disk is full.\r\n"));
    EXPECT_TRUE(Contains(conversion_log, std::string(kStamp) + "Conversion aborted.\r\n\tFrames"));
    EXPECT_EQ(ReadAll(full.dir / "out.dat"), expected.substr(0, kLimit));
}

TEST(ConversionQuestions, AnExistingOutputFileIsOverwrittenOnlyWhenTheUserAgrees) {
    struct Case {
        const char* name;
        bool prompt;
        bool multiple;
        EOverwriteAnswer answer;
        EConversionOutcome outcome;
        bool overwritten;
    } cases[] = {
        {"cancel", true, false, EOverwriteAnswer::kCancel, EConversionOutcome::kAborted, false},
        {"no, single", true, false, EOverwriteAnswer::kNo, EConversionOutcome::kAborted, false},
        {"no, multiple", true, true, EOverwriteAnswer::kNo, EConversionOutcome::kSkipped, false},
        {"yes", true, false, EOverwriteAnswer::kYes, EConversionOutcome::kComplete, true},
        {"no prompt", false, false, EOverwriteAnswer::kCancel, EConversionOutcome::kComplete, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session run(std::string("overwrite_") + std::to_string(&c - cases));
        fs::path out = run.dir / "out.dat";
        WriteAll(out, "keep me");
        CAppSettings settings = run.doc->GetAppSettings();
        settings.overwrite_prompt = c.prompt;
        run.doc->SetAppSettings(settings);
        run.front_end.overwrite_answers.push_back(c.answer);
        run.Files(kWorked / "data.raw", out, kWorked / "abcd0042.tdf");
        CDravikDoc::CRunOptions options;
        options.multiple = c.multiple;
        EXPECT_EQ(run.doc->RunConversion(options), c.outcome);
        EXPECT_EQ(run.front_end.overwrite_questions.size(), c.prompt ? 1u : 0u);
        if (c.prompt) {
            EXPECT_EQ(run.front_end.overwrite_questions[0],
                      "The output file \"" + out.string() +
                          "\" already exists. Do you wish to overwrite this file and continue the "
                          "conversion?");
            EXPECT_EQ(run.front_end.overwrite_yes_to_all_enabled[0], c.multiple);
        }
        EXPECT_EQ(ReadAll(out) == "keep me", !c.overwritten);
        std::string log = run.Finish();
        if (!c.overwritten) {
            EXPECT_TRUE(EndsWithSummary(log, "Conversion aborted.\r\n")) << log;
        }
    }

    // Yes to All holds for the rest of the run, until the progress display goes.
    Session run("overwrite_all");
    WriteAll(run.dir / "a.dat", "old");
    WriteAll(run.dir / "b.dat", "old");
    run.front_end.overwrite_answers.push_back(EOverwriteAnswer::kYesToAll);
    CDravikDoc::CRunOptions options;
    options.multiple = true;
    options.last_of_run = false;
    run.Files(kWorked / "data.raw", run.dir / "a.dat", kWorked / "abcd0042.tdf");
    EXPECT_EQ(run.doc->RunConversion(options), EConversionOutcome::kComplete);
    options.last_of_run = true;
    run.Files(kWorked / "data.raw", run.dir / "b.dat", kWorked / "abcd0042.tdf");
    EXPECT_EQ(run.doc->RunConversion(options), EConversionOutcome::kComplete);
    EXPECT_EQ(run.front_end.overwrite_questions.size(), 1u);
    EXPECT_NE(ReadAll(run.dir / "a.dat"), "old");
    EXPECT_EQ(ReadAll(run.dir / "b.dat"), ReadAll(run.dir / "a.dat"));
    EXPECT_EQ(run.front_end.progress_created, 1);
    EXPECT_EQ(run.front_end.progress_closed, 1);
}

TEST(ConversionQuestions, AnInstrumentFileWithErrorsAsksWhetherToGoOn) {
    fs::path dir = ScratchDir("line_errors");
    WriteAll(dir / "bad.tdf", ReadAll(kWorked / "abcd0042.tdf") + "EXTRA NONE '' 1 BU\n");
    for (bool go_on : {false, true}) {
        Session run(go_on ? "line_errors_yes" : "line_errors_no");
        run.front_end.yes_no_answers.push_back(go_on);
        run.Files(kWorked / "data.raw", run.dir / "out.dat", dir / "bad.tdf");
        EXPECT_EQ(run.doc->RunConversion(),
                  go_on ? EConversionOutcome::kComplete : EConversionOutcome::kFailed);
        ASSERT_EQ(run.front_end.questions.size(), 1u);
        EXPECT_EQ(run.front_end.questions[0],
                  "Errors found in the following Calibration\\Telemetry Definition File:\r\n\"" +
                      (dir / "bad.tdf").string() +
                      "\"\r\nSee the conversion log for details.\r\n\r\nDo you wish to continue "
                      "the conversion?");
        EXPECT_EQ(fs::exists(run.dir / "out.dat"), go_on);
        std::string log = run.Finish();
        EXPECT_EQ(Contains(log, "Removing instrument: ABCD0042.\r\n"), true);
    }
}

TEST(ConversionOutcome, CancelAndMissingCheckSensorsAreReported) {
    // Cancelled before the first frame: aborted, and no counts.
    Session cancelled("cancel");
    cancelled.Files(kWorked / "data.raw", cancelled.dir / "out.dat", kWorked / "abcd0042.tdf");
    CDravikDoc& doc = *cancelled.doc;
    ASSERT_TRUE(doc.CreateProgressDialog());
    ASSERT_TRUE(doc.PrepareConversion());
    ASSERT_TRUE(doc.StartConversion(false));
    doc.AbortConversion();
    doc.RequestNextFrame();
    ASSERT_TRUE(doc.WaitForDone(10000));
    CConversionStatus status = doc.GetConversionStatus();
    EXPECT_EQ(status.aborted, 1);
    EXPECT_EQ(status.done, 1);
    EXPECT_FALSE(doc.EndConversion(true));
    EXPECT_EQ(doc.GetOutcome(), EConversionOutcome::kAborted);
    std::string log = cancelled.Finish();
    EXPECT_TRUE(EndsWithSummary(log, "Conversion aborted.\r\n")) << log;

    // Checking asked for, but the instrument has no such sensor: one warning
    // each, and the summary leaves the counts out.
    Session missing("missing_sensors");
    fs::path tdf = missing.dir / "plain.tdf";
    WriteAll(tdf,
             "INSTRUMENT ABCD '' 4 AS 0 NONE\nSN 0042 '' 4 AS 0 NONE\n"
             "ES 412.5 'uW/cm^2/nm' 4 BU 0 COUNT\n");
    missing.doc->GetParameters().check_sum_checking = 1;
    missing.doc->GetParameters().frame_counter_checking = 1;
    missing.Files(kWorked / "data.raw", missing.dir / "out.dat", tdf);
    EXPECT_EQ(missing.doc->RunConversion(), EConversionOutcome::kComplete);
    EXPECT_EQ(missing.front_end.messages,
              (std::vector<std::string>{
                  "No valid FRAME COUNTER sensor found in the Telemetry Definition File for "
                  "ABCD0042. No frame counter error checking will occur for the instrument.",
                  "No valid CHECK SUM sensor found in the Telemetry Definition File for ABCD0042. "
                  "No check sum error checking will occur for the instrument."}));
    log = missing.Finish();
    EXPECT_TRUE(EndsWithSummary(log,
                                "Conversion complete.\r\n\tFrames processed: 3\r\n"
                                "\tResynchronizations required: 2\r\n"))
        << log;
}

TEST(ConversionOutcome, NoProgressDisplayOrNoControlFailsCleanly) {
    Session no_display("no_display");
    no_display.front_end.can_create_progress = false;
    no_display.Files(kWorked / "data.raw", no_display.dir / "out.dat", kWorked / "abcd0042.tdf");
    EXPECT_EQ(no_display.doc->RunConversion(), EConversionOutcome::kFailed);
    EXPECT_EQ(no_display.front_end.messages,
              std::vector<std::string>{
                  "Unable to create Conversion Progress Dialog Box.\r\nConversion aborted."});
    EXPECT_FALSE(fs::exists(no_display.dir / "out.dat"));

    // A document whose contents were deleted has no control until it is new again.
    Session cleared("cleared");
    cleared.Files(kWorked / "data.raw", cleared.dir / "out.dat", kWorked / "abcd0042.tdf");
    cleared.doc->DeleteContents();
    EXPECT_EQ(cleared.doc->RunConversion(), EConversionOutcome::kFailed);
    ASSERT_EQ(cleared.front_end.messages.size(), 1u);
    EXPECT_EQ(cleared.front_end.messages[0], "An error occured creating the file resource for " +
                                                 (kWorked / "data.raw").string() +
                                                 ".\r\nConversion aborted.");
    cleared.doc->OnNewDocument();
    EXPECT_EQ(cleared.doc->RunConversion(), EConversionOutcome::kComplete);
}

TEST(ConversionOutcome, EveryFrameIsWrittenWithoutSubsampling) {
    for (int depth : {1, 0, -1}) {
        SCOPED_TRACE(depth);
        Session run("depth_" + std::to_string(depth + 1));
        CDravikParameters& p = run.doc->GetParameters();
        p.process_depth = depth;
        p.show_extra = 1;
        p.time_tags = 1;
        p.time_tags_formatted = 1;
        p.check_sum_checking = 1;
        run.Files(kWorked / "data.raw", run.dir / "out.dat", kWorked / "abcd0042.tdf");
        EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kComplete);
        EXPECT_EQ(ReadAll(run.dir / "out.dat"), ReadAll(kWorked / "expected" / "out.dat"));
    }
}

TEST(ConversionLog, RunsShareOneLogAndAnotherHolderMakesTheNextName) {
    fs::path dir = ScratchDir("log_names");
    WriteAll(dir / "Dravik.log", "another run's log");
    CDiskFile other;
    ASSERT_EQ(other.Open((dir / "Dravik.log").string(), CDiskFile::Mode::kAppend, true), 0);

    CRecordingFrontEnd front_end;
    CMemorySettings store;
    store.WriteInt("Settings", "Conversion Log", 1);
    store.WriteString("Settings", "Conversion Log Directory", dir.string() + "/");
    {
        CDravikDoc doc(front_end, &store);
        doc.SetLocalClock(FixedTime);
        doc.GetParameters().delimiter = ",";
        for (const char* out : {"one.dat", "two.dat"}) {
            doc.SetLogFilePath((kWorked / "data.raw").string());
            doc.SetOutputFilePath((dir / out).string());
            doc.SetInstrumentFilePath((kWorked / "abcd0042.tdf").string());
            EXPECT_EQ(doc.RunConversion(), EConversionOutcome::kComplete);
        }
        EXPECT_EQ(doc.GetConversionLogPath(), dir.string() + "/Dravik2.log");
        std::string window = doc.TakeLogText();
        EXPECT_TRUE(Contains(window, std::string(kStamp) + "Begin instrument conversion.\r\n"));
        EXPECT_EQ(doc.TakeLogText(), "");
    }
    EXPECT_TRUE(front_end.messages.empty());
    EXPECT_EQ(ReadAll(dir / "Dravik.log"), "another run's log");
    std::string log = ReadAll(dir / "Dravik2.log");
    std::size_t first = log.find("Begin instrument conversion.");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Begin instrument conversion.", first + 1), std::string::npos) << log;
    EXPECT_TRUE(Contains(log, std::string(kStamp) + "Conversion complete.\r\n\tFrames processed: 3"
                                                    "\r\n\tResynchronizations required: 2\r\n"));
    // The settings went back to the store when the document went.
    EXPECT_EQ(store.GetString("Settings", "Conversion Log Directory", ""), dir.string() + "/");
    EXPECT_EQ(store.GetInt("Settings", "Save Settings", -1), 1);
}

TEST(ConversionLog, AFailedLogWriteIsAlwaysShown) {
    // The write failure arises on the processing thread; it must reach the
    // user however the conversion ends, and before what followed it.
    const std::string failure =
        "An error occured writing to the conversion log file:\r\n\"/dev/full\".\r\nThe disk is "
        "full.\r\nConversion log aborted.";
    struct Case {
        const char* name;
        fs::path log;
        EConversionOutcome outcome;
        std::size_t messages;
    } cases[] = {
        {"complete", kWorked / "data.raw", EConversionOutcome::kComplete, 1},
        {"setup failed", kWorked / "missing.raw", EConversionOutcome::kFailed, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session run(std::string("log_full_") + std::to_string(&c - cases));
        run.doc->GetParameters().conversion_log_option_file = "/dev/full";
        run.Files(c.log, run.dir / "out.dat", kWorked / "abcd0042.tdf");
        EXPECT_EQ(run.doc->RunConversion(), c.outcome);
        EXPECT_FALSE(run.doc->IsConversionLogOpen());
        ASSERT_EQ(run.front_end.messages.size(), c.messages);
        EXPECT_EQ(run.front_end.messages[0], failure);
    }
}

TEST(ConversionLog, NeverEmptiesTheFilesOfTheConversion) {
    // A conversion log named like the log file or the instrument file would
    // be created anew before they are read: it is refused as a file in use.
    const std::string data = ReadAll(kWorked / "data.raw");
    const std::string instrument = ReadAll(kWorked / "abcd0042.tdf");
    for (const char* input : {"data.raw", "abcd0042.tdf"}) {
        SCOPED_TRACE(input);
        Session run(std::string("log_is_input_") + input);
        WriteAll(run.dir / "data.raw", data);
        WriteAll(run.dir / "abcd0042.tdf", instrument);
        run.doc->GetParameters().conversion_log_option_file = (run.dir / input).string();
        run.Files(run.dir / "data.raw", run.dir / "out.dat", run.dir / "abcd0042.tdf");
        EXPECT_EQ(run.doc->RunConversion(), EConversionOutcome::kComplete);
        ASSERT_EQ(run.front_end.messages.size(), 1u);
        EXPECT_EQ(run.front_end.messages[0],
                  "An error occured while opening the conversion log file\r\n\"" +
                      (run.dir / input).string() +
                      "\".\r\nA sharing violation occured, or a shared region was locked.\r\nNo "
                      "conversion log file will be recorded.");
        run.doc.reset();
        EXPECT_EQ(ReadAll(run.dir / "data.raw"), data);
        EXPECT_EQ(ReadAll(run.dir / "abcd0042.tdf"), instrument);
    }

    // In the conversion log directory the next free name is taken instead.
    fs::path dir = ScratchDir("log_dir_is_input");
    WriteAll(dir / "Dravik.log", data);
    CRecordingFrontEnd front_end;
    CMemorySettings store;
    store.WriteInt("Settings", "Conversion Log", 1);
    store.WriteString("Settings", "Conversion Log Directory", dir.string());
    {
        CDravikDoc doc(front_end, &store);
        doc.SetLogFilePath((dir / "Dravik.log").string());
        doc.SetOutputFilePath((dir / "out.dat").string());
        doc.SetInstrumentFilePath((kWorked / "abcd0042.tdf").string());
        EXPECT_EQ(doc.RunConversion(), EConversionOutcome::kComplete);
        EXPECT_EQ(doc.GetConversionLogPath(), dir.string() + "/Dravik2.log");
    }
    EXPECT_TRUE(front_end.messages.empty());
    EXPECT_EQ(ReadAll(dir / "Dravik.log"), data);
}

TEST(HeaderConversion, TheDefinitionComesFromTheProgramDirectory) {
    // No program directory set: the copy beside the test program is used.
    fs::path dir = ScratchDir("header_default");
    CRecordingFrontEnd front_end;
    {
        CDravikDoc doc(front_end);
        doc.SetLocalClock(FixedTime);
        doc.GetParameters().delimiter = ",";
        doc.SetLogFilePath((DataDir() / "header_records" / "data.raw").string());
        doc.SetOutputFilePath((dir / "out.dat").string());
        EXPECT_EQ(doc.RunConversion(), EConversionOutcome::kComplete);
        EXPECT_TRUE(doc.IsHeaderConversion());
        EXPECT_EQ(doc.GetInstrumentHeader(), "OXAHDR");
    }
    EXPECT_EQ(ReadAll(dir / "out.dat"), "Battery,12.5\r\n,ABC\r\nb,x\r\nDate,2004-11-30\r\n");
}

TEST(HeaderConversion, InstrumentFramesAfterTheRecordsAreNoBufferOverrun) {
    // A real log: a few records, then far more than a buffer of frames.
    Session s("header_then_frames");
    WriteAll(s.dir / "cast.raw", "OXAHDR 12.5 (Battery)\r\n" + std::string(50000, 'x') +
                                     "OXAHDR 3 (Cast)\r\n" + std::string(20000, 'y'));
    s.Files(s.dir / "cast.raw", s.dir / "out.dat", "");
    EXPECT_EQ(s.doc->RunConversion(), EConversionOutcome::kComplete);
    EXPECT_EQ(ReadAll(s.dir / "out.dat"), "Battery,12.5\r\nCast,3\r\n");
    EXPECT_TRUE(EndsWithSummary(s.Finish(),
                                "Conversion complete.\r\n"
                                "\tFrames processed: 2\r\n"
                                "\tResynchronizations required: 1\r\n"));
}

}  // namespace
}  // namespace dravik

namespace dravik {
namespace {

using namespace dravik::testing;

// A document whose frame loop is driven by hand: the answers of the file
// resource (frames, empty answers, discarded bytes) are scripted, so that
// answers the real resource gives only rarely can be played exactly.
class ScriptedDoc : public CDravikDoc {
  public:
    using CDravikDoc::CDravikDoc;
    int GetBytesDiscarded(std::int64_t& count, int) override {
        count = discarded;
        return 0;
    }
    void ResetBytesDiscarded(int) override { discarded = 0; }
    void GetFileFrame(int) override { ++requests; }

    std::int64_t discarded = 0;
    int requests = 0;
};

std::unique_ptr<CFrameData> Frame(const std::string& bytes, int index) {
    CFrameInfo info;
    info.header = "ABCD0042";
    info.frame_size = static_cast<int>(bytes.size());
    info.frame_counter = index;
    return std::make_unique<CFrameData>(bytes, info);
}

TEST(FrameLoop, EmptyAnswersAddOnlyTheDiscardedBytesAndAReadErrorEndsTheLoop) {
    const std::string worked = ReadAll(kWorked / "data.raw");
    const std::string frame1 = worked.substr(0, 12), tag1 = worked.substr(12, 7);
    const std::string frame2 = worked.substr(19, 12), tag2 = worked.substr(31, 7);
    fs::path dir = ScratchDir("scripted");
    // 300 bytes of garbage between the first time tag and the second frame.
    WriteAll(dir / "gap.raw", frame1 + tag1 + std::string(300, 'z') + frame2 + tag2);

    CRecordingFrontEnd front_end;
    ScriptedDoc doc(front_end);
    doc.SetLocalClock(FixedTime);
    CDravikParameters& p = doc.GetParameters();
    p.delimiter = ",";
    p.time_tags = 1;
    p.time_tags_formatted = 1;
    doc.SetLogFilePath((dir / "gap.raw").string());
    doc.SetOutputFilePath((dir / "out.dat").string());
    doc.SetInstrumentFilePath((kWorked / "abcd0042.tdf").string());
    ASSERT_TRUE(doc.PrepareConversion());
    ASSERT_TRUE(doc.StartConversion(false));

    doc.OnTelemetryFrame("log", Frame(frame1, 1));
    EXPECT_EQ(doc.GetConversionStatus().bytes_consumed, 12u);
    // An empty answer in the middle of the file: the first time tag and part
    // of the garbage were dropped, and no frame was taken.
    doc.discarded = 7 + 256;
    doc.OnTelemetryFrame("log", nullptr);
    EXPECT_EQ(doc.GetConversionStatus().bytes_consumed, 12u + 263u);
    doc.discarded = 44;
    doc.OnTelemetryFrame("log", Frame(frame2, 2));
    CConversionStatus status = doc.GetConversionStatus();
    EXPECT_EQ(status.bytes_consumed, 19u + 300u + 12u);
    EXPECT_EQ(status.resynchronizations, 1u);
    EXPECT_EQ(doc.requests, 3);

    // A read error: the resource keeps answering "no frame" without reaching
    // the end of the file; the loop must stop instead of asking forever.
    doc.OnFileResourceStatus("log", kFileHardIO, 0, 1);
    doc.OnTelemetryFrame("log", nullptr);
    EXPECT_EQ(doc.GetConversionStatus().done, 1);
    EXPECT_EQ(doc.requests, 3);
    EXPECT_FALSE(doc.EndConversion(false));
    EXPECT_EQ(doc.GetOutcome(), EConversionOutcome::kFailed);
    EXPECT_EQ(ReadAll(dir / "out.dat"),
              "SN,FRAME(COUNTER),ES(412.5),CHECK(SUM),DATETAG,TIMETAG2\r\n"
              "0042,1,2101,242,2004-123,12:34:56.789\r\n"
              "0042,2,2102,240,2004-123,12:34:57.000\r\n");
}

}  // namespace
}  // namespace dravik

namespace dravik {
namespace {

using namespace dravik::testing;

TEST(Examples, TheShippedCastLogConvertsBothWays) {
    const fs::path log = ExamplesDir() / "cast0003.raw";
    Session header("example_header");
    header.doc->GetParameters().delimiter = "\t";
    header.Files(log, header.dir / "header.dat", "");
    EXPECT_EQ(header.doc->RunConversion(), EConversionOutcome::kComplete);
    EXPECT_EQ(ReadAll(header.dir / "header.dat"),
              "Date\t2026-12-06\r\nStart Time\t10:15:00\r\nStation\tQuillfern Bank\r\n"
              "Cast\t3\r\nBattery\t12.5\r\nWeather\tClear, light wind\r\n"
              "Water Depth m\t14.2\r\n");

    Session nav("example_nav");
    nav.Files(log, nav.dir / "nav.dat", ExamplesDir() / "nav0001.tdf");
    EXPECT_EQ(nav.doc->RunConversion(), EConversionOutcome::kComplete);
    std::string rows = ReadAll(nav.dir / "nav.dat");
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 4) << rows;  // headings and 3 fixes
    EXPECT_TRUE(nav.front_end.messages.empty());
}

}  // namespace
}  // namespace dravik
