#include "frontend/run_plan.h"

#include <gtest/gtest.h>

#include "../conversion/conversion_test_support.h"
#include "frontend/file_naming.h"

namespace dravik {
namespace {

using testing::ScratchDir;
using testing::WriteAll;
namespace fs = std::filesystem;

CFileNaming Titles(NamingKind kind, const char* extension = "dat") {
    CFileNaming naming(kind);
    naming.Settings().file_mode = kNamingFileTitles;
    naming.Settings().file_extension = extension;
    return naming;
}

TEST(RunPlanTest, InstrumentsRunFastestAndAHeaderRunTakesEachLogOnce) {
    const CRunPlan plan(NamingKind::kInstrument, {"/a/c1.raw", "c2.raw"},
                        {"i1.cal", "/x/i2.tdf", "i3.cal"});
    ASSERT_EQ(plan.Size(), 6u);
    const char* labels[] = {"c1.raw with i1.cal", "c1.raw with i2.tdf", "c1.raw with i3.cal",
                            "c2.raw with i1.cal", "c2.raw with i2.tdf", "c2.raw with i3.cal"};
    for (std::size_t i = 0; i < plan.Size(); ++i) EXPECT_EQ(plan.Label(i), labels[i]) << i;
    EXPECT_EQ(plan.At(4).log, 1u);
    EXPECT_EQ(plan.At(4).instrument, 1u);
    EXPECT_EQ(plan.InstrumentPath(4), "/x/i2.tdf");

    const CRunPlan header(NamingKind::kHeader, {"c1.raw", "c2.raw"}, {"ignored.cal"});
    ASSERT_EQ(header.Size(), 2u);
    EXPECT_EQ(header.At(1).log, 1u);
    EXPECT_FALSE(header.At(1).instrument);
    EXPECT_EQ(header.InstrumentPath(1), "");
    EXPECT_EQ(header.Label(1), "c2.raw");
    EXPECT_EQ(CRunPlan(NamingKind::kInstrument, {"c1.raw"}, {}).Size(), 0u);
}

// The view names one pair at a time: pairs without a name are passed over,
// and an increasing number gives each pair the number it has when it comes.
TEST(RunPlanTest, PairsTakenOneAtATimeSkipThoseWithoutAName) {
    const CRunPlan plan(NamingKind::kInstrument, {"c1.raw", ".raw"}, {"i1.cal", ".cal"});
    const CFileNaming titles = Titles(NamingKind::kInstrument);
    std::vector<std::string> names;
    for (auto next = plan.NextNamed(0, titles); next;
         next = plan.NextNamed(next->index + 1, titles)) {
        names.push_back(std::to_string(next->index) + " " + next->name);
    }
    EXPECT_EQ(names, std::vector<std::string>{"0 c1-i1.dat"});

    CFileNaming counter(NamingKind::kInstrument);
    ASSERT_EQ(counter.Store(kNamingAutoIncrement, "stn", "7", "txt", kIncrementNumeric),
              ENamingError::kNone);
    EXPECT_EQ(plan.NextNamed(2, counter)->name, "stn007.txt");
    counter.AdvanceIncrement();
    EXPECT_EQ(plan.NextNamed(3, counter)->name, "stn008.txt");
    EXPECT_FALSE(plan.NextNamed(4, counter));
}

TEST(RunPlanTest, NamingAllRefusesOneOutputTwiceAndOutputsThatAreInputs) {
    const fs::path dir = ScratchDir("run_plan_names");
    fs::create_directories(dir / "sub");
    for (const char* name : {"a.raw", "sub/a.raw", "b.raw", "i.cal"}) WriteAll(dir / name, "x");
    fs::create_symlink(dir / "b.raw", dir / "b.dat");
    const std::string d = dir.string() + "/";
    struct Case {
        std::vector<std::string> logs;
        std::vector<std::string> instruments;
        const char* extension;
        std::string directory;
        std::string refusal;  // empty: accepted
    } cases[] = {
        {{d + "a.raw", d + "b.raw"}, {d + "i.cal"}, "dat", d + "sub/", ""},
        {{d + "a.raw", d + "sub/a.raw"},
         {},
         "dat",
         d,
         "The conversions of a.raw and of a.raw would both write \"" + d + "a.dat\"."},
        // The same file under two spellings is one output.
        {{d + "a.raw", d + "b.raw"},
         {d + "i.cal", d + "sub/../i.cal"},
         "dat",
         d + "sub/",
         "The conversions of a.raw with i.cal and of a.raw with i.cal would both write \"" + d +
             "sub/a-i.dat\"."},
        {{d + "a.raw"},
         {},
         "raw",
         d,
         "The output file \"" + d +
             "a.raw\" is one of the files to convert or an instrument file."},
        // An output that leads to an input through a link.
        {{d + "b.raw"},
         {},
         "dat",
         d,
         "The output file \"" + d +
             "b.dat\" is one of the files to convert or an instrument file."},
    };
    for (const Case& c : cases) {
        const NamingKind kind =
            c.instruments.empty() ? NamingKind::kHeader : NamingKind::kInstrument;
        CRunPlan plan(kind, c.logs, c.instruments);
        const auto refusal = plan.NameAll(Titles(kind, c.extension), c.directory);
        EXPECT_EQ(refusal.value_or(""), c.refusal) << c.directory;
    }
    CRunPlan plan(NamingKind::kInstrument, {d + "a.raw", d + "b.raw"}, {d + "i.cal", ".cal"});
    ASSERT_FALSE(plan.NameAll(Titles(NamingKind::kInstrument), "out/"));
    EXPECT_EQ(plan.OutputPath(2), "out/b-i.dat");
    EXPECT_EQ(plan.OutputPath(3), "");  // no instrument title, no name
}

TEST(RunPlanTest, AFileUnderTwoNamesIsOneLog) {
    const fs::path dir = ScratchDir("run_plan_logs");
    for (const char* name : {"a.raw", "b.raw"}) WriteAll(dir / name, "x");
    fs::create_symlink(dir / "a.raw", dir / "link.raw");
    fs::create_hard_link(dir / "b.raw", dir / "hard.raw");
    const std::string d = dir.string() + "/";
    const CRunPlan plan(NamingKind::kInstrument,
                        {d + "a.raw", d + "b.raw", d + "link.raw", d + "hard.raw", d + "none.raw"},
                        {"i.cal", "j.cal"});
    EXPECT_EQ(plan.LogKeys(), (std::vector<std::size_t>{0, 0, 1, 1, 0, 0, 1, 1, 4, 4}));
}

}  // namespace
}  // namespace dravik
