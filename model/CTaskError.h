#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

// Fatal errors of the task model, carrying the COM-style code the callers
// report: E_FAIL for a group out of range, E_INVALIDARG for a conversion
// the C library rejects, and an out-of-range list index.
class CTaskError : public std::runtime_error {
public:
    static constexpr uint32_t kE_FAIL = 0x80004005u;
    static constexpr uint32_t kE_INVALIDARG = 0x80070057u;
    static constexpr uint32_t kE_BOUNDS = 0x8000000Bu;

    CTaskError(uint32_t hr, const std::string& strWhat)
        : std::runtime_error(strWhat), m_hr(hr) {}
    uint32_t Code() const { return m_hr; }

private:
    uint32_t m_hr;
};
