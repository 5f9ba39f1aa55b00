#include "CAddinSettings.h"

#include <QSettings>
#include <iostream>

#include "SharedState.h"

std::string CAddinSettings::Path() { return g_strDataDir.empty() ? std::string() : g_strDataDir + "settings.ini"; }

bool CAddinSettings::IsNoticeOff(const std::string& strKey) {
    const std::string strPath = Path();
    if (strPath.empty()) return false;
    QSettings settings(QString::fromStdString(strPath), QSettings::IniFormat);
    return settings.value(QString::fromStdString("notices/" + strKey + "Off"), false).toBool();
}

void CAddinSettings::TurnNoticeOff(const std::string& strKey) {
    const std::string strPath = Path();
    if (strPath.empty()) return;
    QSettings settings(QString::fromStdString(strPath), QSettings::IniFormat);
    settings.setValue(QString::fromStdString("notices/" + strKey + "Off"), true);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        std::cerr << "Quillory: cannot write " << strPath << "; the notice will be shown again\n";
}
