#pragma once
#include <ctime>

// The present time, injectable so schedule rules can be exercised at any
// moment without touching the real clock.
class IClock {
public:
    virtual ~IClock() = default;
    virtual time_t Now() const = 0;
};

class CSystemClock : public IClock {
public:
    time_t Now() const override { return std::time(nullptr); }
};

class CFixedClock : public IClock {
public:
    explicit CFixedClock(time_t t) : m_tNow(t) {}
    time_t Now() const override { return m_tNow; }
    void Set(time_t t) { m_tNow = t; }

private:
    time_t m_tNow;
};
