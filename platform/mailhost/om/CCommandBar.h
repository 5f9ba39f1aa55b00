#pragma once
// A toolbar of a window.
#include <string>

#include "CCommandBarControls.h"

class CCommandBars;

class CCommandBar final : public CComObjectImpl<CommandBar> {
public:
    CCommandBar(WeakCore wpCore, std::string strName, int32_t nPosition, bool bTemporary)
        : m_wpCore(wpCore),
          m_strName(std::move(strName)),
          m_nPosition(nPosition),
          m_bTemporary(bTemporary),
          m_spControls(MakeComObject<CCommandBarControls>(wpCore)) {}

    HRESULT get_Controls(CommandBarControls** pp) override { return om::Out<CommandBarControls>(pp, m_spControls); }
    HRESULT get_Name(std::string* p) override { return om::OutValue(p, m_strName); }
    HRESULT get_Visible(bool* p) override { return om::OutValue(p, m_bVisible); }
    HRESULT put_Visible(bool b) override {
        if (m_bVisible != b) {
            m_bVisible = b;
            if (auto spCore = m_wpCore.lock()) spCore->BarsChanged();
        }
        return S_OK;
    }
    HRESULT get_Position(int32_t* p) override { return om::OutValue(p, m_nPosition); }
    HRESULT get_Temporary(bool* p) override { return om::OutValue(p, m_bTemporary); }
    HRESULT Delete() override;

    const std::string& Name() const { return m_strName; }
    bool Visible() const { return m_bVisible; }
    CCommandBarControls* Controls() const { return m_spControls; }
    CCommandBars* m_pParent = nullptr;
    bool m_bMenuBar = false;  // the window's menus, not a toolbar

private:
    WeakCore m_wpCore;
    std::string m_strName;
    int32_t m_nPosition;
    bool m_bTemporary;
    bool m_bVisible = false;
    CComPtr<CCommandBarControls> m_spControls;
};
