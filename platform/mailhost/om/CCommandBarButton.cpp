#include "CCommandBarButton.h"

#include "CCommandBarControls.h"

HRESULT CCommandBarButton::Delete() {
    auto spCore = m_wpCore.lock();
    if (!m_pParent) return E_FAIL;
    m_pParent->Remove(this);
    if (spCore) spCore->BarsChanged();
    return S_OK;
}

HRESULT CCommandBarButton::Execute() {
    auto spCore = om::LiveCore(m_wpCore);
    if (!spCore || !m_bEnabled) return E_FAIL;
    CComPtr<CCommandBarButton> spSelf(this);
    bool bCancel = false;
    if (m_strTag.empty()) {
        FireClick(static_cast<_CommandBarButton*>(this), &bCancel);
    } else {
        std::vector<CComPtr<CCommandBarButton>> vecSameTag;
        for (CCommandBarButton* p : spCore->vecButtons)
            if (p->Tag() == m_strTag) vecSameTag.emplace_back(p);
        for (auto& sp : vecSameTag) sp->FireClick(static_cast<_CommandBarButton*>(this), &bCancel);
    }
    if (m_nId == kSendReceiveControlId && !bCancel && !spCore->bStopped) spCore->pBackend->SendReceiveNow();
    return S_OK;
}
