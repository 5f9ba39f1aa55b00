#pragma once
// What an add-in does on a window's command bars, for the tests that need a
// button of their own there.
#include <string>

#include <gtest/gtest.h>

#include "CApplication.h"

// The command bars of a message window or of the main window.
template <class TWindow>
CComPtr<_CommandBars> BarsOf(TWindow* pWindow) {
    CComPtr<_CommandBars> spBars;
    EXPECT_EQ(pWindow->get_CommandBars(&spBars), S_OK);
    return spBars;
}

// An add-in's temporary toolbar, shown, with one button whose caption,
// tooltip and tag are strTag; null when a step is refused.
inline CComPtr<_CommandBarButton> AddButton(_CommandBars* pBars, const std::string& strBar, const std::string& strTag) {
    CComPtr<CommandBar> spBar;
    CComPtr<CommandBarControls> spControls;
    CComPtr<CommandBarControl> spControl;
    CComPtr<_CommandBarButton> spButton;
    if (!pBars || FAILED(pBars->Add(strBar, msoBarTop, vtMissing, true, &spBar)) ||
        FAILED(spBar->get_Controls(&spControls)) ||
        FAILED(spControls->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spControl)) ||
        FAILED(spControl.QueryInterface(&spButton))) {
        ADD_FAILURE() << "no button \"" << strTag << "\" on a toolbar \"" << strBar << "\"";
        return nullptr;
    }
    spButton->put_Style(msoButtonCaption);
    spButton->put_Caption(strTag);
    spButton->put_TooltipText(strTag);
    spButton->put_Tag(strTag);
    spBar->put_Visible(true);
    return spButton;
}
