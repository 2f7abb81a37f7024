// The storage: raw image files served in place, their refusals, and I/O errors reported
// as medium errors rather than success.
#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/virtual_drive/disk/disk_harness.h"

using namespace disk_test;

namespace {

namespace fs = std::filesystem;

class ImageFiles : public ::testing::Test {
  protected:
    ImageFiles() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder =
            fs::temp_directory_path() / (std::string("tessalok-disk-") + info->name() + "-" +
                                         std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(folder);
    }
    ~ImageFiles() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path File(const std::string& name, const Bytes& content) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()),
                   static_cast<std::streamsize>(content.size()));
        return path;
    }

    static Bytes Contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    fs::path folder;
};

TEST_F(ImageFiles, AServedFileIsReadAndWrittenInPlace) {
    Bytes content(64 * 512);
    std::iota(content.begin(), content.end(), 0);
    const fs::path path = File("disk.img", content);
    auto opened = vdrive::OpenImageFile(path);
    ASSERT_TRUE(opened.image) << opened.error;
    EXPECT_EQ(opened.image->BlockCount(), 64u);

    vdrive::VolumeSet volumes;
    volumes.AddDrive('E', {});
    std::mutex mutex;
    auto lun = vdrive::MakeVolumeDisk(*volumes.Find('E'), mutex, std::move(opened.image));

    vdrive::ScsiTask read;
    const Bytes readCdb = Read10(10, 2);
    read.cdb = readCdb;
    read.expectedLength = 1024;
    read.readsData = true;
    EXPECT_EQ(lun->Execute(read).dataIn, Bytes(content.begin() + 5120, content.begin() + 6144));

    vdrive::ScsiTask write;
    const Bytes writeCdb = Write10(63, 1);
    const Bytes block(512, 0x5A);
    write.cdb = writeCdb;
    write.expectedLength = 512;
    write.writesData = true;
    write.dataOut = block;
    ASSERT_EQ(lun->Execute(write).status, kScsiStatusGood);
    // Written through: the file has it before any flush.
    const Bytes before = Contents(path);
    EXPECT_EQ(Bytes(before.end() - 512, before.end()), block);

    vdrive::ScsiTask sync;
    const Bytes syncCdb = Command(0x35, 10);
    sync.cdb = syncCdb;
    EXPECT_EQ(lun->Execute(sync).status, kScsiStatusGood);
    lun.reset();
    Bytes expected = content;
    std::fill(expected.end() - 512, expected.end(), 0x5A);
    EXPECT_EQ(Contents(path), expected);
}

TEST_F(ImageFiles, FilesThatCannotBeADiskAreRefusedWithTheReason) {
    struct Case {
        fs::path path;
        const char* reason;
    };
    fs::create_directories(folder / "folder");
    std::vector<Case> cases = {
        {folder / "missing.img", "missing.img"},
        {folder / "folder", "directory"},
        {File("empty.img", {}), "the file is empty"},
        {File("odd.img", Bytes(1000, 0)), "1000 bytes, is not a multiple of 512"},
    };
#ifndef _WIN32
    // A FIFO would block an ordinary open until a writer came; a device is not an image.
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    cases.push_back({folder / "fifo", "not a regular file"});
    cases.push_back({"/dev/null", "not a regular file"});
#endif
    for (const Case& c : cases) {
        const auto opened = vdrive::OpenImageFile(c.path);
        EXPECT_FALSE(opened.image) << c.path;
        EXPECT_NE(opened.error.find(c.reason), std::string::npos) << opened.error;
        EXPECT_NE(opened.error.find(c.path.string()), std::string::npos) << opened.error;
    }
}

#ifndef _WIN32
TEST_F(ImageFiles, AReadOnlyFileIsRefused) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root opens read-only files for writing";
    }
    const fs::path path = File("ro.img", Bytes(512, 0));
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_FALSE(vdrive::OpenImageFile(path).image);
}
#endif

TEST_F(ImageFiles, AFileCutShortBehindTheUnitGivesAMediumErrorNotGoodData) {
    const fs::path path = File("shrinking.img", Bytes(64 * 512, 1));
    auto opened = vdrive::OpenImageFile(path);
    ASSERT_TRUE(opened.image);
    vdrive::VolumeSet volumes;
    volumes.AddDrive('E', {});
    std::mutex mutex;
    auto lun = vdrive::MakeVolumeDisk(*volumes.Find('E'), mutex, std::move(opened.image));
    fs::resize_file(path, 8 * 512);

    vdrive::ScsiTask read;
    const Bytes cdb = Read10(32, 1);
    read.cdb = cdb;
    read.expectedLength = 512;
    read.readsData = true;
    const auto result = lun->Execute(read);
    EXPECT_EQ(SenseOf(result), (Sense{0x03, 0x11, 0x00}));
    EXPECT_TRUE(result.dataIn.empty());
}

// An image whose every transfer fails, as a full or failing disk would.
class BrokenImage final : public vdrive::DiskImage {
  public:
    std::uint64_t BlockCount() const override { return 16; }
    bool Read(std::uint64_t, std::span<std::uint8_t>) override { return false; }
    bool Write(std::uint64_t, std::span<const std::uint8_t>) override { return false; }
    bool Flush() override { return false; }
};

TEST(DiskErrors, ImageFailuresAreMediumErrors) {
    vdrive::VolumeSet volumes;
    volumes.AddDrive('E', {});
    std::mutex mutex;
    auto lun = vdrive::MakeVolumeDisk(*volumes.Find('E'), mutex, std::make_unique<BrokenImage>());
    const Bytes block(512, 0);
    struct Case {
        Bytes cdb;
        bool write;
        Sense sense;
    };
    const Sense writeError{0x03, 0x0C, 0x00};
    for (const Case& c :
         {Case{Read10(0, 1), false, {0x03, 0x11, 0x00}}, Case{Write10(0, 1), true, writeError},
          Case{Command(0x35, 10), false, writeError},
          Case{StartStop(true, false), false, writeError}}) {
        vdrive::ScsiTask task;
        task.cdb = c.cdb;
        task.expectedLength = c.write || c.cdb[0] == 0x28 ? 512 : 0;
        task.readsData = c.cdb[0] == 0x28;
        task.writesData = c.write;
        task.dataOut = block;
        EXPECT_EQ(SenseOf(lun->Execute(task)), c.sense) << int{c.cdb[0]};
    }
}

TEST(DiskErrors, AMemoryImageNeedsWholeBlocks) {
    EXPECT_THROW(vdrive::MakeMemoryImage({}), std::invalid_argument);
    EXPECT_THROW(vdrive::MakeMemoryImage(Bytes(513, 0)), std::invalid_argument);
}

} // namespace
