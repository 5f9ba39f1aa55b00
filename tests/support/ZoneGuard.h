#pragma once
#include <cstdlib>
#include <ctime>
#include <string>

// Sets TZ for the lifetime of the guard and restores it afterwards.
class CZoneGuard {
public:
    explicit CZoneGuard(const char* pszZone) {
        const char* psz = std::getenv("TZ");
        m_bHad = psz != nullptr;
        if (m_bHad) m_strOld = psz;
        setenv("TZ", pszZone, 1);
        tzset();
    }
    ~CZoneGuard() {
        if (m_bHad) setenv("TZ", m_strOld.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    CZoneGuard(const CZoneGuard&) = delete;
    CZoneGuard& operator=(const CZoneGuard&) = delete;

private:
    std::string m_strOld;
    bool m_bHad = false;
};

// A test name for a zone parameter: "America/New_York" -> "America_New_York".
inline std::string ZoneTestName(const char* pszZone) {
    std::string str = pszZone;
    for (char& c : str)
        if (c == '/') c = '_';
    return str;
}
