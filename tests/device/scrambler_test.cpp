// The scrambler against the key stream's definition as a bit sequence
// s(n + 15) = s(n) XOR s(n + 1), s(k) = bit 14 - k of the seed, key bit n = s(n + 15).
#include "device/scrambler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReferenceKeyStream(std::uint16_t seed, std::size_t length) {
    std::vector<int> s(15 + 8 * length);
    for (int k = 0; k < 15; ++k) {
        s[static_cast<std::size_t>(k)] = seed >> (14 - k) & 1;
    }
    for (std::size_t n = 0; n + 15 < s.size(); ++n) {
        s[n + 15] = s[n] ^ s[n + 1];
    }
    Bytes key(length, 0);
    for (std::size_t bit = 0; bit < 8 * length; ++bit) {
        key[bit / 8] = static_cast<std::uint8_t>(key[bit / 8] | s[bit + 15] << (bit % 8));
    }
    return key;
}

Bytes Scramble(std::uint16_t seed, const Bytes& data) {
    Bytes out(data.size());
    ScrambleBlock(seed, data.data(), static_cast<std::int32_t>(data.size()), out.data());
    return out;
}

Bytes Pattern(std::size_t length) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    return data;
}

TEST(ScrambleBlockTest, SeedOneGivesTheHandDerivedKeyBytes) {
    // Only s(14) is set: s(28) = s(13)^s(14) and s(29) = s(14)^s(15) follow, then
    // s(42) = s(27)^s(28) and s(44) = s(29)^s(30): key bits 13, 14, 27 and 29.
    EXPECT_THAT(Scramble(1, Bytes(4, 0)), ::testing::ElementsAre(0x00, 0x60, 0x00, 0x28));
}

TEST(ScrambleBlockTest, MatchesTheBitSequenceForManySeeds) {
    for (const std::uint16_t seed : {0x0001, 0x4000, 0x1234, 0x5AC3, 0x7FFF, 0xFFFF, 0x8001}) {
        SCOPED_TRACE(seed);
        EXPECT_EQ(Scramble(seed, Bytes(512, 0)), ReferenceKeyStream(seed, 512));
    }
}

TEST(ScrambleBlockTest, ScramblingTwiceRestoresTheData) {
    const Bytes data = Pattern(300);
    for (const std::uint16_t seed : {0x0001, 0x1234, 0xBEEF}) {
        EXPECT_EQ(Scramble(seed, Scramble(seed, data)), data);
    }
}

TEST(ScrambleBlockTest, SeedsWithoutLowBitsPassTheDataUnchanged) {
    const Bytes data = Pattern(64);
    EXPECT_EQ(Scramble(0x0000, data), data);
    EXPECT_EQ(Scramble(0x8000, data), data);
}

TEST(ScrambleBlockTest, BitFifteenOfTheSeedPlaysNoPart) {
    const Bytes data = Pattern(64);
    for (const std::uint16_t seed : {0x0001, 0x1234, 0x7FFF}) {
        EXPECT_EQ(Scramble(seed, data), Scramble(static_cast<std::uint16_t>(seed | 0x8000), data));
    }
}

TEST(ScrambleBlockTest, TheKeyStreamStartsAfreshAtEveryCall) {
    Bytes frame(512, 0);
    std::memcpy(frame.data(), "JMTMES C\x00\x01\x6C", 11);
    const Bytes short_ = Scramble(0x5AC3, Bytes(frame.begin(), frame.begin() + 11));
    const Bytes long_ = Scramble(0x5AC3, Bytes(frame.begin(), frame.begin() + 256));
    EXPECT_EQ(short_, Bytes(long_.begin(), long_.begin() + 11));
}

TEST(ScrambleBlockTest, KeyStreamRepeatsAfter32767Bits) {
    const Bytes key = Scramble(0x2468, Bytes(8192, 0));
    auto bit = [&key](std::size_t n) { return key[n / 8] >> (n % 8) & 1; };
    for (std::size_t n = 0; n < 8 * 8192 - 32767; n += 7) {
        ASSERT_EQ(bit(n), bit(n + 32767)) << n;
    }
    EXPECT_NE(Bytes(key.begin(), key.begin() + 16), Bytes(key.begin() + 16, key.begin() + 32));
}

TEST(ScrambleBlockTest, WorksInPlace) {
    Bytes data = Pattern(40);
    const Bytes expected = Scramble(0x1357, data);
    ScrambleBlock(0x1357, data.data(), 40, data.data());
    EXPECT_EQ(data, expected);
}

TEST(ScrambleBlockTest, ZeroOrNegativeLengthWritesNothing) {
    const Bytes source = Pattern(8);
    for (const std::int32_t length : {0, -1, -100000}) {
        Bytes target(8, 0xEE);
        ScrambleBlock(0x1234, source.data(), length, target.data());
        EXPECT_EQ(target, Bytes(8, 0xEE));
    }
}

} // namespace
