// A log read as a file, a pipe or a compressed stream gives the same bytes,
// tells its end with its last bytes, and a damaged or odd one says why.
#include "platform/log_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace dravik;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "dravik_log_source_" + std::to_string(getpid()) + "_" + name;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The log bytes compressed by the command line tool `tool` ("gzip", ...).
std::string Compressed(const std::string& tool, const std::string& bytes) {
    const std::string plain = TempPath("plain");
    const std::string packed = TempPath("packed");
    Write(plain, bytes);
    EXPECT_EQ(std::system((tool + " -c " + plain + " > " + packed).c_str()), 0) << tool;
    std::string result = Slurp(packed);
    std::remove(plain.c_str());
    std::remove(packed.c_str());
    return result;
}

// Bytes no compressor shrinks to nothing, long enough for several blocks.
std::string LogBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>((x >> 16) % 7 == 0 ? x >> 8 : 'A' + (x >> 20) % 4);
    }
    return bytes;
}

// Reads the whole log in chunks of `chunk`. A read that does not fill its
// chunk is the last: it says the data ends, or the next read fails.
std::string ReadAll(CLogSource& log, std::size_t chunk, int& cause) {
    std::string all;
    std::vector<std::uint8_t> buffer(chunk);
    cause = 0;
    bool short_read = false;
    for (int reads = 0; reads < 1000000; ++reads) {
        const CLogSource::CRead r = log.Read(buffer.data(), chunk);
        all.append(reinterpret_cast<const char*>(buffer.data()), r.got);
        if (r.cause != 0) {
            cause = r.cause;
            break;
        }
        EXPECT_FALSE(short_read) << "a short read that was not the last";
        if (r.end) break;
        if (log.HasLength() && all.size() >= log.GetLength()) break;
        short_read = r.got < chunk;
    }
    return all;
}

}  // namespace

TEST(LogSource, EveryCompressionFromAFileOrAPipeGivesTheSameBytes) {
    // An exact number of chunks, so that the end must come with the last
    // full chunk, not with an empty read after it.
    const std::string bytes = LogBytes(3 * 65536 + 1000);
    const std::size_t chunk = bytes.size() / 4;
    ASSERT_EQ(bytes.size() % chunk, 0u);
    const struct {
        const char* tool;  // null: not compressed
        ECompression compression;
    } kinds[] = {{nullptr, ECompression::kNone},
                 {"gzip", ECompression::kGzip},
                 {"bzip2", ECompression::kBzip2},
                 {"xz", ECompression::kXz},
                 {"zstd -q", ECompression::kZstd}};
    for (const auto& kind : kinds) {
        const std::string stored = kind.tool ? Compressed(kind.tool, bytes) : bytes;
        const std::string path = TempPath("log");
        Write(path, stored);
        for (bool pipe : {false, true}) {
            SCOPED_TRACE(std::string(kind.tool ? kind.tool : "plain") + (pipe ? " pipe" : " file"));
            const std::string fifo = TempPath("fifo");
            std::thread writer;
            if (pipe) {
                ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
                writer = std::thread([&] { Write(fifo, stored); });
            }
            CLogSource log;
            ASSERT_EQ(log.Open(pipe ? fifo : path), 0);
            EXPECT_EQ(log.GetCompression(), kind.compression);
            EXPECT_EQ(log.HasLength(), !pipe && kind.tool == nullptr);
            int cause = 0;
            EXPECT_EQ(ReadAll(log, chunk, cause), bytes);
            EXPECT_EQ(cause, 0);
            log.Close();
            if (pipe) {
                writer.join();
                std::remove(fifo.c_str());
            }
        }
        std::remove(path.c_str());
    }
}

TEST(LogSource, DamagedAndOddLogsSayWhy) {
    const std::string bytes = LogBytes(200000);
    std::string flipped = Compressed("gzip", bytes);
    flipped[flipped.size() / 2] ^= 0x55;
    const std::string gzip = Compressed("gzip", bytes);
    const std::string xz = Compressed("xz", bytes);
    const struct {
        const char* name;
        std::string stored;
        int read_cause;
        const char* why;
    } cases[] = {
        // zlib checks what the archive library would let through.
        {"gzip, a byte changed", flipped, kFileGeneric, "The gzip data is damaged"},
        {"gzip, cut short", gzip.substr(0, gzip.size() / 2), kFileGeneric, "cut short"},
        {"xz, cut short", xz.substr(0, xz.size() - 100), kFileGeneric,
         "The xz data is damaged or cut short"},
        // gzip's magic without its deflate method is a plain log.
        {"near miss", std::string("\x1f\x8b\x07", 3) + bytes, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TempPath("damaged");
        Write(path, c.stored);
        CLogSource log;
        ASSERT_EQ(log.Open(path), 0);
        int cause = 0;
        const std::string read = ReadAll(log, 4096, cause);
        EXPECT_EQ(cause, c.read_cause);
        EXPECT_NE(log.GetFailureDetail().find(c.why), std::string::npos) << log.GetFailureDetail();
        // What came before the end of a log cut short is handed out whole.
        if (std::string(c.why) == "cut short") {
            EXPECT_GT(read.size(), 4096u);
            EXPECT_TRUE(read == bytes.substr(0, read.size()));
        }
        std::remove(path.c_str());
    }
    CLogSource device;
    EXPECT_EQ(device.Open("/dev/zero"), kFileAccessDenied);
    EXPECT_EQ(device.GetFailureDetail(), "It is a device, not a log file.");
}

TEST(LogSource, AnInterruptEndsTheWaitForASilentWriter) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int saved = dup(STDIN_FILENO);
    ASSERT_EQ(dup2(fds[0], STDIN_FILENO), STDIN_FILENO);
    ASSERT_EQ(write(fds[1], "0123456789AB", 12), 12);
    CLogSource log;
    ASSERT_EQ(log.Open("-"), 0);
    EXPECT_EQ(log.GetName(), "standard input");
    std::thread cancel([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        log.Interrupt();
    });
    std::uint8_t buffer[64];
    const CLogSource::CRead r = log.Read(buffer, sizeof buffer);
    cancel.join();
    EXPECT_EQ(r.got, 12u);
    EXPECT_EQ(r.cause, 0);
    EXPECT_TRUE(r.end);
    dup2(saved, STDIN_FILENO);
    for (int fd : {saved, fds[0], fds[1]}) close(fd);
}

TEST(LogSource, SignaturesNeedTheirWholeMagic) {
    const struct {
        std::string head;
        ECompression compression;
    } cases[] = {
        {std::string("\x1f\x8b\x08", 3), ECompression::kGzip},
        {std::string("\xfd"
                     "7zXZ\0",
                     6),
         ECompression::kXz},
        {std::string("\xfd"
                     "7zXZ",
                     5),
         ECompression::kNone},
        {std::string("\x28\xb5\x2f\xfd", 4), ECompression::kZstd},
        {std::string("BZh91AY&SY", 10), ECompression::kBzip2},
        {std::string("BZh9\x17\x72\x45\x38\x50\x90", 10), ECompression::kBzip2},
        {"BZh9 frames", ECompression::kNone},
        {"SATHDR0042", ECompression::kNone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            DetectCompression(reinterpret_cast<const std::uint8_t*>(c.head.data()), c.head.size()),
            c.compression)
            << c.head;
    }
}
