#include "CCommandBar.h"

#include "CCommandBars.h"

HRESULT CCommandBar::Delete() {
    if (!m_pParent) return E_FAIL;
    CComPtr<CCommandBar> spSelf(this);
    m_pParent->Remove(this);
    if (auto spCore = m_wpCore.lock()) spCore->BarsChanged();
    return S_OK;
}
