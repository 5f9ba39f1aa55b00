#pragma once
#include <functional>
#include <string>
#include <vector>

#include "MailHostOM.h"

// Records every event it is subscribed to; optional actions run inside.
class CRecorder : public CComObjectImpl<InspectorsEvents, InspectorEvents, _CommandBarButtonEvents> {
public:
    HRESULT NewInspector(IDispatch* p) override {
        m_vecLog.push_back("NewInspector");
        m_spLastInspector = p;
        if (m_fnOnNew) m_fnOnNew(p);
        return S_OK;
    }
    HRESULT Activate() override { return Log("Activate"); }
    HRESULT Deactivate() override { return Log("Deactivate"); }
    HRESULT Close() override {
        Log("Close");
        if (m_fnOnClose) m_fnOnClose();
        return S_OK;
    }
    HRESULT BeforeClose(bool* pbHandled, bool* pbCancel) override {
        Log("BeforeClose");
        *pbHandled = m_bTakeClose;
        *pbCancel = m_bTakeClose && m_bCancel;
        return S_OK;
    }
    HRESULT Click(IDispatch* pButton, bool* pbCancel) override {
        Log("Click");
        m_spLastButton = pButton;
        if (m_bCancel) *pbCancel = true;
        if (m_fnOnClick) m_fnOnClick();
        return S_OK;
    }
    HRESULT Log(const char* psz) {
        m_vecLog.push_back(psz);
        return S_OK;
    }
    IUnknown* Unk() { return GetUnknown(); }

    std::vector<std::string> m_vecLog;
    CComPtr<IDispatch> m_spLastInspector, m_spLastButton;
    std::function<void(IDispatch*)> m_fnOnNew;
    std::function<void()> m_fnOnClose;
    std::function<void()> m_fnOnClick;
    bool m_bCancel = false;
    bool m_bTakeClose = false;  // BeforeClose: takes the changes in hand
};
