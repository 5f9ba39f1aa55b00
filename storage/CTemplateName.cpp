#include "CTemplateName.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "Digits.h"

namespace fs = std::filesystem;

namespace {

bool IsContinuationByte(char ch) { return (static_cast<unsigned char>(ch) & 0xC0) == 0x80; }

}  // namespace

std::string CTemplateName::CleanName(const std::string& strTaskName) {
    std::string str;
    for (char ch : strTaskName) {
        const auto u = static_cast<unsigned char>(ch);
        if (std::string_view("\\/:*?\"<>|").find(ch) != std::string_view::npos) continue;
        if (u < 0x20 || u == 0x7F) continue;
        str += ch;
    }
    // A leading dot would hide the file, and "." or ".." are not files.
    const size_t nFirst = str.find_first_not_of('.');
    str.erase(0, nFirst == std::string::npos ? str.size() : nFirst);
    size_t nChars = 0, nEnd = 0;
    for (; nEnd < str.size(); ++nEnd) {
        if (IsContinuationByte(str[nEnd])) continue;
        // A character starts here: stop before it if it would go past a limit.
        size_t nNext = nEnd + 1;
        while (nNext < str.size() && IsContinuationByte(str[nNext])) ++nNext;
        if (nChars == kMaxChars || nNext > kMaxBytes) break;
        ++nChars;
    }
    str.resize(nEnd);
    return str;
}

std::string CTemplateName::FileName(const std::string& strTaskName, const TaskDateTime& stamp) {
    char szStamp[64];
    std::snprintf(szStamp, sizeof szStamp, " %4d%02d%02d%02d%02d%02d.oft", stamp.nYear, stamp.nMonth, stamp.nDay,
                  stamp.nHour, stamp.nMinute, stamp.nSecond);
    return CleanName(strTaskName) + szStamp;
}

CResult<std::string> CTemplateName::UniquePath(const std::string& strDataDir, const std::string& strFileName,
                                               const std::function<bool(const std::string&)>& fnTaken) {
    const std::string strBase = strFileName.size() >= 4 && strFileName.ends_with(".oft")
                                    ? strFileName.substr(0, strFileName.size() - 4)
                                    : strFileName;
    std::string strPath = strDataDir + strFileName;
    for (int n = 2; n <= kMaxCounter; ++n) {
        std::error_code ec;
        const fs::file_type type = fs::symlink_status(strPath, ec).type();
        // An unreadable folder answers "none" for every name: asking on
        // would never end.
        if (type == fs::file_type::none) return CProblem(strDataDir + ": cannot be looked into");
        if (type == fs::file_type::not_found && !(fnTaken && fnTaken(strPath))) return strPath;
        strPath = strDataDir + strBase + " (" + std::to_string(n) + ").oft";
    }
    return CProblem(strFileName + ": every name up to (" + std::to_string(kMaxCounter) + ") is taken");
}

bool CTemplateName::IsInside(const std::string& strDataDir, const std::string& strPath) {
    if (strDataDir.empty() || strPath.empty()) return false;
    const fs::path dir = fs::path(strDataDir).lexically_normal();
    const fs::path path = fs::path(strPath).lexically_normal();
    const std::string strName = path.filename().string();
    if (strName.empty() || strName == "." || strName == "..") return false;
    fs::path parent = path.parent_path();
    fs::path dirNoSlash = dir.has_filename() ? dir : dir.parent_path();
    return parent == dirNoSlash;
}

bool CTemplateName::IsOwnTemplate(const std::string& strDataDir, const std::string& strPath) {
    if (!IsInside(strDataDir, strPath)) return false;
    const std::string strName = fs::path(strPath).lexically_normal().filename().string();
    if (strName.size() <= 4 || strName[0] == '.') return false;
    std::string strExtension = strName.substr(strName.size() - 4);
    for (char& c : strExtension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strExtension == ".oft";
}

namespace {
constexpr const char* kPendingSuffix = ".oft";
}  // namespace

std::string CTemplateName::PendingPath(const std::string& strDataDir, long nPid) {
    return strDataDir + std::string(kPendingPrefix) + std::to_string(nPid) + kPendingSuffix;
}

std::optional<long> CTemplateName::PendingPid(const std::string& strDataDir, const std::string& strPath) {
    if (!IsInside(strDataDir, strPath)) return std::nullopt;
    const std::string strName = fs::path(strPath).filename().string();
    const std::string strPrefix(kPendingPrefix), strSuffix = kPendingSuffix;
    if (strName.size() <= strPrefix.size() + strSuffix.size() || strName.rfind(strPrefix, 0) != 0 ||
        strName.compare(strName.size() - strSuffix.size(), strSuffix.size(), strSuffix) != 0)
        return std::nullopt;
    const std::string strPid = strName.substr(strPrefix.size(), strName.size() - strPrefix.size() - strSuffix.size());
    if (!IsDigits(strPid, 10)) return std::nullopt;
    return std::stol(strPid);  // ten digits fit a long
}
