#include "telemetry/telem_comm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/disk_file.h"

namespace dravik {
namespace {

struct RecordingOwner : CTelemCommOwner {
    std::vector<std::pair<std::string, int>> commands;
    void QueueCommand(const std::string& name, int code) override {
        commands.emplace_back(name, code);
    }
    int Count(int code) const {
        int n = 0;
        for (const auto& c : commands) n += c.second == code;
        return n;
    }
};

AttachInfo Fixed(const std::string& header, int size) {
    AttachInfo info;
    info.header = header;
    info.frame_size = size;
    return info;
}

AttachInfo Variable(const std::string& header, const std::string& terminator) {
    AttachInfo info;
    info.header = header;
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
    for (const auto& m : messages) {
        if (m == text) return true;
    }
    return false;
}

// A stream resource fed from memory with the given instruments attached and enabled.
struct Stream {
    CTelemComm comm;
    explicit Stream(std::vector<AttachInfo> instruments, int scan_limit = 1024) {
        comm.InitializeByteStream("mem", scan_limit);
        for (const auto& info : instruments) {
            EXPECT_EQ(comm.Attach(info), 0);
            EXPECT_EQ(comm.EnableAcquisition(info.header), 0);
        }
    }
    void Feed(const std::string& bytes) { comm.AppendBytes(bytes.data(), bytes.size()); }
};

class TempFile {
  public:
    explicit TempFile(const std::string& content) {
        char name[] = "/tmp/dravik_comm_XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        close(fd);
        m_path = name;
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

// A file resource over a temporary file, owned by a recording owner.
struct FileResource {
    TempFile temp;
    CDiskFile file;
    RecordingOwner owner;
    CTelemComm comm{&owner};
    FileResource(const std::string& content, int buffer_size) : temp(content) {
        EXPECT_EQ(file.Open(temp.path(), CDiskFile::Mode::kRead, false), 0);
        EXPECT_EQ(comm.InitializeFileResource(&file, buffer_size), 0);
    }
};

TEST(HeaderSearch, WorkedExamples) {
    {  // The enabled header ABC after x x: two bytes go, the frame starts at A.
        Stream s({Fixed("ABC", 5)});
        s.Feed("xxABCde");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 2);
        EXPECT_EQ(s.comm.ExtractFrames(), 1);
        auto frame = s.comm.RetrieveFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->GetText(), "ABCde");
        EXPECT_EQ(frame->GetFrameCounter(), 1);
        EXPECT_EQ(s.comm.GetQueuedByteCount(), 0u);
    }
    {  // Candidates AB, CD with A X C D: CD is found after the failed start of AB.
        Stream s({Fixed("AB", 2), Fixed("CD", 2)});
        s.Feed("AXCD");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.GetMatchIndex(), 1);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 2);
    }
    {  // After AB failed, later bytes are tried only against CD: A X A B misses AB.
        Stream s({Fixed("AB", 2), Fixed("CD", 2)});
        s.Feed("AXAB");
        EXPECT_EQ(s.comm.Synchronize(), 0);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 4);
    }
    {  // AAB in A A A B: the scan resumes at the third byte, so the header is missed.
        Stream s({Fixed("AAB", 3)});
        s.Feed("AAAB");
        EXPECT_EQ(s.comm.Synchronize(), 0);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 4);
        EXPECT_EQ(s.comm.GetQueuedByteCount(), 0u);
    }
}

