#pragma once
// A menu on a menu bar ("&Tools"), holding its own controls.
#include "CCommandBarControls.h"

class CCommandBarPopup final : public CCommandBarControlImpl<CommandBarPopup> {
public:
    CCommandBarPopup(WeakCore wpCore, bool bTemporary)
        : CCommandBarControlImpl(wpCore, bTemporary), m_spControls(MakeComObject<CCommandBarControls>(wpCore)) {}
    ~CCommandBarPopup() override { m_spControls->Clear(); }

    HRESULT get_Controls(CommandBarControls** pp) override { return om::Out<CommandBarControls>(pp, m_spControls); }
    HRESULT get_Id(int32_t* p) override { return om::OutValue(p, int32_t{1}); }
    HRESULT get_Type(int32_t* p) override { return om::OutValue(p, static_cast<int32_t>(msoControlPopup)); }
    // Opening a menu runs nothing by itself.
    HRESULT Execute() override { return m_bEnabled && !m_wpCore.expired() ? S_OK : E_FAIL; }
    HRESULT Delete() override;

    CCommandBarControls* Controls() const { return m_spControls; }

private:
    CComPtr<CCommandBarControls> m_spControls;
};
