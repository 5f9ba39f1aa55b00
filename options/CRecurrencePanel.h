#pragma once
#include <QWidget>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "CDataExchange.h"
#include "CRangeNotes.h"
#include "CTaskItem.h"

// One recurrence type's details on the General page: a child dialog with one
// or two forms of its rule, each chosen by its radio button and tying its
// controls to task fields. Choosing a form enables its controls, disables
// the other form's and selects the first item of each of its lists that has
// nothing selected. Hidden panels keep their values and form.
//
// Loading a task chooses the form its mode field names and sets only that
// form's controls; writing sets the mode and that form's fields, and every
// other field keeps the task's value. Example: the monthly panel loads a
// task in form 1 with "last", "friday" and 2 months of form 1, while the
// disabled day and months of form 0 keep showing the panel's own 1 and 1.
class CRecurrencePanel : public QWidget {
    Q_OBJECT
public:
    // A control tied to a task field: a count field checked against
    // 1..nMax, or (nMax 0) a list whose selected index is the field.
    struct CField {
        int nId;
        int32_t CTaskItem::*pField;
        const char* pszWhat;  // names the field in a note on a stored value out of range
        int nMax = 0;
    };
    // One form: its radio button and its fields in exchange order.
    struct CForm {
        int nRadio;
        std::vector<CField> vecFields;
    };

    // Saving runs the range check of every count field.
    bool UpdateData(bool bSaveAndValidate, bool bQuiet = false);
    virtual void LoadFromTask(const CTaskItem& task, CRangeNotes& notes);
    // After a successful UpdateData(true).
    virtual void WriteToTask(CTaskItem& task) const;

protected:
    // The forms stand in the order of the mode codes that pMode holds; a
    // panel of one form has no mode field.
    CRecurrencePanel(QWidget* pParent, int32_t CTaskItem::*pMode = nullptr, std::vector<CForm> vecForms = {});
    // Called by each panel once its template is set up.
    void InitTemplate();
    virtual void DoDataExchange(CDataExchange& dx);
    // The form whose radio button is checked.
    int Form() const;
    void WriteFields(CTaskItem& task, int nForm) const;
    bool IsChecked(int nId) const;

private:
    QWidget* Item(int nId) const { return CDataExchange::Find(this, nId); }
    void ChooseForm(int nForm);
    void OnForm(int nForm);

    int32_t CTaskItem::*m_pMode;
    std::vector<CForm> m_vecForms;
    // The count fields' values by control id; each starts at 1.
    std::map<int, int32_t> m_mapCounts;
};
