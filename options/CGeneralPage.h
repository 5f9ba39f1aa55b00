#pragma once
#include <QDate>
#include <QTime>
#include <QWidget>
#include <array>

#include "COptionsIds.h"
#include "CRangeNotes.h"
#include "CRecurrencePanel.h"
#include "CTaskItem.h"

// The sheet's first page: starting date and sending time, the recurrence
// type with its panel, and the end of the recurrence.
class CGeneralPage : public QWidget {
    Q_OBJECT
public:
    explicit CGeneralPage(QWidget* pParent = nullptr);

    enum ERecurrenceResult { kWritten, kPanelRejected, kNoWeekday };

    bool UpdateData(bool bSaveAndValidate, bool bQuiet = false);

    // Starting date, sending time and end from a task (not the recurrence).
    void LoadFromTask(const CTaskItem& task, CRangeNotes& notes);
    void LoadRecurrence(const CTaskItem& task, CRangeNotes& notes);
    // The checked type's panel checks its fields and writes them.
    ERecurrenceResult WriteRecurrence(CTaskItem& task);
    // After UpdateData(true).
    void WriteStart(CTaskItem& task) const;
    void WriteEnd(CTaskItem& task) const;

    // The checked type as its ERecurrence code: the first checked of
    // Minutely..Yearly, else Once.
    int RecurrenceType() const;
    CRecurrencePanel* Panel(int nType) const;

    void SetStartingDate(const QDate& date) { m_dateStart = date; }
    void SetSendingTime(const QTime& time) { m_timeSending = time; }
    void SetEndDate(const QDate& date) { m_dateEnd = date; }

    // The type buttons, indexed by ERecurrence.
    static constexpr int kRecurrenceIds[6] = {COptionsIds::IDC_NO_RECURRENCE, COptionsIds::IDC_MINUTELY,
                                              COptionsIds::IDC_DAILY,         COptionsIds::IDC_WEEKLY,
                                              COptionsIds::IDC_MONTHLY,       COptionsIds::IDC_YEARLY};

private:
    void OnInitDialog();
    void DoDataExchange(CDataExchange& dx);
    void ShowPanel(int nType);
    void OnEndChoice(EEndKind eKind);
    QWidget* Item(int nId) const { return CDataExchange::Find(this, nId); }
    void SetCheck(int nId, bool bCheck);

    // Indexed by recurrence type.
    std::array<CRecurrencePanel*, 6> m_arrPanels{};
    QDate m_dateStart;
    QTime m_timeSending;
    int32_t m_nOccurrences = 1;
    QDate m_dateEnd;
};