TEST(HeaderSearch, DiscardingRules) {
    {  // No instrument enabled: everything queued is dropped on each pass.
        CTelemComm comm;
        comm.InitializeByteStream("mem");
        ASSERT_EQ(comm.Attach(Fixed("ABC", 3)), 0);
        comm.AppendBytes("ABCABC", 6);
        EXPECT_EQ(comm.Synchronize(), 0);
        EXPECT_EQ(comm.GetBytesDiscarded(), 6);
        EXPECT_EQ(comm.ExtractFrames(), 1);  // no match: the first call of a round
        EXPECT_FALSE(comm.RetrieveFrame());
    }
    {  // Unmatched bytes go at most a scan limit at a time.
        Stream s({Fixed("Z", 1)}, 4);
        s.Feed(std::string(10, 'x'));
        EXPECT_EQ(s.comm.Synchronize(), 0);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 4);
        EXPECT_EQ(s.comm.Synchronize(), 0);
        EXPECT_EQ(s.comm.Synchronize(), 0);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 10);
    }
    {  // A header cut by the end of the data is kept whole; what precedes it
       // can start no header and goes.
        Stream s({Fixed("ABC", 4)});
        s.Feed("xxAB");
        EXPECT_EQ(s.comm.Synchronize(), 0);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 2);
        EXPECT_EQ(s.comm.GetQueuedByteCount(), 2u);
        s.Feed("C1");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.GetBytesDiscarded(), 2);
        EXPECT_EQ(s.comm.ExtractFrames(), 1);
        EXPECT_EQ(s.comm.RetrieveFrame()->GetText(), "ABC1");
    }
    {  // A disabled instrument is no longer searched for, and loses its match.
        Stream s({Fixed("AB", 3)});
        s.Feed("AB1");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.DisableAcquisition("AB"), 0);
        EXPECT_EQ(s.comm.GetMatchIndex(), -1);
        EXPECT_EQ(s.comm.DisableAcquisition("AB"), 0);  // already disabled: nothing
    }
}

TEST(FrameExtraction, FixedVariableAndChained) {
    {  // A fixed frame waits for its bytes and keeps its match meanwhile.
        Stream s({Fixed("HD", 6)});
        s.Feed("HD12");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.ExtractFrames(), 0);
        EXPECT_EQ(s.comm.Synchronize(), 1);
        s.Feed("34HD");
        EXPECT_EQ(s.comm.ExtractFrames(), 1);
        EXPECT_EQ(s.comm.GetQueuedByteCount(), 2u);
        EXPECT_EQ(s.comm.RetrieveFrame()->GetText(), "HD1234");
    }
    {  // Variable frames end with their terminator; a byte that breaks a partial
       // terminator is not tried again as its first byte.
        Stream s({Variable("NAV", "\r\n")});
        s.Feed(std::string("NAV1,2\r\nNAV\0\r\r\n", 15) + "x\r\n");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.ExtractFrames(), 1);
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.ExtractFrames(), 1);
        auto first = s.comm.RetrieveFrame();
        auto second = s.comm.RetrieveFrame();
        EXPECT_EQ(first->GetText(), "NAV1,2\r\n");
        EXPECT_EQ(first->GetFrameLength(), 8);
        EXPECT_EQ(second->GetText(), std::string("NAV\0\r\r\nx\r\n", 10));
        EXPECT_EQ(second->GetFrameCounter(), 2);
    }
    {  // A terminator that never arrives: no frame, the bytes stay queued.
        Stream s({Variable("NAV", "\r\n")});
        s.Feed("NAV1,2\r");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.ExtractFrames(), 0);
        EXPECT_EQ(s.comm.GetQueuedByteCount(), 7u);
    }
    {  // A later instrument whose header also opens the frame takes the same bytes.
        Stream s({Fixed("AB", 4), Fixed("A", 2)});
        s.Feed("ABxyz");
        EXPECT_EQ(s.comm.Synchronize(), 1);
        EXPECT_EQ(s.comm.ExtractFrames(), 1);
        auto first = s.comm.RetrieveFrame();
        auto second = s.comm.RetrieveFrame();
        EXPECT_EQ(first->GetText(), "ABxy");
        EXPECT_EQ(first->GetInfo().chained, 0);
        EXPECT_EQ(second->GetText(), "AB");
        EXPECT_EQ(second->GetInfo().chained, 1);
        // Only the last frame's bytes leave the queue.
        EXPECT_EQ(s.comm.GetQueuedByteCount(), 3u);
    }
}

TEST(FrameExtraction, BufferDepthAndFoundMessage) {
    Stream s({Fixed("F", 3)});
    Drain(s.comm);
    for (int i = 0; i < 202; ++i) s.Feed(std::string{'F', static_cast<char>('0' + i % 10), 'z'});
    for (int i = 0; i < 202; ++i) {
        ASSERT_EQ(s.comm.Synchronize(), 1);
        ASSERT_EQ(s.comm.ExtractFrames(), 1);
    }
    // The frame taken while 201 were held drops the oldest one.
    EXPECT_EQ(s.comm.GetBufferedFrameCount(), 201u);
    EXPECT_EQ(s.comm.GetBytesDiscarded(), 3);
    auto messages = Drain(s.comm);
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_TRUE(Contains(messages, "F found on mem.\r\n"));
    EXPECT_TRUE(Contains(messages, "mem frame buffer exceeded maximum depth.\r\n"));
    EXPECT_EQ(s.comm.RetrieveFrame()->GetFrameCounter(), 2);
}

