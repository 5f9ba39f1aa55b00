#include "CHostCore.h"

#include <algorithm>
#include <optional>
#include <utility>

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

namespace {

// The result an event reports and the folder its message is then in; none
// for events that are no sent message's result.
std::optional<std::pair<OlSendResult, EMailFolder>> SendResultOf(EHostEvent kind) {
    switch (kind) {
        case EHostEvent::Sent: return std::pair{olSendSent, EMailFolder::SentItems};
        case EHostEvent::SentWithRefusals: return std::pair{olSendSentWithRefusals, EMailFolder::SentItems};
        case EHostEvent::RetryLater: return std::pair{olSendRetrying, EMailFolder::Outbox};
        case EHostEvent::Failed: return std::pair{olSendFailed, EMailFolder::Outbox};
        case EHostEvent::InDoubt: return std::pair{olSendInDoubt, EMailFolder::Outbox};
        case EHostEvent::Stuck: return std::pair{olSendNoWay, EMailFolder::Outbox};
        default: return std::nullopt;
    }
}

}  // namespace

void CHostCore::OnDeliveryEvent(const CHostEventRecord& event) {
    if (bStopped || !spAppEvents || spAppEvents->Count() == 0) return;
    const auto result = SendResultOf(event.kind);
    if (!result) return;
    const auto [nResult, folder] = *result;
    CComPtr<CMailItem> spItem;
    CMailMessage msg;
    // Unreadable (moved on or damaged meanwhile): the result still goes out, without its message.
    if (pBackend->LoadFromFolder(folder, event.strId, msg).Ok())
        spItem.Attach(new CMailItem(wpSelf, std::move(msg), folder, event.strId));
    IDispatch* pArg = spItem ? static_cast<_MailItem*>(spItem.p) : nullptr;
    const std::string& strText = event.strText;
    spAppEvents->Fire(
        [pArg, nResult = nResult, &strText](ApplicationEvents* p) { p->ItemSendResult(pArg, nResult, strText); });
}
