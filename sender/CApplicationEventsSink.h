#pragma once
#include <functional>
#include <string>

#include "MailHostOM.h"

// Receives the application's ItemSendResult and hands it to its owner.
class CApplicationEventsSink final : public CComObjectImpl<ApplicationEvents> {
public:
    using CHandler = std::function<void(IDispatch* pItem, int32_t nResult, const std::string& strText)>;
    explicit CApplicationEventsSink(CHandler fn) : m_fnResult(std::move(fn)) {}
    HRESULT ItemSendResult(IDispatch* pItem, int32_t nResult, const std::string& strText) override {
        if (m_fnResult) m_fnResult(pItem, nResult, strText);
        return S_OK;
    }
    // The owner goes: later events find no one.
    void Detach() { m_fnResult = nullptr; }

private:
    CHandler m_fnResult;
};
