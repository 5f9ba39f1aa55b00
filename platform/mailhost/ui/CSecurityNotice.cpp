#include "CSecurityNotice.h"

#include <QSettings>
#include <filesystem>

namespace {

const char* const kSeenKey = "Notices/InsecureServerSeen";

// The host's own configuration message about such an account.
bool IsInsecureMessage(const std::string& str) { return str.find("Security = none") != std::string::npos; }

}  // namespace

CSecurityNotice::CSecurityNotice(const std::string& strAccountsPath)
    : m_strSettingsPath((std::filesystem::path(strAccountsPath).parent_path() / "settings.ini").string()) {}

std::string CSecurityNotice::Seen() const {
    const QSettings settings(QString::fromStdString(m_strSettingsPath), QSettings::IniFormat);
    return settings.value(kSeenKey).toString().toStdString();
}

bool CSecurityNotice::IsDue(const CAccount& acc) const {
    return acc.security == ESecurity::None && Seen() != acc.strSmtpUrl;
}

void CSecurityNotice::Saved(const CAccount& acc) const {
    QSettings settings(QString::fromStdString(m_strSettingsPath), QSettings::IniFormat);
    if (acc.security == ESecurity::None) settings.setValue(kSeenKey, QString::fromStdString(acc.strSmtpUrl));
    else settings.remove(kSeenKey);
}

std::vector<std::string> CSecurityNotice::Unseen(const std::vector<std::string>& vecMessages,
                                                 const CAccount& acc) const {
    std::vector<std::string> vec;
    const bool bSeen = acc.security == ESecurity::None && !IsDue(acc);
    for (const std::string& str : vecMessages)
        if (!bSeen || !IsInsecureMessage(str)) vec.push_back(str);
    return vec;
}
