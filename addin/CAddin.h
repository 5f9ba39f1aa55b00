#pragma once
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "CResult.h"
#include "ErrorInfo.h"
#include "Extensibility.h"
#include "ITrackerOwner.h"
#include "MailHostOM.h"
#include "QuilloryIds.h"

class QDialog;

class CButtonEventsSink;
class CInspectorsEventsSink;
class CMyInspectorEvent;
class CTaskListServer;
class CSendReporting;

// The add-in object the host creates and connects. Connection sets up the
// paths, the task list, the main toolbar button, the message-window
// trackers and the sender; disconnection saves and frees the list and ends
// every subscription.
class CAddin final : public CComObjectImpl<IAddin, _IDTExtensibility2, ISupportErrorInfo>, public ITrackerOwner {
public:
    // The add-in's own failure result of OnConnection.
    static constexpr HRESULT kFailure = MakeHResult(0xFFFFFFFFu);

    CAddin();
    ~CAddin() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    using CComObjectImpl::QueryInterface;

    // _IDTExtensibility2
    HRESULT OnConnection(IDispatch* pApplication, int32_t nConnectMode, IDispatch* pAddInInst,
                         CVariant* pCustom) override;
    HRESULT OnDisconnection(int32_t nRemoveMode, CVariant* pCustom) override;
    HRESULT OnAddInsUpdate(CVariant*) override { return E_NOTIMPL; }
    HRESULT OnStartupComplete(CVariant*) override { return E_NOTIMPL; }
    HRESULT OnBeginShutdown(CVariant*) override { return E_NOTIMPL; }

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override { return riid == IID_IAddin ? S_OK : S_FALSE; }

    void OnButtonClick(IDispatch* pButton, bool* pbCancelDefault);
    void OnNewInspector(IDispatch* pInspector);

    // What the main toolbar button opens; the Email Manager sets it.
    static void SetEmailManagerHook(std::function<void()> fn);
    // Where module code lives, for the install folder; tests point it elsewhere.
    static void SetModulePathForTests(std::string strPath);

    const std::vector<std::unique_ptr<CMyInspectorEvent>>& Trackers() const { return m_arrInspectorEvents; }
    bool IsConnected() const { return m_bConnected != 0; }

private:
    HRESULT Connect(IDispatch* pApplication);
    // S_OK also when there is no explorer to put it on; a failure ends the connection.
    HRESULT AddMainToolbar();
    CResult<> TrackOpenInspectors();
    void Track(IDispatch* pInspector, int32_t nTaskIndex, ITrackerOwner* pOwner);
    void FreeSending();
    // Ends every message-window tracker and its subscriptions.
    void ReleaseTrackers();

    // The Email Manager while it is open (modeless; one at a time).
    QPointer<QDialog> m_pManager;
    CComPtr<_Application> m_spApplication;
    CComPtr<_CommandBarButton> m_spButton;
    CComPtr<_Inspectors> m_spInspectors;
    CComPtr<CButtonEventsSink> m_spButtonSink;
    CComPtr<CInspectorsEventsSink> m_spInspectorsSink;
    DWORD m_dwButtonCookie = 0;
    DWORD m_dwInspectorsCookie = 0;
    std::vector<std::unique_ptr<CMyInspectorEvent>> m_arrInspectorEvents;
    int32_t m_bConnected = 0;
    bool m_bOwnsTaskList = false;
    // Holds the task list's lock and serves the quillory tool while connected.
    std::unique_ptr<CTaskListServer> m_pListServer;
    std::unique_ptr<CSendReporting> m_pReporting;  // while sending runs
};