TEST(Resource, AttachDetachAndMessages) {
    CTelemComm idle;
    EXPECT_EQ(idle.Attach(Fixed("AB", 2)), kCommNotInitialized);
    EXPECT_EQ(idle.GetNextMessage(),
              "Unable to attach AB.\r\n\tThe communications resource has not been "
              "initialized.\r\n");
    EXPECT_FALSE(idle.RetrieveFrame());
    EXPECT_EQ(idle.GetNextMessage(),
              "Unable to retrieve frames.\r\n\tThe communications resource has not been "
              "initialized.\r\n");

    Stream s({});
    EXPECT_EQ(s.comm.Attach(Fixed("AB", 2)), 0);
    EXPECT_EQ(s.comm.Attach(Fixed("AB", 9)), kCommAlreadyAttached);
    EXPECT_EQ(s.comm.EnableAcquisition("QQ"), kCommNotAttached);
    EXPECT_EQ(s.comm.Detach(""), kCommNotAttached);
    EXPECT_EQ(s.comm.Detach("QQ"), kCommNotAttached);
    EXPECT_EQ(s.comm.EnableAcquisition("AB"), 0);
    EXPECT_EQ(s.comm.Detach("AB"), 0);
    EXPECT_EQ(s.comm.GetAttachedCount(), 0);
    EXPECT_EQ(s.comm.GetInstrumentHeader(-3), "");
    const std::vector<std::string> expected = {
        "Attaching AB to mem.\r\n",
        "Unable to attach AB to mem.\r\n\tThe instrument has already been attached.\r\n",
        "Unable to enable telemetry acquisition on mem.\r\n\tThe instrument has not been "
        "attached or defined.\r\n",
        "Unable to detach instrument.\r\n\tThe instrument has not been attached or defined.\r\n",
        "Unable to detach QQ.\r\n\tThe instrument has not been attached or defined.\r\n",
        "Enabling telemetry acquisition for AB on mem.\r\n",
        "Disabling telemetry acquisition for AB on mem.\r\n",
        "Detaching AB from mem.\r\n",
    };
    EXPECT_EQ(Drain(s.comm), expected);
    // A frame is at least as long as its header.
    EXPECT_EQ(s.comm.Attach(Fixed("LONGHEADER", 3)), 0);
    EXPECT_EQ(s.comm.EnableAcquisition("LONGHEADER"), 0);
    s.Feed("LONGHEADER");
    EXPECT_EQ(s.comm.Synchronize(), 1);
    EXPECT_EQ(s.comm.ExtractFrames(), 1);
    EXPECT_EQ(s.comm.RetrieveFrame()->GetFrameLength(), 10);
    // An instrument with neither header nor fields still cuts at least a byte.
    Stream empty({Fixed("", 0)});
    empty.Feed("ab");
    EXPECT_EQ(empty.comm.Synchronize(), 1);
    EXPECT_EQ(empty.comm.ExtractFrames(), 1);
    EXPECT_EQ(empty.comm.RetrieveFrame()->GetText(), "a");
}

TEST(FileResource, InitializationAndErrorTexts) {
    FileResource r("0123456789", 4);
    EXPECT_EQ(r.comm.GetState(), kStateFileOwned);
    EXPECT_EQ(r.comm.GetName(), r.file.GetFilePath());
    EXPECT_EQ(r.comm.InitializeFileResource(&r.file, 4), kCommReinitialize);
    CFileResourceSettings info;
    EXPECT_EQ(r.comm.GetFileInfo(info), 1);
    EXPECT_EQ(info.file, &r.file);
    EXPECT_EQ(info.buffer_size, 4);
    auto messages = Drain(r.comm);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Initializing file resource: " + r.file.GetFilePath() + ".\r\n");
    EXPECT_EQ(messages[1], "Unable to reinitialize file resource.\r\n");

    CDiskFile closed;
    CTelemComm comm;
    EXPECT_EQ(comm.InitializeFileResource(&closed, 16), kCommInvalidFile);
    EXPECT_EQ(comm.GetNextMessage(),
              "Unable to initialize file resource.\r\n\tInvalid file resource.\r\n");
    EXPECT_EQ(comm.GetState(), kStateUninitialized);
    EXPECT_EQ(comm.GetFileInfo(info), 0);

    EXPECT_EQ(CTelemComm::FileErrorText(12),
              "There was an attempt to lock a region that was already locked.\r\n");
    EXPECT_EQ(CTelemComm::FileErrorText(14), "The end of file was reached.\r\n");
    EXPECT_EQ(CTelemComm::FileErrorText(15), "An unknown file error occured.\r\n");
    EXPECT_EQ(CTelemComm::FileErrorText(-1), "An unknown file error occured.\r\n");
}

