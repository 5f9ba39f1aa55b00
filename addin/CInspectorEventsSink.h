#pragma once
#include <functional>

#include "MailHostOM.h"

// Receives a message window's Activate, Deactivate, BeforeClose and Close.
class CInspectorEventsSink final : public CComObjectImpl<InspectorEvents> {
public:
    using CHandler = std::function<void()>;
    CInspectorEventsSink(CHandler fnActivate, CHandler fnDeactivate, CHandler fnClose)
        : m_fnActivate(std::move(fnActivate)), m_fnDeactivate(std::move(fnDeactivate)), m_fnClose(std::move(fnClose)) {}
    HRESULT Activate() override { return Call(m_fnActivate); }
    HRESULT Deactivate() override { return Call(m_fnDeactivate); }
    HRESULT Close() override { return Call(m_fnClose); }
    HRESULT BeforeClose(bool* pbHandled, bool* pbCancel) override {
        if (m_fnBeforeClose) m_fnBeforeClose(pbHandled, pbCancel);
        return S_OK;
    }
    void SetBeforeClose(std::function<void(bool*, bool*)> fn) { m_fnBeforeClose = std::move(fn); }
    // The owner goes: later events find no one.
    void Detach() {
        m_fnActivate = m_fnDeactivate = m_fnClose = nullptr;
        m_fnBeforeClose = nullptr;
    }

private:
    static HRESULT Call(const CHandler& fn) {
        if (fn) fn();
        return S_OK;
    }
    CHandler m_fnActivate, m_fnDeactivate, m_fnClose;
    std::function<void(bool*, bool*)> m_fnBeforeClose;
};
