#include "telemetry/telem_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/log_source.h"
#include "telemetry/attach_info.h"
#include "telemetry/oxa_telemetry_doc.h"

namespace dravik {
namespace {

std::string WriteTemp(const std::string& suffix, const std::string& content) {
    std::string name = "/tmp/dravik_ctl_XXXXXX" + suffix;
    int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    return name;
}

const char* const kInstrument =
    "INSTRUMENT ABC '' 3 AS 0 NONE\n"
    "SN 0001 '' 4 AS 0 NONE\n"
    "FRAME COUNTER 'DN' 1 BU 0 COUNT\n";  // header ABC0001, frame size 8

// A document that records what the control delivers.
class RecordingDoc : public COxaTelemetryDoc {
  public:
    ~RecordingDoc() override { DeleteContents(); }

    void OnTelemetryMessage(std::string& text) override {
        std::lock_guard lock(m_lock);
        messages += text;
        m_cv.notify_all();
    }
    void OnTelemetryFrame(const std::string&, std::unique_ptr<CFrameData> frame) override {
        {
            std::lock_guard lock(m_lock);
            frames.push_back(frame ? frame->GetText() : std::string("<none>"));
        }
        if (on_frame) on_frame(frame != nullptr);
        m_cv.notify_all();
    }

    bool WaitFor(const std::function<bool()>& done) {
        std::unique_lock lock(m_lock);
        return m_cv.wait_for(lock, std::chrono::seconds(2), done);
    }
    bool WaitForMessage(const std::string& text) {
        return WaitFor([&] { return messages.find(text) != std::string::npos; });
    }

    std::mutex m_lock;
    std::condition_variable m_cv;
    std::string messages;
    std::vector<std::string> frames;
    std::function<void(bool)> on_frame;
};

class ControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_cal = WriteTemp(".cal", kInstrument);
        m_log = WriteTemp(".raw", "xxABC00011ABC00012zzABC0001");
        ASSERT_EQ(m_file.Open(m_log, false), 0);
        ASSERT_EQ(m_other.Open(m_cal, false), 0);
    }
    void TearDown() override {
        std::remove(m_cal.c_str());
        std::remove(m_log.c_str());
    }
    std::string m_cal;
    std::string m_log;
    CLogSource m_file;
    CLogSource m_other;
};

