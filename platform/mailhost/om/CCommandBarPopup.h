#pragma once
// A menu on a menu bar ("&Tools"), holding its own controls.
#include <string>

#include "CCommandBarControls.h"

class CCommandBarPopup final : public CComObjectImpl<CommandBarPopup> {
public:
    CCommandBarPopup(WeakCore wpCore, bool bTemporary)
        : m_wpCore(wpCore), m_bTemporary(bTemporary), m_spControls(MakeComObject<CCommandBarControls>(wpCore)) {}
    ~CCommandBarPopup() override { m_spControls->Clear(); }

    HRESULT get_Controls(CommandBarControls** pp) override { return om::Out<CommandBarControls>(pp, m_spControls); }
    HRESULT get_Id(int32_t* p) override { return om::OutValue(p, int32_t{1}); }
    HRESULT get_Type(int32_t* p) override { return om::OutValue(p, static_cast<int32_t>(msoControlPopup)); }
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
    // Opening a menu runs nothing by itself.
    HRESULT Execute() override { return m_bEnabled && !m_wpCore.expired() ? S_OK : E_FAIL; }
    HRESULT Delete() override;

    CCommandBarControls* Controls() const { return m_spControls; }
    CCommandBarControls* m_pParent = nullptr;  // the list holding the menu, while it does

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
    bool m_bTemporary;
    CComPtr<CCommandBarControls> m_spControls;
    std::string m_strCaption, m_strTooltip, m_strTag;
    bool m_bEnabled = true;
    bool m_bVisible = true;
};
