// The host's application object: creates the model's objects over the
// backend and gives the host's user interface its hooks.
#include "CApplication.h"

#include "CCommandBarPopup.h"
#include "CExplorer.h"
#include "CFolder.h"
#include "CHostCore.h"
#include "CInspector.h"
#include "CInspectors.h"
#include "CMailItem.h"
#include "CNameSpace.h"
#include "OmSupport.h"

CComPtr<CApplication> CApplication::Create(IMailBackend& backend, const CApplicationOptions& options) {
    auto spCore = std::make_shared<CHostCore>();
    spCore->pBackend = &backend;
    spCore->wpSelf = spCore;
    spCore->spInspectors = MakeComObject<CInspectors>(spCore);
    if (options.bWithExplorer) spCore->spExplorer = MakeComObject<CExplorer>(spCore);
    spCore->spAppEvents = MakeComObject<CConnectionPoint<ApplicationEvents>>();
    if (CHostEvents* pEvents = backend.DeliveryEvents()) {
        std::weak_ptr<CHostCore> wpCore = spCore;
        spCore->nDeliveryListener = pEvents->Listen([wpCore](const CHostEventRecord& event) {
            if (auto sp = wpCore.lock()) sp->OnDeliveryEvent(event);
        });
    }
    CComPtr<CApplication> sp;
    sp.Attach(new CApplication(spCore));
    return sp;
}

CApplication::~CApplication() { Shutdown(); }

HRESULT CApplication::ActiveExplorer(_Explorer** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    if (!om::LiveCore(m_spCore)) return E_FAIL;
    return om::Out<_Explorer>(pp, m_spCore->spExplorer);
}

HRESULT CApplication::get_Inspectors(_Inspectors** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    if (!om::LiveCore(m_spCore)) return E_FAIL;
    return om::Out<_Inspectors>(pp, m_spCore->spInspectors);
}

HRESULT CApplication::CreateItem(int32_t nItemType, IDispatch** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    if (!om::LiveCore(m_spCore)) return E_FAIL;
    if (nItemType != olMailItem) return E_INVALIDARG;
    *pp = static_cast<_MailItem*>(new CMailItem(m_spCore, CMailMessage{}, std::nullopt, {}));
    return S_OK;
}

HRESULT CApplication::CreateItemFromTemplate(const std::string& strPath, const CVariant& inFolder, IDispatch** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    if (!om::LiveCore(m_spCore)) return E_FAIL;
    if (strPath.empty()) return E_INVALIDARG;
    CFolder* pFolder = nullptr;
    if (!inFolder.IsMissing()) {
        CComQIPtr<MAPIFolder> spFolder(inFolder.AsObject());
        pFolder = dynamic_cast<CFolder*>(spFolder.p);
        if (!pFolder) return E_INVALIDARG;
    }
    CMailMessage msg;
    if (!m_spCore->pBackend->LoadTemplate(strPath, msg).Ok()) return E_FAIL;
    msg.bSent = false;
    msg.strMessageId.clear();
    auto* pItem = new CMailItem(m_spCore, std::move(msg), std::nullopt, {});
    if (pFolder) pItem->SetPendingFolder(pFolder->Folder());
    *pp = static_cast<_MailItem*>(pItem);
    return S_OK;
}

HRESULT CApplication::GetNamespace(const std::string& strType, _NameSpace** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    if (!om::LiveCore(m_spCore)) return E_FAIL;
    if (!om::EqualNoCase(strType, "MAPI")) return E_INVALIDARG;
    *pp = new CNameSpace(m_spCore);
    return S_OK;
}

HRESULT CApplication::get_Name(std::string* pstr) {
    if (!om::ClearOut(pstr)) return E_POINTER;
    *pstr = kHostProductName;
    return S_OK;
}

HRESULT CApplication::OpenNewInspector(_Inspector** pp) {
    CComPtr<IDispatch> spItem;
    HRESULT hr = CreateItem(olMailItem, &spItem);
    if (FAILED(hr)) return hr;
    return OpenInspector(spItem, pp);
}

HRESULT CApplication::OpenInspector(IDispatch* pItem, _Inspector** pp) {
    CComQIPtr<_MailItem> spMail(pItem);
    auto* pMine = dynamic_cast<CMailItem*>(spMail.p);
    if (!pMine || pMine->Core().lock() != m_spCore) return E_INVALIDARG;
    if (pMine->IsDeleted()) return E_FAIL;
    return m_spCore->Display(pMine, pp);
}

namespace {
CInspector* Mine(_Inspector* p) { return dynamic_cast<CInspector*>(p); }
}  // namespace

HRESULT CApplication::ActivateInspector(_Inspector* p) {
    CInspector* pMine = Mine(p);
    if (!pMine) return E_INVALIDARG;
    return m_spCore->Activate(pMine);
}

HRESULT CApplication::DeactivateInspector(_Inspector* p) {
    CInspector* pMine = Mine(p);
    if (!pMine) return E_INVALIDARG;
    return m_spCore->Deactivate(pMine);
}