// Each failing operation answers its code at once; its message, with the
// explanation of the code, arrives through the processing thread.
TEST_F(ControlTest, FailuresAnswerTheirCodesAndSayWhy) {
    RecordingDoc doc;
    CTelemControl& control = *doc.GetControl();
    const std::string path = m_file.GetName();
    const std::string faulty = WriteTemp(".cal",
                                         "INSTRUMENT XYZ '' 3 AS 0 NONE\n"
                                         "SN 0002 '' 4 AS 0 NONE\n"
                                         "BROKEN line\n");
    std::int64_t discarded = 7;
    std::string text = "unchanged";
    CLogSource closed;
    CSerialSettings unnamed;
    const struct {
        std::function<int()> operation;
        int code;
    } cases[] = {
        {[&] { return doc.GetBytesDiscarded(discarded, 0); }, kControlResourceInvalid},
        {[&] { return doc.GetInstrumentFileType(0, text); }, kControlInstrumentInvalid},
        {[&] { return doc.StartAcquisition(0); }, kControlInstrumentInvalid},
        {[&] { return doc.GetInstrumentHeader(text, 0); }, 0},
        {[&] { return doc.GetCommResourceId(text, 3); }, 0},
        {[&] { return doc.GetInstrumentSensorCount(0); }, -1},
        {[&] { return control.FindInstrumentSensor(0, "FRAME", -1); }, -1},
        {[&] { return doc.RemoveCommResource("nothing"); }, kControlResourceNotFound},
        {[&] { return doc.RemoveInstrument("nothing"); }, kControlInstrumentNotFound},
        {[&] { return doc.AddCommResource(&m_file, 4); }, 0},
        {[&] { return doc.AddCommResource(&m_file, 4); }, kControlResourceDefined},
        // A resource that fails to set up never enters the list; its message
        // still arrives, once.
        {[&] { return doc.AddCommResource(&closed, 4); }, kCommInvalidFile},
        {[&] { return doc.AddCommResource(unnamed); }, kCommInvalidPort},
        {[&] { return doc.GetCommResourceCount(); }, 1},
        {[&] { return doc.AddInstrument(m_cal); }, 0},
        {[&] { return doc.AddInstrument(m_cal); }, kControlInstrumentDefined},
        {[&] { return doc.AddInstrument("/nonexistent/x.cal"); }, 0x30000002},
        {[&] { return control.FindInstrument("abc0001"); }, -1},  // headers keep their case
        {[&] { return doc.StartAcquisition(0); }, kControlResourceNotFound},  // not attached
        {[&] { return control.DetachInstrument("ABC0001"); }, kControlResourceNotFound},
        // An instrument file with line errors: kept, usable, and flagged.
        {[&] { return doc.AddInstrument(faulty); }, kControlInstrumentLineErrors},
        {[&] { return doc.AttachInstrument("XYZ0002", path); }, 0},
        {[&] { return doc.StartAcquisition(1); }, 0},
        {[&] { return control.FindInstrumentSensor(0, "frame", -1); }, 0},
    };
    int step = 0;
    for (const auto& c : cases) EXPECT_EQ(c.operation(), c.code) << "step " << step++;
    std::remove(faulty.c_str());
    EXPECT_EQ(discarded, 0);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(doc.GetInstrumentSerialNumber(0, text), 0);
    EXPECT_EQ(text, "0001");
    EXPECT_EQ(doc.GetInstrumentSensors(0, 5), nullptr);
    doc.GetFileFrame(5);
    const std::string messages[] = {
        "Unable to retrieve the number of bytes discarded.\r\n\tThe communications "
        "resource reference is invalid.\r\n",
        "Unable to add communications resource: " + path +
            ".\r\n\tThe communications resource has already been defined.\r\n",
        "Unable to initialize file resource.\r\n\tInvalid file resource.\r\n",
        "Unable to initialize serial communications.\r\n\tInvalid serial port "
        "identification.\r\n",
        "Unable to add instrument: ABC0001.\r\n\tThe instrument has already "
        "been defined.\r\n",
        "Unable to start telemetry frame aquisition.\r\n\tThe communications "
        "resource could not be found.\r\n",
        "Unable to retrieve instrument frame from file resource.\r\n\tThe "
        "communications resource reference is invalid.\r\n",
    };
    for (const std::string& message : messages) {
        EXPECT_TRUE(doc.WaitForMessage(message)) << message;
    }
}

TEST_F(ControlTest, AttachingMovesAnInstrument) {
    RecordingDoc doc;
    const std::string log = m_file.GetName();
    const std::string other = m_other.GetName();
    ASSERT_EQ(doc.AddCommResource(&m_other, 4), 0);
    ASSERT_EQ(doc.AddCommResource(&m_file, 4), 0);
    ASSERT_EQ(doc.AddInstrument(m_cal), 0);
    EXPECT_EQ(doc.AttachInstrument("ABC0001", "/no/such/log"), kControlResourceNotFound);
    EXPECT_EQ(doc.AttachInstrument("NOPE", log), kControlInstrumentNotFound);
    EXPECT_TRUE(doc.WaitForMessage("Unable to attach instrument NOPE to " + log +
                                   ".\r\n\tThe instrument could not be found.\r\n"));
    EXPECT_EQ(doc.AttachInstrument("ABC0001", other), 0);
    EXPECT_EQ(doc.AttachInstrument("ABC0001", log), 0);
    EXPECT_TRUE(doc.WaitForMessage("Detaching ABC0001 from " + other + ".\r\n"));
    // Removing the resource before it moves the attachment index down with
    // the list: the instrument's frames still come from its log.
    EXPECT_EQ(doc.RemoveCommResource(other), 0);
    EXPECT_TRUE(doc.WaitForMessage("Removing communications resource: " + other + ".\r\n"));
    ASSERT_EQ(doc.StartAcquisition(0), 0);
    doc.GetFileFrame(0);
    ASSERT_TRUE(doc.WaitFor([&] { return !doc.frames.empty(); }));
    EXPECT_EQ(doc.frames[0], "ABC00011");
    // An attached instrument is detached before it goes.
    EXPECT_EQ(doc.RemoveInstrument("ABC0001"), 0);
    EXPECT_TRUE(doc.WaitForMessage("Detaching ABC0001 from " + log + ".\r\n"));
}

