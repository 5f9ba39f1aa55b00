#pragma once
// The host's object model: the mail and command bar interfaces the add-in
// uses, as typed C++ interfaces with their interface ids.
// Every method returns an HRESULT; results come back through out-params,
// references with one count that the caller owns (CComPtr takes them with
// operator&). Strings are UTF-8. Optional arguments are CVariant (vtMissing
// for "missing"). Single-threaded: call on the host's UI thread only.
#include <cstdint>
#include <string>

#include "Com.h"

// The host's enumerations, as far as they are used.
enum OlItemType : int32_t { olMailItem = 0 };
enum OlDefaultFolders : int32_t {
    olFolderDeletedItems = 3,
    olFolderOutbox = 4,
    olFolderSentMail = 5,
    olFolderInbox = 6,
    olFolderDrafts = 16,
};
enum OlSaveAsType : int32_t { olTXT = 0, olRTF = 1, olTemplate = 2, olMSG = 3 };
enum OlInspectorClose : int32_t { olSave = 0, olDiscard = 1, olPromptForSave = 2 };
enum OlAttachmentType : int32_t { olByValue = 1, olByReference = 4, olEmbeddeditem = 5 };
enum OlBodyFormat : int32_t { olFormatPlain = 1, olFormatHTML = 2 };
enum MsoControlType : int32_t {
    msoControlButton = 1,  // a command
    msoControlPopup = 10,  // a menu holding its own controls
};
enum MsoBarPosition : int32_t {
    msoBarLeft = 0,
    msoBarTop = 1,
    msoBarRight = 2,
    msoBarBottom = 3,
    msoBarFloating = 4,
    msoBarPopup = 5,
};
enum MsoButtonStyle : int32_t {
    msoButtonAutomatic = 0,
    msoButtonIcon = 1,
    msoButtonCaption = 2,
    msoButtonIconAndCaption = 3,
};
// How a message handed to Send fared, as ApplicationEvents::ItemSendResult says.
enum OlSendResult : int32_t {
    olSendSent = 0,              // the server took it for every recipient
    olSendSentWithRefusals = 1,  // taken, but some recipients were refused (the text names them)
    olSendRetrying = 2,          // kept in the Outbox and tried again later (the text says why)
    olSendFailed = 3,            // kept in the Outbox for good: it will not be tried again by itself
    olSendInDoubt = 4,           // may have arrived; kept, not sent again by itself
    olSendNoWay = 5,             // nothing can send it now (no account); it waits in the Outbox
};
// _MailItem::Send's answers besides S_OK and E_FAIL (the message itself
// cannot go; the error description says why).
// The host already holds a message for the same scheduled occurrence (the
// same X-Quillory-Task and X-Quillory-Occurrence): nothing new is queued,
// and get_MessageId gives that message's id.
inline constexpr HRESULT kSendAlreadyQueued = S_FALSE;
// The host cannot store the message now (no space, a folder it may not
// write, the store not open); the error description says why, in the file
// system's words. Sending the same message later may succeed.
inline constexpr HRESULT kSendNotStoredNow = MakeHResult(0x80040301u);
// The host's built-in "Send/Receive" command.
inline constexpr int32_t kSendReceiveControlId = 7095;
// The main window's menus: the command bar and the menu add-ins add to.
inline constexpr const char* kMenuBarName = "Menu Bar";
inline constexpr const char* kToolsMenuCaption = "&Tools";

struct _Explorer;
struct _Inspectors;
struct _Inspector;
struct _NameSpace;
struct MAPIFolder;
struct _Items;
struct Recipients;
struct Attachments;
struct _CommandBars;
struct CommandBar;
struct CommandBarControls;
struct CommandBarControl;
struct CommandBarPopup;

// The interfaces are spelled out between the two macros, indented as classes.
// clang-format off
QUILLORY_INTERFACE(_Application, IDispatch, "{00063001-0000-0000-C000-000000000046}")
    // The main window, or S_OK with null when there is none.
    virtual HRESULT ActiveExplorer(_Explorer** ppExplorer) = 0;
    virtual HRESULT get_Inspectors(_Inspectors** ppInspectors) = 0;
    // olMailItem only: a new, unsaved mail item.
    virtual HRESULT CreateItem(int32_t nItemType, IDispatch** ppItem) = 0;
    // A new unsent item from a template file; a missing or bad file fails.
    virtual HRESULT CreateItemFromTemplate(const std::string& strPath, const CVariant& inFolder, IDispatch** ppItem) = 0;
    // "MAPI" only.
    virtual HRESULT GetNamespace(const std::string& strType, _NameSpace** ppNS) = 0;
    // The host's name as people know it, for the texts an add-in shows.
    virtual HRESULT get_Name(std::string* pstrName) = 0;
