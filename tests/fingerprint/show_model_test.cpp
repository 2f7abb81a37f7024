#include <gmock/gmock.h>

#include "tests/fingerprint/operations_fixture.h"

using ::testing::ElementsAre;

namespace {

vdrive::DriveOptions WithModel(std::string model) {
    vdrive::DriveOptions options;
    options.modelText = std::move(model);
    return options;
}

class ShowModelTest : public OperationsTest {
  protected:
    ShowModelTest() : OperationsTest(WithModel("KV-FP2000 Rev 2.00.7")) {}
    void SetUp() override {
        Connect();
        window.statusText = u"before";
        window.foreColour = 0x123456;
        window.backColour = 0x654321;
        clock.log = &window.log;
    }
};

TEST_F(ShowModelTest, ShowsModelForTwoSecondsThenRestores) {
    ops.ShowModel();
    EXPECT_THAT(window.log,
                ElementsAre("text KV-FP2000 Rev 2.00.7", "fore FFFFFF", "back! 000000", "pump",
                            "sleep 2000", "text before", "fore 123456", "back! 654321", "pump"));
    EXPECT_THAT(Commands(), ElementsAre("seed", "write", "seed", "read"));
    EXPECT_EQ(wire.Records().back().length, vendor::kModelReplyLength);
}

TEST_F(ShowModelTest, UnprintableBytesShowAsDots) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("ABC") + std::string(17, '\0'), "ABC" + std::string(17, '.')},
        {std::string("\x1F\x20\x7E\x7F\x80\xFF", 6) + std::string(14, 'z'),
         ". ~..." + std::string(14, 'z')},
    };
    for (const auto& [model, shown] : cases) {
        vdrive::FingerprintDriveModel modelDrive(WithModel(model));
        memory.Attach('E', modelDrive);
        window.log.clear();
        ops.ShowModel();
        ASSERT_FALSE(window.log.empty());
        EXPECT_EQ(window.log.front(), "text " + shown);
    }
}

TEST_F(ShowModelTest, RestoresAtMost199Characters) {
    window.statusText = std::u16string(250, u'x');
    ops.ShowModel();
    EXPECT_EQ(window.statusText, std::u16string(199, u'x'));
}

TEST_F(ShowModelTest, FailedRequestOrReplyClearsTheLetterSilently) {
    // The request's write, then the reply's read, fail with all their attempts.
    for (const std::size_t first : {1u, 3u}) {
        SCOPED_TRACE(first);
        ops.m_device.m_driveLetter = 'E';
        window.log.clear();
        wire.Clear();
        const std::size_t base = memory.CommandCount();
        for (std::size_t attempt = 0; attempt < 3; ++attempt) {
            memory.FailCommandNumber(base + first + attempt);
        }
        ops.ShowModel();
        EXPECT_EQ(ops.m_device.m_driveLetter, 0);
        EXPECT_THAT(window.log, ElementsAre("sleep 200", "sleep 500"));
    }
}

TEST_F(ShowModelTest, SecondClickDuringTheWaitRunsAfterTheRestore) {
    window.AtPump(2, [this] { ops.ShowModel(); }); // the pump after the restore
    ops.ShowModel();
    EXPECT_EQ(window.Lines("sleep"), (std::vector<std::string>{"sleep 2000", "sleep 2000"}));
    EXPECT_EQ(window.Lines("text "),
              (std::vector<std::string>{"text KV-FP2000 Rev 2.00.7", "text before",
                                        "text KV-FP2000 Rev 2.00.7", "text before"}));
    EXPECT_EQ(window.statusText, u"before");
    EXPECT_EQ(window.foreColour, 0x123456u);
    EXPECT_EQ(window.backColour, 0x654321u);
}

} // namespace
