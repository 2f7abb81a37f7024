#include "cli/drive_report.h"

#include <algorithm>

#include "device/command_decoder.h"
#include "device/vendor_protocol.h"

namespace {

bool IsSecu(const CommandRecord& record, std::uint8_t subCommand) {
    return std::equal(vendor::kSecureTag.begin(), vendor::kSecureTag.end(),
                      record.cdb.begin() + 12) &&
           record.cdb[2] == subCommand;
}

std::string Verdict(const std::vector<const CommandRecord*>& commands, bool found, bool reached) {
    if (found)
        return "fingerprint drive";
    if (!reached)
        return "not tried: the search had already found its drive";
    if (commands.empty())
        return "could not be opened";
    if (!commands.front()->succeeded)
        return "did not answer the identification";
    const auto identityReads =
        std::count_if(commands.begin(), commands.end(), [](const CommandRecord* record) {
            return IsSecu(*record, vendor::kSubReadIdentity);
        });
    if (identityReads == 0)
        return "skipped: vendor name or command tags do not match";
    const auto firstIdentity =
        std::find_if(commands.begin(), commands.end(), [](const CommandRecord* record) {
            return IsSecu(*record, vendor::kSubReadIdentity) && record->succeeded;
        });
    if (firstIdentity == commands.end())
        return "did not answer the identity read";
    const bool seedRead =
        std::any_of(commands.begin(), commands.end(), [](const CommandRecord* record) {
            return IsSecu(*record, vendor::kSubReadSeed);
        });
    if (!seedRead)
        return "skipped: the identity is not a fingerprint drive's";
    return "skipped: the slot status could not be read";
}

} // namespace

std::vector<CandidateReport> DescribeCandidates(const std::vector<CommandRecord>& records,
                                                std::uint32_t mask, char found) {
    std::vector<CandidateReport> candidates;
    // Identification and identity reads carry no frames, so one decoder serves them all.
    CommandDecoder decoder;
    bool reached = true;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if ((mask >> (letter - 'A') & 1u) == 0)
            continue;
        CandidateReport candidate;
        candidate.letter = letter;
        std::vector<const CommandRecord*> commands;
        for (const CommandRecord& record : records) {
            if (record.letter != letter)
                continue;
            commands.push_back(&record);
            const bool identification =
                record.cdb[12] == 'I' || IsSecu(record, vendor::kSubReadIdentity);
            if (!identification)
                continue;
            const DecodedCommand decoded =
                decoder.Decode(record.cdb, record.direction, record.data, record.succeeded);
            if (!decoded.meaning.empty()) {
                candidate.answers.push_back(decoded.name + ": " + decoded.meaning);
            } else if (!record.succeeded) {
                candidate.answers.push_back(decoded.name + ": failed");
            }
        }
        candidate.verdict = Verdict(commands, letter == found, reached);
        if (letter == found)
            reached = false;
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

std::optional<std::string> LastIdentity(const std::vector<CommandRecord>& records, char letter) {
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        if (record->letter == letter && record->succeeded &&
            IsSecu(*record, vendor::kSubReadIdentity)) {
            std::string identity;
            for (const std::uint8_t byte : record->data) {
                if (byte == 0)
                    break;
                identity += static_cast<char>(byte);
            }
            return identity;
        }
    }
    return std::nullopt;
}
