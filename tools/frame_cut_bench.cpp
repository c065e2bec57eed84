// Frame cutting throughput: the frames of a synthetic 100 MB radiometer log
// (fixed 283-byte frames behind a 7-byte header, about 1% unmatched bytes
// between frames) are cut through a file resource, beside a plain chunked read
// of the same file for scale.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/disk_file.h"
#include "platform/log_source.h"
#include "telemetry/oxa_telemetry_doc.h"
#include "telemetry/telem_comm.h"

namespace {

using dravik::CDiskFile;

constexpr int kFrameSize = 283;
constexpr int kBufferSize = 8192;  // the conversion's default file buffer
constexpr std::size_t kLogSize = 100u * 1024u * 1024u;
const std::string kHeader = "SPR0117";

// The log and an instrument file for it, written once per run.
struct Fixture {
    std::string log_path;
    std::string cal_path;
    std::size_t frames = 0;
    std::size_t size = 0;

    Fixture() {
        char dir[] = "/tmp/dravik_bench_XXXXXX";
        if (mkdtemp(dir) == nullptr) std::abort();
        log_path = std::string(dir) + "/spr.raw";
        cal_path = std::string(dir) + "/spr0117.cal";

        std::uint32_t state = 0x2545F491u;  // deterministic generator
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return state;
        };
        std::string log;
        log.reserve(kLogSize + 1024);
        while (log.size() < kLogSize) {
            log += kHeader;
            for (int i = static_cast<int>(kHeader.size()); i < kFrameSize; ++i) {
                log.push_back(static_cast<char>(next() & 0xFF));
            }
            ++frames;
            // Between frames, on average 1% of a frame of bytes that match nothing.
            const int garbage = static_cast<int>(next() % 6);
            for (int i = 0; i < garbage; ++i) log.push_back(static_cast<char>('a' + next() % 26));
        }
        FILE* f = std::fopen(log_path.c_str(), "wb");
        if (f == nullptr || std::fwrite(log.data(), 1, log.size(), f) != log.size()) std::abort();
        std::fclose(f);
        size = log.size();

        std::string cal = "INSTRUMENT SPR '' 3 AS 0 NONE\nSN 0117 '' 4 AS 0 NONE\n";
        for (int i = 0; i < (kFrameSize - 7) / 2; ++i) {
            cal += "ES " + std::to_string(350 + i) + " 'uW/cm^2/nm' 2 BU 0 COUNT\n";
        }
        f = std::fopen(cal_path.c_str(), "wb");
        if (f == nullptr) std::abort();
        std::fwrite(cal.data(), 1, cal.size(), f);
        std::fclose(f);
    }
    ~Fixture() {
        std::remove(log_path.c_str());
        std::remove(cal_path.c_str());
        rmdir(log_path.substr(0, log_path.rfind('/')).c_str());
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void BM_PlainChunkedRead(benchmark::State& state) {
    const Fixture& data = Data();
    std::vector<char> buffer(kBufferSize);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        CDiskFile file;
        if (file.Open(data.log_path, CDiskFile::Mode::kRead, false) != 0) std::abort();
        std::size_t got = 0;
        std::uint64_t sum = 0;
        while (file.Read(buffer.data(), buffer.size(), got) == 0 && got > 0) {
            sum += static_cast<unsigned char>(buffer[got - 1]);
            bytes += static_cast<std::int64_t>(got);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_PlainChunkedRead)->Unit(benchmark::kMillisecond);

// The file resource alone, asked for one frame at a time as the conversion does.
void BM_FrameCutFileResource(benchmark::State& state) {
    const Fixture& data = Data();
    std::int64_t bytes = 0;
    std::size_t frames = 0;
    for (auto _ : state) {
        dravik::CLogSource file;
        if (file.Open(data.log_path, false) != 0) std::abort();
        dravik::CTelemComm comm;
        comm.InitializeFileResource(&file, kBufferSize);
        dravik::AttachInfo info;
        info.header = kHeader;
        info.frame_size = kFrameSize;
        comm.Attach(info);
        comm.EnableAcquisition(kHeader);
        frames = 0;
        bool end = false;
        for (;;) {
            std::unique_ptr<dravik::CFrameData> frame = comm.RetrieveFrame();
            if (comm.GetEndOfFile()) end = true;
            if (frame) {
                ++frames;
            } else if (end) {
                break;
            }
        }
        bytes += static_cast<std::int64_t>(data.size);
    }
    if (frames != data.frames) state.SkipWithError("frames were lost");
    state.counters["frames"] = static_cast<double>(frames);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FrameCutFileResource)->Unit(benchmark::kMillisecond);

// A document that asks for the next frame from inside each answer, until the
// first empty answer after the end of the file.
class PullDoc : public dravik::COxaTelemetryDoc {
  public:
    ~PullDoc() override { DeleteContents(); }
    void OnTelemetryMessage(std::string&) override {}
    void OnFileResourceStatus(const std::string&, int, int eof, int) override {
        if (eof) m_end = true;
    }
    void OnTelemetryFrame(const std::string&, std::unique_ptr<dravik::CFrameData> frame) override {
        if (frame) {
            ++m_frames;
        } else if (m_end) {
            std::lock_guard lock(m_lock);
            m_done = true;
            m_cv.notify_all();
            return;
        }
        GetFileFrame(0);
    }
    std::size_t Run() {
        GetFileFrame(0);
        std::unique_lock lock(m_lock);
        m_cv.wait(lock, [this] { return m_done; });
        return m_frames;
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_done = false;
    bool m_end = false;
    std::size_t m_frames = 0;
};

// Through the telemetry control and its processing thread.
void BM_FrameCutThroughControl(benchmark::State& state) {
    const Fixture& data = Data();
    std::int64_t bytes = 0;
    std::size_t frames = 0;
    for (auto _ : state) {
        dravik::CLogSource file;
        if (file.Open(data.log_path, false) != 0) std::abort();
        PullDoc doc;
        doc.AddCommResource(&file, kBufferSize);
        doc.AddInstrument(data.cal_path);
        doc.AttachInstrument(kHeader, file.GetName());
        doc.StartAcquisition(0);
        frames = doc.Run();
        doc.DeleteContents();
        bytes += static_cast<std::int64_t>(data.size);
    }
    if (frames != data.frames) state.SkipWithError("frames were lost");
    state.counters["frames"] = static_cast<double>(frames);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FrameCutThroughControl)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
