// Sense data from a device: both formats, and bytes that are short, lie about their
// length or hold no sense at all.
#include "device/sense_data.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SenseDataTest, ReadsKeyAndCodesOfBothFormats) {
    const struct {
        std::vector<std::uint8_t> bytes;
        std::optional<std::uint8_t> key;
        std::uint8_t asc, ascq;
    } cases[] = {
        // fixed, current and deferred (the valid bit 0x80 does not matter)
        {{0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0x00}, 2, 0x3A, 0x00},
        {{0xF1, 0, 0x16, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x29, 0x00}, 6, 0x29, 0x00},
        // fixed with an additional length too short for ASC/ASCQ: the key alone
        {{0x70, 0, 0x05, 0, 0, 0, 0, 0x04, 0, 0, 0, 0, 0x20, 0x00}, 5, 0, 0},
        // fixed, cut after the key
        {{0x70, 0, 0x05}, 5, 0, 0},
        // descriptor format
        {{0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, 5, 0x24, 0x00},
        // nothing usable
        {{}, std::nullopt, 0, 0},
        {{0x70, 0}, std::nullopt, 0, 0},
        {{0x72, 0x05, 0x24}, std::nullopt, 0, 0},
        {{0x00, 0x05, 0x24, 0x00}, std::nullopt, 0, 0},
        {{0x7F, 0x05, 0x24, 0x00}, std::nullopt, 0, 0},
    };
    for (const auto& c : cases) {
        const auto summary = ParseSense(c.bytes);
        ASSERT_EQ(summary.has_value(), c.key.has_value()) << c.bytes.size();
        if (summary) {
            EXPECT_EQ(summary->key, *c.key);
            EXPECT_EQ(summary->asc, c.asc);
            EXPECT_EQ(summary->ascq, c.ascq);
        }
    }
}

TEST(SenseDataTest, DescribesKnownAndUnknownCodes) {
    EXPECT_EQ(DescribeSense({2, 0x3A, 0x00}), "NOT READY, medium not present (sense 2/3A/00)");
    EXPECT_EQ(DescribeSense({5, 0x20, 0x00}),
              "ILLEGAL REQUEST, invalid command operation code (sense 5/20/00)");
    EXPECT_EQ(DescribeSense({9, 0x80, 0x00}), "VENDOR SPECIFIC (sense 9/80/00)");
}

} // namespace
