// The host cost of the polling loop: one progress poll, and whole enrol cycles (status
// line text, colours, pump, poll, decision) through the in-memory transport and the drive
// model, with a window that draws nothing.
//
//   fingerprint_poll_bench                 Google Benchmark timings
//   fingerprint_poll_bench --cycles=N      one install with N enrol cycles, for callgrind
//     with --toggle-collect='CFingerprintOperations::InstallNewFingerprint*'
//   Run it with two values of N: the difference of the totals over the difference of N is
//   the cost of one cycle, free of the probes around the loop (docs/architecture.md).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/start_settings.h"
#include "device/memory_transport.h"
#include "fingerprint/fingerprint_operations.h"
#include "tests/fingerprint/silent_window.h"
#include "virtual_drive/drive_model.h"

namespace {

class NoWait final : public IClock {
  public:
    void Sleep(std::uint32_t) override {}
};

vdrive::DriveOptions OneTouchEnrol() {
    vdrive::DriveOptions options;
    options.fixedSeeds = {0x1234, 0xBEEF, 0x0F0F};
    options.touchesToEnrol = 1;
    return options;
}

struct Bench {
    vdrive::FingerprintDriveModel drive{OneTouchEnrol()};
    MemoryTransport transport;
    SilentWindow window;
    NoWait clock;
    CFingerprintOperations ops{window, transport, clock};

    Bench() {
        g_language = 0;
        g_busy = 0;
        transport.Attach('E', drive);
        ops.FindFingerprintDrive(transport.PresentDriveMask());
    }
    // An install whose enrol phase runs `touches` undecided cycles, then enrols.
    void Install(unsigned touches) {
        drive.ClearSlots();
        drive.User().Touch(touches);
        drive.User().Present("new-finger");
        ops.InstallNewFingerprint();
    }
};

void BM_PollProgress(benchmark::State& state) {
    Bench bench;
    bench.ops.m_device.SendRequestFrame(vendor::kInstallStart, vendor::kWriteStartsWork);
    std::uint8_t report[4];
    for (auto _ : state) {
        benchmark::DoNotOptimize(bench.ops.PollProgress(report, sizeof report));
    }
}
BENCHMARK(BM_PollProgress);

// Whole installs; the per-cycle counter divides by the enrol cycles they ran.
void BM_InstallEnrolCycles(benchmark::State& state) {
    Bench bench;
    const auto touches = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        bench.Install(touches);
    }
    state.counters["cycle"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * (touches + 1),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InstallEnrolCycles)->Arg(0)->Arg(100);

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strncmp(argv[1], "--cycles=", 9) == 0) {
        const long cycles = std::strtol(argv[1] + 9, nullptr, 10);
        Bench bench;
        bench.Install(cycles > 1 ? static_cast<unsigned>(cycles - 1) : 0);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
