#include "CMyInspectorEvent.h"

HRESULT CMyInspectorEvent::AdviseInspector() {
    if (!m_spInspector) return E_POINTER;
    m_bAdvised = true;
    return S_OK;
}

void CMyInspectorEvent::UnadviseAll() {
    m_bAdvised = false;
    m_spButton.Release();
    m_spInspector.Release();
}
