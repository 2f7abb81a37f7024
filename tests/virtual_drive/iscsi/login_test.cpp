// The login phase: stages, the keys each answers, and the status of a refused login.
#include <gtest/gtest.h>

#include "iscsi_pdus.h"
#include "virtual_drive/iscsi/connection.h"
#include "virtual_drive/iscsi/login.h"
#include "virtual_drive/iscsi/target_name.h"

using namespace vdrive::iscsi;
using iscsi_test::LoginRequest;

namespace {

const std::string kTarget = "iqn.2026-12.org.tessalok:vdrive-e";

Login MakeLogin(bool allowed = true) {
    return Login([](const std::string& name) { return name == kTarget; }, allowed, 0x0102);
}

TEST(IscsiTargetName, OnePerDriveLetterFoundWithoutRegardToCase) {
    TargetList targets;
    targets.push_back({TargetNameFor('E'), nullptr});
    EXPECT_EQ(targets[0].name, kTarget);
    EXPECT_EQ(FindTarget(targets, "IQN.2026-12.org.Tessalok:VDRIVE-E"), &targets[0]);
    EXPECT_EQ(FindTarget(targets, "iqn.2026-12.org.tessalok:vdrive-"), nullptr);
    EXPECT_EQ(FindTarget(targets, ""), nullptr);
}

const TextKeys kSecurity = {{"InitiatorName", "iqn.2026-12.test:initiator"},
                            {"TargetName", kTarget},
                            {"SessionType", "Normal"},
                            {"AuthMethod", "None"}};

std::uint16_t StatusOf(const Pdu& response) {
    return static_cast<std::uint16_t>(response.header[36] << 8 | response.header[37]);
}

// Sends `request`, expects exactly one login response and gives it back.
Pdu Exchange(Login& login, const Pdu& request, Login::Step expected) {
    std::vector<std::uint8_t> out;
    EXPECT_EQ(login.Handle(request, out), expected);
    std::vector<Pdu> pdus = iscsi_test::Split(out);
    EXPECT_EQ(pdus.size(), 1u);
    return pdus.empty() ? Pdu{} : pdus.front();
}

TEST(IscsiLogin, SecurityThenOperationalStageToFullFeature) {
    Login login = MakeLogin();
    Pdu request = LoginRequest(0, 1, kSecurity, 100);
    request.SetWord(iscsi_test::kWord28, 5000); // the initiator's ExpStatSN: our first StatSN
    const Pdu first = Exchange(login, request, Login::Step::Continue);
    EXPECT_EQ(first.Op(), Opcode::LoginResponse);
    EXPECT_EQ(first.Flags(), 0x81); // transit to the operational stage
    EXPECT_EQ(StatusOf(first), 0);
    EXPECT_EQ(first.TaskTag(), 0x1000u);
    EXPECT_EQ(first.header[8], 0x80); // the ISID comes back
    EXPECT_EQ(first.Word(iscsi_test::kWord24), 5000u);
    EXPECT_EQ(first.Word(iscsi_test::kWord28), 100u);
    EXPECT_EQ(first.Word(iscsi_test::kWord32), 100u + kCommandWindow - 1);
    EXPECT_EQ(*ParseTextKeys(first.data),
              (TextKeys{{"AuthMethod", "None"}, {"TargetPortalGroupTag", "1"}}));

    const Pdu second = Exchange(
        login,
        LoginRequest(1, 3, {{"HeaderDigest", "None"}, {"MaxRecvDataSegmentLength", "65536"}}, 100),
        Login::Step::Complete);
    EXPECT_EQ(second.Flags(), 0x87);
    EXPECT_EQ(second.Word(iscsi_test::kWord24), 5001u);
    EXPECT_EQ(second.header[14] << 8 | second.header[15], 0x0102); // the session's handle
    EXPECT_EQ(*ParseTextKeys(second.data),
              (TextKeys{{"HeaderDigest", "None"}, {"MaxRecvDataSegmentLength", "262144"}}));
    EXPECT_EQ(login.Parameters().initiatorRecvDataSegment, 65536u);
    EXPECT_EQ(login.Parameters().targetRecvDataSegment, kTargetRecvDataSegment);
    EXPECT_EQ(login.Kind(), SessionKind::Normal);
    EXPECT_EQ(login.ExpCmdSn(), 100u); // the first command carries the login's CmdSN
}

TEST(IscsiLogin, StraightToFullFeatureKeepsTheDefaultSegmentLength) {
    Login login = MakeLogin();
    Exchange(login, LoginRequest(0, 3, kSecurity), Login::Step::Complete);
    // We never declared ours, so the initiator may send only the default.
    EXPECT_EQ(login.Parameters().targetRecvDataSegment, 8192u);
}

TEST(IscsiLogin, AnOutOfRangeSegmentLengthIsRejectedOnceAndNothingDeclared) {
    Login login = MakeLogin();
    Exchange(login, LoginRequest(0, 1, kSecurity), Login::Step::Continue);
    const Pdu answer = Exchange(login, LoginRequest(1, 3, {{"MaxRecvDataSegmentLength", "100"}}),
                                Login::Step::Complete);
    EXPECT_EQ(*ParseTextKeys(answer.data), (TextKeys{{"MaxRecvDataSegmentLength", "Reject"}}));
    EXPECT_EQ(login.Parameters().initiatorRecvDataSegment, 8192u);
    EXPECT_EQ(login.Parameters().targetRecvDataSegment, 8192u);
}

TEST(IscsiLogin, ContinuedTextIsAnsweredOnceWhole) {
    Login login = MakeLogin();
    const std::vector<std::uint8_t> text = iscsi_test::Keys(kSecurity);
    Pdu part = LoginRequest(0, 0, {});
    part.header[1] |= 0x40; // continue
    part.data.assign(text.begin(), text.begin() + 10);
    const Pdu empty = Exchange(login, part, Login::Step::Continue);
    EXPECT_TRUE(empty.data.empty());
    Pdu rest = LoginRequest(0, 1, {});
    rest.data.assign(text.begin() + 10, text.end());
    const Pdu answer = Exchange(login, rest, Login::Step::Continue);
    EXPECT_EQ(StatusOf(answer), 0);
    EXPECT_EQ(login.Identity().targetName, kTarget);
}

TEST(IscsiLogin, RefusedLoginsSayWhy) {
    struct Case {
        const char* what;
        Pdu request;
        bool allowed;
        LoginStatus status;
    };
    auto without = [](const std::string& key) {
        TextKeys keys;
        for (const auto& pair : kSecurity) {
            if (pair.first != key) {
                keys.push_back(pair);
            }
        }
        return keys;
    };
    TextKeys otherTarget = kSecurity;
    otherTarget[1].second = "iqn.2026-12.org.tessalok:vdrive-q";
    TextKeys chapOnly = kSecurity;
    chapOnly[3].second = "CHAP";
    TextKeys badType = kSecurity;
    badType[2].second = "Bogus";
    Pdu newerVersion = LoginRequest(0, 1, kSecurity);
    newerVersion.header[3] = 1;
    Pdu withHandle = LoginRequest(0, 1, kSecurity);
    withHandle.header[15] = 9;
    Pdu backwards = LoginRequest(0, 1, kSecurity);
    backwards.header[1] = 0x80 | 1 << 2 | 0; // operational back to security
    Pdu transitAndContinue = LoginRequest(0, 1, kSecurity);
    transitAndContinue.header[1] |= 0x40;
    Pdu notLogin = iscsi_test::Make(Opcode::NopOut, 0x80, 1);
    Pdu garbled = LoginRequest(0, 1, {});
    garbled.data = {'x', 0};
    const std::vector<Case> cases = {
        {"no initiator name", LoginRequest(0, 1, without("InitiatorName")), true,
         LoginStatus::MissingParameter},
        {"no target name", LoginRequest(0, 1, without("TargetName")), true,
         LoginStatus::MissingParameter},
        {"unknown target", LoginRequest(0, 1, otherTarget), true, LoginStatus::TargetNotFound},
        {"authentication wanted", LoginRequest(0, 1, chapOnly), true,
         LoginStatus::AuthenticationFailed},
        {"unknown session type", LoginRequest(0, 1, badType), true,
         LoginStatus::SessionTypeNotSupported},
        {"at the session limit", LoginRequest(0, 1, kSecurity), false, LoginStatus::OutOfResources},
        {"newer version only", newerVersion, true, LoginStatus::UnsupportedVersion},
        {"joining a session", withHandle, true, LoginStatus::SessionDoesNotExist},
        {"stage backwards", backwards, true, LoginStatus::InitiatorError},
        {"transit and continue", transitAndContinue, true, LoginStatus::InitiatorError},
        {"not a login", notLogin, true, LoginStatus::InvalidDuringLogin},
        {"garbled keys", garbled, true, LoginStatus::InitiatorError},
    };
    for (const Case& c : cases) {
        Login login = MakeLogin(c.allowed);
        const Pdu response = Exchange(login, c.request, Login::Step::Failed);
        EXPECT_EQ(StatusOf(response), static_cast<std::uint16_t>(c.status)) << c.what;
        EXPECT_EQ(response.Flags() & 0x80, 0) << c.what;
    }
}

TEST(IscsiLogin, DiscoveryNeedsNoTargetName) {
    Login login = MakeLogin();
    Exchange(
        login,
        LoginRequest(0, 3, {{"InitiatorName", "iqn.2026-12.test:i"}, {"SessionType", "Discovery"}}),
        Login::Step::Complete);
    EXPECT_EQ(login.Kind(), SessionKind::Discovery);
}

// Who logs in to what is said in the leading request only: naming a target, an initiator
// or a session type again, even the same one, is the initiator's error.
TEST(IscsiLogin, IdentityKeysAfterTheLeadingRequestAreRefused) {
    const TextKeys discovery = {{"InitiatorName", "iqn.2026-12.test:i"},
                                {"SessionType", "Discovery"}};
    const struct {
        const char* what;
        TextKeys leading;
        TextKeys later;
    } cases[] = {
        {"another target", kSecurity, {{"TargetName", "iqn.2026-12.org.tessalok:vdrive-zz"}}},
        {"the same target again", kSecurity, {{"TargetName", kTarget}}},
        {"another initiator", kSecurity, {{"InitiatorName", "iqn.2026-12.test:other"}}},
        {"discovery turned normal", discovery,
         {{"SessionType", "Normal"}, {"TargetName", kTarget}}},
    };
    for (const auto& c : cases) {
        Login login = MakeLogin();
        Exchange(login, LoginRequest(0, 1, c.leading), Login::Step::Continue);
        const Pdu refused = Exchange(login, LoginRequest(1, 3, c.later), Login::Step::Failed);
        EXPECT_EQ(StatusOf(refused), static_cast<std::uint16_t>(LoginStatus::InitiatorError))
            << c.what;
    }
}

// The whole connection, as the server runs it: a login that turns to a target we do not
// have ends that connection with a refusal and never reaches a session.
TEST(IscsiConnection, ALoginThatChangesItsTargetEndsTheConnection) {
    TargetList targets;
    targets.push_back({kTarget, std::make_unique<iscsi_test::RecordingUnit>()});
    Connection connection(targets, "127.0.0.1:3260", true, 1);
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(connection.Handle(LoginRequest(0, 1, kSecurity), out));
    out.clear();
    EXPECT_FALSE(connection.Handle(
        LoginRequest(1, 3, {{"TargetName", "iqn.2026-12.org.tessalok:vdrive-zz"}}), out));
    const std::vector<Pdu> answer = iscsi_test::Split(out);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(StatusOf(answer[0]), static_cast<std::uint16_t>(LoginStatus::InitiatorError));
    EXPECT_FALSE(connection.LoggedIn());
}

} // namespace
