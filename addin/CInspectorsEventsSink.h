#pragma once
#include <functional>

#include "MailHostOM.h"

// Receives the host's NewInspector and hands it to its owner.
class CInspectorsEventsSink final : public CComObjectImpl<InspectorsEvents> {
public:
    using CHandler = std::function<void(IDispatch* pInspector)>;
    explicit CInspectorsEventsSink(CHandler fn) : m_fnNewInspector(std::move(fn)) {}
    HRESULT NewInspector(IDispatch* pInspector) override {
        if (m_fnNewInspector) m_fnNewInspector(pInspector);
        return S_OK;
    }
    void Detach() { m_fnNewInspector = nullptr; }

private:
    CHandler m_fnNewInspector;
};
