#include "CAddinToolbar.h"

#include <string>

#include "CAddinBox.h"

namespace CAddinToolbar {

namespace {

// A caption-only button (it has no picture) added to controls, with its
// texts; null when the host gives none.
CComPtr<_CommandBarButton> AddCaptionButton(CommandBarControls* pControls, const CButtonText& text) {
    CComPtr<CommandBarControl> spControl;
    CComPtr<_CommandBarButton> spButton;
    if (SUCCEEDED(
            pControls->Add(CVariant(msoControlButton), vtMissing, vtMissing, vtMissing, CVariant(true), &spControl)) &&
        spControl)
        spControl->QueryInterface(&spButton);
    if (!spButton) return {};
    spButton->put_Style(msoButtonCaption);
    spButton->put_Caption(text.pszCaption);
    spButton->put_TooltipText(text.pszTooltip);
    spButton->put_Tag(text.pszTag);
    return spButton;
}

}  // namespace

CComPtr<_CommandBarButton> Add(_CommandBars* pBars, const char* pszName, const CButtonText& text) {
    CComPtr<CommandBar> spBar;
    if (FAILED(pBars->Add(CVariant(pszName), CVariant(msoBarTop), vtMissing, CVariant(true), &spBar)) || !spBar) {
        CAddinBox::Fail("Failed to create a new toolbar!");
        return {};
    }
    CComPtr<CommandBarControls> spControls;
    if (FAILED(spBar->get_Controls(&spControls)) || !spControls) {
        CAddinBox::Fail("Failed to get the Controls from the new toolbar!");
        return {};
    }
    CComPtr<_CommandBarButton> spButton = AddCaptionButton(spControls, text);
    if (!spButton) {
        CAddinBox::Fail("Failed to create a button on the new toolbar!");
        return {};
    }
    spButton->put_Enabled(true);
    spButton->put_Visible(true);
    spBar->put_Visible(true);
    return spButton;
}

namespace {

std::string WithoutAmpersands(std::string str) {
    std::erase(str, '&');
    return str;
}

CComPtr<CommandBarPopup> FindMenu(_CommandBars* pBars, const std::string& strMenu) {
    CComPtr<CommandBar> spMenuBar;
    CComPtr<CommandBarControls> spMenus;
    if (FAILED(pBars->get_Item(CVariant(kMenuBarName), &spMenuBar)) || !spMenuBar ||
        FAILED(spMenuBar->get_Controls(&spMenus)) || !spMenus)
        return {};
    int32_t nCount = 0;
    spMenus->get_Count(&nCount);
    for (int32_t i = 1; i <= nCount; ++i) {
        CComPtr<CommandBarControl> spControl;
        CComPtr<CommandBarPopup> spMenu;
        if (FAILED(spMenus->get_Item(CVariant(static_cast<int>(i)), &spControl)) || !spControl ||
            FAILED(spControl->QueryInterface(&spMenu)) || !spMenu)
            continue;
        std::string strCaption;
        if (SUCCEEDED(spMenu->get_Caption(&strCaption)) && WithoutAmpersands(strCaption) == strMenu) return spMenu;
    }
    return {};
}

}  // namespace

CComPtr<_CommandBarButton> AddMenuItem(_CommandBars* pBars, const char* pszMenu, const CButtonText& text) {
    CComPtr<CommandBarPopup> spMenu = FindMenu(pBars, pszMenu);
    CComPtr<CommandBarControls> spControls;
    if (!spMenu || FAILED(spMenu->get_Controls(&spControls)) || !spControls) return {};
    CComPtr<_CommandBarButton> spButton = AddCaptionButton(spControls, text);
    if (!spButton) return {};
    spButton->put_Visible(true);
    return spButton;
}

}  // namespace CAddinToolbar