TEST(FileResource, EndOfFileReporting) {
    {  // An empty file: the first read sets the flag, with no end-of-file message.
        FileResource r("", 8);
        ASSERT_EQ(r.comm.Attach(Fixed("AB", 2)), 0);
        ASSERT_EQ(r.comm.EnableAcquisition("AB"), 0);
        Drain(r.comm);
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 1);
        EXPECT_TRUE(Drain(r.comm).empty());
        EXPECT_EQ(r.comm.GetEndOfFile(), 1);
        EXPECT_EQ(r.comm.GetEndOfFile(), 0);
    }
    {  // An exact multiple of the buffer size: the read of the last full chunk
       // sets the flag and logs the message; nothing further is read.
        FileResource r("AB12AB34", 4);
        ASSERT_EQ(r.comm.Attach(Fixed("AB", 4)), 0);
        ASSERT_EQ(r.comm.EnableAcquisition("AB"), 0);
        Drain(r.comm);
        EXPECT_EQ(r.comm.RetrieveFrame()->GetText(), "AB12");
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 0);
        EXPECT_EQ(r.comm.RetrieveFrame()->GetText(), "AB34");
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 1);
        auto messages = Drain(r.comm);
        EXPECT_TRUE(Contains(messages,
                             "End of file resource reached for " + r.file.GetFilePath() + ".\r\n"));
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 1);
        // Once the flag has been taken, one more empty read reports it again.
        EXPECT_EQ(r.comm.GetEndOfFile(), 1);
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 2);
        EXPECT_FALSE(Contains(
            Drain(r.comm), "End of file resource reached for " + r.file.GetFilePath() + ".\r\n"));
    }
    {  // No instrument enabled: nothing is read, so end of file never comes.
        FileResource r("AB12", 4);
        EXPECT_FALSE(r.comm.RetrieveFrame());
        EXPECT_EQ(r.owner.Count(kCmdFileStatus), 0);
    }
}

TEST(FileResource, HeadersAndFramesAcrossChunks) {
    {  // A header split between two chunks is found whole.
        FileResource r("xxxABCdefg", 4);
        ASSERT_EQ(r.comm.Attach(Fixed("ABC", 5)), 0);
        ASSERT_EQ(r.comm.EnableAcquisition("ABC"), 0);
        auto frame = r.comm.RetrieveFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->GetText(), "ABCde");
        EXPECT_EQ(r.comm.GetBytesDiscarded(), 3);
    }
    {  // A header longer than the buffer, and a frame spanning many chunks.
        FileResource r("..LONGHEADER:payload-of-many-chunks!", 2);
        ASSERT_EQ(r.comm.Attach(Fixed("LONGHEADER", 34)), 0);
        ASSERT_EQ(r.comm.EnableAcquisition("LONGHEADER"), 0);
        EXPECT_FALSE(r.comm.RetrieveFrame());  // the request that dropped ".."
        auto frame = r.comm.RetrieveFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->GetText(), "LONGHEADER:payload-of-many-chunks!");
    }
}

