#include "CRecurrencePanel.h"

#include <QAbstractButton>
#include <QComboBox>

namespace {

bool IsList(const CRecurrencePanel::CField& field) { return field.nMax == 0; }

}  // namespace

CRecurrencePanel::CRecurrencePanel(QWidget* pParent, int32_t CTaskItem::*pMode, std::vector<CForm> vecForms)
    : QWidget(pParent), m_pMode(pMode), m_vecForms(std::move(vecForms)) {
    for (const CForm& form : m_vecForms)
        for (const CField& field : form.vecFields)
            if (!IsList(field)) m_mapCounts[field.nId] = 1;
}

void CRecurrencePanel::InitTemplate() {
    CDataExchange::PrepareControls(this);
    // Lists start with nothing chosen; a form that is never used stores -1.
    for (QComboBox* pList : findChildren<QComboBox*>(Qt::FindDirectChildrenOnly)) pList->setCurrentIndex(-1);
    setVisible(false);
    // The fields' initial values show from the start.
    UpdateData(false);
    for (int nForm = 0; nForm < static_cast<int>(m_vecForms.size()); ++nForm)
        if (auto* pRadio = qobject_cast<QAbstractButton*>(Item(m_vecForms[nForm].nRadio)))
            connect(pRadio, &QAbstractButton::clicked, this, [this, nForm] { OnForm(nForm); });
    if (!m_vecForms.empty()) ChooseForm(0);
}

bool CRecurrencePanel::UpdateData(bool bSaveAndValidate, bool bQuiet) {
    CDataExchange dx(this, bSaveAndValidate, bQuiet);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CRecurrencePanel::DoDataExchange(CDataExchange& dx) {
    for (const CForm& form : m_vecForms)
        for (const CField& field : form.vecFields)
            if (!IsList(field)) dx.Count(field.nId, m_mapCounts[field.nId], field.nMax);
}

void CRecurrencePanel::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    // A mode that is not 0 selects form 1.
    const int nForm = m_pMode && task.*m_pMode != 0 ? 1 : 0;
    if (nForm >= static_cast<int>(m_vecForms.size())) return;
    ChooseForm(nForm);
    for (const CField& field : m_vecForms[nForm].vecFields) {
        if (IsList(field)) {
            int32_t nIndex = task.*field.pField;
            auto* pList = qobject_cast<QComboBox*>(Item(field.nId));
            if (!pList) continue;
            notes.Index(nIndex, pList->count(), field.pszWhat);
            pList->setCurrentIndex(nIndex);
        } else {
            int32_t& nValue = m_mapCounts[field.nId];
            nValue = task.*field.pField;
            notes.Clamp(nValue, 1, field.nMax, field.pszWhat);
        }
    }
    UpdateData(false);
}

void CRecurrencePanel::WriteToTask(CTaskItem& task) const {
    if (m_vecForms.empty()) return;
    const int nForm = Form();
    if (m_pMode) task.*m_pMode = nForm;
    WriteFields(task, nForm);
}

void CRecurrencePanel::WriteFields(CTaskItem& task, int nForm) const {
    for (const CField& field : m_vecForms[nForm].vecFields) {
        if (!IsList(field)) {
            task.*field.pField = m_mapCounts.at(field.nId);
        } else {
            auto* pList = qobject_cast<QComboBox*>(Item(field.nId));
            task.*field.pField = pList ? pList->currentIndex() : -1;
        }
    }
}

int CRecurrencePanel::Form() const { return m_vecForms.size() < 2 || IsChecked(m_vecForms[0].nRadio) ? 0 : 1; }

bool CRecurrencePanel::IsChecked(int nId) const {
    auto* p = qobject_cast<QAbstractButton*>(Item(nId));
    return p && p->isChecked();
}

void CRecurrencePanel::ChooseForm(int nForm) {
    if (auto* pRadio = qobject_cast<QAbstractButton*>(Item(m_vecForms[nForm].nRadio))) pRadio->setChecked(true);
    OnForm(nForm);
}

void CRecurrencePanel::OnForm(int nForm) {
    for (int n = 0; n < static_cast<int>(m_vecForms.size()); ++n)
        for (const CField& field : m_vecForms[n].vecFields)
            if (QWidget* p = Item(field.nId)) p->setEnabled(n == nForm);
    for (const CField& field : m_vecForms[nForm].vecFields) {
        auto* pList = qobject_cast<QComboBox*>(Item(field.nId));
        if (IsList(field) && pList && pList->currentIndex() < 0) pList->setCurrentIndex(0);
    }
}
