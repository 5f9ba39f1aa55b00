#pragma once
// The host's application object, made by the host program over its mail
// backend, with the hooks that the host's own user interface needs: open,
// activate and close message windows (inspectors), the main window
// (explorer), and the windows' toolbars and buttons to show. The window-less
// model is complete by itself; a UI only shows it and forwards the user's
// actions through these hooks and the object model.
#include <memory>
#include <vector>

#include "IMailBackend.h"
#include "MailHostOM.h"

// Told about changes that a user interface shows. Called on the UI thread.
class IHostObserver {
public:
    virtual ~IHostObserver() = default;
    virtual void OnInspectorOpened(_Inspector*) {}
    virtual void OnInspectorClosed(_Inspector*) {}
    virtual void OnInspectorActivated(_Inspector*) {}
    // A toolbar or control was added, deleted or changed, in any window.
    virtual void OnCommandBarsChanged() {}
};

// The host's product name, as its windows and Application.Name give it.
inline constexpr const char* kHostProductName = "Mail Host";

struct CApplicationOptions {
    bool bWithExplorer = true;  // start with a main window
};

struct CHostCore;

class CApplication final : public CComObjectImpl<_Application, IConnectionPointContainer> {
public:
    // The backend must outlive every object of the model.
    static CComPtr<CApplication> Create(IMailBackend& backend, const CApplicationOptions& options = {});
    ~CApplication() override;

    // _Application
    HRESULT ActiveExplorer(_Explorer** ppExplorer) override;
    HRESULT get_Inspectors(_Inspectors** ppInspectors) override;
    HRESULT CreateItem(int32_t nItemType, IDispatch** ppItem) override;
    HRESULT CreateItemFromTemplate(const std::string& strPath, const CVariant& inFolder, IDispatch** ppItem) override;
    HRESULT GetNamespace(const std::string& strType, _NameSpace** ppNS) override;
    HRESULT get_Name(std::string* pstrName) override;
    // ApplicationEvents: how sent messages fare, from the backend's delivery.
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // Host hooks.
    // A compose window for a new mail item (NewInspector, then Activate).
    HRESULT OpenNewInspector(_Inspector** ppInspector);
    // A window for an item (as its Display does).
    HRESULT OpenInspector(IDispatch* pItem, _Inspector** ppInspector);
    // Focus moves to the window: the former active window gets Deactivate,
    // this one Activate (nothing when it is already the active one).
    HRESULT ActivateInspector(_Inspector* pInspector);
    // Focus leaves the window for the main window or another program.
    HRESULT DeactivateInspector(_Inspector* pInspector);
    // The user asks to close a window with unsaved changes: BeforeClose
    // goes to its subscribers; *pbHandled when one of them took the changes
    // in hand, *pbCancel when the window is to stay.
    HRESULT AskBeforeClose(_Inspector* pInspector, bool* pbHandled, bool* pbCancel);
    // As _Inspector::Close.
    HRESULT CloseInspector(_Inspector* pInspector, int32_t nSaveMode);
    std::vector<CComPtr<_Inspector>> OpenInspectors() const;
    CComPtr<_Inspector> ActiveInspector() const;
    // The toolbars of a window (an explorer or an inspector), in order.
    std::vector<CComPtr<CommandBar>> CommandBarsOf(IDispatch* pWindow) const;
    // The controls of a toolbar, in order.
    static std::vector<CComPtr<CommandBarControl>> ControlsOf(CommandBar* pBar);
    // A menu bar's menus, and a menu's controls (its buttons).
    static bool IsMenuBar(CommandBar* pBar);
    static std::vector<CComPtr<CommandBarPopup>> MenusOf(CommandBar* pBar);
    static std::vector<CComPtr<CommandBarControl>> ControlsOf(CommandBarPopup* pMenu);
    // The main window: opened at creation unless the options say otherwise.
    HRESULT OpenExplorer();
    HRESULT CloseExplorer();
    void SetObserver(IHostObserver* pObserver);
    // The host stops: every window closes without saving (Close events
    // fire), toolbars and controls vanish, every subscription ends. Calls
    // afterwards fail with E_FAIL.
    void Shutdown();
    IMailBackend& Backend() const;

private:
    explicit CApplication(std::shared_ptr<CHostCore> spCore) : m_spCore(std::move(spCore)) {}
    std::shared_ptr<CHostCore> m_spCore;
};
