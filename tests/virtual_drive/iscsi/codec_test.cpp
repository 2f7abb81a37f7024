// The PDU reader and writer, the key=value texts and the key negotiation table.
#include <gtest/gtest.h>

#include "iscsi_pdus.h"
#include "virtual_drive/iscsi/negotiation.h"

using namespace vdrive::iscsi;

namespace {

// Reads one PDU from `bytes` with `limit`, reporting how many bytes it took.
ReadResult ReadFrom(const std::vector<std::uint8_t>& bytes, std::uint32_t limit, Pdu& pdu,
                    std::size_t& taken) {
    taken = 0;
    const ByteSource source = MemorySource(bytes, taken);
    return ReadPdu(source, limit, pdu);
}

TEST(IscsiPdu, RoundTripPadsDataAndSkipsAdditionalHeaders) {
    Pdu sent = iscsi_test::Make(Opcode::NopOut, 0x80, 7);
    sent.SetWord(field::kWord24, 0xA1B2C3D4);
    sent.data = {1, 2, 3, 4, 5};
    std::vector<std::uint8_t> wire;
    AppendPdu(sent, wire);
    ASSERT_EQ(wire.size(), kHeaderLength + 8); // five bytes padded to eight
    EXPECT_EQ(wire[7], 5);                     // the length as sent

    // The same PDU with two words of additional header segment in between.
    wire[4] = 2;
    wire.insert(wire.begin() + kHeaderLength, 8, 0xEE);
    Pdu read;
    std::size_t taken = 0;
    ASSERT_EQ(ReadFrom(wire, 8192, read, taken), ReadResult::Ok);
    EXPECT_EQ(taken, wire.size());
    EXPECT_EQ(read.Op(), Opcode::NopOut);
    EXPECT_EQ(read.TaskTag(), 7u);
    EXPECT_EQ(read.Word(field::kWord24), 0xA1B2C3D4u);
    EXPECT_EQ(read.data, sent.data);
}

TEST(IscsiPdu, LongOrTruncatedPdusAreRefused) {
    Pdu sent = iscsi_test::Make(Opcode::ScsiCommand, 0x80, 1);
    sent.data.assign(600, 0xAB);
    std::vector<std::uint8_t> wire;
    AppendPdu(sent, wire);
    Pdu read;
    std::size_t taken = 0;
    // Past the limit the data is never read: the connection must end.
    EXPECT_EQ(ReadFrom(wire, 512, read, taken), ReadResult::Malformed);
    EXPECT_EQ(taken, kHeaderLength);
    for (const std::size_t cut : {std::size_t{0}, std::size_t{20}, kHeaderLength + 100}) {
        const std::vector<std::uint8_t> part(wire.begin(),
                                             wire.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(ReadFrom(part, 8192, read, taken), ReadResult::Closed) << cut;
    }
}

TEST(IscsiTextKeys, ParsesPairsAndRefusesMalformedOnes) {
    const auto text = [](const std::string& s) {
        return std::vector<std::uint8_t>(s.begin(), s.end());
    };
    const auto keys = ParseTextKeys(text(std::string("A=1\0B=\0C=x=y", 12)));
    ASSERT_TRUE(keys);
    EXPECT_EQ(*keys, (TextKeys{{"A", "1"}, {"B", ""}, {"C", "x=y"}}));
    EXPECT_TRUE(ParseTextKeys({})->empty());
    for (const std::string& bad : {std::string("novalue"), std::string("=1"),
                                   std::string(64, 'k') + "=1", std::string("A=1\0B", 5)}) {
        EXPECT_FALSE(ParseTextKeys(text(bad))) << bad;
    }
}

TEST(IscsiNegotiation, EachKindOfKeyFollowsItsRule) {
    struct Case {
        std::string key, offer, answer;
    };
    const std::vector<Case> cases = {
        {"HeaderDigest", "CRC32C,None", "None"},
        {"DataDigest", "CRC32C", "Reject"},
        {"AuthMethod", "CHAP,None", "None"},
        {"MaxBurstLength", "16776192", "1048576"}, // the smaller: ours
        {"MaxBurstLength", "4096", "4096"},        // the smaller: theirs
        {"FirstBurstLength", "65536", "65536"},
        {"MaxBurstLength", "100", "Reject"}, // below the range
        {"MaxBurstLength", "12x", "Reject"},
        {"InitialR2T", "No", "Yes"},    // or: we want R2T
        {"ImmediateData", "Yes", "No"}, // and: we do not take immediate data
        {"DataPDUInOrder", "No", "Yes"},
        {"ErrorRecoveryLevel", "2", "0"},
        {"MaxConnections", "8", "1"},
        {"MaxOutstandingR2T", "16", "1"},
        {"DefaultTime2Wait", "0", "2"}, // the larger
        {"DefaultTime2Retain", "0", "0"},
        {"IFMarker", "Yes", "No"},
        {"OFMarkInt", "1~65535", "Irrelevant"},
        {"InitialR2T", "maybe", "Reject"},
        {"X-com.example.Private", "1", "NotUnderstood"},
    };
    for (const Case& c : cases) {
        SessionParameters parameters;
        LoginIdentity identity;
        TextKeys answer;
        NegotiateKeys({{c.key, c.offer}}, parameters, identity, answer);
        EXPECT_EQ(answer, (TextKeys{{c.key, c.answer}})) << c.key << "=" << c.offer;
    }
}

TEST(IscsiNegotiation, OutcomesReachTheSessionParameters) {
    SessionParameters parameters;
    LoginIdentity identity;
    TextKeys answer;
    NegotiateKeys({{"InitiatorName", "iqn.x:i"},
                   {"TargetName", "iqn.x:t"},
                   {"SessionType", "Normal"},
                   {"MaxRecvDataSegmentLength", "0x1000"},
                   {"MaxBurstLength", "8192"},
                   {"FirstBurstLength", "262144"},
                   {"ImmediateData", "Yes"}},
                  parameters, identity, answer);
    EXPECT_EQ(identity.initiatorName, "iqn.x:i");
    EXPECT_EQ(identity.targetName, "iqn.x:t");
    EXPECT_EQ(parameters.initiatorRecvDataSegment, 4096u); // declarative: not answered
    EXPECT_EQ(parameters.maxBurstLength, 8192u);
    EXPECT_EQ(parameters.firstBurstLength, 8192u); // never past the whole burst
    EXPECT_FALSE(parameters.immediateData);
    EXPECT_EQ(answer.size(), 3u);
}

} // namespace
