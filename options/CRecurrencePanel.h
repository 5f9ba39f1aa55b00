#pragma once
#include <QAbstractButton>
#include <QWidget>
#include <initializer_list>
#include <string>

#include "CDataExchange.h"
#include "CRangeNotes.h"
#include "CTaskItem.h"

// One recurrence type's details on the General page: a child dialog that
// exchanges its fields with its controls, loads itself from a task and
// writes itself into one. Hidden panels keep their values and form.
class CRecurrencePanel : public QWidget {
    Q_OBJECT
public:
    explicit CRecurrencePanel(QWidget* pParent) : QWidget(pParent) {}

    // Saving runs the range check of every count field.
    bool UpdateData(bool bSaveAndValidate, bool bQuiet = false);
    virtual void LoadFromTask(const CTaskItem& task, CRangeNotes& notes) = 0;
    // After a successful UpdateData(true).
    virtual void WriteToTask(CTaskItem& task) const = 0;

protected:
    // Called by each panel once its template is set up.
    void InitTemplate();
    virtual void DoDataExchange(CDataExchange&) {}
    virtual void OnInitDialog() {}

    QWidget* Item(int nId) const { return CDataExchange::Find(this, nId); }
    void Enable(std::initializer_list<int> ids, bool bEnable);
    bool IsEnabled(int nId) const;
    void SetCheck(int nId, bool bCheck);
    bool IsChecked(int nId) const;
    int ListIndex(int nId) const;
    // The first item of a list, when nothing in it is selected.
    void SelectFirstIfNone(int nId);
    void SelectItem(int nId, int32_t nIndex, const std::string& strWhat, CRangeNotes& notes);
    // Runs fn whenever the button with this id is clicked.
    template <class F>
    void OnClicked(int nId, F fn);
};

template <class F>
void CRecurrencePanel::OnClicked(int nId, F fn) {
    if (auto* p = qobject_cast<QAbstractButton*>(Item(nId))) connect(p, &QAbstractButton::clicked, this, fn);
}
