#include "telemetry/oxa_telemetry_doc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace dravik {
namespace {

std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    return t;
}

TEST(MessageStamp, LinesAreStampedUnlessDetailOrBlank) {
    const std::string stamp = "2026-03-07  09:05:03> ";
    const struct {
        const char* text;
        std::string stamped;
    } cases[] = {
        {"A\r\n\tdetail\r\n\r\nC\r\nD", stamp + "A\r\n\tdetail\r\n\r\n" + stamp + "C\r\n"},
        // The first line is always stamped; a text without a line end vanishes.
        {"\tfirst\r\n", stamp + "\tfirst\r\n"},
        {"no line end", ""},
        {"a\rb\nc\r\n", stamp + "a\rb\nc\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(COxaTelemetryDoc::StampMessage(c.text, FixedTime()), c.stamped) << c.text;
    }

    COxaTelemetryDoc doc;
    doc.DeleteContents();
    std::string text = "unchanged\r\n";
    doc.OnTelemetryMessage(text);  // no control: left as it is
    EXPECT_EQ(text, "unchanged\r\n");
}

// Sensor types and identifiers ignore case; data types, units and fits are
// exact; the first sensor in sensor order wins.
TEST(SensorFinders, FrameCounterAndCheckSum) {
    const struct {
        const char* sensors;
        int frame_counter;
        int check_sum;
    } cases[] = {
        {"FRAMECOUNTER NONE 'DN' 1 BU 0 COUNT\nFRAME COUNTER 'DN' 1 BU 0 COUNT\n", 0, -1},
        {"TIMER NONE 'sec' 4 BU 0 COUNT\nframe counter 'DN' 1 AI 0 COUNT\n", 1, -1},
        {"FRAME COUNTER 'DN' 2 BU 0 COUNT\nFRAME OTHER 'DN' 1 BU 0 COUNT\n", -1, -1},
        {"FRAME OTHER 'DN' 1 BU 0 COUNT\nFRAME COUNTER 'DN' 1 BU 0 COUNT\n", 1, -1},
        {"CHECK SUM '' 2 BU 0 COUNT\nCHECKSUM NONE '' 1 BU 0 COUNT\n", -1, 1},
        {"check sum '' 1 BU 0 COUNT\nFRAMECOUNTER NONE 'DN' 1 BU 0 NONE\n", -1, 0},
    };
    for (const auto& c : cases) {
        char name[] = "/tmp/dravik_find_XXXXXX.cal";
        const int fd = mkstemps(name, 4);
        ASSERT_GE(fd, 0);
        const std::string content =
            std::string("INSTRUMENT ABC '' 3 AS 0 NONE\nSN 0001 '' 4 AS 0 NONE\n") + c.sensors;
        ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        close(fd);
        COxaTelemetryDoc doc;
        ASSERT_EQ(doc.AddInstrument(name), 0) << c.sensors;
        std::remove(name);
        EXPECT_EQ(doc.FindFrameCounterSensor(0), c.frame_counter) << c.sensors;
        EXPECT_EQ(doc.FindChecksumSensor(0), c.check_sum) << c.sensors;
        EXPECT_EQ(doc.FindFrameCounterSensor(1), -1);  // no such instrument
        doc.DeleteContents();
    }
}

}  // namespace
}  // namespace dravik
