#include "app/parameters.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/memory_settings.h"

using namespace dravik;

namespace {

// Every field in one line, so that a failing row shows what differs.
std::string Describe(const CDravikParameters& p) {
    std::string text = "delim=[" + p.delimiter + "]";
    auto add = [&text](const char* name, int value) {
        text += std::string(" ") + name + "=" + std::to_string(value);
    };
    add("imm", p.immersed);
    add("tt", p.time_tags);
    add("ttf", p.time_tags_formatted);
    add("sup", p.suppress_strings);
    add("extra", p.show_extra);
    add("cs", p.check_sum_checking);
    add("fc", p.frame_counter_checking);
    add("buf", p.buffer);
    add("limit", p.process_limit);
    add("depth", p.process_depth);
    add("dbl", p.format.double_type);
    add("fit", p.format.apply_fit);
    add("hex", p.format.hex_format);
    add("width", p.format.width);
    add("prec", p.format.precision);
    add("hasow", p.has_overwrite_option);
    add("ow", p.overwrite_option_prompt);
    add("hasew", p.has_end_window_option);
    add("ew", p.end_window_option_dismiss);
    add("hascl", p.has_conversion_log_option);
    add("parsed", p.options_parsed);
    return text + " cl=[" + p.conversion_log_option_file + "]";
}

using Change = std::function<void(CDravikParameters&)>;

struct OptionCase {
    const char* option;
    bool accepted;
    Change change;  // applied to the defaults gives the expected result
};

}  // namespace

TEST(ParseOption, EveryOptionOfTheCommandLine) {
    // Delimiters are assigned as std::string: g++ 12 gives a false -Wrestrict
    // alarm on assigning a literal inside these lambdas.
    const Change none = [](CDravikParameters&) {};
    const std::vector<OptionCase> cases = {
        // Delimiter: lower-casing comes first, so "dT" is a TAB.
        {"/d,", true, [](auto& p) { p.delimiter = std::string(","); }},
        {"/dT", true, [](auto& p) { p.delimiter = std::string("\t"); }},
        {"/ds", true, [](auto& p) { p.delimiter = std::string(" "); }},
        {"-DS", true, [](auto& p) { p.delimiter = std::string(" "); }},
        {"/d;;", true, [](auto& p) { p.delimiter = std::string(";;"); }},
        {"/dtab", true, [](auto& p) { p.delimiter = std::string("tab"); }},
        {"/dAB", true, [](auto& p) { p.delimiter = std::string("ab"); }},
        {"-d/", true, [](auto& p) { p.delimiter = std::string("/"); }},
        {"/d", false, none},
        {"/d/", false, none},  // an absolute path, not an option
        // Limit and depth.
        {"/l100-5", true, [](auto& p) { p.process_limit = 100, p.process_depth = 5; }},
        {"/l0", true, [](auto& p) { p.process_limit = 0; }},
        {"/l-5", true, [](auto& p) { p.process_depth = 5; }},
        {"/l32766", true, [](auto& p) { p.process_limit = 32766; }},
        {"/l12abc", true, [](auto& p) { p.process_limit = 12; }},
        {"/l40000", false, none},
        {"/l32767", false, none},
        {"/l100-0", false, none},
        {"/l40000-5", false, none},  // the good depth is not kept either
        {"/l5-", false, none},
        {"/l", false, none},
        {"/lx", false, none},
        // Buffer, with numbers that would wrap in 32 bits.
        {"/b4096", true, [](auto& p) { p.buffer = 4096; }},
        {"/b1024", true, [](auto& p) { p.buffer = 1024; }},
        {"/b65535", true, [](auto& p) { p.buffer = 65535; }},
        {"/b+2048", true, [](auto& p) { p.buffer = 2048; }},
        {"/b1023", false, none},
        {"/b65536", false, none},
        {"/b4294971392", false, none},
        {"/b99999999999999999999999", false, none},
        {"/b", false, none},
        {"/b+-2048", false, none},
        // Calibration.
        {"/c", true, [](auto& p) { p.format.apply_fit = 1; }},
        {"/C", true, [](auto& p) { p.format.apply_fit = 1; }},
        {"/ci", true, [](auto& p) { p.format.apply_fit = 1, p.immersed = 1; }},
        {"/cx", false, none},
        {"/cix", false, none},
        {"/ci=yes", false, none},
        // Error checks.
        {"/efc", true, [](auto& p) { p.frame_counter_checking = 1, p.check_sum_checking = 1; }},
        {"/ecf", true, [](auto& p) { p.frame_counter_checking = 1, p.check_sum_checking = 1; }},
        {"/echo", true, [](auto& p) { p.check_sum_checking = 1; }},
        {"/ef", true, [](auto& p) { p.frame_counter_checking = 1; }},
        {"/e", false, none},
        {"/ex", false, none},
        // End window.
        {"/ew=yes", true,
         [](auto& p) { p.has_end_window_option = 1, p.end_window_option_dismiss = 1; }},
        {"/EndWindow=Y", true,
         [](auto& p) { p.has_end_window_option = 1, p.end_window_option_dismiss = 1; }},
        {"/ew=n", true, [](auto& p) { p.has_end_window_option = 1; }},
        {"/ew=maybe", false, none},
        {"/ew=", false, none},
        {"/ewyes", false, none},
        {"/ewx=yes", false, none},
        // Overwrite: "yes" means no prompt.
        {"/ow=yes", true, [](auto& p) { p.has_overwrite_option = 1; }},
        {"/overwrite=no", true,
         [](auto& p) { p.has_overwrite_option = 1, p.overwrite_option_prompt = 1; }},
        {"/overwrite=", false, none},
        {"/ow", false, none},
        {"/o=yes", false, none},
        // Conversion log: the file name keeps its case and may be a path.
        {"/cl=/data/Run.log", true,
         [](auto& p) {
             p.has_conversion_log_option = 1, p.conversion_log_option_file = "/data/Run.log";
         }},
        {"-ConversionLog=Mixed.LOG", true,
         [](auto& p) {
             p.has_conversion_log_option = 1, p.conversion_log_option_file = "Mixed.LOG";
         }},
        {"/cl=", false, none},
        {"/clx=a", false, none},
        // Number formats and the rest.
        {"/ff", true, none},
        {"/fe", true, [](auto& p) { p.format.double_type = 1; }},
        {"/fgxyz", true, [](auto& p) { p.format.double_type = 2; }},
        {"/fx", false, none},
        {"/f", false, none},
        {"/hello", true, [](auto& p) { p.format.hex_format = 1; }},
        {"/p0", true, [](auto& p) { p.format.precision = 0; }},
        {"/p32767", false, none},
        {"/p-1", false, none},
        {"/s", true, [](auto& p) { p.suppress_strings = 1; }},
        {"/t", true, [](auto& p) { p.time_tags = 1; }},
        {"/tf", true, [](auto& p) { p.time_tags = 1, p.time_tags_formatted = 1; }},
        {"/tx", true, [](auto& p) { p.time_tags = 1; }},
        {"/w1", true, [](auto& p) { p.format.width = 1; }},
        {"/w0", false, none},
        {"-x", true, [](auto& p) { p.show_extra = 1; }},
        // Not options at all.
        {"/a", false, none},
        {"/g", false, none},
        {"/i", false, none},
        {"/n", false, none},
        {"/1", false, none},
        {"/", false, none},
        {"x", false, none},
        {"", false, none},
        {"/data/cast1.raw", false, none},
    };
    for (const OptionCase& c : cases) {
        CDravikParameters parsed;
        CDravikParameters expected;
        c.change(expected);
        if (c.accepted) expected.options_parsed = 1;
        EXPECT_EQ(parsed.ParseOption(c.option), c.accepted) << c.option;
        EXPECT_EQ(Describe(parsed), Describe(expected)) << c.option;
    }
}

