#pragma once
// A toolbar button; a click fires to every button with the same tag.
#include "CCommandBarControlImpl.h"

class CCommandBarButton final : public CCommandBarControlImpl<_CommandBarButton, IConnectionPointContainer> {
public:
    CCommandBarButton(WeakCore wpCore, int32_t nId, bool bTemporary)
        : CCommandBarControlImpl(std::move(wpCore), bTemporary),
          m_nId(nId),
          m_spClick(MakeComObject<CConnectionPoint<_CommandBarButtonEvents>>()) {
        if (nId == kSendReceiveControlId) {
            m_strCaption = "Send/Re&ceive";
            m_strTooltip = "Send/Receive";
            m_nStyle = msoButtonIconAndCaption;
        }
        if (auto spCore = m_wpCore.lock()) spCore->vecButtons.push_back(this);
    }
    ~CCommandBarButton() override {
        m_spClick->Clear();
        if (auto spCore = m_wpCore.lock()) std::erase(spCore->vecButtons, this);
    }

    HRESULT get_Id(int32_t* p) override { return om::OutValue(p, m_nId); }
    HRESULT get_Type(int32_t* p) override { return om::OutValue(p, static_cast<int32_t>(msoControlButton)); }
    HRESULT get_Style(int32_t* p) override { return om::OutValue(p, m_nStyle); }
    HRESULT put_Style(int32_t n) override {
        if (n < msoButtonAutomatic || n > 15) return E_INVALIDARG;
        return Change(m_nStyle, n);
    }
    HRESULT Execute() override;
    HRESULT Delete() override;

    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        if (riid != _CommandBarButtonEvents::iid) return CONNECT_E_NOCONNECTION;
        return om::Out<IConnectionPoint>(pp, m_spClick);
    }

    void FireClick(IDispatch* pClicked, bool* pbCancel) {
        m_spClick->Fire([&](_CommandBarButtonEvents* p) { p->Click(pClicked, pbCancel); });
    }
    void EndSubscriptions() { m_spClick->Clear(); }

private:
    int32_t m_nId;
    CComPtr<CConnectionPoint<_CommandBarButtonEvents>> m_spClick;
    int32_t m_nStyle = msoButtonAutomatic;
};
