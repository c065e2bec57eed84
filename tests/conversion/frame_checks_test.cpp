// The frame counter and check sum checks on the worked example instrument:
// counter sequences, damaged and cut frames, what is logged and counted
// (the golden case frame_checks shows them in a whole conversion).
#include "conversion/frame_checks.h"

#include <gtest/gtest.h>

#include <vector>

#include "conversion_test_support.h"
#include "instrument/instrument.h"

namespace dravik {
namespace {

using namespace dravik::testing;

// A worked example frame: header, counter, a two-byte value, check sum byte
// (made right unless `sum_off`), cut to `length` bytes.
CFrameData Frame(std::uint8_t counter, int sum_off = 0, std::size_t length = 12) {
    std::string bytes = "ABCD0042";
    bytes += static_cast<char>(counter);
    bytes += "\x08\x35";
    unsigned sum = 0;
    for (unsigned char c : bytes) sum += c;
    bytes += static_cast<char>((256 - sum % 256 + sum_off) % 256);
    CFrameInfo info;
    info.header = "ABCD0042";
    info.frame_size = 12;
    return CFrameData(bytes.substr(0, length), info);
}

TEST(FrameChecks, ErrorsAreLoggedCountedAndEndTheFramesChecks) {
    CInstrument instrument;
    ASSERT_EQ(instrument.Load((DataDir() / "worked_example" / "abcd0042.tdf").string()), 0);
    std::vector<std::string> log;
    CFrameChecks checks;
    checks.Start(instrument.GetSensor(0), instrument.GetSensor(2),
                 [&](const std::string& text) { log.push_back(text); });
    struct Step {
        CFrameData frame;
        bool readable;
        unsigned residual;
        const char* logged;  // null: nothing
    } steps[] = {
        {Frame(254), true, 0, nullptr},
        {Frame(255), true, 0, nullptr},
        {Frame(0), true, 0, nullptr},  // the counter wraps after 255
        {Frame(2), true, 0, "Frame counter error detected for frame index 4.\r\n"},
        {Frame(20), true, 0, nullptr},  // the reference again after the error
        {Frame(21, 1), true, 1, "Check sum error detected for frame index 6.\r\n"},
        {Frame(40), true, 0, nullptr},  // and after a bad check sum
        // The check sum byte is cut off: the counter is still checked.
        {Frame(41, 0, 11), false, 0, "Check sum sensor error for frame index 8.\r\n"},
        // The counter is cut off: the check sum is not looked at.
        {Frame(43, 5, 8), false, 0, "Frame counter sensor error for frame index 9.\r\n"},
    };
    unsigned index = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(++index);
        log.clear();
        EXPECT_EQ(checks.Check(s.frame, index), s.readable);
        EXPECT_EQ(checks.GetResidual(), s.residual);
        EXPECT_EQ(log, s.logged ? std::vector<std::string>{s.logged} : std::vector<std::string>{});
    }
    EXPECT_EQ(checks.GetCounterErrors(), 2u);
    EXPECT_EQ(checks.GetCheckSumErrors(), 2u);
    // The sum never reaches past the frame's end.
    const std::uint8_t bytes[] = {0xFF, 0xFF, 0x03};
    EXPECT_EQ(CheckSumResidual(bytes, 1000), 0x01u);
}

}  // namespace
}  // namespace dravik
