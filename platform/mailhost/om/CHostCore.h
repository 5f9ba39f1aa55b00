#pragma once
// The state every host object reaches: the backend, the windows and the
// buttons alive. Objects hold it weakly, so that references an add-in keeps
// after the host stopped answer E_FAIL instead of touching freed state.
#include <memory>
#include <vector>

#include "CApplication.h"

class CMailItem;
class CInspector;
class CInspectors;
class CExplorer;
class CCommandBarButton;

struct CHostCore {
    IMailBackend* pBackend = nullptr;
    IHostObserver* pObserver = nullptr;
    bool bStopped = false;
    CComPtr<CInspectors> spInspectors;
    CComPtr<CExplorer> spExplorer;
    std::vector<CComPtr<CInspector>> vecOpen;    // open message windows, in opening order
    CInspector* pActive = nullptr;               // the active one, if any
    std::vector<CCommandBarButton*> vecButtons;  // every button object alive, in creation order
    std::weak_ptr<CHostCore> wpSelf;
    CComPtr<CConnectionPoint<ApplicationEvents>> spAppEvents;
    int nDeliveryListener = 0;  // the token of the listener on the backend's delivery events, 0 for none

    void BarsChanged() {
        if (pObserver) pObserver->OnCommandBarsChanged();
    }
    HRESULT Display(CMailItem* pItem, _Inspector** ppInspector);
    HRESULT Activate(CInspector* pInspector);
    HRESULT Deactivate(CInspector* pInspector);
    HRESULT Close(CInspector* pInspector, int32_t nSaveMode);
    void CloseWindowsOf(CMailItem* pItem);
    // Tells the application's subscribers how a sent message fared.
    void OnDeliveryEvent(const CHostEventRecord& event);
};

using WeakCore = std::weak_ptr<CHostCore>;

namespace om {

// The core while the host answers calls; null once it is gone or stopped,
// when a call answers E_FAIL.
inline std::shared_ptr<CHostCore> LiveCore(const WeakCore& wpCore) {
    auto spCore = wpCore.lock();
    return spCore && !spCore->bStopped ? spCore : nullptr;
}

}  // namespace om
