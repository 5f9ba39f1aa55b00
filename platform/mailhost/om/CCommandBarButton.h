#pragma once
// A toolbar button; a click fires to every button with the same tag.
#include <string>

#include "CHostCore.h"
#include "OmSupport.h"

class CCommandBarControls;

class CCommandBarButton final : public CComObjectImpl<_CommandBarButton, IConnectionPointContainer> {
public:
    CCommandBarButton(WeakCore wpCore, int32_t nId, bool bTemporary)
        : m_wpCore(std::move(wpCore)),
          m_nId(nId),
          m_bTemporary(bTemporary),
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
    HRESULT get_Caption(std::string* p) override { return om::OutValue(p, m_strCaption); }
    HRESULT put_Caption(const std::string& s) override { return Change(m_strCaption, s); }
    HRESULT get_TooltipText(std::string* p) override { return om::OutValue(p, m_strTooltip); }
    HRESULT put_TooltipText(const std::string& s) override { return Change(m_strTooltip, s); }
    HRESULT get_Tag(std::string* p) override { return om::OutValue(p, m_strTag); }
    HRESULT put_Tag(const std::string& s) override { return Change(m_strTag, s); }
    HRESULT get_Enabled(bool* p) override { return om::OutValue(p, m_bEnabled); }
    HRESULT put_Enabled(bool b) override { return Change(m_bEnabled, b); }
    HRESULT get_Visible(bool* p) override { return om::OutValue(p, m_bVisible); }
    HRESULT put_Visible(bool b) override { return Change(m_bVisible, b); }
    HRESULT get_Temporary(bool* p) override { return om::OutValue(p, m_bTemporary); }
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
    const std::string& Tag() const { return m_strTag; }
    bool Visible() const { return m_bVisible; }
    CCommandBarControls* m_pParent = nullptr;  // the list holding the control, while it does

private:
    template <class T>
    HRESULT Change(T& field, const T& value) {
        if (field != value) {
            field = value;
            if (auto spCore = m_wpCore.lock()) spCore->BarsChanged();
        }
        return S_OK;
    }

    WeakCore m_wpCore;
    int32_t m_nId;
    bool m_bTemporary;
    CComPtr<CConnectionPoint<_CommandBarButtonEvents>> m_spClick;
    std::string m_strCaption, m_strTooltip, m_strTag;
    int32_t m_nStyle = msoButtonAutomatic;
    bool m_bEnabled = true;
    bool m_bVisible = true;
};
