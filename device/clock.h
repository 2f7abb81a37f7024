// The sleep seam: the waits between command attempts and in the operations go through
// it, so tests run them at once and still see that they happened.
#pragma once

#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// Really waits (std::this_thread::sleep_for).
class SystemClock final : public IClock {
public:
    void Sleep(std::uint32_t milliseconds) override;
};
