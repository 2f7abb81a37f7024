// The cost of the frame steps through the in-memory transport: one request and reply
// exchange, one progress poll (both four commands: seed, write, seed, read), and the
// scrambler alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <span>

#include "device/finger_disk.h"
#include "device/memory_transport.h"
#include "device/scrambler.h"

namespace {

// Answers seeds and frames with fixed bytes, just enough for the frame steps to run.
class FrameDrive final : public IScsiTarget {
  public:
    std::uint8_t ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                std::span<std::uint8_t> data) override {
        if (cdb[12] == 'I') {
            std::fill(data.begin(), data.end(), std::uint8_t{0});
            data[5] = 1;
            std::copy_n("SECUKestrova", 12, data.begin() + 6);
        } else if (direction == ScsiDirection::Read && cdb[2] == vendor::kSubReadSeed) {
            m_seed = static_cast<std::uint16_t>(m_seed * 75 + 74);
            data[0] = static_cast<std::uint8_t>(m_seed >> 8);
            data[1] = static_cast<std::uint8_t>(m_seed);
        } else if (direction == ScsiDirection::Read) {
            std::fill(data.begin(), data.end(), std::uint8_t{0x5A});
        }
        return kScsiStatusGood;
    }

  private:
    std::uint16_t m_seed = 1;
};

class NoWait final : public IClock {
  public:
    void Sleep(std::uint32_t) override {}
};

struct Bench {
    Bench() {
        transport.Attach('E', drive);
        disk.m_driveLetter = 'E';
        ReplyFrame reply;
        disk.Identify(reply);
    }
    FrameDrive drive;
    MemoryTransport transport;
    NoWait clock;
    CFingerDisk disk{transport, clock};
};

void BM_FrameExchange(benchmark::State& state) {
    Bench bench;
    ReplyFrame frame;
    for (auto _ : state) {
        bench.disk.SendRequestFrame(vendor::kStatusRequest, vendor::kWriteExpectsReply);
        benchmark::DoNotOptimize(bench.disk.ReceiveReplyFrame(vendor::kStatusReplyLength, frame));
    }
}
BENCHMARK(BM_FrameExchange);

void BM_ProgressPoll(benchmark::State& state) {
    Bench bench;
    ReplyFrame frame;
    for (auto _ : state) {
        bench.disk.SendRequestFrame(vendor::kProgressPoll, vendor::kWriteExpectsReply);
        benchmark::DoNotOptimize(
            bench.disk.ReceiveReplyFrame(vendor::kFrameHeaderLength + 1, frame));
    }
}
BENCHMARK(BM_ProgressPoll);

void BM_ScrambleBlock(benchmark::State& state) {
    std::array<std::uint8_t, kFrameBlockSize> block{};
    const auto length = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        ScrambleBlock(0x5AC3, block.data(), length, block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * length);
}
BENCHMARK(BM_ScrambleBlock)->Arg(11)->Arg(256)->Arg(512);

} // namespace

BENCHMARK_MAIN();
