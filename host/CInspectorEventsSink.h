#pragma once
#include <functional>

#include "MailHostOM.h"

// Receives a message window's Activate, Deactivate and Close.
class CInspectorEventsSink final : public CComObjectImpl<InspectorEvents> {
public:
    using CHandler = std::function<void()>;
    CInspectorEventsSink(CHandler fnActivate, CHandler fnDeactivate, CHandler fnClose)
        : m_fnActivate(std::move(fnActivate)), m_fnDeactivate(std::move(fnDeactivate)), m_fnClose(std::move(fnClose)) {}
    HRESULT Activate() override { return Call(m_fnActivate); }
    HRESULT Deactivate() override { return Call(m_fnDeactivate); }
    HRESULT Close() override { return Call(m_fnClose); }
    // The owner goes: later events find no one.
    void Detach() { m_fnActivate = m_fnDeactivate = m_fnClose = nullptr; }

private:
    static HRESULT Call(const CHandler& fn) {
        if (fn) fn();
        return S_OK;
    }
    CHandler m_fnActivate, m_fnDeactivate, m_fnClose;
};
