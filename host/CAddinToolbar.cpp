#include "CAddinToolbar.h"

#include "CAddinBox.h"

namespace CAddinToolbar {

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
    CComPtr<CommandBarControl> spControl;
    CComPtr<_CommandBarButton> spButton;
    if (SUCCEEDED(
            spControls->Add(CVariant(msoControlButton), vtMissing, vtMissing, vtMissing, CVariant(true), &spControl)) &&
        spControl)
        spControl->QueryInterface(&spButton);
    if (!spButton) {
        CAddinBox::Fail("Failed to create a button on the new toolbar!");
        return {};
    }
    // The caption alone: the button has no picture.
    spButton->put_Style(msoButtonCaption);
    spButton->put_Caption(text.pszCaption);
    spButton->put_TooltipText(text.pszTooltip);
    spButton->put_Tag(text.pszTag);
    spButton->put_Enabled(true);
    spButton->put_Visible(true);
    spBar->put_Visible(true);
    return spButton;
}

}  // namespace CAddinToolbar
