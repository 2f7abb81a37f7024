#include "ui/dialog_init_data.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Control id, code, 32-bit length, bytes; little-endian.
std::vector<std::uint8_t> Item(int id, int code, const std::string& bytes) {
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(id),
                                     static_cast<std::uint8_t>(id >> 8),
                                     static_cast<std::uint8_t>(code),
                                     static_cast<std::uint8_t>(code >> 8),
                                     static_cast<std::uint8_t>(bytes.size()),
                                     0,
                                     0,
                                     0};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

const std::vector<std::uint8_t> kEnd = {0, 0};

TEST(DialogInitData, ReadsComboAndListItemsInOrder) {
    const auto data =
        Join({Item(1706, 0x0403, std::string("0\0", 2)), Item(1706, 0x0403, std::string("12\0", 3)),
              Item(1800, 0x0401, std::string("x\0", 2)), kEnd});
    const auto items = ParseDialogInitData(data.data(), data.size());
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].controlId, 1706);
    EXPECT_EQ(items[0].message, kComboAddStringMessage);
    EXPECT_EQ(items[0].text, "0");
    EXPECT_EQ(items[1].text, "12");
    EXPECT_EQ(items[2].controlId, 1800);
    EXPECT_EQ(items[2].message, kListAddStringMessage);
}

TEST(DialogInitData, SkipsOtherCodesAndStopsAtTheEnd) {
    const auto data =
        Join({Item(1706, 0x1234, "ole-data"), Item(1706, 0x0403, std::string("a\0", 2)), kEnd,
              Item(1706, 0x0403, std::string("after\0", 6))});
    const auto items = ParseDialogInitData(data.data(), data.size());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "a");
}

TEST(DialogInitData, AnItemRunningPastTheEndIsDropped) {
    auto data = Item(1706, 0x0403, std::string("0\0", 2));
    auto truncated = Item(1706, 0x0403, "long text");
    truncated.resize(truncated.size() - 3);
    data.insert(data.end(), truncated.begin(), truncated.end());
    const auto items = ParseDialogInitData(data.data(), data.size());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "0");

    const std::uint8_t header[] = {0xAA, 0x06, 0x03}; // shorter than a header
    EXPECT_TRUE(ParseDialogInitData(header, sizeof(header)).empty());
    EXPECT_TRUE(ParseDialogInitData(nullptr, 0).empty());
}

} // namespace
