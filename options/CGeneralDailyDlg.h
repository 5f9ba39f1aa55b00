#pragma once
#include "CRecurrencePanel.h"

// Every N days, or every day of a kind (weekday, odd day, ...).
class CGeneralDailyDlg : public CRecurrencePanel {
    Q_OBJECT
public:
    explicit CGeneralDailyDlg(QWidget* pParent);
    void LoadFromTask(const CTaskItem& task, CRangeNotes& notes) override;
    void WriteToTask(CTaskItem& task) const override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnInitDialog() override;

private:
    void OnEveryNDays();
    void OnEveryKind();

    int32_t m_nDays = 1;
};
