#include "virtual_drive/iscsi/session_table.h"

#include <algorithm>

namespace vdrive::iscsi {

namespace {

// How long a closed connection may take to end: it is woken at once, but may be in the
// middle of a command.
constexpr auto kCloseWaitLimit = std::chrono::seconds(5);

std::string IdleText(SessionTable::Clock::time_point since) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        SessionTable::Clock::now() - since)
                        .count();
    return std::to_string(ms) + " ms";
}

} // namespace

SessionTable::Handle SessionTable::Add(TcpSocket& socket) {
    std::lock_guard lock(m_mutex);
    const Handle entry = m_entries.emplace(m_entries.end());
    entry->socket = &socket;
    return entry;
}

void SessionTable::Remove(Handle entry) {
    std::lock_guard lock(m_mutex);
    m_entries.erase(entry);
    m_removed.notify_all();
}

void SessionTable::SetIdle(Handle entry, bool idle) {
    std::lock_guard lock(m_mutex);
    entry->idle = idle;
    if (idle) {
        entry->idleSince = Clock::now();
    }
}

bool SessionTable::Close(std::unique_lock<std::mutex>& lock, Entry& victim) {
    victim.closing = true;
    victim.socket->Shutdown(); // wakes its thread wherever it waits for the initiator
    const Entry* gone = &victim;
    return m_removed.wait_for(lock, kCloseWaitLimit, [&] {
        return std::none_of(m_entries.begin(), m_entries.end(),
                            [gone](const Entry& entry) { return &entry == gone; });
    });
}

SessionTable::Entry* SessionTable::LongestIdle(Handle except, bool loggedIn,
                                               Clock::duration atLeast) {
    Entry* chosen = nullptr;
    const Clock::time_point latest = Clock::now() - atLeast;
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        if (entry != except && entry->loggedIn == loggedIn && entry->idle && !entry->closing &&
            entry->idleSince <= latest &&
            (chosen == nullptr || entry->idleSince < chosen->idleSince)) {
            chosen = &*entry;
        }
    }
    return chosen;
}

SessionTable::Admission SessionTable::Admit(Handle self, const SessionKey& key,
                                            std::string& note) {
    std::unique_lock lock(m_mutex);
    // Reinstatement: the initiator lost its old connection (or thinks so); that session ends.
    const auto old = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        return &entry != &*self && entry.loggedIn && entry.key == key;
    });
    if (old != m_entries.end()) {
        note = "reinstating the session of " + key.initiator + ": its old connection ends";
        if (!Close(lock, *old)) {
            note += ", but it has not ended yet";
            return Admission::Refused;
        }
    }
    const auto sessions = [this] {
        return static_cast<unsigned>(std::count_if(m_entries.begin(), m_entries.end(),
                                                   [](const Entry& e) { return e.loggedIn; }));
    };
    if (sessions() >= m_maxSessions) {
        Entry* idle = LongestIdle(self, true, m_evictAfter);
        if (idle == nullptr) {
            note = "all " + std::to_string(m_maxSessions) + " sessions are busy";
            return Admission::Refused;
        }
        note = "all " + std::to_string(m_maxSessions) + " sessions taken: closing the session of " +
               idle->key.initiator + ", idle for " + IdleText(idle->idleSince) + ", to make room";
        if (!Close(lock, *idle) || sessions() >= m_maxSessions) {
            return Admission::Refused;
        }
    }
    self->loggedIn = true;
    self->key = key;
    return Admission::Admitted;
}

bool SessionTable::MakeRoom(std::string& note) {
    std::unique_lock lock(m_mutex);
    Entry* chosen = LongestIdle(m_entries.end(), false, Clock::duration::zero());
    if (chosen == nullptr) {
        chosen = LongestIdle(m_entries.end(), true, m_evictAfter);
    }
    if (chosen == nullptr) {
        return false;
    }
    note = std::string("all connections taken: closing one ") +
           (chosen->loggedIn ? "logged in as " + chosen->key.initiator : "not logged in") +
           ", idle for " + IdleText(chosen->idleSince) + ", to make room";
    return Close(lock, *chosen);
}

} // namespace vdrive::iscsi