QUILLORY_END_INTERFACE(_Application)

QUILLORY_INTERFACE(_NameSpace, IDispatch, "{346AEDDF-9489-4E90-8E29-2E45FF52E70B}")
    virtual HRESULT GetDefaultFolder(int32_t nFolderType, MAPIFolder** ppFolder) = 0;
QUILLORY_END_INTERFACE(_NameSpace)

QUILLORY_INTERFACE(MAPIFolder, IDispatch, "{16A596DF-7092-457F-A33D-820CBEAC455F}")
    virtual HRESULT get_Items(_Items** ppItems) = 0;
    virtual HRESULT get_Name(std::string* pstrName) = 0;
QUILLORY_END_INTERFACE(MAPIFolder)

// The folder's items as they are at each call, oldest first.
QUILLORY_INTERFACE(_Items, IDispatch, "{8C038598-CC71-4535-A169-8DB6B8C49A25}")
    virtual HRESULT get_Count(int32_t* pnCount) = 0;
    // 1-based; out of range gives DISP_E_BADINDEX, an unreadable item E_FAIL.
    virtual HRESULT Item(const CVariant& index, IDispatch** ppItem) = 0;
QUILLORY_END_INTERFACE(_Items)

QUILLORY_INTERFACE(_Explorer, IDispatch, "{21DD3006-44D2-410C-A345-28EA4209BB8F}")
    virtual HRESULT get_CommandBars(_CommandBars** ppBars) = 0;
QUILLORY_END_INTERFACE(_Explorer)

// Source of InspectorsEvents (through IConnectionPointContainer).
QUILLORY_INTERFACE(_Inspectors, IDispatch, "{824CCF1C-693F-46F3-9FC6-173217C7F18B}")
    virtual HRESULT get_Count(int32_t* pnCount) = 0;
    virtual HRESULT Item(const CVariant& index, _Inspector** ppInspector) = 0;  // 1-based
QUILLORY_END_INTERFACE(_Inspectors)

// A message window. Source of InspectorEvents.
QUILLORY_INTERFACE(_Inspector, IDispatch, "{00063005-0000-0000-C000-000000000046}")
    virtual HRESULT get_CurrentItem(IDispatch** ppItem) = 0;
    virtual HRESULT get_CommandBars(_CommandBars** ppBars) = 0;
    // olSave saves the item first, olDiscard does not; olPromptForSave,
    // with no one to ask in the window-less host, saves.
    virtual HRESULT Close(int32_t nSaveMode) = 0;
    virtual HRESULT Activate() = 0;
QUILLORY_END_INTERFACE(_Inspector)

QUILLORY_INTERFACE(_MailItem, IDispatch, "{00063034-0000-0000-C000-000000000046}")
    // True for messages that were sent or received.
    virtual HRESULT get_Sent(bool* pbSent) = 0;
    // Stores the item (a new item goes to Drafts).
    virtual HRESULT Save() = 0;
    // olTemplate only: the message as a template file at exactly strPath.
    virtual HRESULT SaveAs(const std::string& strPath, const CVariant& type) = 0;
    virtual HRESULT get_Subject(std::string* pstr) = 0;
    virtual HRESULT put_Subject(const std::string& str) = 0;
    virtual HRESULT get_Body(std::string* pstr) = 0;
    virtual HRESULT put_Body(const std::string& str) = 0;
    // What Body holds: olFormatPlain, or olFormatHTML for a message whose
    // only text is HTML (markup and all).
    virtual HRESULT get_BodyFormat(int32_t* pnFormat) = 0;
    // Recipient lists as "a@b; Name <c@d>".
    virtual HRESULT get_To(std::string* pstr) = 0;
    virtual HRESULT put_To(const std::string& str) = 0;
    virtual HRESULT get_CC(std::string* pstr) = 0;
    virtual HRESULT put_CC(const std::string& str) = 0;
    virtual HRESULT get_BCC(std::string* pstr) = 0;
    virtual HRESULT put_BCC(const std::string& str) = 0;
    virtual HRESULT get_Recipients(Recipients** ppRecipients) = 0;
    virtual HRESULT get_Attachments(Attachments** ppAttachments) = 0;
    virtual HRESULT get_DeleteAfterSubmit(bool* pb) = 0;
    virtual HRESULT put_DeleteAfterSubmit(bool b) = 0;
    // Moves the item (saved first) into the folder; the moved item comes
    // back (this same object, now in that folder) when ppMoved is given.
    virtual HRESULT Move(MAPIFolder* pDestFolder, IDispatch** ppMoved) = 0;
    // From Deleted Items (or never saved): gone for good; otherwise moved
    // to Deleted Items.
    virtual HRESULT Delete() = 0;
    // Opens a modeless message window (raises NewInspector), or activates
    // the one already open for this item.
    virtual HRESULT Display(const CVariant& modal) = 0;
    // Queues the message for delivery; windows showing it close. Also
    // kSendAlreadyQueued and kSendNotStoredNow (above).
    virtual HRESULT Send() = 0;
    // Header fields the host keeps with the message wherever it is stored
    // ("X-..." names only, else E_INVALIDARG); setting one replaces it.
    // Fields named "X-Quillory-..." are not transmitted.
    virtual HRESULT SetHeader(const std::string& strName, const std::string& strValue) = 0;
    // S_FALSE with an empty value when the message has no such field.
    virtual HRESULT GetHeader(const std::string& strName, std::string* pstrValue) = 0;
    // The Message-ID the message is known by; given at the latest by Send.
    virtual HRESULT get_MessageId(std::string* pstr) = 0;
    // The store's name for the message where it lies now; empty while it
    // was never saved (and once it was deleted for good).
    virtual HRESULT get_EntryID(std::string* pstr) = 0;
