#include "CRecurrencePanel.h"

#include <QAbstractButton>
#include <QComboBox>

void CRecurrencePanel::InitTemplate() {
    CDataExchange::PrepareControls(this);
    // Lists start with nothing chosen; a form that is never used stores -1.
    for (QComboBox* pList : findChildren<QComboBox*>(Qt::FindDirectChildrenOnly)) pList->setCurrentIndex(-1);
    setVisible(false);
    // The fields' initial values show from the start.
    UpdateData(false);
    OnInitDialog();
}

bool CRecurrencePanel::UpdateData(bool bSaveAndValidate, bool bQuiet) {
    CDataExchange dx(this, bSaveAndValidate, bQuiet);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CRecurrencePanel::Enable(std::initializer_list<int> ids, bool bEnable) {
    for (int nId : ids)
        if (QWidget* p = Item(nId)) p->setEnabled(bEnable);
}

bool CRecurrencePanel::IsEnabled(int nId) const {
    QWidget* p = Item(nId);
    return p && p->isEnabledTo(this);
}

void CRecurrencePanel::SetCheck(int nId, bool bCheck) {
    if (auto* p = qobject_cast<QAbstractButton*>(Item(nId))) p->setChecked(bCheck);
}

bool CRecurrencePanel::IsChecked(int nId) const {
    auto* p = qobject_cast<QAbstractButton*>(Item(nId));
    return p && p->isChecked();
}

int CRecurrencePanel::ListIndex(int nId) const {
    auto* p = qobject_cast<QComboBox*>(Item(nId));
    return p ? p->currentIndex() : -1;
}

void CRecurrencePanel::SelectFirstIfNone(int nId) {
    auto* p = qobject_cast<QComboBox*>(Item(nId));
    if (p && p->currentIndex() < 0) p->setCurrentIndex(0);
}

void CRecurrencePanel::SelectItem(int nId, int32_t nIndex, const std::string& strWhat, CRangeNotes& notes) {
    auto* p = qobject_cast<QComboBox*>(Item(nId));
    if (!p) return;
    notes.Index(nIndex, p->count(), strWhat);
    p->setCurrentIndex(nIndex);
}
