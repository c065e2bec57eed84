// Instruments without synchronization strings, fed from memory through a
// serial port resource that is set up but never connected: AppendBytes runs
// the same processing round the reader thread runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "telemetry/telem_comm.h"

namespace dravik {
namespace {

struct NullOwner : CTelemCommOwner {
    void QueueCommand(const std::string&, int) override {}
};

struct NoSyncPort {
    NullOwner owner;
    CTelemComm comm{&owner};
    NoSyncPort() {
        CSerialSettings settings;
        settings.port_name = "/dev/ttyTEST";
        EXPECT_EQ(comm.InitializeSerialPort(settings), 0);
    }
    int Attach(const AttachInfo& info) {
        const int code = comm.Attach(info);
        if (code == 0) {
            EXPECT_EQ(comm.EnableAcquisition(info.header), 0);
        }
        return code;
    }
    void Feed(const std::string& bytes) { comm.AppendBytes(bytes.data(), bytes.size()); }
    std::vector<std::string> Frames() {
        std::vector<std::string> out;
        while (auto frame = comm.RetrieveFrame()) out.push_back(frame->GetText());
        return out;
    }
    bool Logged(const std::string& text) {
        bool seen = false;
        for (std::string m = comm.GetNextMessage(); !m.empty(); m = comm.GetNextMessage()) {
            seen |= m == text;
        }
        return seen;
    }
};

AttachInfo Special(const std::string& header, const std::string& kind, int frame_size,
                   std::vector<std::uint8_t> sync = {}) {
    AttachInfo info;
    info.header = header;
    info.frame_size = frame_size;
    info.no_sync = 1;
    info.special_kind = kind;
    if (kind != "BSI" && kind != "HOBILABS_HS2_D") info.terminator = "\r\n";
    std::copy(sync.begin(), sync.end(), info.sync_bytes);
    info.sync_byte_count = static_cast<int>(sync.size());
    return info;
}

std::string Float(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(bits >> shift);
    return out;
}

// One BSI segment with its check byte.
std::string Segment(std::uint8_t sync, const std::vector<std::uint16_t>& words) {
    std::string out{static_cast<char>(sync), static_cast<char>(words.size())};
    for (std::uint16_t w : words) {
        out += static_cast<char>(w >> 8);
        out += static_cast<char>(w & 0xFF);
    }
    unsigned sum = 0;
    for (unsigned char c : out) sum += c;
    out += static_cast<char>(sum & 0xFF);
    return out;
}

TEST(NoSync, TextLinesFramedByTheirTerminator) {
    NoSyncPort port;
    ASSERT_EQ(port.Attach(Special("IRC0001", "HEITRONICS_IRC", 7)), 0);
    // A byte above 0x7F inside a line is dropped and counted; the line is
    // still cut at its terminator, and a line split over two reads waits.
    port.Feed("12.5\xC3 13.1\r\n22.0\r");
    port.Feed("\n3");
    EXPECT_EQ(port.Frames(), (std::vector<std::string>{"IRC000112.5 13.1\r\n", "IRC000122.0\r\n"}));
    EXPECT_EQ(port.comm.GetBytesDiscarded(), 1);
    port.Feed("1.0\r\n");
    EXPECT_EQ(port.Frames(), (std::vector<std::string>{"IRC000131.0\r\n"}));
}

TEST(NoSync, BsiFramesAreFoundByCheckSumAndConverted) {
    NoSyncPort port;
    // Pairs (1, 5) and (2, 3): a raw frame of 13 + 9 bytes. The converted
    // frame: header, values of 4 bytes while 6 bytes are left (seven of the
    // eight here), zeros, CR LF.
    const std::string header = "BSI0007";
    const int frame_size = 7 + 4 * 7 + 5;
    ASSERT_EQ(port.Attach(Special(header, "BSI", frame_size, {1, 5, 2, 3})), 0);
    const std::string raw =
        Segment(1, {0x1000, 0x2001, 0x5FFF, 0x6000, 0x0800}) + Segment(2, {0x0001, 0x1FFF, 0x7123});
    ASSERT_EQ(raw.size(), 22u);
    // Junk, the start of a segment that the check byte after it does not
    // confirm, then the frame less its last byte: nothing yet.
    port.Feed("zz" + std::string("\x01\x05\x00", 3) + raw.substr(0, 21));
    EXPECT_TRUE(port.Frames().empty());
    port.Feed(raw.substr(21));
    const std::vector<std::string> frames = port.Frames();
    ASSERT_EQ(frames.size(), 1u);
    std::string expected = header;
    // 0x1000 is -4096 at 10/4096; 0x2001 is 1 at 10/65536; 0x5FFF is -1 at
    // 10/1048576; 0x6000 has no scale and repeats the value before it.
    for (float v : {-10.0f, 10.0f / 65536, -10.0f / 1048576, -10.0f / 1048576, 5.0f, 10.0f / 4096,
                    -10.0f / 4096}) {
        expected += Float(v);
    }
    expected += std::string(frame_size - 2 - expected.size(), '\0') + "\r\n";
    EXPECT_EQ(frames[0], expected);
    EXPECT_EQ(port.comm.GetBytesDiscarded(), 2 + 1 + 2);  // junk, the bad segment's 3 bytes
}

TEST(NoSync, HobilabsFramesAreConvertedFromHex) {
    NoSyncPort port;
    const std::string header = "HS20001";
    ASSERT_EQ(port.Attach(Special(header, "HOBILABS_HS2_D", 8)), 0);
    const std::string raw = std::string("*D") + "0001E240" + "00010002000300040005000600070008" +
                            "9ABCDEF0" + "FFFF" + "7F" + "zz" + "CKSM";
    ASSERT_EQ(raw.size(), 62u);
    port.Feed("x*");
    port.Feed(raw.substr(1, 60));
    EXPECT_TRUE(port.Frames().empty());
    port.Feed(raw.substr(61));
    const std::vector<std::string> frames = port.Frames();
    ASSERT_EQ(frames.size(), 1u);
    std::string expected = header + std::string("\x00\x01\xE2\x40", 4);
    for (int i = 1; i <= 8; ++i) expected += std::string{'\0', static_cast<char>(i)};
    for (int i : {9, 10, 11, 12, 13, 14, 15, 0}) expected += static_cast<char>(i);
    // "zz" is not a hex digit: the conversion gives 0.
    expected += std::string("\xFF\xFF\x7F\x00\r\n\x00", 7);
    EXPECT_EQ(frames[0], expected);
    EXPECT_EQ(frames[0].size(), header.size() + 35);
    EXPECT_EQ(port.comm.GetBytesDiscarded(), 1);
}

TEST(NoSync, AttachCodes) {
    NoSyncPort bsi;
    EXPECT_EQ(bsi.Attach(Special("BSI0001", "BSI", 10, {1, 5, 2})), kCommBsiSyncCount);
    EXPECT_TRUE(bsi.Logged(
        "Unable to attach BSI0001 to /dev/ttyTEST.\r\n\tA BSI instrument must be specified with "
        "multiples of \r\n\ttwo-byte data synchronization arrays, using the SPECIAL \r\n\tsensor "
        "definition line.\r\n"));

    NoSyncPort port;
    ASSERT_EQ(port.Attach(Special("IRC0001", "HEITRONICS_IRC", 7)), 0);
    AttachInfo plain;
    plain.header = "ABC";
    plain.frame_size = 4;
    EXPECT_EQ(port.Attach(plain), kCommNoSyncAttached);
    EXPECT_EQ(port.comm.Detach("IRC0001"), 0);
    ASSERT_EQ(port.Attach(plain), 0);
    EXPECT_EQ(port.Attach(Special("IRC0001", "HEITRONICS_IRC", 7)), kCommNoSyncAlone);
    EXPECT_TRUE(port.Logged(
        "Unable to attach IRC0001 to /dev/ttyTEST.\r\n\tThe instrument specifies that no frame "
        "synchronization\r\n\tstring will be found in the telemetry.\r\n\tOnly one of these "
        "instruments can be attached to the resource.\r\n"));
}

}  // namespace
}  // namespace dravik
