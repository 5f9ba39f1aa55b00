#include "CAddinCommand.h"

namespace {

std::string Plain(const std::string& strCaption) {
    std::string str;
    for (char c : strCaption)
        if (c != '&') str += c;
    if (str.size() >= 3 && str.compare(str.size() - 3, 3, "...") == 0) str.resize(str.size() - 3);
    return str;
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
        int32_t nControls = 0;
        if (FAILED(spBars->get_Item(CVariant(i), &spBar)) || !spBar || FAILED(spBar->get_Controls(&spControls)) ||
            !spControls || FAILED(spControls->get_Count(&nControls)))
            continue;
        for (int32_t k = 1; k <= nControls; ++k) {
            CComPtr<CommandBarControl> spControl;
            std::string strText;
            if (SUCCEEDED(spControls->get_Item(CVariant(k), &spControl)) && spControl &&
                SUCCEEDED(spControl->get_Caption(&strText)) && Plain(strText) == strCaption)
                return spControl;
        }
    }
    return nullptr;
}

bool CAddinCommand::Execute(CApplication* pApp, const std::string& strCaption) {
    CComPtr<CommandBarControl> spControl = Find(pApp, strCaption);
    return spControl && SUCCEEDED(spControl->Execute());
}
