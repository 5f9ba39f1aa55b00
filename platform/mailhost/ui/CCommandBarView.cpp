#include "CCommandBarView.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>

namespace {

Qt::ToolBarArea AreaOf(int32_t nPosition) {
    switch (nPosition) {
        case msoBarLeft: return Qt::LeftToolBarArea;
        case msoBarRight: return Qt::RightToolBarArea;
        case msoBarBottom: return Qt::BottomToolBarArea;
        default: return Qt::TopToolBarArea;  // floating and popup bars dock at the top
    }
}

template <class T, class Getter>
T Get(Getter fn) {
    T value{};
    fn(&value);
    return value;
}

}  // namespace

CCommandBarView::CCommandBarView(QMainWindow* pWindow, CApplication* pApp, IDispatch* pModelWindow)
    : m_pWindow(pWindow), m_spApp(pApp), m_spModelWindow(pModelWindow) {}

CCommandBarView::~CCommandBarView() {
    *m_spAlive = false;
    for (auto& p : m_vecBars) delete p.data();
}

void CCommandBarView::SetHostActions(const std::string& strBar, std::vector<QAction*> vecBefore,
                                     std::vector<QAction*> vecAfter) {
    m_mapHostActions[strBar] = {std::move(vecBefore), std::move(vecAfter)};
}

void CCommandBarView::SetHostMenu(const std::string& strCaption, QMenu* pMenu) { m_mapHostMenus[strCaption] = pMenu; }

void CCommandBarView::SetToolbarMenu(QMenu* pMenu) { m_pToolbarMenu = pMenu; }

void CCommandBarView::Detach() {
    m_spModelWindow = nullptr;
    m_spApp = nullptr;
}

void CCommandBarView::RebuildLater() {
    if (m_bRebuildQueued) return;
    m_bRebuildQueued = true;
    std::weak_ptr<bool> wpAlive = m_spAlive;
    QTimer::singleShot(0, m_pWindow, [this, wpAlive] {
        if (wpAlive.expired()) return;
        m_bRebuildQueued = false;
        Rebuild();
    });
}

void CCommandBarView::Rebuild() {
    if (!m_pWindow) return;
    for (auto& p : m_vecBars) {
        if (!p) continue;
        m_pWindow->removeToolBar(p);
        p->deleteLater();
    }
    m_vecBars.clear();
    for (auto& p : m_vecMenuActions) delete p.data();
    m_vecMenuActions.clear();
    m_bToolbarSeparator = false;
    if (!m_spApp || !m_spModelWindow) return;

    for (const auto& spBar : m_spApp->CommandBarsOf(m_spModelWindow)) {
        if (!Get<bool>([&](bool* p) { return spBar->get_Visible(p); })) continue;
        if (CApplication::IsMenuBar(spBar)) {
            AddMenuControls(spBar);
            continue;
        }
        std::string strName = Get<std::string>([&](std::string* p) { return spBar->get_Name(p); });
        auto* pToolBar = new QToolBar(QString::fromStdString(strName), m_pWindow);
        pToolBar->setObjectName(QString::fromStdString(strName));
        pToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        pToolBar->setMovable(false);
        auto itHost = m_mapHostActions.find(strName);
        if (itHost != m_mapHostActions.end())
            for (QAction* p : itHost->second.vecBefore) pToolBar->addAction(p);

        for (const auto& spControl : CApplication::ControlsOf(spBar)) {
            if (!Get<bool>([&](bool* p) { return spControl->get_Visible(p); })) continue;
            std::string strCaption = Get<std::string>([&](std::string* p) { return spControl->get_Caption(p); });
            std::string strTag = Get<std::string>([&](std::string* p) { return spControl->get_Tag(p); });
            std::string strTip = Get<std::string>([&](std::string* p) { return spControl->get_TooltipText(p); });
            int32_t nId = Get<int32_t>([&](int32_t* p) { return spControl->get_Id(p); });
            // A button without a caption still needs something to click.
            if (strCaption.empty()) strCaption = strTag.empty() ? "Button" : strTag;
            QAction* pAction = pToolBar->addAction(QString::fromStdString(strCaption));
            pAction->setObjectName(QString::fromStdString(strTag.empty() ? "control-" + std::to_string(nId) : strTag));
            pAction->setToolTip(QString::fromStdString(strTip.empty() ? strCaption : strTip));
            pAction->setEnabled(Get<bool>([&](bool* p) { return spControl->get_Enabled(p); }));
            pAction->setData(nId);
            Bind(pAction, spControl);
            AddToToolbarMenu(QString::fromStdString(strCaption), pAction);
            // Reachable with Tab as well as through the menu.
            if (QWidget* pButton = pToolBar->widgetForAction(pAction)) pButton->setFocusPolicy(Qt::TabFocus);
        }
        if (itHost != m_mapHostActions.end())
            for (QAction* p : itHost->second.vecAfter) pToolBar->addAction(p);
        m_pWindow->addToolBar(AreaOf(Get<int32_t>([&](int32_t* p) { return spBar->get_Position(p); })), pToolBar);
        m_vecBars.emplace_back(pToolBar);
    }
}