TEST_F(ControlTest, RemovalPendingUntilTheBatchEnds) {
    RecordingDoc doc;
    ASSERT_EQ(doc.AddCommResource(&m_file, 4), 0);
    ASSERT_EQ(doc.AddCommResource(&m_other, 4), 0);
    ASSERT_EQ(doc.AddInstrument(m_cal), 0);
    ASSERT_EQ(doc.AttachInstrument("ABC0001", m_file.GetName()), 0);
    ASSERT_EQ(doc.StartAcquisition(0), 0);
    int first = -1;
    int second = -1;
    // Inside a callback the processing thread is in the middle of a batch, so
    // the first removal is still pending when the second one is asked.
    bool once = false;
    doc.on_frame = [&](bool) {
        if (std::exchange(once, true)) return;
        first = doc.RemoveCommResource(m_file.GetName());
        second = doc.RemoveCommResource(m_other.GetName());
    };
    doc.GetFileFrame(0);
    ASSERT_TRUE(
        doc.WaitForMessage("Removing communications resource: " + m_file.GetName() + ".\r\n"));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, kControlRemovalPending);
    // Once the batch is over, the removal goes through.
    for (int tries = 0; tries < 200; ++tries) {
        if (doc.RemoveCommResource(m_other.GetName()) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(doc.GetCommResourceCount(), 0);
    // Its resource is gone: the instrument is no longer attached.
    EXPECT_EQ(doc.StartAcquisition(0), kControlResourceNotFound);
}

TEST_F(ControlTest, ShutdownLeavesNothing) {
    RecordingDoc doc;
    ASSERT_EQ(doc.AddCommResource(&m_file, 4), 0);
    ASSERT_EQ(doc.AddCommResource(&m_other, 4), 0);
    ASSERT_EQ(doc.AddInstrument(m_cal), 0);
    ASSERT_EQ(doc.AttachInstrument("ABC0001", m_file.GetName()), 0);
    CTelemControl* control = doc.GetControl();
    control->Shutdown();
    // Everything said before the thread ended was delivered.
    EXPECT_NE(doc.messages.find("Removing instrument: ABC0001.\r\n"), std::string::npos);
    doc.DeleteContents();
    EXPECT_FALSE(doc.HasControl());
    // Without a control the document answers for it.
    EXPECT_EQ(doc.AddCommResource(&m_file, 4), kNoTelemetryControl);
    EXPECT_EQ(doc.GetInstrumentSensors(0, 0), nullptr);
    EXPECT_EQ(doc.GetCommResourceCount(), -1);
    EXPECT_EQ(doc.FindFrameCounterSensor(0), -1);
    doc.GetFileFrame(0);
    doc.ReportMessage("dropped\r\n");
    doc.NewControl();
    EXPECT_TRUE(doc.HasControl());
    EXPECT_EQ(doc.GetCommResourceCount(), 0);
}

TEST(SyncBytes, DecodedFromUnits) {
    const struct {
        std::string units;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"\\x01\\x05", {0x01, 0x05}},
        {"A\\xfFb", {'A', 0xFF, 'b'}},
        // A bad escape is skipped and turns off every later escape, not plain bytes.
        {"a\\xG1b\\x05c", {'a', 'b', 'c'}},
        {"abcdefghijkl", {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}},
        {"a\\x", {'a'}},  // an escape without digits is skipped
        {"", {}},
    };
    for (const auto& c : cases) {
        std::uint8_t bytes[12] = {};
        const int n = DecodeSyncBytes(c.units, bytes, 10);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + n), c.bytes) << c.units;
    }
}

