#include "CLocalZone.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// "/usr/share/zoneinfo/Europe/Berlin" -> "Europe/Berlin".
std::string AfterZoneinfo(const std::string& strPath) {
    static const std::string kMarker = "zoneinfo/";
    const size_t nAt = strPath.rfind(kMarker);
    return nAt == std::string::npos ? std::string() : strPath.substr(nAt + kMarker.size());
}

}  // namespace

std::string CLocalZone::Name() {
    if (const char* psz = std::getenv("TZ"); psz && *psz) {
        std::string str = psz[0] == ':' ? psz + 1 : psz;
        if (str.front() == '/') str = AfterZoneinfo(str).empty() ? str : AfterZoneinfo(str);
        return str;
    }
    char sz[4096];
    if (const ssize_t n = ::readlink("/etc/localtime", sz, sizeof sz - 1); n > 0) {
        if (std::string str = AfterZoneinfo(std::string(sz, static_cast<size_t>(n))); !str.empty()) return str;
    }
    std::string str;
    if (std::ifstream in("/etc/timezone"); in && std::getline(in, str) && !str.empty()) return str;
    return "local time";
}

std::string CLocalZone::Describe(time_t t) {
    tzset();
    struct tm tmLocal {};
    if (!localtime_r(&t, &tmLocal)) return Name();
    const long nOffset = tmLocal.tm_gmtoff;
    const long nAbs = nOffset < 0 ? -nOffset : nOffset;
    char sz[32];
    std::snprintf(sz, sizeof sz, "UTC%c%02ld:%02ld", nOffset < 0 ? '-' : '+', nAbs / 3600, nAbs % 3600 / 60);
    const std::string strAbbrev = tmLocal.tm_zone ? tmLocal.tm_zone : "";
    return Name() + (strAbbrev.empty() ? "" : ", " + strAbbrev) + ", " + sz;
}
