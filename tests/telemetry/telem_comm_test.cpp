// A communications resource around its frame cutter: messages and codes,
// file resources read on demand, and the frame buffer of a serial port.
#include "telemetry/telem_comm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/log_source.h"

namespace dravik {
namespace {

struct RecordingOwner : CTelemCommOwner {
    std::vector<int> codes;
    void QueueCommand(const std::string&, int code) override { codes.push_back(code); }
    int Count(int code) const {
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }
};

AttachInfo Fixed(const std::string& header, int size, const std::string& terminator = "") {
    AttachInfo info;
    info.header = header;
    info.frame_size = size;
    info.terminator = terminator;
    return info;
}

std::vector<std::string> Drain(CTelemComm& comm) {
    std::vector<std::string> out;
    for (std::string m = comm.GetNextMessage(); !m.empty(); m = comm.GetNextMessage()) {
        out.push_back(m);
    }
    return out;
}

bool Contains(const std::vector<std::string>& messages, const std::string& text) {
    return std::find(messages.begin(), messages.end(), text) != messages.end();
}

// A file resource over a temporary file, owned by a recording owner.
struct FileResource {
    std::string path;
    CLogSource file;
    RecordingOwner owner;
    CTelemComm comm{&owner};
    FileResource(const std::string& content, int buffer_size, const AttachInfo* info = nullptr) {
        char name[] = "/tmp/dravik_comm_XXXXXX";
        const int fd = mkstemp(name);
        EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        close(fd);
        path = name;
        EXPECT_EQ(file.Open(path, false), 0);
        EXPECT_EQ(comm.InitializeFileResource(&file, buffer_size), 0);
        if (info != nullptr) {
            EXPECT_EQ(comm.Attach(*info), 0);
            EXPECT_EQ(comm.EnableAcquisition(info->header), 0);
        }
    }
    ~FileResource() { std::remove(path.c_str()); }
    std::string Name() const { return file.GetName(); }
};

TEST(Resource, CodesAndMessages) {
    RecordingOwner nobody;  // told nothing before the resource is set up
    CTelemComm idle{&nobody};
    EXPECT_EQ(idle.Attach(Fixed("AB", 2)), kCommNotInitialized);
    EXPECT_FALSE(idle.RetrieveFrame());
    EXPECT_EQ(Drain(idle),
              (std::vector<std::string>{
                  "Unable to attach AB.\r\n\tThe communications resource has not been "
                  "initialized.\r\n",
                  "Unable to retrieve frames.\r\n\tThe communications resource has not been "
                  "initialized.\r\n"}));
    EXPECT_TRUE(nobody.codes.empty());

    FileResource r("", 8);
    const std::string n = r.Name();
    EXPECT_EQ(r.comm.GetState(), kStateFileOwned);
    EXPECT_EQ(r.comm.InitializeFileResource(&r.file, 4), kCommReinitialize);
    EXPECT_EQ(r.comm.Attach(Fixed("AB", 2)), 0);
    EXPECT_EQ(r.comm.Attach(Fixed("AB", 9)), kCommAlreadyAttached);
    EXPECT_EQ(r.comm.EnableAcquisition("QQ"), kCommNotAttached);
    EXPECT_EQ(r.comm.Detach(""), kCommNotAttached);
    EXPECT_EQ(r.comm.Detach("QQ"), kCommNotAttached);
    EXPECT_EQ(r.comm.EnableAcquisition("AB"), 0);
    EXPECT_EQ(r.comm.EnableAcquisition("AB"), 0);  // already enabled: nothing said
    EXPECT_EQ(r.comm.Detach("AB"), 0);
    EXPECT_EQ(r.comm.GetAttachedCount(), 0);
    EXPECT_EQ(r.comm.GetInstrumentHeader(-3), "");
    const std::vector<std::string> expected = {
        "Initializing file resource: " + n + ".\r\n",
        "Unable to reinitialize file resource.\r\n",
        "Attaching AB to " + n + ".\r\n",
        "Unable to attach AB to " + n + ".\r\n\tThe instrument has already been attached.\r\n",
        "Unable to enable telemetry acquisition on " + n +
            ".\r\n\tThe instrument has not been attached or defined.\r\n",
        "Unable to detach instrument.\r\n\tThe instrument has not been attached or defined.\r\n",
        "Unable to detach QQ.\r\n\tThe instrument has not been attached or defined.\r\n",
        "Enabling telemetry acquisition for AB on " + n + ".\r\n",
        "Disabling telemetry acquisition for AB on " + n + ".\r\n",
        "Detaching AB from " + n + ".\r\n",
    };
    EXPECT_EQ(Drain(r.comm), expected);
    // A file resource tells its owner about messages and file status only.
    EXPECT_EQ(r.owner.Count(kCmdStatusChanged), 0);
}

TEST(FileResource, EndOfFileIsReportedOncePerRead) {
    {  // An empty file: the first read sets the flag, with no end-of-file message.
        const AttachInfo ab = Fixed("AB", 2);
        FileResource r("", 8, &ab);
        Drain(r.comm);
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 1);
        EXPECT_TRUE(Drain(r.comm).empty());
        EXPECT_EQ(r.comm.GetEndOfFile(), 1);
        EXPECT_EQ(r.comm.GetEndOfFile(), 0);
    }
    {  // An exact multiple of the buffer size: the read of the last full chunk
       // sets the flag and logs the message; nothing further is read.
        const AttachInfo ab = Fixed("AB", 4);
        FileResource r("AB12AB34", 4, &ab);
        const std::string end = "End of file resource reached for " + r.Name() + ".\r\n";
        Drain(r.comm);
        EXPECT_EQ(r.comm.RetrieveFrame()->GetText(), "AB12");
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 0);
        EXPECT_EQ(r.comm.RetrieveFrame()->GetText(), "AB34");
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 1);
        EXPECT_TRUE(Contains(Drain(r.comm), end));
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 1);
        // Once the flag has been taken, one more empty read reports it again.
        EXPECT_EQ(r.comm.GetEndOfFile(), 1);
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 2);
        EXPECT_FALSE(Contains(Drain(r.comm), end));
    }
    {  // No instrument enabled: nothing is read, so end of file never comes.
        FileResource r("AB12", 4);
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 0);
    }
}