// One request does a bounded amount of work and the queue stays bounded,
// whatever the log holds; the frames behind junk are still found.
TEST(FileResource, RequestsAndQueueStayBounded) {
    const int scan = 16;
    auto drive = [&](FileResource& r, std::size_t header_size) {
        std::vector<std::string> frames;
        std::int64_t before = 0;
        bool end_of_file = false;
        for (int requests = 0; requests < 100000; ++requests) {
            auto frame = r.comm.RetrieveFrame();
            const std::int64_t dropped = r.comm.GetBytesDiscarded() - before;
            before += dropped;
            EXPECT_LE(dropped, 2 * scan);
            EXPECT_LE(r.comm.GetQueuedByteCount(), 2 * scan + header_size);
            end_of_file = r.comm.GetEndOfFile() || end_of_file;
            if (frame) {
                frames.push_back(frame->GetText());
            } else if (end_of_file && dropped == 0) {
                break;  // an empty answer that dropped nothing at the end: exhausted
            }
        }
        return frames;
    };
    {  // Junk longer than the scan limit, then a frame.
        FileResource r(std::string(5000, 'x') + "AB1", scan);
        ASSERT_EQ(r.comm.Attach(Fixed("AB", 3)), 0);
        ASSERT_EQ(r.comm.EnableAcquisition("AB"), 0);
        EXPECT_EQ(drive(r, 2), std::vector<std::string>{"AB1"});
        EXPECT_EQ(r.comm.GetBytesDiscarded(), 5000);
    }
    {  // A long run of the header minus its last byte: a partial match is
       // always in progress, yet the run is dropped a scan limit at a time.
        std::string run;
        while (run.size() < 20000) run += "RADP";
        FileResource r(run + "RADPZ12", scan);
        ASSERT_EQ(r.comm.Attach(Fixed("RADPZ", 7)), 0);
        ASSERT_EQ(r.comm.EnableAcquisition("RADPZ"), 0);
        EXPECT_EQ(drive(r, 5), std::vector<std::string>{"RADPZ12"});
        EXPECT_EQ(r.comm.GetBytesDiscarded(), 20000);
    }
}

TEST(FileResource, VariableFrameWithoutTerminatorIsGivenUp) {
    // A header whose terminator never comes within the longest frame does
    // not make the queue hold the rest of the log; the next frame is found.
    const std::string junk(CTelemComm::kMaxVariableFrame + 10, 'x');
    FileResource r("V1" + junk + "V2;", 4096);
    ASSERT_EQ(r.comm.Attach(Variable("V", ";")), 0);
    ASSERT_EQ(r.comm.EnableAcquisition("V"), 0);
    std::unique_ptr<CFrameData> frame;
    for (int requests = 0; !frame && requests < 10000; ++requests) {
        frame = r.comm.RetrieveFrame();
        EXPECT_LE(r.comm.GetQueuedByteCount(), CTelemComm::kMaxVariableFrame + 8192);
    }
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->GetText(), "V2;");
    EXPECT_EQ(r.comm.GetBytesDiscarded(), static_cast<std::int64_t>(junk.size() + 2));
}

// A frame brings the bytes behind it (a time tag) with their file offset,
// but only when all of them are known: a chunk that ends right behind the
// frame leaves them to be read from the file, the end of the file does not.
TEST(FileResource, FramesBringTheBytesThatFollowThem) {
    // Frames "F1.." of 5 bytes, each followed by 3 bytes, one junk byte first.
    const std::string content = "jF1abc123F2def456F3ghi78";
    for (int buffer : {4, 7, 64}) {
        FileResource r(content, buffer);
        ASSERT_EQ(r.comm.Attach(Fixed("F", 5)), 0);
        ASSERT_EQ(r.comm.EnableAcquisition("F"), 0);
        std::uint64_t offset = 1;
        int known = 0;
        for (int i = 0; i < 3; ++i) {
            auto frame = r.comm.RetrieveFrame();
            ASSERT_TRUE(frame);
            offset += 5;
            std::span<const std::uint8_t> bytes;
            EXPECT_FALSE(frame->GetFollowingBytes(offset + 1, bytes));
            if (frame->GetFollowingBytes(offset, bytes)) {
                ++known;
                const std::string expected = content.substr(offset, CFrameData::kFollowingBytes);
                EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected) << buffer << " " << i;
            }
            offset += 3;
        }
        // The last frame's bytes run to the end of the file, always known.
        EXPECT_GE(known, buffer == 64 ? 3 : 1) << buffer;
    }
}

