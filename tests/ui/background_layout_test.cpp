#include "ui/background_layout.h"

#include <gtest/gtest.h>

#include "ui/font_height.h"

namespace {

TEST(TileOrigins, CoversTheClientAreaRowByRow) {
    const std::vector<BlitOrigin> origins = TileOrigins(100, 80, 250, 200);
    const std::vector<BlitOrigin> expected = {{0, 0},    {100, 0}, {200, 0},   {0, 80},   {100, 80},
                                              {200, 80}, {0, 160}, {100, 160}, {200, 160}};
    EXPECT_EQ(origins, expected);
}

TEST(TileOrigins, APictureAtLeastAsLargeAsTheClientIsCopiedOnceAtTheOrigin) {
    EXPECT_EQ(TileOrigins(960, 600, 640, 480), (std::vector<BlitOrigin>{{0, 0}}));
    EXPECT_EQ(TileOrigins(640, 480, 640, 480), (std::vector<BlitOrigin>{{0, 0}}));
}

TEST(TileOrigins, ASizeThatIsNotPositiveGivesNoCopies) {
    for (const auto& [w, h] : {std::pair{0, 80}, {100, 0}, {-5, 80}, {100, -1}}) {
        EXPECT_TRUE(TileOrigins(w, h, 250, 200).empty()) << w << " x " << h;
    }
    EXPECT_TRUE(TileOrigins(100, 80, 0, 0).empty());
}

struct CenterCase {
    int w, h, clientW, clientH;
    BlitOrigin expected;
};

TEST(CenterOrigin, CentresWhereSmallerAndStartsAtZeroWhereLarger) {
    const CenterCase cases[] = {
        {600, 400, 745, 512, {72, 56}}, // halves round down
        {900, 400, 745, 512, {0, 56}},  // wider: left edge, centred vertically
        {600, 600, 745, 512, {72, 0}},  // taller: top edge
        {745, 512, 745, 512, {0, 0}},
    };
    for (const CenterCase& c : cases) {
        EXPECT_EQ(CenterOrigin(c.w, c.h, c.clientW, c.clientH), c.expected)
            << c.w << " x " << c.h << " on " << c.clientW << " x " << c.clientH;
    }
}

TEST(BackgroundMode, OnlyTheThreeModesAreModes) {
    EXPECT_TRUE(IsBackgroundMode(Tile));
    EXPECT_TRUE(IsBackgroundMode(Center));
    EXPECT_TRUE(IsBackgroundMode(Stretch));
    EXPECT_FALSE(IsBackgroundMode(3));
    EXPECT_FALSE(IsBackgroundMode(-1));
}

TEST(PointsToFontHeight, ConvertsAtTheDisplayResolutionRoundingToNearest) {
    EXPECT_EQ(PointsToFontHeight(16, 96), -21);  // 21.33
    EXPECT_EQ(PointsToFontHeight(16, 120), -27); // 26.67
    EXPECT_EQ(PointsToFontHeight(9, 96), -12);
    EXPECT_EQ(PointsToFontHeight(3, 96), -4); // exactly 4
    EXPECT_EQ(PointsToFontHeight(27, 4), -2); // 1.5 rounds away from zero
    EXPECT_EQ(PointsToFontHeight(0, 96), 0);
}

} // namespace
