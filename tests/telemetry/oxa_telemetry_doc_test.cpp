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
    EXPECT_EQ(COxaTelemetryDoc::StampMessage("A\r\n\tdetail\r\n\r\nC\r\nD", FixedTime()),
              stamp + "A\r\n\tdetail\r\n\r\n" + stamp + "C\r\n");
    // The first line is always stamped; a text without a line end vanishes.
    EXPECT_EQ(COxaTelemetryDoc::StampMessage("\tfirst\r\n", FixedTime()), stamp + "\tfirst\r\n");
    EXPECT_EQ(COxaTelemetryDoc::StampMessage("no line end", FixedTime()), "");
    EXPECT_EQ(COxaTelemetryDoc::StampMessage("a\rb\nc\r\n", FixedTime()), stamp + "a\rb\nc\r\n");

    COxaTelemetryDoc doc;
    doc.SetLocalClock(FixedTime);
    std::string text = "Attaching X to Y.\r\n";
    doc.OnTelemetryMessage(text);
    EXPECT_EQ(text, stamp + "Attaching X to Y.\r\n");
    doc.DeleteContents();
    text = "unchanged\r\n";
    doc.OnTelemetryMessage(text);  // no control: left as it is
    EXPECT_EQ(text, "unchanged\r\n");
}

TEST(SensorFinders, CaseRulesAndSensorOrder) {
    char name[] = "/tmp/dravik_find_XXXXXX.cal";
    int fd = mkstemps(name, 4);
    ASSERT_GE(fd, 0);
    const std::string content =
        "INSTRUMENT ABC '' 3 AS 0 NONE\n"
        "SN 0001 '' 4 AS 0 NONE\n"
        "TIMER NONE 'sec' 4 BU 0 COUNT\n"                             // 0
        "PRES NONE 'M' 2 BU 1 POLYU\n  0.0 1.0\n"                     // 1: units M in capitals: no
        "FRAMECOUNTER NONE 'DN' 1 BU 0 COUNT\n"                       // 2
        "PRES NONE 'DBAR' 2 BU 1 POLYU\n  0.0 1.0\n"                  // 3
        "T w 'C' 2 BU 1 POLYU\n  0.0 1.0\n"                           // 4
        "FRAME COUNTER 'DN' 1 BU 0 COUNT\n"                           // 5
        "ES 490.0 'uW/cm^2/nm' 2 BU 1 OPTIC2\n  2048.0 1.5E-3 1.0\n"  // 6
        "CHECK SUM '' 2 BU 0 COUNT\n"                    // 7: two bytes: not a check sum
        "COND NONE 'MMHO/CM' 2 BU 1 POLYU\n  0.0 1.0\n"  // 8: units exact: no
        "LU 491.5 'uW/cm^2/nm/sr' 2 BU 1 OPTIC2\n  2048.0 1.5E-3 1.0\n";  // 9
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);

    COxaTelemetryDoc doc;
    ASSERT_EQ(doc.AddInstrument(name), 0);
    std::remove(name);
    EXPECT_EQ(doc.FindFrameCounterSensor(0), 2);
    EXPECT_EQ(doc.FindPressureSensor(0), 3);
    EXPECT_EQ(doc.FindTimerSensor(0), 0);
    EXPECT_EQ(doc.FindTemperatureSensor(0), 4);
    EXPECT_EQ(doc.FindSensorNear490(0, "es"), 6);
    EXPECT_EQ(doc.FindSensorNear490(0, "LU"), 9);
    EXPECT_EQ(doc.FindIrradianceSensor(0, 0), 6);
    EXPECT_EQ(doc.FindIrradianceSensor(0, 1), -1);
    EXPECT_EQ(doc.FindChecksumSensor(0), -1);
    EXPECT_EQ(doc.FindConductivitySensor(0), -1);
    EXPECT_EQ(doc.FindTiltSensor(0, "X"), -1);
    EXPECT_EQ(doc.FindFrameCounterSensor(1), -1);  // no such instrument
    doc.DeleteContents();
}

}  // namespace
}  // namespace dravik