TEST(FileResource, ClosedUnderneath) {
    const AttachInfo ab = Fixed("AB", 4);
    FileResource r("AB12AB34", 4, &ab);
    Drain(r.comm);
    const std::string name = r.Name();
    r.file.Close();
    EXPECT_EQ(r.comm.IsFileOpen(), 0);
    EXPECT_FALSE(r.comm.RetrieveFrame());
    EXPECT_GE(r.owner.Count(kCmdFileStatus), 1);
    const auto messages = Drain(r.comm);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0],
              "Error reading file resource " + name + ".\r\n\tThe file resource is not open.\r\n");
}

// Every frame brings the bytes behind it (a time tag) with their offset in
// the log, whatever the chunks the log is read in. Bytes read ahead for it
// say nothing until the search reaches them: the end of the file is reported
// at the moment it was without the read-ahead.
TEST(FileResource, FramesBringTheBytesThatFollowThem) {
    // Frames "F1.." of 5 bytes, each followed by a 7-byte tag; junk first.
    const std::string content = "jF1abc1234567F2def7654321F3ghi12";
    for (int buffer : {1, 3, 6, 7, 13, 64}) {
        const AttachInfo f = Fixed("F", 5);
        FileResource r(content, buffer, &f);
        const std::string end = "End of file resource reached for " + r.Name() + ".\r\n";
        std::uint64_t offset = 1;
        for (int i = 0; i < 3; ++i) {
            // A request drops at most about a buffer of junk before it answers.
            std::unique_ptr<CFrameData> frame;
            for (int requests = 0; !frame && requests < 100; ++requests) {
                frame = r.comm.RetrieveFrame();
            }
            ASSERT_TRUE(frame) << buffer;
            offset += 5;
            std::span<const std::uint8_t> bytes;
            EXPECT_FALSE(frame->GetFollowingBytes(offset + 1, bytes));
            ASSERT_TRUE(frame->GetFollowingBytes(offset, bytes)) << buffer << " " << i;
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
                      content.substr(offset, CFrameData::kFollowingBytes))
                << buffer << " " << i;
            offset += 7;
            // Until the search reads the chunk that ends the file, its end is
            // not said (here: one chunk, or the last frame in the last chunk).
            const std::size_t last_chunk = (content.size() - 1) / buffer * buffer;
            if (buffer < 64 && (i < 2 || last_chunk >= 30)) {
                EXPECT_FALSE(Contains(Drain(r.comm), end)) << buffer << " " << i;
                EXPECT_EQ(r.owner.Count(kCmdFileStatus), 0) << buffer << " " << i;
            }
        }
        for (int requests = 0; requests < 4; ++requests) EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 1) << buffer;
        EXPECT_EQ(r.comm.GetBytesDiscarded(), 1 + 7 + 7 + 2) << buffer;
    }
}

