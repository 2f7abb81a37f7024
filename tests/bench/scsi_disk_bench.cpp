// The volume disk's own share of a transfer: READ and WRITE through the command set on the
// 16 MiB memory image, sequential 128 KiB and random 4 KiB, as an initiator issues them.
#include <benchmark/benchmark.h>

#include <mutex>
#include <random>
#include <vector>

#include "virtual_drive/disk/volume_disk.h"
#include "virtual_drive/volume_set.h"

namespace {

struct Disk {
    Disk() {
        volume.letter = 'E';
        volume.drive = std::make_unique<vdrive::FingerprintDriveModel>();
        lun = vdrive::MakeVolumeDisk(volume, models);
    }
    std::mutex models;
    vdrive::Volume volume;
    std::unique_ptr<vdrive::IScsiLogicalUnit> lun;
};

std::vector<std::uint8_t> Cdb16(std::uint8_t opcode, std::uint64_t lba, std::uint32_t blocks) {
    std::vector<std::uint8_t> cdb(16, 0);
    cdb[0] = opcode;
    for (int i = 0; i < 8; ++i) {
        cdb[2 + i] = static_cast<std::uint8_t>(lba >> (56 - 8 * i));
    }
    for (int i = 0; i < 4; ++i) {
        cdb[10 + i] = static_cast<std::uint8_t>(blocks >> (24 - 8 * i));
    }
    return cdb;
}

constexpr std::uint64_t kBlocks = 16u * 2048;

void Transfer(benchmark::State& state, std::uint8_t opcode, bool random) {
    Disk disk;
    const auto blocks = static_cast<std::uint32_t>(state.range(0) / 512);
    const std::vector<std::uint8_t> out(blocks * 512, 0x5A);
    std::mt19937_64 pick(7);
    std::uint64_t lba = 0;
    for (auto _ : state) {
        lba = random ? pick() % (kBlocks / blocks) * blocks : (lba + blocks) % kBlocks;
        const auto cdb = Cdb16(opcode, lba, blocks);
        vdrive::ScsiTask task;
        task.cdb = cdb;
        task.expectedLength = blocks * 512;
        task.readsData = opcode == 0x88;
        task.writesData = opcode == 0x8A;
        task.dataOut = out;
        auto result = disk.lun->Execute(task);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void SequentialRead(benchmark::State& state) { Transfer(state, 0x88, false); }
void RandomRead(benchmark::State& state) { Transfer(state, 0x88, true); }
void SequentialWrite(benchmark::State& state) { Transfer(state, 0x8A, false); }
void RandomWrite(benchmark::State& state) { Transfer(state, 0x8A, true); }

BENCHMARK(SequentialRead)->Arg(128 * 1024);
BENCHMARK(RandomRead)->Arg(4096);
BENCHMARK(SequentialWrite)->Arg(128 * 1024);
BENCHMARK(RandomWrite)->Arg(4096);

} // namespace

BENCHMARK_MAIN();
