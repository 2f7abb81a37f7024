// Operational and security key negotiation by the login rules: each key the initiator
// offers is answered from one table that names the key's kind (boolean and/or, numerical
// minimum/maximum, declarative, list) and this target's own value or limit.
#pragma once

#include <cstdint>
#include <string>

#include "virtual_drive/iscsi/text_keys.h"

namespace vdrive::iscsi {

// What one connection's session runs with once login is over. Defaults are the
// protocol's own, which hold for any key never negotiated; our offers are in the table.
struct SessionParameters {
    std::uint32_t initiatorRecvDataSegment = 8192; // longest data segment we may send
    std::uint32_t targetRecvDataSegment = 8192;    // longest one we accept
    std::uint32_t maxBurstLength = 262144;
    std::uint32_t firstBurstLength = 65536;
    bool initialR2T = true;
    bool immediateData = true;
    std::uint32_t maxOutstandingR2T = 1;
    bool dataPduInOrder = true;
    bool dataSequenceInOrder = true;
    std::uint32_t errorRecoveryLevel = 0;
    std::uint32_t maxConnections = 1;
    std::uint32_t defaultTime2Wait = 2;
    std::uint32_t defaultTime2Retain = 20;
};

// Keys a login sends only once, outside the table: who and what is being logged in to.
struct LoginIdentity {
    std::string initiatorName;
    std::string targetName;
    std::string sessionType; // "Normal" or "Discovery"; empty: not sent yet
};

// Answers every key of `offered` into `answer`, updating `parameters` and `identity`.
// Unknown keys are answered NotUnderstood, bad values Reject; a declarative key the
// initiator states is taken without an answer.
void NegotiateKeys(const TextKeys& offered, SessionParameters& parameters, LoginIdentity& identity,
                   TextKeys& answer);

// The target's declaration of its receive limit, sent once in the operational stage.
void DeclareTargetKeys(const SessionParameters& parameters, TextKeys& answer);

} // namespace vdrive::iscsi