// One request does a bounded amount of work and the queue stays bounded,
// whatever the log holds; the frames behind junk are still found.
TEST(FileResource, RequestsAndQueueStayBounded) {
    const int scan = 16;
    std::string run;
    while (run.size() < 20000) run += "RADP";
    const struct {
        std::string content;
        AttachInfo info;
        std::string frame;
        std::int64_t discarded;
    } cases[] = {
        {std::string(5000, 'x') + "AB1", Fixed("AB", 3), "AB1", 5000},
        // A partial match is always in progress, yet the run goes a scan
        // limit at a time.
        {run + "RADPZ12", Fixed("RADPZ", 7), "RADPZ12", 20000},
    };
    for (const auto& c : cases) {
        FileResource r(c.content, scan, &c.info);
        std::vector<std::string> frames;
        std::int64_t before = 0;
        bool end_of_file = false;
        for (int requests = 0; requests < 100000; ++requests) {
            auto frame = r.comm.RetrieveFrame();
            const std::int64_t dropped = r.comm.GetBytesDiscarded() - before;
            before += dropped;
            EXPECT_LE(dropped, 2 * scan);
            EXPECT_LE(r.comm.GetQueuedByteCount(), 2 * scan + c.info.header.size());
            end_of_file = r.comm.GetEndOfFile() || end_of_file;
            if (frame) {
                frames.push_back(frame->GetText());
            } else if (end_of_file && dropped == 0) {
                break;  // an empty answer that dropped nothing at the end: exhausted
            }
        }
        EXPECT_EQ(frames, std::vector<std::string>{c.frame});
        EXPECT_EQ(r.comm.GetBytesDiscarded(), c.discarded);
    }
}

// Frame bytes, discarded bytes and what is left queued add up to the log,
// whatever it holds: the conversion's offsets (time tags, progress) rest on it.
TEST(FileResource, EveryByteIsAccountedFor) {
    std::mt19937 rng(117);
    std::string random(20000, '\0');
    for (char& c : random) c = static_cast<char>(rng() & 0xFF);
    std::string planted = random;
    for (std::size_t at = 100; at + 40 < planted.size(); at += 997) planted.replace(at, 3, "SPR");
    const struct {
        std::string content;
        AttachInfo info;
        int buffer;
    } cases[] = {
        {random, Fixed("SPR", 40), 64},
        {planted, Fixed("SPR", 40), 50},
        {std::string(3000, 'S') + "SP" + std::string(300, 'S'), Fixed("SPR", 40), 7},
        {"NAV1,2,3" + std::string(500, ','), Fixed("NAV", 0, "\r\n"), 16},
        {"SPR" + std::string(37, 'a') + "SPRshort", Fixed("SPR", 40), 16},
    };
    for (const auto& c : cases) {
        FileResource r(c.content, c.buffer, &c.info);
        std::int64_t frame_bytes = 0;
        bool end = false;
        for (int guard = 0; guard < 100000; ++guard) {
            auto frame = r.comm.RetrieveFrame();
            end = r.comm.GetEndOfFile() || end;
            if (frame) {
                frame_bytes += frame->GetFrameLength();
            } else if (end) {
                break;
            }
        }
        EXPECT_EQ(frame_bytes + r.comm.GetBytesDiscarded() +
                      static_cast<std::int64_t>(r.comm.GetQueuedByteCount()),
                  static_cast<std::int64_t>(c.content.size()))
            << c.content.substr(0, 20);
    }
}

