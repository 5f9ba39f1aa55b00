#pragma once
#include <cstdint>

#include "CButtonEventsSink.h"
#include "CInspectorEventsSink.h"
#include "CTaskItem.h"
#include "ITrackerOwner.h"
#include "MailHostOM.h"

// Tracks one message window that holds an unsent mail message: builds the
// window's "Quillory Options" toolbar and button on its first activation,
// keeps the current-window state, and on a click opens the options sheet
// for a new task or for the task whose message the window shows.
class CMyInspectorEvent {
public:
    // nTaskIndex: the task in g_pTaskList whose message the window shows,
    // -1 for a new message; the tracker keeps that task's identity, so the
    // window stays tied to the same task when the list is reordered.
    CMyInspectorEvent(_Inspector* pInspector, ITrackerOwner* pAddin, int32_t nTaskIndex);
    ~CMyInspectorEvent();
    CMyInspectorEvent(const CMyInspectorEvent&) = delete;
    CMyInspectorEvent& operator=(const CMyInspectorEvent&) = delete;

    // Subscribes to the window's events; does nothing without a window.
    HRESULT AdviseInspector();
    // Ends both subscriptions (failures ignored) and lets the references go.
    void UnadviseAll();

    void OnActivate();
    void OnDeactivate() {}
    void OnClose();
    // The user closes the window with unsaved changes: a window that holds a
    // task's message asks whether to update the task (Yes writes its
    // template, No drops the changes, Cancel keeps the window open); other
    // windows leave the question to the host.
    void OnBeforeClose(bool* pbHandled, bool* pbCancel);
    void OnOptionsClick(IDispatch* pButton, bool* pbCancelDefault);

    _Inspector* Inspector() const { return m_spInspector; }
    ITrackerOwner* Owner() const { return m_pAddin; }
    int32_t TaskIndex() const { return m_nTaskIndex; }
    CTaskList::Id TaskId() const { return m_nTaskId; }
    bool IsAdvised() const { return m_dwInspectorCookie != 0; }
    bool IsButtonAdvised() const { return m_dwButtonCookie != 0; }
    _CommandBarButton* Button() const { return m_spButton; }

    static constexpr const char* kToolbarName = "Quillory";
    static constexpr const char* kButtonText = "Quillory Options";

private:
    CComPtr<_Inspector> m_spInspector;
    CComPtr<_CommandBarButton> m_spButton;
    int32_t m_nTaskIndex = -1;
    CTaskList::Id m_nTaskId = CTaskList::kNoId;
    ITrackerOwner* m_pAddin = nullptr;

    CComPtr<CInspectorEventsSink> m_spInspectorSink;
    CComPtr<CButtonEventsSink> m_spButtonSink;
    DWORD m_dwInspectorCookie = 0;
    DWORD m_dwButtonCookie = 0;
};
