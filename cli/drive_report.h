// What the drive search learnt, read back from the recorded commands: the identity of
// the drive found and, for `scan --all`, what each candidate answered and why it was
// passed over. The search itself stays in the operations; this only reads its traffic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/recording_transport.h"

struct CandidateReport {
    char letter = 0;
    std::vector<std::string> answers; // decoded replies, in order
    std::string verdict;              // "fingerprint drive", or why it was passed over
};

// Every letter of `mask` from C on, in the order the search takes them; `found` is the
// letter the search settled on (0: none).
std::vector<CandidateReport> DescribeCandidates(const std::vector<CommandRecord>& records,
                                                std::uint32_t mask, char found);

// The identity the drive of `letter` last gave (up to its first zero byte).
std::optional<std::string> LastIdentity(const std::vector<CommandRecord>& records, char letter);
