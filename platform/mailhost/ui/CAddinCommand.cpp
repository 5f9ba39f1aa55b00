#include "CAddinCommand.h"

namespace {

std::string Plain(const std::string& strCaption) {
    std::string str;
    for (char c : strCaption)
        if (c != '&') str += c;
    if (str.size() >= 3 && str.compare(str.size() - 3, 3, "...") == 0) str.resize(str.size() - 3);
    return str;
}

bool Names(CommandBarControl* pControl, const std::string& strCaption) {
    std::string strText;
    if (SUCCEEDED(pControl->get_Caption(&strText)) && Plain(strText) == strCaption) return true;
    return SUCCEEDED(pControl->get_TooltipText(&strText)) && Plain(strText) == strCaption;
}

// Menus hold their commands in popups: the Tools menu's entries are found too.
CComPtr<CommandBarControl> FindIn(CommandBarControls* pControls, const std::string& strCaption) {
    int32_t nControls = 0;
    if (!pControls || FAILED(pControls->get_Count(&nControls))) return nullptr;
    for (int32_t k = 1; k <= nControls; ++k) {
        CComPtr<CommandBarControl> spControl;
        if (FAILED(pControls->get_Item(CVariant(k), &spControl)) || !spControl) continue;
        if (Names(spControl, strCaption)) return spControl;
        CComQIPtr<CommandBarPopup> spPopup(spControl.p);
        CComPtr<CommandBarControls> spInner;
        if (spPopup && SUCCEEDED(spPopup->get_Controls(&spInner)))
            if (CComPtr<CommandBarControl> spFound = FindIn(spInner, strCaption)) return spFound;
    }
    return nullptr;
}

}  // namespace

CComPtr<CommandBarControl> CAddinCommand::Find(CApplication* pApp, const std::string& strCaption) {
    CComPtr<_Explorer> spExplorer;
    CComPtr<_CommandBars> spBars;
    int32_t nBars = 0;
    if (!pApp || FAILED(pApp->ActiveExplorer(&spExplorer)) || !spExplorer ||
        FAILED(spExplorer->get_CommandBars(&spBars)) || !spBars || FAILED(spBars->get_Count(&nBars)))
        return nullptr;
    for (int32_t i = 1; i <= nBars; ++i) {
        CComPtr<CommandBar> spBar;
        CComPtr<CommandBarControls> spControls;
        if (FAILED(spBars->get_Item(CVariant(i), &spBar)) || !spBar || FAILED(spBar->get_Controls(&spControls)))
            continue;
        if (CComPtr<CommandBarControl> spFound = FindIn(spControls, strCaption)) return spFound;
    }
    return nullptr;
}

bool CAddinCommand::Execute(CApplication* pApp, const std::string& strCaption) {
    CComPtr<CommandBarControl> spControl = Find(pApp, strCaption);
    return spControl && SUCCEEDED(spControl->Execute());
}
