#pragma once
#include <functional>

#include "MailHostOM.h"

// Receives a toolbar button's Click and hands it to its owner.
class CButtonEventsSink final : public CComObjectImpl<_CommandBarButtonEvents> {
public:
    using CHandler = std::function<void(IDispatch* pButton, bool* pbCancelDefault)>;
    explicit CButtonEventsSink(CHandler fn) : m_fnClick(std::move(fn)) {}
    HRESULT Click(IDispatch* pButton, bool* pbCancelDefault) override {
        if (m_fnClick) m_fnClick(pButton, pbCancelDefault);
        return S_OK;
    }
    // The owner goes: later events find no one.
    void Detach() { m_fnClick = nullptr; }

private:
    CHandler m_fnClick;
};
