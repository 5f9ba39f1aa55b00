#include "CCommandBarPopup.h"

HRESULT CCommandBarPopup::Delete() {
    auto spCore = m_wpCore.lock();
    if (!m_pParent) return E_FAIL;
    m_pParent->RemovePopup(this);
    if (spCore) spCore->BarsChanged();
    return S_OK;
}

CComPtr<CommandBarPopup> CCommandBarControls::MakePopup(bool bTemporary) {
    auto spPopup = MakeComObject<CCommandBarPopup>(m_wpCore, bTemporary);
    spPopup->m_pParent = this;
    m_vecPopups.emplace_back(spPopup.p);
    return CComPtr<CommandBarPopup>(spPopup.p);
}

void CCommandBarControls::RemovePopup(CommandBarPopup* p) {
    auto it = std::find_if(m_vecPopups.begin(), m_vecPopups.end(), [p](const auto& sp) { return sp.p == p; });
    if (it == m_vecPopups.end()) return;
    CComPtr<CommandBarPopup> spGone = *it;
    static_cast<CCommandBarPopup*>(spGone.p)->m_pParent = nullptr;
    m_vecPopups.erase(it);
}

void CCommandBarControls::ClearPopups() {
    auto vec = std::move(m_vecPopups);
    m_vecPopups.clear();
    for (auto& sp : vec) {
        auto* pPopup = static_cast<CCommandBarPopup*>(sp.p);
        pPopup->m_pParent = nullptr;
        pPopup->Controls()->Clear();
    }
}