QUILLORY_END_INTERFACE(_MailItem)

// Every recipient of the item: To, Cc and Bcc.
QUILLORY_INTERFACE(Recipients, IDispatch, "{0830C45A-3B8E-4660-B713-51C62AB70020}")
    virtual HRESULT get_Count(int32_t* pnCount) = 0;
    // Adds a To recipient.
    virtual HRESULT Add(const std::string& strName) = 0;
QUILLORY_END_INTERFACE(Recipients)

QUILLORY_INTERFACE(Attachments, IDispatch, "{79F5646B-70F5-44A9-9856-9525CF7231D2}")
    virtual HRESULT get_Count(int32_t* pnCount) = 0;
    // Source: a file path; its bytes are copied now. Type: missing or
    // olByValue. A missing or unreadable file fails.
    virtual HRESULT Add(const CVariant& source, const CVariant& type, const CVariant& position,
                        const CVariant& displayName) = 0;
    // 1-based: the shown name of attachment i.
    virtual HRESULT get_FileName(int32_t nIndex, std::string* pstr) = 0;
    // 1-based; the item keeps no copy of what is removed.
    virtual HRESULT Remove(int32_t nIndex) = 0;
QUILLORY_END_INTERFACE(Attachments)

QUILLORY_INTERFACE(_CommandBars, IDispatch, "{F7382C14-AF8C-4934-85B2-9D4AF9CFB5D8}")
    // A new toolbar; a name already in use fails.
    virtual HRESULT Add(const CVariant& name, const CVariant& position, const CVariant& menuBar,
                        const CVariant& temporary, CommandBar** ppBar) = 0;
    virtual HRESULT get_Count(int32_t* pnCount) = 0;
    // By name (letter case ignored) or 1-based index; none gives E_INVALIDARG.
    virtual HRESULT get_Item(const CVariant& index, CommandBar** ppBar) = 0;
    // The first control matching every criterion given, or S_OK with null.
    virtual HRESULT FindControl(const CVariant& type, const CVariant& id, const CVariant& tag,
                                const CVariant& visible, CommandBarControl** ppControl) = 0;
QUILLORY_END_INTERFACE(_CommandBars)

QUILLORY_INTERFACE(CommandBar, IDispatch, "{3449DC74-C68D-4046-9730-3DACFD860BD0}")
    virtual HRESULT get_Controls(CommandBarControls** ppControls) = 0;
    virtual HRESULT get_Name(std::string* pstr) = 0;
    virtual HRESULT get_Visible(bool* pb) = 0;
    virtual HRESULT put_Visible(bool b) = 0;
    virtual HRESULT get_Position(int32_t* pn) = 0;
    virtual HRESULT get_Temporary(bool* pb) = 0;
    virtual HRESULT Delete() = 0;
QUILLORY_END_INTERFACE(CommandBar)

QUILLORY_INTERFACE(CommandBarControls, IDispatch, "{9D829D04-2341-4DFF-BCB7-ACBFD37015D7}")
    // msoControlButton (ask the control for _CommandBarButton), or on a
    // menu bar msoControlPopup (ask it for CommandBarPopup). Before: 1-based
    // position, missing = at the end.
    virtual HRESULT Add(const CVariant& type, const CVariant& id, const CVariant& parameter,
                        const CVariant& before, const CVariant& temporary, CommandBarControl** ppControl) = 0;
    virtual HRESULT get_Count(int32_t* pnCount) = 0;
    virtual HRESULT get_Item(const CVariant& index, CommandBarControl** ppControl) = 0;  // 1-based
QUILLORY_END_INTERFACE(CommandBarControls)

