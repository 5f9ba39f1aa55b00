#include "CAddinSettings.h"

#include <sys/stat.h>

#include <QSettings>
#include <iostream>

#include "SharedState.h"

std::string CAddinSettings::Path() { return g_strDataDir.empty() ? std::string() : g_strDataDir + "settings.ini"; }

std::unique_ptr<QSettings> CAddinSettings::Open() {
    const std::string strPath = Path();
    if (strPath.empty()) return nullptr;
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        std::cerr << "Quillory: " << strPath << " is not a regular file; the add-in's settings are not kept\n";
        return nullptr;
    }
    return std::make_unique<QSettings>(QString::fromStdString(strPath), QSettings::IniFormat);
}

bool CAddinSettings::Save(QSettings& settings, const std::string& strLost) {
    settings.sync();
    const std::string strPath = settings.fileName().toStdString();
    if (settings.status() != QSettings::NoError) {
        std::cerr << "Quillory: cannot write " << strPath << "; " << strLost << '\n';
        return false;
    }
    // Written anew under the umask: what the user arranges is nobody else's.
    (void)::chmod(strPath.c_str(), 0600);  // a failure changes nothing written
    return true;
}

bool CAddinSettings::IsNoticeOff(const std::string& strKey) {
    const auto pSettings = Open();
    return pSettings && pSettings->value(QString::fromStdString("notices/" + strKey + "Off"), false).toBool();
}

void CAddinSettings::TurnNoticeOff(const std::string& strKey) {
    const auto pSettings = Open();
    if (!pSettings) return;
    pSettings->setValue(QString::fromStdString("notices/" + strKey + "Off"), true);
    (void)Save(*pSettings, "the notice will be shown again");  // said on stderr; nothing else is lost
}
