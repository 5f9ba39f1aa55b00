#pragma once
// The main window, with the built-in "Standard" toolbar and its menu bar.
#include "CCommandBarPopup.h"
#include "CCommandBars.h"

class CExplorer final : public CComObjectImpl<_Explorer> {
public:
    explicit CExplorer(WeakCore wpCore) : m_spBars(MakeComObject<CCommandBars>(wpCore)) {
        // The built-in "Standard" toolbar with the Send/Receive command.
        CComPtr<CommandBar> spBar;
        m_spBars->Add("Standard", msoBarTop, vtMissing, false, &spBar);
        spBar->put_Visible(true);
        CComPtr<CommandBarControls> spControls;
        spBar->get_Controls(&spControls);
        CComPtr<CommandBarControl> spControl;
        spControls->Add(msoControlButton, kSendReceiveControlId, vtMissing, vtMissing, false, &spControl);
        AddMenuBar();
    }
    HRESULT get_CommandBars(_CommandBars** pp) override {
        if (m_bClosed) return E_FAIL;
        return om::Out<_CommandBars>(pp, m_spBars);
    }
    void Close() {
        m_bClosed = true;
        m_spBars->Clear();
    }
    CCommandBars* Bars() const { return m_spBars; }

private:
    // The window's menus as the object model shows them: a "Menu Bar" with
    // the "&Tools" menu, to which add-ins add their commands.
    void AddMenuBar() {
        CComPtr<CommandBar> spBar;
        m_spBars->Add(kMenuBarName, msoBarTop, true, false, &spBar);
        spBar->put_Visible(true);
        CComPtr<CommandBarControls> spControls;
        spBar->get_Controls(&spControls);
        CComPtr<CommandBarControl> spTools;
        spControls->Add(msoControlPopup, vtMissing, vtMissing, vtMissing, false, &spTools);
        spTools->put_Caption(kToolsMenuCaption);
    }

    CComPtr<CCommandBars> m_spBars;
    bool m_bClosed = false;
};
