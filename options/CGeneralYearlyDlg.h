#pragma once
#include "CRecurrencePanel.h"

// Every year on a month and day, or on the first..last day of a kind of a
// month.
class CGeneralYearlyDlg : public CRecurrencePanel {
    Q_OBJECT
public:
    explicit CGeneralYearlyDlg(QWidget* pParent);
    void LoadFromTask(const CTaskItem& task, CRangeNotes& notes) override;
    void WriteToTask(CTaskItem& task) const override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnInitDialog() override;

private:
    void OnMonthAndDay();
    void OnOrdinalDay();

    int32_t m_nDay = 1;
};
