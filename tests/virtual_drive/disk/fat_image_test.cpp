// The formatted disk, checked by the file system's own tools: fsck.fat must find nothing
// to mend, mtools must read the label and copy a file in and out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/virtual_drive/disk/disk_harness.h"
#include "virtual_drive/disk/fat_image.h"

using namespace disk_test;

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun Shell(const std::string& command, const fs::path& outputFile) {
    ToolRun run;
    run.status = std::system((command + " >" + outputFile.string() + " 2>&1").c_str());
    std::ifstream in(outputFile);
    run.output.assign(std::istreambuf_iterator<char>(in), {});
    return run;
}

void Save(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

class FatDisk : public ::testing::TestWithParam<std::uint64_t> {
  protected:
    FatDisk() {
        folder =
            fs::temp_directory_path() / ("tessalok-fat-" + std::to_string(GetParam()) + "-" +
                                         std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(folder);
    }
    ~FatDisk() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // fsck.fat reads a volume, not a disk: the partition on its own.
    ToolRun CheckVolume(const fs::path& diskFile) {
        std::ifstream in(diskFile, std::ios::binary);
        const Bytes disk(std::istreambuf_iterator<char>(in), {});
        const std::size_t start = std::size_t{vdrive::kFatPartitionStart} * 512;
        Save(folder / "volume.img", disk.data() + start, disk.size() - start);
        return Shell("fsck.fat -n " + (folder / "volume.img").string(), folder / "fsck.txt");
    }

    fs::path folder;
};

TEST_P(FatDisk, IsACleanLabelledFat16VolumeThatTakesFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "fsck.fat and mtools run on the Linux build";
#endif
    const Bytes disk = vdrive::MakeFatDisk({GetParam(), "tessalok", 0x12345678});
    ASSERT_EQ(disk.size(), GetParam());
    EXPECT_EQ(disk[510], 0x55);
    EXPECT_EQ(disk[511], 0xAA);
    EXPECT_EQ(disk[446 + 4], vdrive::kFat16LbaPartitionType);
    EXPECT_EQ(Be(disk, 446 + 8, 4), 0x00080000u); // LBA 2048, little-endian

    const fs::path image = folder / "disk.img";
    Save(image, disk.data(), disk.size());
    const ToolRun fsck = CheckVolume(image);
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    EXPECT_EQ(fsck.output.find("differ"), std::string::npos) << fsck.output;

    const std::string at = image.string() + "@@1M";
    const ToolRun dir = Shell("mdir -i " + at + " ::", folder / "mdir.txt");
    ASSERT_EQ(dir.status, 0) << dir.output;
    EXPECT_NE(dir.output.find("Volume in drive : is TESSALOK"), std::string::npos) << dir.output;
    EXPECT_NE(dir.output.find("Serial Number is 1234-5678"), std::string::npos) << dir.output;

    Save(folder / "note.txt", reinterpret_cast<const std::uint8_t*>("kept safe\n"), 10);
    const ToolRun copyIn =
        Shell("mcopy -i " + at + " " + (folder / "note.txt").string() + " ::NOTE.TXT",
              folder / "mcopy.txt");
    ASSERT_EQ(copyIn.status, 0) << copyIn.output;
    const ToolRun type = Shell("mtype -i " + at + " ::NOTE.TXT", folder / "mtype.txt");
    EXPECT_EQ(type.output, "kept safe\n");
    const ToolRun after = CheckVolume(image);
    EXPECT_EQ(after.status, 0) << after.output;
    EXPECT_NE(after.output.find("1/"), std::string::npos) << after.output; // one cluster used
}

// The default 16 MiB, a small and a larger stick: each gets FAT16 clusters of its size.
INSTANTIATE_TEST_SUITE_P(Sizes, FatDisk,
                         ::testing::Values(vdrive::kDefaultDiskBytes, 4u << 20, 128u << 20));

TEST(FatDiskSizes, SizesWithoutAFat16VolumeAreRefused) {
    for (const std::uint64_t bytes : {std::uint64_t{0}, std::uint64_t{1} << 20,
                                      (std::uint64_t{16} << 20) + 1, std::uint64_t{3} << 30}) {
        EXPECT_THROW(vdrive::MakeFatDisk({bytes}), std::invalid_argument) << bytes;
    }
}

TEST(FatDiskSizes, TheDefaultImageIsTheFormattedDisk) {
    auto image = vdrive::MakeFormattedMemoryImage();
    ASSERT_EQ(image->BlockCount(), vdrive::kDefaultDiskBytes / 512);
    Bytes mbr(512);
    ASSERT_TRUE(image->Read(0, mbr));
    const Bytes expected = vdrive::MakeFatDisk();
    EXPECT_EQ(mbr, Bytes(expected.begin(), expected.begin() + 512));
}

} // namespace