TEST_F(ControlTest, SpecialKindsAreSearchedByHeaderOnFiles) {
    const std::string cal = WriteTemp(".cal",
                                      "INSTRUMENT ABC '' 3 AS 0 NONE\n"
                                      "SN 0001 '' 4 AS 0 NONE\n"
                                      "SPECIAL HOBILABS_HS2_D '' 0 AS 0 NONE\n"
                                      "FRAME COUNTER 'DN' 1 BU 0 COUNT\n");
    RecordingDoc doc;
    ASSERT_EQ(doc.AddCommResource(&m_file, 4), 0);
    ASSERT_EQ(doc.AddInstrument(cal), 0);
    ASSERT_EQ(doc.AttachInstrument("ABC0001", m_file.GetName(), 1), 0);
    ASSERT_EQ(doc.StartAcquisition(0), 0);
    doc.GetFileFrame(0);
    ASSERT_TRUE(doc.WaitFor([&] { return !doc.frames.empty(); }));
    EXPECT_EQ(doc.frames[0], "ABC00011");
    std::remove(cal.c_str());
}

class ControlStressTest : public ControlTest {};

// Frames are requested and messages queued from the processing thread while the
// calling thread adds and removes resources and instruments, then shuts down.
TEST_F(ControlStressTest, ResourcesChangeWhileFramesFlow) {
    std::string content;
    for (int i = 0; i < 300; ++i) content += (i % 7 == 0 ? "##" : "") + std::string("ABC0001x");
    const std::string log = WriteTemp(".raw", content);
    RecordingDoc doc;
    doc.on_frame = [&doc](bool got) {
        doc.ReportMessage("frame seen\r\n");
        // Like a conversion: one request outstanding until the data ends.
        if (got) doc.GetFileFrame(0);
    };
    for (int round = 0; round < 20; ++round) {
        CLogSource file;
        ASSERT_EQ(file.Open(log, false), 0);
        ASSERT_EQ(doc.AddCommResource(&file, 64), 0);
        ASSERT_EQ(doc.AddInstrument(m_cal), 0);
        ASSERT_EQ(doc.AttachInstrument("ABC0001", file.GetName()), 0);
        ASSERT_EQ(doc.StartAcquisition(0), 0);
        doc.GetFileFrame(0);
        std::int64_t discarded = 0;
        doc.GetBytesDiscarded(discarded, 0);
        if (round % 2 == 0) {
            doc.WaitFor([&] { return doc.frames.size() > static_cast<std::size_t>(round); });
        }
        int code = 0;
        while ((code = doc.RemoveCommResource(file.GetName())) == kControlRemovalPending) {
            std::this_thread::yield();
        }
        ASSERT_EQ(code, 0);
        ASSERT_EQ(doc.RemoveInstrument("ABC0001"), 0);
        // The file may go as soon as its resource is removed.
    }
    ASSERT_EQ(doc.AddCommResource(&m_file, 4), 0);
    ASSERT_EQ(doc.AddInstrument(m_cal), 0);
    doc.GetFileFrame(0);
    doc.GetControl()->Shutdown();
    std::string header;
    EXPECT_EQ(doc.GetCommResourceCount(), 0);
    EXPECT_EQ(doc.GetInstrumentHeader(header, 0), 0);
    EXPECT_FALSE(doc.frames.empty());
    std::remove(log.c_str());
}

}  // namespace
}  // namespace dravik
