#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

// A broken contract of the task list, not a failure to report: an index
// out of range, or a move past either end. Callers check indices against
// GetSize and IndexOf first; this only keeps a mistake from touching memory.
class CTaskError : public std::logic_error {
public:
    static constexpr uint32_t kE_BOUNDS = 0x8000000Bu;

    CTaskError(uint32_t hr, const std::string& strWhat) : std::logic_error(strWhat), m_hr(hr) {}
    uint32_t Code() const { return m_hr; }

private:
    uint32_t m_hr;
};
