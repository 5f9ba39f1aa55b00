#include "CManagerCommands.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

CManagerCommands::CManagerCommands(QTreeWidget* pList, CButtons vecButtons, const CIds& ids)
    : QObject(pList), m_pList(pList), m_vecButtons(std::move(vecButtons)), m_ids(ids) {
    connect(pList, &QTreeWidget::itemDoubleClicked, this, [this] { Press(m_ids.nEdit); });
    pList->installEventFilter(this);
    pList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pList, &QWidget::customContextMenuRequested, this, &CManagerCommands::OnContextMenu);
    // Rows come, go and change their marks with every command and refresh.
    QAbstractItemModel* pModel = pList->model();
    auto update = [this] { UpdateStates(); };
    connect(pModel, &QAbstractItemModel::dataChanged, this, update);
    connect(pModel, &QAbstractItemModel::rowsInserted, this, update);
    connect(pModel, &QAbstractItemModel::rowsRemoved, this, update);
    connect(pList, &QTreeWidget::itemSelectionChanged, this, update);
    UpdateStates();
}

QPushButton* CManagerCommands::Button(int nId) const {
    for (const auto& [nButtonId, pButton] : m_vecButtons)
        if (nButtonId == nId) return pButton;
    return nullptr;
}

void CManagerCommands::Press(int nId) const {
    // click() does nothing on a disabled button, as the user would find it.
    if (QPushButton* pButton = Button(nId)) pButton->click();
}

void CManagerCommands::UpdateStates() {
    const auto selected = m_pList->selectedItems();
    const int nRow = selected.isEmpty() ? -1 : m_pList->indexOfTopLevelItem(selected.front());
    const bool bSelected = nRow >= 0;
    const bool bActive = bSelected && selected.front()->data(0, Qt::UserRole).toInt() != 0;
    const std::pair<int, bool> states[] = {
        {m_ids.nActivate, bSelected && !bActive},
        {m_ids.nDisable, bSelected && bActive},
        {m_ids.nMoveUp, bSelected && nRow > 0},
        {m_ids.nMoveDown, bSelected && nRow + 1 < m_pList->topLevelItemCount()},
    };
    for (const auto& [nId, bEnabled] : states)
        if (QPushButton* pButton = Button(nId)) pButton->setEnabled(bEnabled);
}

std::unique_ptr<QMenu> CManagerCommands::ContextMenu() const {
    auto pMenu = std::make_unique<QMenu>();
    for (const auto& [nId, pButton] : m_vecButtons) {
        QAction* pAction = pMenu->addAction(pButton->text());
        pAction->setProperty("controlId", nId);
        pAction->setEnabled(pButton->isEnabled());
        connect(pAction, &QAction::triggered, this, [this, nId = nId] { Press(nId); });
    }
    return pMenu;
}

void CManagerCommands::OnContextMenu(const QPoint& pt) { ContextMenu()->exec(m_pList->viewport()->mapToGlobal(pt)); }

bool CManagerCommands::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pList && pEvent->type() == QEvent::KeyPress) {
        // Enter does what a double-click does, Delete asks to remove.
        switch (static_cast<QKeyEvent*>(pEvent)->key()) {
            case Qt::Key_Delete: Press(m_ids.nRemove); return true;
            case Qt::Key_Return:
            case Qt::Key_Enter: Press(m_ids.nEdit); return true;
            default: break;
        }
    }
    return QObject::eventFilter(pWatched, pEvent);
}
