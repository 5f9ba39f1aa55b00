#include "CHostCore.h"

#include <algorithm>

#include "CInspector.h"
#include "CInspectors.h"
#include "CMailItem.h"
#include "OmSupport.h"

HRESULT CHostCore::Display(CMailItem* pItem, _Inspector** ppInspector) {
    if (ppInspector) *ppInspector = nullptr;
    if (bStopped) return E_FAIL;
    for (const auto& sp : vecOpen) {
        if (sp->Item() == pItem) {
            CComPtr<CInspector> spExisting = sp;
            Activate(spExisting);
            return ppInspector ? om::Out<_Inspector>(ppInspector, spExisting) : S_OK;
        }
    }
    auto spInspector = MakeComObject<CInspector>(wpSelf, pItem);
    vecOpen.push_back(spInspector);
    if (pObserver) pObserver->OnInspectorOpened(spInspector);
    CComPtr<CInspectors> spCollection = spInspectors;
    IDispatch* pArg = static_cast<_Inspector*>(spInspector.p);
    spCollection->Events()->Fire([pArg](InspectorsEvents* p) { p->NewInspector(pArg); });
    if (!spInspector->m_bClosed) Activate(spInspector);
    return ppInspector ? om::Out<_Inspector>(ppInspector, spInspector) : S_OK;
}

HRESULT CHostCore::Activate(CInspector* pInspector) {
    if (bStopped || pInspector->m_bClosed) return E_FAIL;
    if (pActive == pInspector) return S_OK;
    CComPtr<CInspector> spNew(pInspector);
    if (CComPtr<CInspector> spOld = pActive) {
        pActive = nullptr;
        spOld->Events()->Fire([](InspectorEvents* p) { p->Deactivate(); });
    }
    pActive = spNew;
    spNew->Events()->Fire([](InspectorEvents* p) { p->Activate(); });
    if (pObserver && pActive == spNew.p) pObserver->OnInspectorActivated(spNew);
    return S_OK;
}

HRESULT CHostCore::Deactivate(CInspector* pInspector) {
    if (pActive != pInspector) return S_FALSE;
    CComPtr<CInspector> spOld(pInspector);
    pActive = nullptr;
    spOld->Events()->Fire([](InspectorEvents* p) { p->Deactivate(); });
    return S_OK;
}

HRESULT CHostCore::Close(CInspector* pInspector, int32_t nSaveMode) {
    if (nSaveMode < olSave || nSaveMode > olPromptForSave) return E_INVALIDARG;
    if (pInspector->m_bClosed || pInspector->m_bClosing) return E_FAIL;
    CComPtr<CInspector> spHold(pInspector);
    CMailItem* pItem = pInspector->Item();
    if (nSaveMode != olDiscard && !pItem->IsDeleted()) {
        bool bSent = false;
        pItem->get_Sent(&bSent);
        if (!bSent) {
            HRESULT hr = pItem->Save();
            if (FAILED(hr) && !bStopped) return hr;
        }
    }
    pInspector->m_bClosing = true;
    Deactivate(pInspector);
    pInspector->Events()->Fire([](InspectorEvents* p) { p->Close(); });
    pInspector->m_bClosed = true;
    std::erase_if(vecOpen, [pInspector](const auto& sp) { return sp.p == pInspector; });
    if (pActive == pInspector) pActive = nullptr;
    pInspector->Bars()->Clear();
    if (pObserver) pObserver->OnInspectorClosed(pInspector);
    return S_OK;
}

void CHostCore::CloseWindowsOf(CMailItem* pItem) {
    std::vector<CComPtr<CInspector>> vec;
    for (const auto& sp : vecOpen)
        if (sp->Item() == pItem) vec.push_back(sp);
    for (auto& sp : vec) Close(sp, olDiscard);
}
