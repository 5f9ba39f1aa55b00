#pragma once
#include <QDialog>
#include <QTimer>
#include <optional>
#include <string>

#include "CTaskItem.h"
#include "CTaskListEdit.h"
#include "CTaskRules.h"

struct IDispatch;
class QTreeWidget;
class QPushButton;

// The task list window: every task with its next sending time, the result
// of its last occurrence and its schedule, and the commands that manage the
// list. Changes the add-in's one task list through the one edit path
// (CSharedListEdit), which saves the file after every change; refreshes its
// rows every second. Resizable; it finds tasks by
// identity, so it may stay open beside the host's windows.
class CEmailManagerDlg : public QDialog {
    Q_OBJECT
public:
    enum : int {
        IDD = 201,
        IDC_TASK_LIST = 202,
        IDC_NEW_EMAIL = 203,
        IDC_EDIT_EMAIL = 204,
        IDC_REMOVE = 205,
        IDC_EDIT_SCHEDULE = 206,
        IDC_COPY = 207,
        IDC_ACTIVATE = 208,
        IDC_DISABLE = 209,
        IDC_MOVE_UP = 213,
        IDC_MOVE_DOWN = 214,
        IDC_CLOSE = 216,
        IDC_UNDO_REMOVE = 217,
        ID_MENU_ABOUT = 32777,
        ID_MENU_WEB_SITE = 32778,
        ID_MENU_SUPPORT = 32786,
        kRefreshTimer = 2,
    };
    // The task list's columns.
    enum : int {
        kNameColumn = 0,         // the task name, with the active or inactive mark
        kNextSendingColumn = 1,  // the next sending time, "Completed" when there is none
        kLastResultColumn = 2,   // what became of the last occurrence, its history in the tooltip
        kScheduleColumn = 3,     // the schedule in words, with its end; takes the width left over
    };
    // The mark before a task's name (also under kMarkRole in its first column).
    enum class ERowMark : int {
        Active = 0,     // a green tick: it will send
        Inactive = 1,   // a red sign: disabled
        Completed = 2,  // a grey dash: nothing left to send
        Failed = 3,     // an orange warning: its last occurrence failed for good
    };
    static constexpr int kMarkRole = Qt::UserRole + 1;
    // Whether the task has rules beside its schedule (under kRulesRole in the
    // Schedule column, which then carries a marker and the rules in words).
    static constexpr int kRulesRole = Qt::UserRole + 2;
    // The task a row shows (its identity in the list): a command acts on
    // that task even after the tool or the sender changed the list's order.
    static constexpr int kTaskIdRole = Qt::UserRole + 3;
    // The size it opens at the first time, and the first columns' widths;
    // after that, what the user left (kept in the add-in's settings file).
    static constexpr int kDefaultWidth = 1000, kDefaultHeight = 460;
    static constexpr int kDefaultNameWidth = 190, kDefaultNextSendingWidth = 230;

    explicit CEmailManagerDlg(QWidget* pParent = nullptr);

    // The control with a template id, for callers and tests.
    QWidget* Control(int nId) const;
    QTreeWidget* List() const { return m_pList; }
    static QString NextSendingText(const TaskDateTime& dt);
    // "Every weekday at 09:00", "Day 15 of every month at 08:30, 12 times";
    // with rules, they follow: "Every day at 09:00 (Working days, before a holiday)".
    static QString ScheduleText(const CTaskItem& task, const CTaskRules& rules = {});

public slots:
    void OnCloseButton();
    void OnNewEmail();
    void OnRemove();
    void OnCopy();
    void OnActivate();
    void OnDisable();
    void OnMoveUp();
    void OnMoveDown();
    // Puts the task removed last back at its place (once).
    void OnUndoRemove();
    void OnEditScheduleOptions();
    void OnEditEmailMessage();
    void OnAbout();
    void OnSupport();
    void OnWebSite();
    void OnTimer();

protected:
    void hideEvent(QHideEvent* pEvent) override;

private:
    void RestoreLayout();
    void SaveLayout() const;
    void OnInitDialog();
    void SetTaskRow(int nRow, int bActive, const std::string& strName, const TaskDateTime& dtNext);
    void SetRowOf(int nIndex);  // the row of task nIndex from the list
    void SetAllRows();
    int SelectedIndex();  // -1 after telling the user to select one
    void SetActive(int bActive);
    void Move(int nDelta);
    // One change to the shared list through the one edit path, saved; the
    // outcome, or nothing after telling the user pszFailure and why.
    std::optional<CTaskListEdit::COutcome> Edit(CTaskListEdit::ECommand eCommand, int nIndex, const char* pszFailure,
                                                int nTo = -1, const CTaskItem* pTask = nullptr,
                                                const CTaskRules* pRules = nullptr,
                                                const CTaskHistoryFile::CKept* pKept = nullptr);
    // Shows the new or edited message for the user to schedule from its
    // window; pItem null or no mail item gives the failure message.
    // nTaskId: the task whose message it is, kNoId for a new one.
    void DisplayForOptions(IDispatch* pItem, CTaskList::Id nTaskId, const char* pszFailure, const char* pszDoing);
    QPushButton* AddButton(int nId, const char* pszText, int x, int y, int cx, int cy);

    QTreeWidget* m_pList = nullptr;
    QTimer m_timer;
    int m_nRefreshBusy = 0;
    struct CRemoved {
        CTaskItem task;
        CTaskList::Id nId;                               // who it was, for the sender
        int nIndex;                                      // where it stood
        std::optional<CTaskHistoryFile::CKept> optKept;  // its identity, results and rules
    };
    std::optional<CRemoved> m_removed;
};
