#pragma once
#include "COptionsIds.h"
#include "CRecurrencePanel.h"

// Every N weeks, or every second, third or fourth week of the month, on
// the ticked days. The days belong to both forms, and both forms' values are
// written whichever form is chosen.
class CGeneralWeeklyDlg : public CRecurrencePanel {
public:
    explicit CGeneralWeeklyDlg(QWidget* pParent);
    void LoadFromTask(const CTaskItem& task, CRangeNotes& notes) override;
    void WriteToTask(CTaskItem& task) const override;
    bool AnyDayChecked() const;

    // The day boxes, Sunday first (laid out Sunday..Wednesday, then
    // Thursday..Saturday).
    static constexpr int kDayIds[7] = {COptionsIds::IDC_SUNDAY,    COptionsIds::IDC_MONDAY,   COptionsIds::IDC_TUESDAY,
                                       COptionsIds::IDC_WEDNESDAY, COptionsIds::IDC_THURSDAY, COptionsIds::IDC_FRIDAY,
                                       COptionsIds::IDC_SATURDAY};

protected:
    void DoDataExchange(CDataExchange& dx) override;

private:
    int32_t m_bDays[7] = {0, 0, 0, 0, 0, 0, 0};
};
