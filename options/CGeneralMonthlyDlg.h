#pragma once
#include "CRecurrencePanel.h"

// Day N of every M months, or the first..last day of a kind of every M
// months.
class CGeneralMonthlyDlg : public CRecurrencePanel {
    Q_OBJECT
public:
    explicit CGeneralMonthlyDlg(QWidget* pParent);
    void LoadFromTask(const CTaskItem& task, CRangeNotes& notes) override;
    void WriteToTask(CTaskItem& task) const override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnInitDialog() override;

private:
    void OnDayOfMonth();
    void OnOrdinalDay();

    int32_t m_nDay = 1;
    int32_t m_nMonths = 1;
    int32_t m_nMonths2 = 1;
};
