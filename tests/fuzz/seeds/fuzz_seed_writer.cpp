// Writes the seed corpus of every fuzz target:
//     fuzz_seed_writer tests/fuzz/corpus
// Each target's folder is emptied first, except the inputs kept as regressions
// (regression-*), which no maker can make again.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/fuzz/seeds/seed_corpus.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_writer <corpus folder>\n");
        return 2;
    }
    SeedCorpus corpus;
    AddFingerprintReplySeeds(corpus);
    AddDriveCommandSeeds(corpus);
    AddScsiSeeds(corpus);
    AddTextSeeds(corpus);
    std::size_t written = 0;
    for (const auto& [target, seeds] : corpus.Targets()) {
        const fs::path folder = fs::path(argv[1]) / target;
        fs::create_directories(folder);
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().rfind("regression-", 0) != 0) {
                fs::remove(entry.path());
            }
        }
        for (const auto& [name, bytes] : seeds) {
            std::ofstream file(folder / name, std::ios::binary);
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            Expect(file.good(), "cannot write " + (folder / name).string());
            ++written;
        }
        std::printf("%-30s %zu seeds\n", target.c_str(), seeds.size());
    }
    std::printf("%zu seeds written\n", written);
    return 0;
}