QUILLORY_INTERFACE(CommandBarControl, IDispatch, "{35DE5C34-83DF-4669-892C-A477D85FDE96}")
    virtual HRESULT get_Id(int32_t* pn) = 0;
    virtual HRESULT get_Type(int32_t* pn) = 0;
    virtual HRESULT get_Caption(std::string* pstr) = 0;
    virtual HRESULT put_Caption(const std::string& str) = 0;
    virtual HRESULT get_TooltipText(std::string* pstr) = 0;
    virtual HRESULT put_TooltipText(const std::string& str) = 0;
    virtual HRESULT get_Tag(std::string* pstr) = 0;
    virtual HRESULT put_Tag(const std::string& str) = 0;
    virtual HRESULT get_Enabled(bool* pb) = 0;
    virtual HRESULT put_Enabled(bool b) = 0;
    virtual HRESULT get_Visible(bool* pb) = 0;
    virtual HRESULT put_Visible(bool b) = 0;
    virtual HRESULT get_Temporary(bool* pb) = 0;
    // Runs the control: the built-in Send/Receive asks the mail backend to
    // send and receive now; a button raises Click. A disabled control fails.
    virtual HRESULT Execute() = 0;
    virtual HRESULT Delete() = 0;
QUILLORY_END_INTERFACE(CommandBarControl)

// A menu of a menu bar: its controls are the menu's items. Found on the
// "Menu Bar" command bar by its caption ("&Tools").
QUILLORY_INTERFACE(CommandBarPopup, CommandBarControl, "{072EAAF6-D2AE-4C41-938C-BC855F819321}")
    virtual HRESULT get_Controls(CommandBarControls** ppControls) = 0;
QUILLORY_END_INTERFACE(CommandBarPopup)

// A button. Source of _CommandBarButtonEvents: a click reaches every
// subscriber of every button with the clicked button's tag (a button
// without a tag: its own subscribers only).
QUILLORY_INTERFACE(_CommandBarButton, CommandBarControl, "{000C030E-0000-0000-C000-000000000046}")
    virtual HRESULT get_Style(int32_t* pn) = 0;
    virtual HRESULT put_Style(int32_t n) = 0;
QUILLORY_END_INTERFACE(_CommandBarButton)

// Event interfaces, implemented by subscribers.
QUILLORY_INTERFACE(InspectorsEvents, IDispatch, "{00063079-0000-0000-C000-000000000046}")
    static constexpr int32_t kDispIdNewInspector = 0xF001;
    // The argument is the new window; ask it for _Inspector.
    virtual HRESULT NewInspector(IDispatch* pInspector) = 0;
QUILLORY_END_INTERFACE(InspectorsEvents)

QUILLORY_INTERFACE(InspectorEvents, IDispatch, "{0006307D-0000-0000-C000-000000000046}")
    static constexpr int32_t kDispIdActivate = 0xF001;
    static constexpr int32_t kDispIdDeactivate = 0xF006;
    static constexpr int32_t kDispIdClose = 0xF008;
    static constexpr int32_t kDispIdBeforeClose = 0xF004;
    virtual HRESULT Activate() = 0;
    virtual HRESULT Deactivate() = 0;
    virtual HRESULT Close() = 0;
    // The user closes the window while its message has unsaved changes,
    // before the host offers to keep them in Drafts. A subscriber that keeps
    // the message somewhere of its own (an add-in's scheduled task) asks the
    // user itself and sets *pbHandled: the host then asks nothing and closes
    // without saving, unless the subscriber also set *pbCancel (the window
    // stays open as it is).
    virtual HRESULT BeforeClose(bool* pbHandled, bool* pbCancel) = 0;
QUILLORY_END_INTERFACE(InspectorEvents)

// The application's events (the application is their connection point
// container).
QUILLORY_INTERFACE(ApplicationEvents, IDispatch, "{0006304E-0000-0000-C000-000000000046}")
    static constexpr int32_t kDispIdItemSendResult = 0xFC8D;
    // A sent message's fate, each time delivery learns more of it (retries
    // first, then sent or failed). pItem: the message where it now is (ask
    // it for _MailItem; null when it cannot be read); nResult: OlSendResult;
    // strText: the server's or the host's words.
    virtual HRESULT ItemSendResult(IDispatch* pItem, int32_t nResult, const std::string& strText) = 0;
QUILLORY_END_INTERFACE(ApplicationEvents)

QUILLORY_INTERFACE(_CommandBarButtonEvents, IDispatch, "{000C0351-0000-0000-C000-000000000046}")
    static constexpr int32_t kDispIdClick = 1;
    // pButton: the clicked button; *pbCancelDefault may be set by the sink.
    virtual HRESULT Click(IDispatch* pButton, bool* pbCancelDefault) = 0;
QUILLORY_END_INTERFACE(_CommandBarButtonEvents)
// clang-format on
