#include "settings/parameters.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "settings/memory_settings.h"

using namespace dravik;

namespace {

// Every field in one line, so that a failing case shows what differs.
std::string Describe(const CDravikParameters& p) {
    std::ostringstream text;
    text << "[" << p.delimiter << "][" << p.conversion_log_option_file << "] " << p.immersed << " "
         << p.time_tags << " " << p.time_tags_formatted << " " << p.suppress_strings << " "
         << p.show_extra << " " << p.check_sum_checking << " " << p.frame_counter_checking << " "
         << p.buffer << " " << p.process_limit << " " << p.process_depth << " "
         << p.format.double_type << " " << p.format.apply_fit << " " << p.format.hex_format << " "
         << p.format.width << " " << p.format.precision << " " << p.has_overwrite_option << " "
         << p.overwrite_option_prompt << " " << p.has_end_window_option << " "
         << p.end_window_option_dismiss << " " << p.has_conversion_log_option << " "
         << p.options_parsed;
    return text.str();
}

}  // namespace

TEST(ParseOption, EveryOptionOfTheCommandLine) {
    using P = CDravikParameters&;
    // Each accepted option with what it changes from the defaults. Delimiters
    // are assigned as std::string: g++ 12 gives a false -Wrestrict alarm on
    // assigning a literal inside these lambdas.
    const std::vector<std::pair<const char*, std::function<void(P)>>> accepted = {
        {"/d,", [](P p) { p.delimiter = std::string(","); }},
        {"/dT", [](P p) { p.delimiter = std::string("\t"); }},  // lower-cased first
        {"-DS", [](P p) { p.delimiter = std::string(" "); }},
        {"/d;;", [](P p) { p.delimiter = std::string(";;"); }},
        {"/dTab", [](P p) { p.delimiter = std::string("tab"); }},
        {"-d/", [](P p) { p.delimiter = std::string("/"); }},
        {"/l100-5", [](P p) { p.process_limit = 100, p.process_depth = 5; }},
        {"/l0", [](P p) { p.process_limit = 0; }},
        {"/l-5", [](P p) { p.process_depth = 5; }},
        {"/l32766", [](P p) { p.process_limit = 32766; }},
        {"/l12abc", [](P p) { p.process_limit = 12; }},
        {"/b4096", [](P p) { p.buffer = 4096; }},
        {"/b1024", [](P p) { p.buffer = 1024; }},
        {"/b65535", [](P p) { p.buffer = 65535; }},
        {"/b+2048", [](P p) { p.buffer = 2048; }},
        {"/C", [](P p) { p.format.apply_fit = 1; }},
        {"/ci", [](P p) { p.format.apply_fit = 1, p.immersed = 1; }},
        {"/efc", [](P p) { p.frame_counter_checking = 1, p.check_sum_checking = 1; }},
        {"/ecf", [](P p) { p.frame_counter_checking = 1, p.check_sum_checking = 1; }},
        {"/echo", [](P p) { p.check_sum_checking = 1; }},
        {"/ef", [](P p) { p.frame_counter_checking = 1; }},
        {"/ew=yes", [](P p) { p.has_end_window_option = 1, p.end_window_option_dismiss = 1; }},
        {"/EndWindow=Y", [](P p) { p.has_end_window_option = 1, p.end_window_option_dismiss = 1; }},
        {"/ew=n", [](P p) { p.has_end_window_option = 1; }},
        {"/ow=yes", [](P p) { p.has_overwrite_option = 1; }},  // "yes": no prompt
        {"/overwrite=no", [](P p) { p.has_overwrite_option = 1, p.overwrite_option_prompt = 1; }},
        // The conversion log's file name keeps its case and may be an absolute path.
        {"/cl=/data/Run.log",
         [](P p) {
             p.has_conversion_log_option = 1, p.conversion_log_option_file = "/data/Run.log";
         }},
        {"-ConversionLog=Mixed.LOG",
         [](P p) { p.has_conversion_log_option = 1, p.conversion_log_option_file = "Mixed.LOG"; }},
        {"/ff", [](P) {}},
        {"/fe", [](P p) { p.format.double_type = 1; }},
        {"/fgxyz", [](P p) { p.format.double_type = 2; }},
        {"/hello", [](P p) { p.format.hex_format = 1; }},
        {"/p0", [](P p) { p.format.precision = 0; }},
        {"/s", [](P p) { p.suppress_strings = 1; }},
        {"/tx", [](P p) { p.time_tags = 1; }},
        {"/tf", [](P p) { p.time_tags = 1, p.time_tags_formatted = 1; }},
        {"/w1", [](P p) { p.format.width = 1; }},
        {"-x", [](P p) { p.show_extra = 1; }},
    };
    for (const auto& [option, change] : accepted) {
        CDravikParameters parsed, expected;
        change(expected);
        expected.options_parsed = 1;
        EXPECT_TRUE(parsed.ParseOption(option)) << option;
        EXPECT_EQ(Describe(parsed), Describe(expected)) << option;
    }
    // A refused option changes nothing: "/l40000-5" keeps its good depth out too,
    // and numbers that would wrap in 32 bits are refused, not wrapped.
    std::istringstream refused(
        "/d /d/ /l40000 /l32767 /l100-0 /l40000-5 /l5- /l /lx /b1023 /b65536 /b4294971392 "
        "/b99999999999999999999999 /b /b+-2048 /cx /cix /ci=yes /e /ex /ew=maybe /ew= /ewyes "
        "/ewx=yes /overwrite= /ow /o=yes /cl= /clx=a /fx /f /p32767 /p-1 /w0 /a /g /i /n /1 / x "
        "/data/cast1.raw");
    std::vector<std::string> options(std::istream_iterator<std::string>(refused), {});
    options.emplace_back();
    for (const std::string& option : options) {
        CDravikParameters parsed;
        EXPECT_FALSE(parsed.ParseOption(option)) << option;
        EXPECT_EQ(Describe(parsed), Describe(CDravikParameters())) << option;
    }
}

TEST(IsOptionArgument, AbsolutePathsAreFileNames) {
    for (const char* option : {"/c", "-dt", "-d/", "/cl=/data/run.log", "/", "-"}) {
        EXPECT_TRUE(IsOptionArgument(option)) << option;
    }
    for (const char* name : {"/data/cast1.raw", "/d/", "//", "/data/a=b", "log.raw", ""}) {
        EXPECT_FALSE(IsOptionArgument(name)) << name;
    }
}

// Every stored field comes back; what the command line alone sets is never
// stored.
TEST(Parameters, ReadWriteRoundTripKeepsCommandLineValuesOut) {
    CDravikParameters p, back;
    for (const char* option : {"/d;", "/ci", "/tf", "/s", "/x", "/efc", "/b2048", "/l10-2", "/fe",
                               "/h", "/w12", "/p3", "/ow=yes", "/ew=yes", "/cl=x.log"}) {
        ASSERT_TRUE(p.ParseOption(option)) << option;
    }
    CMemorySettings store;
    p.WriteParameters(store);
    back.ReadParameters(store);
    p.has_overwrite_option = p.has_end_window_option = p.has_conversion_log_option = 0;
    p.end_window_option_dismiss = p.options_parsed = 0;
    p.conversion_log_option_file.clear();
    EXPECT_EQ(Describe(back), Describe(p));
}