TEST(FileResource, HeadersWithoutTerminatorsAreScannedOnce) {
    // Two megabytes of headers whose terminator never comes: each gives up
    // where the one before did, rather than scanning a megabyte again (which
    // would not end in any reasonable time). The frame behind them is found,
    // and so is one whose terminator straddles the place a search gave up.
    const std::size_t limit = CTelemComm::kMaxVariableFrame;
    std::string junk;
    while (junk.size() < 2 * limit) junk += "V,1.5";
    FileResource r(junk + "V,2;", 4096);
    ASSERT_EQ(r.comm.Attach(Variable("V", ";")), 0);
    ASSERT_EQ(r.comm.EnableAcquisition("V"), 0);
    std::unique_ptr<CFrameData> frame;
    for (int requests = 0; !frame && requests < 100000; ++requests) frame = r.comm.RetrieveFrame();
    ASSERT_TRUE(frame);
    const std::string& text = frame->GetText();
    EXPECT_TRUE(text.ends_with("V,2;"));
    EXPECT_EQ(r.comm.GetBytesDiscarded() + static_cast<std::int64_t>(text.size()),
              static_cast<std::int64_t>(junk.size() + 4));

    // "AB" + filler: the first header's search stops with "\r" as the last
    // byte it may take; the second header's frame ends with the "\n" after it.
    std::string log = "ABAB" + std::string(limit - 5, 'x') + "\r\n";
    Stream s({Variable("AB", "\r\n")});
    s.Feed(log);
    std::unique_ptr<CFrameData> second;
    for (int passes = 0; !second && passes < 10; ++passes) {
        if (s.comm.Synchronize() == 1) s.comm.ExtractFrames();
        second = s.comm.RetrieveFrame();
    }
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetText(), log.substr(2));
}

TEST(FileResource, ClosedUnderneath) {
    FileResource r("AB12AB34", 4);
    ASSERT_EQ(r.comm.Attach(Fixed("AB", 4)), 0);
    ASSERT_EQ(r.comm.EnableAcquisition("AB"), 0);
    Drain(r.comm);
    r.file.Close();
    EXPECT_EQ(r.comm.IsFileOpen(), 0);
    EXPECT_FALSE(r.comm.RetrieveFrame());
    EXPECT_GE(r.owner.Count(kCmdFileStatus), 1);
    auto messages = Drain(r.comm);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], "Error reading file resource " + r.comm.GetName() +
                               ".\r\n\tThe file resource is not open.\r\n");
}

// Requests frames the way the conversion does, until an empty answer after the
// end of the file. Returns the sum of the frame lengths.
std::int64_t Convert(CTelemComm& comm, int& frames) {
    std::int64_t frame_bytes = 0;
    bool end = false;
    frames = 0;
    for (int guard = 0; guard < 100000; ++guard) {
        auto frame = comm.RetrieveFrame();
        if (comm.GetEndOfFile()) end = true;
        if (comm.GetFileErrorCause() != 0) break;
        if (frame) {
            frame_bytes += frame->GetFrameLength();
            ++frames;
        } else if (end) {
            break;
        }
        comm.GetNextMessage();
    }
    return frame_bytes;
}

TEST(FileResource, BadInputKeepsEveryByteAccountedFor) {
    std::mt19937 rng(117);
    std::string random(20000, '\0');
    for (char& c : random) c = static_cast<char>(rng() & 0xFF);
    std::string planted = random;
    for (std::size_t at = 100; at + 40 < planted.size(); at += 997) {
        planted.replace(at, 3, "SPR");
    }
    const struct {
        const char* name;
        std::string content;
        AttachInfo info;
        int buffer;
    } cases[] = {
        {"random bytes", random, Fixed("SPR", 40), 64},
        {"random with headers", planted, Fixed("SPR", 40), 50},
        {"every byte starts a header", std::string(5000, 'S'), Fixed("SPR", 40), 64},
        {"partial headers", std::string(3000, 'S') + "SP" + std::string(300, 'S'), Fixed("SPR", 40),
         7},
        {"empty", "", Fixed("SPR", 40), 64},
        {"header longer than the buffer", "xxHEADERLONGER!!yyHEADERLONGER",
         Fixed("HEADERLONGER", 14), 3},
        {"variable without terminator", "NAV1,2,3" + std::string(500, ','), Variable("NAV", "\r\n"),
         16},
        {"trailing partial frame", "SPR" + std::string(37, 'a') + "SPRshort", Fixed("SPR", 40), 16},
    };
    for (const auto& c : cases) {
        FileResource r(c.content, c.buffer);
        ASSERT_EQ(r.comm.Attach(c.info), 0) << c.name;
        ASSERT_EQ(r.comm.EnableAcquisition(c.info.header), 0) << c.name;
        int frames = 0;
        const std::int64_t frame_bytes = Convert(r.comm, frames);
        EXPECT_EQ(frame_bytes + r.comm.GetBytesDiscarded() +
                      static_cast<std::int64_t>(r.comm.GetQueuedByteCount()),
                  static_cast<std::int64_t>(c.content.size()))
            << c.name;
    }
}

}  // namespace
}  // namespace dravik
