#pragma once
#include "CRecurrencePanel.h"

// Every N minutes.
class CGeneralMinutelyDlg : public CRecurrencePanel {
    Q_OBJECT
public:
    explicit CGeneralMinutelyDlg(QWidget* pParent);
    void LoadFromTask(const CTaskItem& task, CRangeNotes& notes) override;
    void WriteToTask(CTaskItem& task) const override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnInitDialog() override;

private:
    int32_t m_nMinutes = 1;
};
