#pragma once
#include <QDate>
#include <QLabel>
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

    // The page is this much taller than its template: the coming sending
    // times are shown under the end of the recurrence.
    static constexpr int kPreviewHeight = 84;

    bool UpdateData(bool bSaveAndValidate, bool bQuiet = false);

    // Starting date, sending time and end from a task (not the recurrence).
    void LoadFromTask(const CTaskItem& task, CRangeNotes& notes);
    void LoadRecurrence(const CTaskItem& task, CRangeNotes& notes);
    // The checked type's panel checks its fields and writes them; quietly,
    // it shows no warning about a field it rejects.
    ERecurrenceResult WriteRecurrence(CTaskItem& task, bool bQuiet = false);
    // Shows the coming sending times (or why there are none) and the zone.
    void ShowPreview(const QString& strTimes, const QString& strZone);
    QString PreviewTimes() const;
    QString PreviewZone() const;

signals:
    // Any control of the page or of its panels was changed.
    void Edited();

public:
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
    void OrderTabs();
    void OnEndChoice(EEndKind eKind);
    QWidget* Item(int nId) const { return CDataExchange::Find(this, nId); }
    void SetCheck(int nId, bool bCheck);
    void AddPreview();
    void WatchEdits();

    // Indexed by recurrence type.
    std::array<CRecurrencePanel*, 6> m_arrPanels{};
    QLabel* m_pPreviewTimes = nullptr;
    QLabel* m_pPreviewZone = nullptr;
    QDate m_dateStart;
    QTime m_timeSending;
    int32_t m_nOccurrences = 1;
    QDate m_dateEnd;
};