// A serial port that is set up but not connected: AppendBytes runs the
// processing round the reader thread runs.
TEST(SerialResource, FrameBufferDepthAndFoundMessage) {
    RecordingOwner owner;
    CTelemComm comm{&owner};
    CSerialSettings settings;
    settings.port_name = "/dev/ttyTEST";
    settings.global_sync = "SYNC";
    ASSERT_EQ(comm.InitializeSerialPort(settings), 0);
    ASSERT_EQ(comm.Attach(Fixed("F", 3)), 0);
    ASSERT_EQ(comm.EnableAcquisition("F"), 0);
    Drain(comm);
    // The global synchronization string comes first; until then no frame.
    comm.AppendBytes("xxSYNC", 6);
    EXPECT_EQ(comm.GetStatus(), 0);  // not connected
    for (int i = 0; i < 202; ++i) {
        const char frame[] = {'F', static_cast<char>('0' + i % 10), 'z'};
        comm.AppendBytes(frame, 3);
    }
    // The frame taken while 201 were held dropped the oldest one.
    EXPECT_EQ(comm.GetBytesDiscarded(), 6 + 3);
    EXPECT_EQ(Drain(comm), (std::vector<std::string>{
                               "/dev/ttyTEST reading telemetry.\r\n",
                               "Telemetry synchronized on /dev/ttyTEST.\r\n",
                               "F found on /dev/ttyTEST.\r\n",
                               "/dev/ttyTEST frame buffer exceeded maximum depth.\r\n",
                           }));
    EXPECT_GE(owner.Count(kCmdFramesAvailable), 1);
    EXPECT_EQ(comm.GetInstrumentStatus("F"), 2);
    EXPECT_EQ(comm.RetrieveFrame()->GetFrameCounter(), 2);
}

TEST(SerialResource, OneInstrumentWithoutSynchronizationString) {
    RecordingOwner owner;
    CTelemComm comm{&owner};
    CSerialSettings settings;
    settings.port_name = "/dev/ttyTEST";
    ASSERT_EQ(comm.InitializeSerialPort(settings), 0);
    AttachInfo irc = Fixed("IRC0001", 7, "\r\n");
    irc.no_sync = 1;
    irc.special_kind = "HEITRONICS_IRC";
    AttachInfo bsi = Fixed("BSI0001", 10);
    bsi.no_sync = 1;
    bsi.special_kind = "BSI";
    bsi.sync_byte_count = 3;
    const AttachInfo plain = Fixed("ABC", 4);
    const std::pair<const AttachInfo*, int> attaches[] = {
        {&bsi, kCommBsiSyncCount},  // pairs of synchronization bytes only
        {&irc, 0},
        {&plain, kCommNoSyncAttached},
    };
    for (const auto& [info, code] : attaches) EXPECT_EQ(comm.Attach(*info), code);
    ASSERT_EQ(comm.EnableAcquisition("IRC0001"), 0);
    comm.AppendBytes("25.1\r\n", 6);
    EXPECT_EQ(comm.RetrieveFrame()->GetText(), "IRC000125.1\r\n");
    EXPECT_EQ(comm.Detach("IRC0001"), 0);
    EXPECT_EQ(comm.Attach(plain), 0);
    EXPECT_EQ(comm.Attach(irc), kCommNoSyncAlone);
    EXPECT_EQ(Drain(comm).back(),
              "Unable to attach IRC0001 to /dev/ttyTEST.\r\n\tThe instrument specifies that no "
              "frame synchronization\r\n\tstring will be found in the telemetry.\r\n\tOnly one "
              "of these instruments can be attached to the resource.\r\n");
}

}  // namespace
}  // namespace dravik
