// The sleep seam: the waits between command attempts and in the operations go through
// it, so tests run them at once and still see that they happened.
#pragma once

#include <atomic>
#include <cstdint>

class IClock {
  public:
    virtual ~IClock() = default;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// Really waits (std::this_thread::sleep_for). With a stop flag (Ctrl-C on the command
// line) a wait ends within kStopCheckMs of the flag being raised, and no wait begins
// while it is raised.
class SystemClock final : public IClock {
  public:
    explicit SystemClock(const std::atomic<bool>* stop = nullptr) : m_stop(stop) {}
    void Sleep(std::uint32_t milliseconds) override;

    static constexpr std::uint32_t kStopCheckMs = 50;

  private:
    const std::atomic<bool>* m_stop;
};