QToolBar* CCommandBarView::Toolbar(const std::string& strName) const {
    for (const auto& p : m_vecBars)
        if (p && p->objectName().toStdString() == strName) return p;
    return nullptr;
}

QString CCommandBarView::WithFreeMnemonic(const QString& strCaption, const QMenu* pMenu) {
    if (strCaption.contains('&')) return strCaption;
    QString strUsed;
    for (const QAction* p : pMenu->actions()) {
        const QString& strText = p->text();
        for (qsizetype i = 0; i + 1 < strText.size(); ++i) {
            if (strText[i] != '&') continue;
            if (strText[i + 1] != '&') strUsed += strText[i + 1].toLower();
            ++i;
        }
    }
    for (qsizetype i = 0; i < strCaption.size(); ++i)
        if (strCaption[i].isLetterOrNumber() && !strUsed.contains(strCaption[i].toLower()))
            return strCaption.left(i) + '&' + strCaption.mid(i);
    return strCaption;
}

void CCommandBarView::AddToToolbarMenu(const QString& strCaption, QAction* pToolbarAction) {
    if (!m_pToolbarMenu) return;
    if (!m_bToolbarSeparator) {
        m_vecMenuActions.emplace_back(m_pToolbarMenu->addSeparator());
        m_bToolbarSeparator = true;
    }
    QAction* pAction = m_pToolbarMenu->addAction(WithFreeMnemonic(strCaption, m_pToolbarMenu));
    pAction->setObjectName(pToolbarAction->objectName());
    pAction->setToolTip(pToolbarAction->toolTip());
    pAction->setEnabled(pToolbarAction->isEnabled());
    QObject::connect(pAction, &QAction::triggered, pToolbarAction, &QAction::trigger);
    m_vecMenuActions.emplace_back(pAction);
}

void CCommandBarView::Bind(QAction* pAction, CommandBarControl* pControl) {
    CComPtr<CommandBarControl> spKeep = pControl;
    QObject::connect(pAction, &QAction::triggered, pAction, [spKeep] { spKeep->Execute(); });
}

void CCommandBarView::AddMenuControls(CommandBar* pMenuBar) {
    for (const auto& spMenu : CApplication::MenusOf(pMenuBar)) {
        auto it = m_mapHostMenus.find(Get<std::string>([&](std::string* p) { return spMenu->get_Caption(p); }));
        if (it == m_mapHostMenus.end() || !it->second) continue;
        QMenu* pMenu = it->second;
        bool bFirst = true;
        for (const auto& spControl : CApplication::ControlsOf(spMenu)) {
            if (!Get<bool>([&](bool* p) { return spControl->get_Visible(p); })) continue;
            // The model's commands stand apart from the window's own.
            if (bFirst) m_vecMenuActions.emplace_back(pMenu->addSeparator());
            bFirst = false;
            std::string strCaption = Get<std::string>([&](std::string* p) { return spControl->get_Caption(p); });
            const std::string strTag = Get<std::string>([&](std::string* p) { return spControl->get_Tag(p); });
            if (strCaption.empty()) strCaption = strTag.empty() ? "Command" : strTag;
            QAction* pAction = pMenu->addAction(WithFreeMnemonic(QString::fromStdString(strCaption), pMenu));
            pAction->setObjectName(QString::fromStdString(strTag));
            pAction->setToolTip(QString::fromStdString(
                Get<std::string>([&](std::string* p) { return spControl->get_TooltipText(p); })));
            pAction->setEnabled(Get<bool>([&](bool* p) { return spControl->get_Enabled(p); }));
            Bind(pAction, spControl);
            m_vecMenuActions.emplace_back(pAction);
        }
    }
}
