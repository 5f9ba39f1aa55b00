#include "CTrayIcon.h"

#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QStyle>
#include <QSystemTrayIcon>

#include "CApplication.h"
#include "CAutostartEntry.h"
#include "CHostMessage.h"

CTrayIcon::CTrayIcon(std::string strSettingsPath, std::string strProgram, CCallbacks callbacks)
    : m_strSettingsPath(std::move(strSettingsPath)),
      m_strProgram(std::move(strProgram)),
      m_callbacks(std::move(callbacks)),
      m_pMenu(std::make_unique<QMenu>()),
      m_pIcon(std::make_unique<QSystemTrayIcon>()) {
    m_pMenu->addAction("&Open", this, [this] {
        if (m_callbacks.fnOpen) m_callbacks.fnOpen();
    });
    m_pEmailManager = m_pMenu->addAction("&Email Manager", this, [this] {
        if (m_callbacks.fnEmailManager) m_callbacks.fnEmailManager();
    });
    m_pProblems = m_pMenu->addAction("Recent &Problems", this, [this] {
        if (m_callbacks.fnProblems) m_callbacks.fnProblems();
    });
    m_pMenu->addSeparator();
    m_pStartAtLogin = m_pMenu->addAction("&Start at login");
    m_pStartAtLogin->setCheckable(true);
    connect(m_pStartAtLogin, &QAction::triggered, this, [this](bool bOn) { OnStartAtLogin(bOn); });
    m_pMenu->addSeparator();
    m_pMenu->addAction("&Quit", this, [this] {
        if (m_callbacks.fnQuit) m_callbacks.fnQuit();
    });
    connect(m_pMenu.get(), &QMenu::aboutToShow, this, [this] { UpdateMenu(); });
    m_pMenu->setObjectName("tray-menu");
    UpdateMenu();

    QIcon icon = QApplication::windowIcon();
    m_pIcon->setIcon(icon.isNull() ? QApplication::style()->standardIcon(QStyle::SP_ComputerIcon) : icon);
    m_pIcon->setToolTip(kHostProductName);
    m_pIcon->setContextMenu(m_pMenu.get());
    connect(m_pIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && m_callbacks.fnOpen) m_callbacks.fnOpen();
    });
}

CTrayIcon::~CTrayIcon() = default;

void CTrayIcon::Show() { m_pIcon->show(); }

void CTrayIcon::SetNote(const std::string& strNote) {
    m_pIcon->setToolTip(strNote.empty() ? QString(kHostProductName)
                                        : QString(kHostProductName) + "\n" + QString::fromStdString(strNote));
}

QString CTrayIcon::ToolTip() const { return m_pIcon->toolTip(); }

void CTrayIcon::UpdateMenu() {
    m_pEmailManager->setEnabled(m_callbacks.fnHasEmailManager && m_callbacks.fnHasEmailManager());
    m_pStartAtLogin->setChecked(CAutostartEntry::Enabled());
}

void CTrayIcon::OnHidden() {
    Show();
    if (NoticeShown()) return;
    m_pIcon->showMessage(kHostProductName, QString("%1 keeps running here and sends scheduled mail in the background. "
                                                   "Choose Quit in this icon's menu to stop it.")
                                               .arg(kHostProductName));
    QSettings settings(QString::fromStdString(m_strSettingsPath), QSettings::IniFormat);
    settings.setValue(kNoticeKey, true);
}

bool CTrayIcon::NoticeShown() const {
    return QSettings(QString::fromStdString(m_strSettingsPath), QSettings::IniFormat).value(kNoticeKey).toBool();
}

void CTrayIcon::OnStartAtLogin(bool bOn) {
    const CResult<> r = bOn ? CAutostartEntry::Enable(m_strProgram) : CAutostartEntry::Disable();
    if (!r) CHostMessage::Error(nullptr, "Start at login could not be changed: " + r.Problem());
    m_pStartAtLogin->setChecked(CAutostartEntry::Enabled());
}
