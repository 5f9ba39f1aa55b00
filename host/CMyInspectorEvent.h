#pragma once
#include <cstdint>

#include "MailHostOM.h"

class CAddin;

// Tracks one message window that holds an unsent mail message, with the
// position of the task whose message it shows (-1 for a new message).
// Its subscriptions to the window (Activate, Close) and the window's
// "Quillory Options" button come with the message-window button; until
// then AdviseInspector and UnadviseAll have nothing to subscribe.
class CMyInspectorEvent {
public:
    CMyInspectorEvent(_Inspector* pInspector, CAddin* pOwner, int32_t nTaskIndex)
        : m_spInspector(pInspector), m_pOwner(pOwner), m_nTaskIndex(nTaskIndex) {}

    HRESULT AdviseInspector();
    void UnadviseAll();

    _Inspector* Inspector() const { return m_spInspector; }
    CAddin* Owner() const { return m_pOwner; }
    int32_t TaskIndex() const { return m_nTaskIndex; }
    bool IsAdvised() const { return m_bAdvised; }

private:
    CComPtr<_Inspector> m_spInspector;
    CComPtr<_CommandBarButton> m_spButton;
    CAddin* m_pOwner;
    int32_t m_nTaskIndex;
    bool m_bAdvised = false;
};