HRESULT CApplication::AskBeforeClose(_Inspector* p, bool* pbHandled, bool* pbCancel) {
    if (!pbHandled || !pbCancel) return E_POINTER;
    *pbHandled = *pbCancel = false;
    CInspector* pMine = Mine(p);
    if (!pMine) return E_INVALIDARG;
    if (pMine->m_bClosed) return E_FAIL;
    CComPtr<CInspector> spHold(pMine);
    pMine->Events()->Fire([&](InspectorEvents* pSink) {
        // The first subscriber that takes the changes answers for them.
        if (!*pbHandled) pSink->BeforeClose(pbHandled, pbCancel);
    });
    if (!*pbHandled) *pbCancel = false;
    return S_OK;
}

HRESULT CApplication::CloseInspector(_Inspector* p, int32_t nSaveMode) {
    CInspector* pMine = Mine(p);
    if (!pMine) return E_INVALIDARG;
    return m_spCore->Close(pMine, nSaveMode);
}

std::vector<CComPtr<_Inspector>> CApplication::OpenInspectors() const {
    return {m_spCore->vecOpen.begin(), m_spCore->vecOpen.end()};
}

CComPtr<_Inspector> CApplication::ActiveInspector() const { return m_spCore->pActive; }

std::vector<CComPtr<CommandBar>> CApplication::CommandBarsOf(IDispatch* pWindow) const {
    if (auto* p = dynamic_cast<CInspector*>(pWindow); p && !p->m_bClosed) return p->Bars()->Bars();
    if (auto* p = dynamic_cast<CExplorer*>(pWindow); p && p == m_spCore->spExplorer.p) return p->Bars()->Bars();
    return {};
}

std::vector<CComPtr<CommandBarControl>> CApplication::ControlsOf(CommandBar* pBar) {
    auto* p = dynamic_cast<CCommandBar*>(pBar);
    if (!p) return {};
    const auto& vec = p->Controls()->Controls();
    return {vec.begin(), vec.end()};
}

bool CApplication::IsMenuBar(CommandBar* pBar) {
    auto* p = dynamic_cast<CCommandBar*>(pBar);
    return p && p->m_bMenuBar;
}

std::vector<CComPtr<CommandBarPopup>> CApplication::MenusOf(CommandBar* pBar) {
    auto* p = dynamic_cast<CCommandBar*>(pBar);
    if (!p) return {};
    return p->Controls()->Popups();
}

std::vector<CComPtr<CommandBarControl>> CApplication::ControlsOf(CommandBarPopup* pMenu) {
    auto* p = dynamic_cast<CCommandBarPopup*>(pMenu);
    if (!p) return {};
    const auto& vec = p->Controls()->Controls();
    return {vec.begin(), vec.end()};
}

HRESULT CApplication::OpenExplorer() {
    if (!om::LiveCore(m_spCore)) return E_FAIL;
    if (m_spCore->spExplorer) return S_FALSE;
    m_spCore->spExplorer = MakeComObject<CExplorer>(m_spCore);
    m_spCore->BarsChanged();
    return S_OK;
}

HRESULT CApplication::CloseExplorer() {
    CComPtr<CExplorer> sp = std::move(m_spCore->spExplorer);
    if (!sp) return S_FALSE;
    sp->Close();
    m_spCore->BarsChanged();
    return S_OK;
}

void CApplication::SetObserver(IHostObserver* pObserver) { m_spCore->pObserver = pObserver; }

void CApplication::Shutdown() {
    CHostCore& core = *m_spCore;
    if (core.bStopped) return;
    auto vecOpen = core.vecOpen;
    for (auto it = vecOpen.rbegin(); it != vecOpen.rend(); ++it) core.Close(*it, olDiscard);
    core.bStopped = true;
    core.pObserver = nullptr;
    if (CHostEvents* pEvents = core.pBackend->DeliveryEvents(); pEvents && core.nDeliveryListener)
        pEvents->StopListening(core.nDeliveryListener);
    core.nDeliveryListener = 0;
    core.spAppEvents->Clear();
    CloseExplorer();
    // End every subscription, so that no sink and source keep each other.
    core.spInspectors->Events()->Clear();
    std::vector<CComPtr<CCommandBarButton>> vecButtons(core.vecButtons.begin(), core.vecButtons.end());
    for (auto& sp : vecButtons) sp->EndSubscriptions();
    for (auto& sp : vecOpen) sp->Events()->Clear();
}

HRESULT CApplication::FindConnectionPoint(REFIID riid, IConnectionPoint** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    if (!om::LiveCore(m_spCore)) return E_FAIL;
    if (riid != ApplicationEvents::iid) return CONNECT_E_NOCONNECTION;
    return om::Out<IConnectionPoint>(pp, m_spCore->spAppEvents);
}

IMailBackend& CApplication::Backend() const { return *m_spCore->pBackend; }
