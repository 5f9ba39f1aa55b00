#pragma once
#include <QWidget>
#include <string>

#include "CResult.h"
#include "CTaskRules.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

// The sheet's fourth page: the rules a task keeps beside its schedule
// (working days and holidays, its own zone, what to do when nothing is
// there to attach, missed occurrences, a pause and skipping the next one).
// A task without rules shows every choice at what the schedule alone does.
class CRulesPage : public QWidget {
    Q_OBJECT
public:
    explicit CRulesPage(QWidget* pParent = nullptr);

    void Load(const CTaskRules& rules);
    // The rules as the page shows them; the problem names the choice at
    // fault ("Time zone: ..."). Holiday files are only named here: whether
    // they can be read is checked when the task is stored.
    CResult<CTaskRules> Rules() const;
    // Under the zone: how its times read here ("09:00 America/New_York = 15:00 here").
    void ShowZoneNote(const std::string& strNote);

    // For the tests, and for the sheet to put the focus on the choice at fault.
    QCheckBox* WorkingDay(int nWeekday) const { return m_arrDays[nWeekday - 1]; }
    QListWidget& HolidayList() const { return *m_pHolidays; }
    QComboBox& OnDayOff() const { return *m_pOnDayOff; }
    QComboBox& Zone() const { return *m_pZone; }
    QComboBox& NothingAttached() const { return *m_pNothingAttached; }
    QSpinBox& WaitMinutes() const { return *m_pWaitMinutes; }
    QSpinBox& WaitDeadline() const { return *m_pWaitDeadline; }
    QComboBox& WaitThen() const { return *m_pWaitThen; }
    QComboBox& Missed() const { return *m_pMissed; }
    QCheckBox& Pause() const { return *m_pPause; }
    QDateEdit& PauseUntil() const { return *m_pPauseUntil; }
    QCheckBox& SkipNext() const { return *m_pSkipNext; }

    // Adds the files as holiday files (the Add button's dialog gives them).
    void AddHolidayFiles(const QStringList& listPaths);

signals:
    // Any choice changed: the sheet's preview shows the rules' effect.
    void Edited();

private:
    void OnAddHolidays();
    void OnRemoveHoliday();
    void EnableDependents();

    QCheckBox* m_arrDays[7] = {};  // Sunday .. Saturday
    QListWidget* m_pHolidays;
    QPushButton* m_pRemoveHoliday;
    QComboBox* m_pOnDayOff;
    QComboBox* m_pZone;
    QLabel* m_pZoneNote;
    QComboBox* m_pNothingAttached;
    QSpinBox* m_pWaitMinutes;
    QSpinBox* m_pWaitDeadline;
    QComboBox* m_pWaitThen;  // once the wait is over: skip it, or send without
    QComboBox* m_pMissed;
    QCheckBox* m_pPause;
    QDateEdit* m_pPauseUntil;
    QCheckBox* m_pSkipNext;
};
