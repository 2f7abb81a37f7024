// The connections one iSCSI front door serves, as their threads report them: which are
// logged in, as whom, and since when each has waited for its initiator. Room is made here
// (the connection idle longest is closed, one that never logged in before a session), and
// sessions are reinstated (an initiator that logs in again with the same session id ends
// its old session first).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>

#include "device/tcp_socket.h"

namespace vdrive::iscsi {

// Who a session is: the initiator, its session id (ISID) and the target ("" for discovery).
struct SessionKey {
    std::string initiator;
    std::uint64_t isid = 0;
    std::string target;
    bool operator==(const SessionKey&) const = default;
};

class SessionTable {
  public:
    using Clock = std::chrono::steady_clock;

    struct Entry {
        TcpSocket* socket = nullptr;
        std::atomic<bool> closing{false}; // asked to end; its thread ends it soon
        // Guarded by the table's lock:
        bool loggedIn = false;
        SessionKey key;
        bool idle = true; // waiting for the initiator's next PDU
        Clock::time_point idleSince = Clock::now();
    };
    using Handle = std::list<Entry>::iterator;

    // `evictAfter`: a session idle this long may be closed to make room.
    SessionTable(unsigned maxSessions, Clock::duration evictAfter)
        : m_maxSessions(maxSessions), m_evictAfter(evictAfter) {}

    // The socket must stay open until Remove.
    Handle Add(TcpSocket& socket);
    void Remove(Handle entry);
    void SetIdle(Handle entry, bool idle);

    enum class Admission { Admitted, Refused };
    // A login as `key` wants a session: a live session of the same key ends first; at the
    // session limit the one idle longest (past `evictAfter`) is closed. `note` says what
    // was done, for the log.
    Admission Admit(Handle entry, const SessionKey& key, std::string& note);
    // With every connection taken: closes the one idle longest that never logged in, else
    // a session idle past `evictAfter`. False when none could go.
    bool MakeRoom(std::string& note);

  private:
    // Asks `victim` to end and waits until its thread has removed it.
    bool Close(std::unique_lock<std::mutex>& lock, Entry& victim);
    Entry* LongestIdle(Handle except, bool loggedIn, Clock::duration atLeast);

    unsigned m_maxSessions;
    Clock::duration m_evictAfter;
    std::mutex m_mutex;
    std::condition_variable m_removed;
    std::list<Entry> m_entries;
};

} // namespace vdrive::iscsi
