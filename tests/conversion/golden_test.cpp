// Golden conversions: each folder of tests/data with a case.txt holds the
// inputs of one conversion (instrument file, small log) and its expected
// output, checked by hand once. The conversion runs through the document as
// a front end would run it, and the output is compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "conversion_test_support.h"

namespace dravik {
namespace {

using namespace dravik::testing;

std::map<std::string, std::string> ReadCase(const fs::path& file) {
    std::map<std::string, std::string> values;
    std::istringstream in(ReadAll(file));
    std::string line;
    while (std::getline(in, line)) {
        std::size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

void ApplyCase(const std::map<std::string, std::string>& values, CDravikParameters& p) {
    auto number = [&](const char* key, int& field) {
        auto it = values.find(key);
        if (it != values.end()) field = std::stoi(it->second);
    };
    if (auto it = values.find("delimiter"); it != values.end()) p.delimiter = it->second;
    number("show_extra", p.show_extra);
    number("time_tags", p.time_tags);
    number("time_tags_formatted", p.time_tags_formatted);
    number("suppress_strings", p.suppress_strings);
    number("immersed", p.immersed);
    number("check_sum_checking", p.check_sum_checking);
    number("frame_counter_checking", p.frame_counter_checking);
    number("buffer", p.buffer);
    number("process_limit", p.process_limit);
    number("process_depth", p.process_depth);
    number("width", p.format.width);
    number("precision", p.format.precision);
    number("apply_fit", p.format.apply_fit);
    number("hex_format", p.format.hex_format);
    number("double_type", p.format.double_type);
}

const char* OutcomeName(EConversionOutcome outcome) {
    switch (outcome) {
        case EConversionOutcome::kComplete:
            return "complete";
        case EConversionOutcome::kSkipped:
            return "skipped";
        case EConversionOutcome::kAborted:
            return "aborted";
        case EConversionOutcome::kFailed:
            return "failed";
    }
    return "?";
}

TEST(GoldenConversions, EveryCaseMatchesItsExpectedFilesByteForByte) {
    std::vector<fs::path> cases;
    for (const auto& entry : fs::directory_iterator(DataDir())) {
        if (fs::exists(entry.path() / "case.txt")) cases.push_back(entry.path());
    }
    std::sort(cases.begin(), cases.end());
    ASSERT_GE(cases.size(), 10u);

    for (const fs::path& dir : cases) {
        const std::string name = dir.filename().string();
        SCOPED_TRACE(name);
        auto values = ReadCase(dir / "case.txt");
        fs::path out_dir = ScratchDir("golden_" + name);

        CRecordingFrontEnd front_end;
        auto doc = MakeDoc(front_end, out_dir / "run.log");
        ApplyCase(values, doc->GetParameters());
        doc->SetLogFilePath((dir / "data.raw").string());
        doc->SetOutputFilePath((out_dir / "out.dat").string());
        if (values.count("instrument")) {
            doc->SetInstrumentFilePath((dir / values["instrument"]).string());
        }
        EConversionOutcome outcome = doc->RunConversion();
        doc.reset();  // the control delivers its last messages and stops

        EXPECT_STREQ(OutcomeName(outcome), values["outcome"].c_str());
        EXPECT_TRUE(front_end.messages.empty()) << front_end.messages.front();
        // The progress display's last word: its status text and a full bar
        // after a complete conversion.
        std::string status = values.count("status") ? values["status"] : "Conversion complete.";
        for (std::size_t at; (at = status.find("\\r\\n")) != std::string::npos;) {
            status.replace(at, 4, "\r\n");
        }
        EXPECT_EQ(front_end.last_report.status_text, status);
        if (outcome == EConversionOutcome::kComplete) {
            EXPECT_EQ(front_end.last_report.percent, 100);
        }
        EXPECT_EQ(ReadAll(out_dir / "out.dat"), ReadAll(dir / "expected.dat"));

        // The summary is the conversion's last text in the log; its first
        // line carries the stamp and its count lines do not.
        std::string log = ReadAll(out_dir / "run.log");
        std::string summary = ReadAll(dir / "expected_summary.txt");
        ASSERT_FALSE(summary.empty());
        std::string stamped = kStamp + summary;
        ASSERT_GE(log.size(), stamped.size()) << log;
        EXPECT_EQ(log.substr(log.rfind(kStamp)), stamped) << log;
    }
}

}  // namespace
}  // namespace dravik
