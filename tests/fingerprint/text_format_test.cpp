#include <gtest/gtest.h>

#include "tests/fingerprint/operations_fixture.h"

namespace {

TEST(TextFormatTest, FillsConversionsInOrder) {
    const char16_t* none = nullptr;
    const struct {
        std::u16string format;
        std::u16string expected;
        std::initializer_list<FormatArg> args;
    } cases[] = {
        {u" %d - %s (%d)", u" 7 - go (-3)", {7, u"go", -3}},
        {u"%s:%d, %s:%d", u"a:10, b:0", {u"a", 10, u"b", 0}},
        {u"Found [%S] Tessalok Disk", u"Found [JMTMES] Tessalok Disk", {u"JMTMES"}},
        {u"%c:", u"E:", {'E'}},
        {u"[%s]", u"[]", {none}},
        {u"%d%%", u"-2147483648%", {-2147483647 - 1}},
        {u"%d and %d", u"1 and ", {1}},
        {u"%x stays", u"%x stays", {}},
        {u"end %", u"end %", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatText(c.format, c.args), c.expected);
    }
}

TEST(StatusLineTest, CommandStatesFollowTheDriveAndTheCounts) {
    struct Case {
        char letter;
        int installed, free;
        CommandStates states;
    };
    const Case cases[] = {
        {0, 3, 7, {false, false, false, false}}, {'E', 0, 10, {true, true, true, false}},
        {'E', 10, 0, {true, true, false, true}}, {'E', 0, 0, {true, true, false, false}},
        {'E', 4, 6, {true, true, true, true}},
    };
    OperationsRig rig;
    CFingerprintOperations& ops = rig.ops;
    for (const Case& c : cases) {
        ops.m_device.m_driveLetter = c.letter;
        ops.m_installedCount = c.installed;
        ops.m_freeCount = c.free;
        const CommandStates states = ops.DescribeCommandStates();
        EXPECT_EQ(states.driveKnown, c.states.driveKnown);
        EXPECT_EQ(states.viewStatusEnabled, c.states.viewStatusEnabled);
        EXPECT_EQ(states.installEnabled, c.states.installEnabled);
        EXPECT_EQ(states.eraseEnabled, c.states.eraseEnabled);
    }
    ops.m_installedCount = 0;
    EXPECT_EQ(ops.ComposeStatusLine(), u"### There is no installation of any fingerprint ###");
    ops.m_installedCount = 3;
    ops.m_freeCount = 7;
    EXPECT_EQ(ops.ComposeStatusLine(), u"Currently installed:3, Could install more:7");
}

} // namespace
