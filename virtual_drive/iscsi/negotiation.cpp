#include "virtual_drive/iscsi/negotiation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>

namespace vdrive::iscsi {

namespace {

constexpr std::uint32_t kMaxSegmentLength = 16777215; // 2^24 - 1

enum class Kind {
    And,         // boolean: Yes only when both say Yes
    Or,          // boolean: Yes when either says Yes
    Minimum,     // numerical: the smaller of the offer and our value
    Maximum,     // numerical: the larger
    Declarative, // numerical: the initiator's statement, not answered with a value
    NoneList,    // a list of which we accept only "None"
    Irrelevant,  // keys of older revisions that mean nothing here
};

struct KeyRule {
    std::string_view name;
    Kind kind;
    std::uint32_t ours = 0; // our own offer: a number, or 1 for Yes
    std::uint32_t low = 0;  // numerical range of a valid offer
    std::uint32_t high = 0;
    // Where the outcome lives (none: the key changes nothing here).
    std::uint32_t SessionParameters::*number = nullptr;
    bool SessionParameters::*flag = nullptr;
};

constexpr std::uint32_t kYes = 1;
constexpr std::uint32_t kNo = 0;

// Our offers: larger bursts than the protocol's defaults; write data only when asked for
// by R2T (InitialR2T=Yes, ImmediateData=No), so that every command is one PDU and all of
// its data comes in Data-Out PDUs whose sequence is checked; data in order; no error
// recovery beyond dropping the connection; one connection.
constexpr std::array kRules{
    KeyRule{"HeaderDigest", Kind::NoneList},
    KeyRule{"DataDigest", Kind::NoneList},
    KeyRule{"AuthMethod", Kind::NoneList},
    KeyRule{"MaxRecvDataSegmentLength", Kind::Declarative, 0, 512, kMaxSegmentLength,
            &SessionParameters::initiatorRecvDataSegment},
    KeyRule{"MaxBurstLength", Kind::Minimum, 1048576, 512, kMaxSegmentLength,
            &SessionParameters::maxBurstLength},
    KeyRule{"FirstBurstLength", Kind::Minimum, 262144, 512, kMaxSegmentLength,
            &SessionParameters::firstBurstLength},
    KeyRule{"InitialR2T", Kind::Or, kYes, 0, 0, nullptr, &SessionParameters::initialR2T},
    KeyRule{"ImmediateData", Kind::And, kNo, 0, 0, nullptr, &SessionParameters::immediateData},
    KeyRule{"MaxOutstandingR2T", Kind::Minimum, 1, 1, 65535, &SessionParameters::maxOutstandingR2T},
    KeyRule{"DataPDUInOrder", Kind::Or, kYes, 0, 0, nullptr, &SessionParameters::dataPduInOrder},
    KeyRule{"DataSequenceInOrder", Kind::Or, kYes, 0, 0, nullptr,
            &SessionParameters::dataSequenceInOrder},
    KeyRule{"ErrorRecoveryLevel", Kind::Minimum, 0, 0, 2, &SessionParameters::errorRecoveryLevel},
    KeyRule{"MaxConnections", Kind::Minimum, 1, 1, 65535, &SessionParameters::maxConnections},
    KeyRule{"DefaultTime2Wait", Kind::Maximum, 2, 0, 3600, &SessionParameters::defaultTime2Wait},
    KeyRule{"DefaultTime2Retain", Kind::Minimum, 20, 0, 3600,
            &SessionParameters::defaultTime2Retain},
    // Markers were dropped from the protocol; older initiators still offer them off.
    KeyRule{"IFMarker", Kind::And, kNo},
    KeyRule{"OFMarker", Kind::And, kNo},
    KeyRule{"IFMarkInt", Kind::Irrelevant},
    KeyRule{"OFMarkInt", Kind::Irrelevant},
};

std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t low,
                                         std::uint32_t high) {
    std::uint64_t value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<bool> ParseBoolean(std::string_view text) {
    if (text == "Yes") {
        return true;
    }
    if (text == "No") {
        return false;
    }
    return std::nullopt;
}

bool ListOffers(std::string_view list, std::string_view wanted) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (list.substr(0, comma) == wanted) {
            return true;
        }
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    return false;
}

// The answer to one table key, or "Reject" for a value out of its range or grammar.
std::string Answer(const KeyRule& rule, const std::string& offer, SessionParameters& parameters) {
    switch (rule.kind) {
    case Kind::NoneList:
        return ListOffers(offer, "None") ? "None" : "Reject";
    case Kind::Irrelevant:
        return "Irrelevant";
    case Kind::And:
    case Kind::Or: {
        const std::optional<bool> theirs = ParseBoolean(offer);
        if (!theirs) {
            return "Reject";
        }
        const bool ours = rule.ours == kYes;
        const bool result = rule.kind == Kind::And ? (ours && *theirs) : (ours || *theirs);
        if (rule.flag != nullptr) {
            parameters.*rule.flag = result;
        }
        return result ? "Yes" : "No";
    }
    case Kind::Minimum:
    case Kind::Maximum:
    case Kind::Declarative: {
        const std::optional<std::uint32_t> theirs = ParseNumber(offer, rule.low, rule.high);
        if (!theirs) {
            return "Reject";
        }
        std::uint32_t& value = parameters.*rule.number;
        if (rule.kind == Kind::Declarative) {
            value = *theirs;
            return {};
        }
        value = rule.kind == Kind::Minimum ? std::min(rule.ours, *theirs)
                                           : std::max(rule.ours, *theirs);
        return std::to_string(value);
    }
    }
    return "Reject";
}

} // namespace

void NegotiateKeys(const TextKeys& offered, SessionParameters& parameters, LoginIdentity& identity,
                   TextKeys& answer) {
    for (const auto& offer : offered) {
        const std::string& key = offer.first;
        const std::string& value = offer.second;
        if (key == "InitiatorName") {
            identity.initiatorName = value;
            continue;
        }
        if (key == "TargetName") {
            identity.targetName = value;
            continue;
        }
        if (key == "SessionType") {
            identity.sessionType = value;
            continue;
        }
        if (key == "InitiatorAlias") {
            continue; // declarative, for the target's logs only
        }
        const auto rule = std::find_if(kRules.begin(), kRules.end(),
                                       [&key](const KeyRule& r) { return r.name == key; });
        if (rule == kRules.end()) {
            answer.emplace_back(key, "NotUnderstood");
            continue;
        }
        std::string reply = Answer(*rule, value, parameters);
        if (!reply.empty()) {
            answer.emplace_back(key, std::move(reply));
        }
    }
    // The first burst can never exceed the whole burst.
    parameters.firstBurstLength = std::min(parameters.firstBurstLength, parameters.maxBurstLength);
}

void DeclareTargetKeys(const SessionParameters& parameters, TextKeys& answer) {
    answer.emplace_back("MaxRecvDataSegmentLength",
                        std::to_string(parameters.targetRecvDataSegment));
}

} // namespace vdrive::iscsi
