// The USB/IP wire format: the layouts vhci-hcd and the usbip tool expect, byte for byte.
#include <gtest/gtest.h>

#include "virtual_drive/disk/byte_order.h"
#include "virtual_drive/usbip/pdu.h"
#include "virtual_drive/usbip/server.h"

using namespace vdrive::usbip;
using vdrive::scsi::GetBe;

namespace {

TEST(UsbipCodec, DeviceListAndImportReplyHaveTheKernelsLayout) {
    const ExportedDevice device = ExportVolume(1, 'E', true);
    std::vector<std::uint8_t> list;
    EncodeDevlistReply(std::vector<DeviceSummary>{device.summary}, list);
    ASSERT_EQ(list.size(), 8u + 4 + 312 + 4);
    EXPECT_EQ(GetBe(list, 0, 2), kVersion);
    EXPECT_EQ(GetBe(list, 2, 2), kOpRepDevlist);
    EXPECT_EQ(GetBe(list, 8, 4), 1u);
    const std::size_t entry = 12;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&list[entry + 256])), "1-2");
    EXPECT_EQ(GetBe(list, entry + 288, 4), 1u); // bus
    EXPECT_EQ(GetBe(list, entry + 292, 4), 2u); // device
    EXPECT_EQ(GetBe(list, entry + 296, 4), 3u); // high speed
    EXPECT_EQ(list[entry + 309], 1);            // configurations
    EXPECT_EQ(list[entry + 311], 1);            // interfaces, then class 8, 6, 0x50 and a pad byte
    EXPECT_EQ(std::vector<std::uint8_t>(list.end() - 4, list.end()),
              (std::vector<std::uint8_t>{8, 6, 0x50, 0}));

    std::vector<std::uint8_t> imported;
    EncodeImportReply(&device.summary, imported);
    EXPECT_EQ(imported.size(), kImportReplySize);
    EXPECT_EQ(GetBe(imported, 4, 4), kOpStatusOk);
    std::vector<std::uint8_t> refused;
    EncodeImportReply(nullptr, refused);
    EXPECT_EQ(refused, (std::vector<std::uint8_t>{0x01, 0x11, 0x00, 0x03, 0, 0, 0, 1}));
}

TEST(UsbipCodec, BusIdsAndPathsAreCutToTheirFieldsAndReadUpToTheFirstNul) {
    DeviceSummary long_names;
    long_names.busId = std::string(40, 'b');
    long_names.path = std::string(300, 'p');
    std::vector<std::uint8_t> reply;
    EncodeImportReply(&long_names, reply);
    ASSERT_EQ(reply.size(), kImportReplySize);
    EXPECT_EQ(reply[8 + 255], 0);      // the path keeps its NUL
    EXPECT_EQ(reply[8 + 256 + 31], 0); // so does the bus id

    std::array<std::uint8_t, kBusIdSize> field{'1', '-', '1', 0, 'x'};
    EXPECT_EQ(DecodeBusId(field), "1-1");
    field.fill('z'); // no NUL at all: the whole field
    EXPECT_EQ(DecodeBusId(field), std::string(kBusIdSize, 'z'));
}

TEST(UsbipCodec, SubmitAndUnlinkDecodeAndRepliesEncodeWithTheirFields) {
    UrbHeader submit;
    submit.command = kCmdSubmit;
    submit.seqnum = 0x01020304;
    submit.devid = 0x00010002;
    submit.direction = kDirIn;
    submit.endpoint = 1;
    submit.transferFlags = 0x200;
    submit.transferLength = 512;
    submit.packets = 0xFFFFFFFF;
    submit.setup = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<std::uint8_t> wire;
    EncodeUrbHeader(submit, wire);
    ASSERT_EQ(wire.size(), kUrbHeaderSize);
    const UrbHeader decoded = DecodeUrbHeader(std::span<const std::uint8_t, kUrbHeaderSize>(wire));
    EXPECT_EQ(decoded.seqnum, submit.seqnum);
    EXPECT_EQ(decoded.devid, submit.devid);
    EXPECT_EQ(decoded.transferLength, 512u);
    EXPECT_EQ(decoded.setup, submit.setup);
    EXPECT_FALSE(IsIsochronous(decoded));
    submit.packets = 3;
    EXPECT_TRUE(IsIsochronous(submit));
    submit.packets = 0xFFFFFFFF;

    UrbReply reply;
    reply.data = {0xAA, 0xBB};
    std::vector<std::uint8_t> ret;
    EncodeRetSubmit(submit, reply, ret);
    ASSERT_EQ(ret.size(), kUrbHeaderSize + 2);
    EXPECT_EQ(GetBe(ret, 0, 4), kRetSubmit);
    EXPECT_EQ(GetBe(ret, 4, 4), submit.seqnum);
    EXPECT_EQ(GetBe(ret, 8, 12), 0u);          // devid, direction, endpoint
    EXPECT_EQ(GetBe(ret, 24, 4), 2u);          // actual length
    EXPECT_EQ(GetBe(ret, 32, 4), 0xFFFFFFFFu); // the packet count as submitted
    EXPECT_EQ(ret[48], 0xAA);

    submit.direction = kDirOut; // an OUT reply carries no data, only the length taken
    UrbReply taken;
    taken.outLength = 31;
    taken.status = kStatusStall;
    ret.clear();
    EncodeRetSubmit(submit, taken, ret);
    ASSERT_EQ(ret.size(), kUrbHeaderSize);
    EXPECT_EQ(static_cast<std::int32_t>(GetBe(ret, 20, 4)), kStatusStall);
    EXPECT_EQ(GetBe(ret, 24, 4), 31u);

    ret.clear();
    EncodeRetUnlink(9, kStatusUnlinked, ret);
    ASSERT_EQ(ret.size(), kUrbHeaderSize);
    EXPECT_EQ(GetBe(ret, 0, 4), kRetUnlink);
    EXPECT_EQ(static_cast<std::int32_t>(GetBe(ret, 20, 4)), kStatusUnlinked);

    UrbHeader unlink;
    unlink.command = kCmdUnlink;
    unlink.unlinkSeqnum = 77;
    wire.clear();
    EncodeUrbHeader(unlink, wire);
    EXPECT_EQ(DecodeUrbHeader(std::span<const std::uint8_t, kUrbHeaderSize>(wire)).unlinkSeqnum,
              77u);
}

} // namespace
