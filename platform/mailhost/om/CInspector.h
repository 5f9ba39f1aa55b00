#pragma once
// A message window over one mail item, with its toolbars and events.
#include "CCommandBars.h"
#include "CMailItem.h"

class CInspector final : public CComObjectImpl<_Inspector, IConnectionPointContainer> {
public:
    CInspector(WeakCore wpCore, CMailItem* pItem)
        : m_wpCore(wpCore),
          m_spItem(pItem),
          m_spBars(MakeComObject<CCommandBars>(wpCore)),
          m_spEvents(MakeComObject<CConnectionPoint<InspectorEvents>>()) {}
    ~CInspector() override { m_spEvents->Clear(); }

    HRESULT get_CurrentItem(IDispatch** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        if (m_bClosed) return E_FAIL;
        return om::Out<IDispatch>(pp, static_cast<_MailItem*>(m_spItem.p));
    }
    HRESULT get_CommandBars(_CommandBars** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        if (m_bClosed) return E_FAIL;
        return om::Out<_CommandBars>(pp, m_spBars);
    }
    HRESULT Close(int32_t nSaveMode) override {
        auto spCore = m_wpCore.lock();
        if (!spCore) return E_FAIL;
        return spCore->Close(this, nSaveMode);
    }
    HRESULT Activate() override {
        auto spCore = m_wpCore.lock();
        if (!spCore) return E_FAIL;
        return spCore->Activate(this);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        if (riid != InspectorEvents::iid) return CONNECT_E_NOCONNECTION;
        return om::Out<IConnectionPoint>(pp, m_spEvents);
    }

    CMailItem* Item() const { return m_spItem; }
    CCommandBars* Bars() const { return m_spBars; }
    CConnectionPoint<InspectorEvents>* Events() const { return m_spEvents; }
    bool m_bClosed = false;
    bool m_bClosing = false;

private:
    WeakCore m_wpCore;
    CComPtr<CMailItem> m_spItem;
    CComPtr<CCommandBars> m_spBars;
    CComPtr<CConnectionPoint<InspectorEvents>> m_spEvents;
};
