#pragma once
#include <QObject>
#include <memory>
#include <utility>
#include <vector>

class QMenu;
class QPushButton;
class QTreeWidget;

// The task list's ways to the Email Manager's commands besides its buttons:
// a double-click or Enter edits the schedule, the Delete key asks to remove, and a
// context menu offers every button. It also keeps the buttons' enabled
// states in step with the selection: Activate only for an inactive task,
// Disable only for an active one, Move Up and Move Down not at the ends.
// A row's active flag is read from its first column's Qt::UserRole.
class CManagerCommands : public QObject {
    Q_OBJECT
public:
    // The control ids of the buttons it presses or enables.
    struct CIds {
        int nEdit, nRemove, nActivate, nDisable, nMoveUp, nMoveDown;
    };
    using CButtons = std::vector<std::pair<int, QPushButton*>>;
    // pList and the buttons (by control id, in the menu's order) belong to
    // the window.
    CManagerCommands(QTreeWidget* pList, CButtons vecButtons, const CIds& ids);

    // The list's context menu: one item per button, in the given order,
    // with their texts and enabled states; each presses its button.
    std::unique_ptr<QMenu> ContextMenu() const;
    void UpdateStates();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void Press(int nId) const;
    QPushButton* Button(int nId) const;
    void OnContextMenu(const QPoint& pt);

    QTreeWidget* m_pList;
    CButtons m_vecButtons;
    CIds m_ids;
};