TEST(ParseOption, OptionsAccumulateAndAreCounted) {
    CDravikParameters p;
    for (const char* option : {"/c", "/dt", "/l100-5", "/l-3", "/ow=yes"}) {
        EXPECT_TRUE(p.ParseOption(option)) << option;
    }
    EXPECT_FALSE(p.ParseOption("out.dat"));
    EXPECT_EQ(p.options_parsed, 5);
    EXPECT_EQ(p.process_limit, 100);  // "/l-3" changes only the depth
    EXPECT_EQ(p.process_depth, 3);
    EXPECT_EQ(p.format.apply_fit, 1);
}

TEST(IsOptionArgument, AbsolutePathsAreFileNames) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"/c", true},
        {"-dt", true},
        {"-d/", true},
        {"/cl=/data/run.log", true},
        {"/", true},
        {"-", true},
        {"/data/cast1.raw", false},
        {"/d/", false},
        {"//", false},
        {"/data/a=b", false},
        {"log.raw", false},
        {"", false},
    };
    for (const auto& [arg, option] : cases) EXPECT_EQ(IsOptionArgument(arg), option) << arg;
}

TEST(Parameters, ReadWriteRoundTripKeepsCommandLineValuesOut) {
    CMemorySettings store;
    CDravikParameters fresh;
    fresh.ReadParameters(store);
    EXPECT_EQ(Describe(fresh), Describe(CDravikParameters()));

    CDravikParameters p;
    for (const char* option : {"/d;", "/ci", "/tf", "/s", "/x", "/efc", "/b2048", "/l10-2", "/fe",
                               "/h", "/w12", "/p3", "/ow=yes", "/ew=yes", "/cl=x.log"}) {
        ASSERT_TRUE(p.ParseOption(option)) << option;
    }
    p.WriteParameters(store);
    EXPECT_EQ(store.KeyCount(kParametersSection), 16u);
    EXPECT_EQ(store.GetString(kParametersSection, "Delimiter", ""), ";");
    EXPECT_EQ(store.GetInt(kParametersSection, "Apply Fit", -1), 1);

    CDravikParameters back;
    back.ReadParameters(store);
    CDravikParameters expected = p;
    expected.has_overwrite_option = expected.has_end_window_option = 0;
    expected.has_conversion_log_option = expected.end_window_option_dismiss = 0;
    expected.conversion_log_option_file.clear();
    expected.options_parsed = 0;
    EXPECT_EQ(Describe(back), Describe(expected));
}

TEST(Parameters, LoadRulesTreatMinusOneAsMissing) {
    CMemorySettings store;
    CDravikParameters p;
    p.process_limit = 50;
    store.WriteInt(kParametersSection, "Process Limit", -1);
    store.WriteString(kParametersSection, "Delimiter", "-1");
    store.WriteString(kParametersSection, "Buffer", "4096");  // wrong kind: not an integer
    p.ReadParameters(store);
    EXPECT_EQ(p.process_limit, 50);
    EXPECT_EQ(p.delimiter, "\t");
    EXPECT_EQ(p.buffer, 8192);

    store.WriteString(kParametersSection, "Delimiter", "");
    p.ReadParameters(store);
    EXPECT_EQ(p.delimiter, "\t");

    store.WriteString(kParametersSection, "Delimiter", ",");
    store.WriteInt(kParametersSection, "Process Depth", 0);
    p.ReadParameters(store);
    EXPECT_EQ(p.delimiter, ",");
    EXPECT_EQ(p.process_depth, 0);  // stored values get no range test
}
