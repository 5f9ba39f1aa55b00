#pragma once
// The open message windows, with the NewInspector event.
#include "CHostCore.h"
#include "CInspector.h"
#include "OmSupport.h"

class CInspectors final : public CComObjectImpl<_Inspectors, IConnectionPointContainer> {
public:
    explicit CInspectors(WeakCore wpCore)
        : m_wpCore(std::move(wpCore)), m_spEvents(MakeComObject<CConnectionPoint<InspectorsEvents>>()) {}
    ~CInspectors() override { m_spEvents->Clear(); }

    HRESULT get_Count(int32_t* pn) override {
        auto spCore = m_wpCore.lock();
        return om::OutValue(pn, spCore ? static_cast<int32_t>(spCore->vecOpen.size()) : 0);
    }
    HRESULT Item(const CVariant& index, _Inspector** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        auto spCore = m_wpCore.lock();
        if (!spCore) return E_FAIL;
        int32_t n = om::IndexOf(index);
        if (n < 1 || static_cast<size_t>(n) > spCore->vecOpen.size()) return DISP_E_BADINDEX;
        return om::Out<_Inspector>(pp, spCore->vecOpen[static_cast<size_t>(n) - 1]);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        if (riid != InspectorsEvents::iid) return CONNECT_E_NOCONNECTION;
        return om::Out<IConnectionPoint>(pp, m_spEvents);
    }
    CConnectionPoint<InspectorsEvents>* Events() const { return m_spEvents; }

private:
    WeakCore m_wpCore;
    CComPtr<CConnectionPoint<InspectorsEvents>> m_spEvents;
};
