// The host object model over IMailBackend. Objects that belong to the host
// (windows, toolbars, controls, items) reach the shared host state through a
// weak reference to CHostCore, so that references the add-in keeps after the
// host stopped answer E_FAIL instead of touching freed state.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "CApplication.h"

namespace fs = std::filesystem;

class CMailItem;
class CInspector;
class CInspectors;
class CExplorer;
class CCommandBars;
class CCommandBar;
class CCommandBarControls;
class CCommandBarButton;

struct CHostCore {
    IMailBackend* pBackend = nullptr;
    IHostObserver* pObserver = nullptr;
    bool bStopped = false;
    CComPtr<CInspectors> spInspectors;
    CComPtr<CExplorer> spExplorer;
    std::vector<CComPtr<CInspector>> vecOpen;  // open message windows, in opening order
    CInspector* pActive = nullptr;             // the active one, if any
    std::vector<CCommandBarButton*> vecButtons;  // every button object alive, in creation order
    std::weak_ptr<CHostCore> wpSelf;

    void BarsChanged() {
        if (pObserver) pObserver->OnCommandBarsChanged();
    }
    HRESULT Display(CMailItem* pItem, _Inspector** ppInspector);
    HRESULT Activate(CInspector* pInspector);
    HRESULT Deactivate(CInspector* pInspector);
    HRESULT Close(CInspector* pInspector, int32_t nSaveMode);
    void CloseWindowsOf(CMailItem* pItem);
};

namespace {

using WeakCore = std::weak_ptr<CHostCore>;

template <class T>
HRESULT Out(T** pp, T* p) {
    if (!pp) return E_POINTER;
    *pp = p;
    if (p) p->AddRef();
    return S_OK;
}

template <class T>
HRESULT OutValue(T* p, const T& v) {
    if (!p) return E_POINTER;
    *p = v;
    return S_OK;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string_view sv) {
    size_t b = sv.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    size_t e = sv.find_last_not_of(" \t\r\n");
    return std::string(sv.substr(b, e - b + 1));
}

std::vector<std::string> SplitRecipients(const std::string& str) {
    std::vector<std::string> vec;
    size_t start = 0;
    for (;;) {
        size_t pos = str.find(';', start);
        std::string part = Trim(std::string_view(str).substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (!part.empty()) vec.push_back(part);
        if (pos == std::string::npos) break;
        start = pos + 1;
    }
    return vec;
}

std::string JoinRecipients(const std::vector<std::string>& vec) {
    std::string out;
    for (const auto& s : vec) {
        if (!out.empty()) out += "; ";
        out += s;
    }
    return out;
}

std::string ContentTypeFor(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::pair<const char*, const char*> kTypes[] = {
        {".txt", "text/plain"},       {".htm", "text/html"},        {".html", "text/html"},
        {".csv", "text/csv"},         {".pdf", "application/pdf"},  {".zip", "application/zip"},
        {".png", "image/png"},        {".jpg", "image/jpeg"},       {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},        {".xml", "application/xml"},  {".json", "application/json"},
    };
    for (const auto& [pszExt, pszType] : kTypes)
        if (ext == pszExt) return pszType;
    return "application/octet-stream";
}

// A 1-based index from a variant, or 0.
int32_t IndexOf(const CVariant& v) {
    auto n = v.AsInt();
    return n ? *n : 0;
}

}  // namespace

// ---------------------------------------------------------------- mail item

class CMailItem final : public CComObjectImpl<_MailItem> {
public:
    CMailItem(WeakCore wpCore, CMailMessage msg, std::optional<EMailFolder> folder, std::string strId)
        : m_wpCore(std::move(wpCore)), m_msg(std::move(msg)), m_folder(folder), m_strId(std::move(strId)) {}

    HRESULT get_Sent(bool* pb) override { return OutValue(pb, m_msg.bSent); }
    HRESULT Save() override {
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped || m_bDeleted || m_bSubmitted) return E_FAIL;
        EMailFolder folder = m_folder.value_or(m_pendingFolder.value_or(EMailFolder::Drafts));
        std::string strId = m_folder ? m_strId : std::string();
        if (!spCore->pBackend->SaveToFolder(folder, m_msg, strId).empty()) return E_FAIL;
        m_folder = folder;
        m_strId = strId;
        return S_OK;
    }
    HRESULT SaveAs(const std::string& strPath, const CVariant& type) override {
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped) return E_FAIL;
        if (strPath.empty()) return E_INVALIDARG;
        auto nType = type.AsInt();
        if (type.IsMissing() || !nType) return E_INVALIDARG;
        if (*nType != olTemplate) return E_NOTIMPL;
        CMailMessage msg = m_msg;
        msg.bSent = false;
        msg.strMessageId.clear();
        return spCore->pBackend->SaveTemplate(strPath, msg).empty() ? S_OK : E_FAIL;
    }
    HRESULT get_Subject(std::string* p) override { return OutValue(p, m_msg.strSubject); }
    HRESULT put_Subject(const std::string& s) override { return Set(m_msg.strSubject, s); }
    HRESULT get_Body(std::string* p) override { return OutValue(p, m_msg.strBody); }
    HRESULT put_Body(const std::string& s) override { return Set(m_msg.strBody, s); }
    HRESULT get_To(std::string* p) override { return OutValue(p, JoinRecipients(m_msg.vecTo)); }
    HRESULT put_To(const std::string& s) override { return Set(m_msg.vecTo, SplitRecipients(s)); }
    HRESULT get_CC(std::string* p) override { return OutValue(p, JoinRecipients(m_msg.vecCc)); }
    HRESULT put_CC(const std::string& s) override { return Set(m_msg.vecCc, SplitRecipients(s)); }
    HRESULT get_BCC(std::string* p) override { return OutValue(p, JoinRecipients(m_msg.vecBcc)); }
    HRESULT put_BCC(const std::string& s) override { return Set(m_msg.vecBcc, SplitRecipients(s)); }
    HRESULT get_Recipients(Recipients** pp) override;
    HRESULT get_Attachments(Attachments** pp) override;
    HRESULT get_DeleteAfterSubmit(bool* pb) override { return OutValue(pb, m_bDeleteAfterSubmit); }
    HRESULT put_DeleteAfterSubmit(bool b) override {
        m_bDeleteAfterSubmit = b;
        return S_OK;
    }
    HRESULT Move(MAPIFolder* pDest, IDispatch** ppMoved) override;
    HRESULT Delete() override {
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped || m_bDeleted) return E_FAIL;
        if (!m_folder) {
            m_bDeleted = true;
            return S_OK;
        }
        if (*m_folder == EMailFolder::DeletedItems) {
            if (!spCore->pBackend->DeleteMessage(*m_folder, m_strId).empty()) return E_FAIL;
            m_bDeleted = true;
            m_folder.reset();
            m_strId.clear();
            return S_OK;
        }
        std::string strNewId;
        if (!spCore->pBackend->MoveMessage(*m_folder, m_strId, EMailFolder::DeletedItems, strNewId).empty())
            return E_FAIL;
        m_folder = EMailFolder::DeletedItems;
        m_strId = strNewId;
        return S_OK;
    }
    HRESULT Display(const CVariant&) override {
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped || m_bDeleted || m_bSubmitted) return E_FAIL;
        return spCore->Display(this, nullptr);
    }
    HRESULT Send() override {
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped || m_bDeleted || m_bSubmitted || m_msg.bSent) return E_FAIL;
        if (m_msg.vecTo.empty() && m_msg.vecCc.empty() && m_msg.vecBcc.empty()) return E_FAIL;
        CMailMessage msg = m_msg;
        msg.strMessageId.clear();
        if (!spCore->pBackend->Submit(msg).empty()) return E_FAIL;
        // The message now lives in the Outbox: its draft goes.
        if (m_folder) spCore->pBackend->DeleteMessage(*m_folder, m_strId);
        m_folder.reset();
        m_strId.clear();
        m_bSubmitted = true;
        spCore->CloseWindowsOf(this);
        return S_OK;
    }

    CMailMessage& Message() { return m_msg; }
    bool IsDeleted() const { return m_bDeleted; }
    void SetPendingFolder(EMailFolder f) { m_pendingFolder = f; }
    const WeakCore& Core() const { return m_wpCore; }

private:
    template <class T>
    HRESULT Set(T& field, T value) {
        field = std::move(value);
        return S_OK;
    }
    HRESULT Set(std::string& field, const std::string& value) {
        field = value;
        return S_OK;
    }

    WeakCore m_wpCore;
    CMailMessage m_msg;
    std::optional<EMailFolder> m_folder;         // where the item is stored, if it is
    std::optional<EMailFolder> m_pendingFolder;  // where a first Save puts it (default Drafts)
    std::string m_strId;
    bool m_bDeleteAfterSubmit = false;
    bool m_bDeleted = false;
    bool m_bSubmitted = false;
};

class CRecipients final : public CComObjectImpl<Recipients> {
public:
    explicit CRecipients(CMailItem* pItem) : m_spItem(pItem) {}
    HRESULT get_Count(int32_t* pn) override {
        const CMailMessage& m = m_spItem->Message();
        return OutValue(pn, static_cast<int32_t>(m.vecTo.size() + m.vecCc.size() + m.vecBcc.size()));
    }
    HRESULT Add(const std::string& strName) override {
        std::string s = Trim(strName);
        if (s.empty()) return E_INVALIDARG;
        m_spItem->Message().vecTo.push_back(s);
        return S_OK;
    }

private:
    CComPtr<CMailItem> m_spItem;
};

class CAttachments final : public CComObjectImpl<Attachments> {
public:
    explicit CAttachments(CMailItem* pItem) : m_spItem(pItem) {}
    HRESULT get_Count(int32_t* pn) override {
        return OutValue(pn, static_cast<int32_t>(m_spItem->Message().vecAttachments.size()));
    }
    HRESULT Add(const CVariant& source, const CVariant& type, const CVariant&, const CVariant& displayName) override {
        auto strPath = source.AsString();
        if (!strPath || strPath->empty()) return E_INVALIDARG;
        if (!type.IsMissing()) {
            auto n = type.AsInt();
            if (!n) return E_INVALIDARG;
            if (*n != olByValue) return E_NOTIMPL;
        }
        std::error_code ec;
        fs::path path(*strPath);
        if (!fs::is_regular_file(path, ec)) return E_FAIL;
        std::ifstream in(path, std::ios::binary);
        if (!in) return E_FAIL;
        CMailAttachment att;
        att.vecData.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return E_FAIL;
        auto strShown = displayName.AsString();
        att.strFileName = strShown && !strShown->empty() ? *strShown : path.filename().string();
        att.strContentType = ContentTypeFor(path);
        m_spItem->Message().vecAttachments.push_back(std::move(att));
        return S_OK;
    }
    HRESULT get_FileName(int32_t nIndex, std::string* p) override {
        const auto& vec = m_spItem->Message().vecAttachments;
        if (nIndex < 1 || static_cast<size_t>(nIndex) > vec.size()) return DISP_E_BADINDEX;
        return OutValue(p, vec[static_cast<size_t>(nIndex) - 1].strFileName);
    }
    HRESULT Remove(int32_t nIndex) override {
        auto& vec = m_spItem->Message().vecAttachments;
        if (nIndex < 1 || static_cast<size_t>(nIndex) > vec.size()) return DISP_E_BADINDEX;
        vec.erase(vec.begin() + (nIndex - 1));
        return S_OK;
    }

private:
    CComPtr<CMailItem> m_spItem;
};

HRESULT CMailItem::get_Recipients(Recipients** pp) {
    if (!pp) return E_POINTER;
    *pp = new CRecipients(this);
    return S_OK;
}

HRESULT CMailItem::get_Attachments(Attachments** pp) {
    if (!pp) return E_POINTER;
    *pp = new CAttachments(this);
    return S_OK;
}

// ---------------------------------------------------------------- folders

class CItems final : public CComObjectImpl<_Items> {
public:
    CItems(WeakCore wpCore, EMailFolder folder) : m_wpCore(std::move(wpCore)), m_folder(folder) {}
    HRESULT get_Count(int32_t* pn) override {
        if (!pn) return E_POINTER;
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped) return E_FAIL;
        *pn = static_cast<int32_t>(spCore->pBackend->ListFolder(m_folder).size());
        return S_OK;
    }
    HRESULT Item(const CVariant& index, IDispatch** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped) return E_FAIL;
        int32_t n = IndexOf(index);
        auto vecIds = spCore->pBackend->ListFolder(m_folder);
        if (n < 1 || static_cast<size_t>(n) > vecIds.size()) return DISP_E_BADINDEX;
        const std::string& strId = vecIds[static_cast<size_t>(n) - 1];
        CMailMessage msg;
        if (!spCore->pBackend->LoadFromFolder(m_folder, strId, msg).empty()) return E_FAIL;
        *pp = new CMailItem(m_wpCore, std::move(msg), m_folder, strId);
        return S_OK;
    }

private:
    WeakCore m_wpCore;
    EMailFolder m_folder;
};

class CFolder final : public CComObjectImpl<MAPIFolder> {
public:
    CFolder(WeakCore wpCore, EMailFolder folder) : m_wpCore(std::move(wpCore)), m_folder(folder) {}
    HRESULT get_Items(_Items** pp) override {
        if (!pp) return E_POINTER;
        *pp = new CItems(m_wpCore, m_folder);
        return S_OK;
    }
    HRESULT get_Name(std::string* p) override {
        static const char* const kNames[] = {"Inbox", "Drafts", "Outbox", "Sent Items", "Deleted Items"};
        return OutValue(p, std::string(kNames[static_cast<int>(m_folder)]));
    }
    EMailFolder Folder() const { return m_folder; }

private:
    WeakCore m_wpCore;
    EMailFolder m_folder;
};

HRESULT CMailItem::Move(MAPIFolder* pDest, IDispatch** ppMoved) {
    if (ppMoved) *ppMoved = nullptr;
    auto* pFolder = dynamic_cast<CFolder*>(pDest);
    if (!pFolder) return E_INVALIDARG;
    auto spCore = m_wpCore.lock();
    if (!spCore || spCore->bStopped || m_bDeleted || m_bSubmitted) return E_FAIL;
    EMailFolder to = pFolder->Folder();
    if (!m_folder) {
        std::string strId;
        if (!spCore->pBackend->SaveToFolder(to, m_msg, strId).empty()) return E_FAIL;
        m_folder = to;
        m_strId = strId;
    } else {
        if (!spCore->pBackend->SaveToFolder(*m_folder, m_msg, m_strId).empty()) return E_FAIL;
        if (*m_folder != to) {
            std::string strNewId;
            if (!spCore->pBackend->MoveMessage(*m_folder, m_strId, to, strNewId).empty()) return E_FAIL;
            m_folder = to;
            m_strId = strNewId;
        }
    }
    if (ppMoved) {
        *ppMoved = static_cast<_MailItem*>(this);
        AddRef();
    }
    return S_OK;
}

class CNameSpace final : public CComObjectImpl<_NameSpace> {
public:
    explicit CNameSpace(WeakCore wpCore) : m_wpCore(std::move(wpCore)) {}
    HRESULT GetDefaultFolder(int32_t nType, MAPIFolder** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        std::optional<EMailFolder> folder;
        switch (nType) {
            case olFolderDeletedItems: folder = EMailFolder::DeletedItems; break;
            case olFolderOutbox: folder = EMailFolder::Outbox; break;
            case olFolderSentMail: folder = EMailFolder::SentItems; break;
            case olFolderInbox: folder = EMailFolder::Inbox; break;
            case olFolderDrafts: folder = EMailFolder::Drafts; break;
            default: return E_INVALIDARG;
        }
        *pp = new CFolder(m_wpCore, *folder);
        return S_OK;
    }

private:
    WeakCore m_wpCore;
};

// ---------------------------------------------------------------- command bars

class CCommandBarButton final : public CComObjectImpl<_CommandBarButton, IConnectionPointContainer> {
public:
    CCommandBarButton(WeakCore wpCore, int32_t nId, bool bTemporary)
        : m_wpCore(std::move(wpCore)), m_nId(nId), m_bTemporary(bTemporary),
          m_spClick(MakeComObject<CConnectionPoint<_CommandBarButtonEvents>>()) {
        if (nId == kSendReceiveControlId) {
            m_strCaption = "Send/Re&ceive";
            m_strTooltip = "Send/Receive";
            m_nStyle = msoButtonIconAndCaption;
        }
        if (auto spCore = m_wpCore.lock()) spCore->vecButtons.push_back(this);
    }
    ~CCommandBarButton() override {
        m_spClick->Clear();
        if (auto spCore = m_wpCore.lock()) std::erase(spCore->vecButtons, this);
    }

    HRESULT get_Id(int32_t* p) override { return OutValue(p, m_nId); }
    HRESULT get_Type(int32_t* p) override { return OutValue(p, static_cast<int32_t>(msoControlButton)); }
    HRESULT get_Caption(std::string* p) override { return OutValue(p, m_strCaption); }
    HRESULT put_Caption(const std::string& s) override { return Change(m_strCaption, s); }
    HRESULT get_TooltipText(std::string* p) override { return OutValue(p, m_strTooltip); }
    HRESULT put_TooltipText(const std::string& s) override { return Change(m_strTooltip, s); }
    HRESULT get_Tag(std::string* p) override { return OutValue(p, m_strTag); }
    HRESULT put_Tag(const std::string& s) override { return Change(m_strTag, s); }
    HRESULT get_Enabled(bool* p) override { return OutValue(p, m_bEnabled); }
    HRESULT put_Enabled(bool b) override { return Change(m_bEnabled, b); }
    HRESULT get_Visible(bool* p) override { return OutValue(p, m_bVisible); }
    HRESULT put_Visible(bool b) override { return Change(m_bVisible, b); }
    HRESULT get_Temporary(bool* p) override { return OutValue(p, m_bTemporary); }
    HRESULT get_Style(int32_t* p) override { return OutValue(p, m_nStyle); }
    HRESULT put_Style(int32_t n) override {
        if (n < msoButtonAutomatic || n > 15) return E_INVALIDARG;
        return Change(m_nStyle, n);
    }
    HRESULT Execute() override;
    HRESULT Delete() override;

    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (riid != _CommandBarButtonEvents::iid) return CONNECT_E_NOCONNECTION;
        return Out<IConnectionPoint>(pp, m_spClick);
    }

    void FireClick(IDispatch* pClicked, bool* pbCancel) {
        m_spClick->Fire([&](_CommandBarButtonEvents* p) { p->Click(pClicked, pbCancel); });
    }
    void EndSubscriptions() { m_spClick->Clear(); }
    const std::string& Tag() const { return m_strTag; }
    bool Visible() const { return m_bVisible; }
    CCommandBarControls* m_pParent = nullptr;  // the list holding the control, while it does

private:
    template <class T>
    HRESULT Change(T& field, const T& value) {
        if (field != value) {
            field = value;
            if (auto spCore = m_wpCore.lock()) spCore->BarsChanged();
        }
        return S_OK;
    }

    WeakCore m_wpCore;
    int32_t m_nId;
    bool m_bTemporary;
    CComPtr<CConnectionPoint<_CommandBarButtonEvents>> m_spClick;
    std::string m_strCaption, m_strTooltip, m_strTag;
    int32_t m_nStyle = msoButtonAutomatic;
    bool m_bEnabled = true;
    bool m_bVisible = true;
};

class CCommandBarControls final : public CComObjectImpl<CommandBarControls> {
public:
    explicit CCommandBarControls(WeakCore wpCore) : m_wpCore(std::move(wpCore)) {}
    ~CCommandBarControls() override { Clear(); }

    HRESULT Add(const CVariant& type, const CVariant& id, const CVariant&, const CVariant& before,
                const CVariant& temporary, CommandBarControl** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped) return E_FAIL;
        if (!type.IsMissing()) {
            auto n = type.AsInt();
            if (!n) return E_INVALIDARG;
            if (*n != msoControlButton) return E_NOTIMPL;
        }
        int32_t nId = 1;
        if (!id.IsMissing()) {
            auto n = id.AsInt();
            if (!n || (*n != 1 && *n != kSendReceiveControlId)) return E_INVALIDARG;
            nId = *n;
        }
        size_t pos = m_vecControls.size();
        if (!before.IsMissing()) {
            auto n = before.AsInt();
            if (!n || *n < 1 || static_cast<size_t>(*n) > m_vecControls.size() + 1) return E_INVALIDARG;
            pos = static_cast<size_t>(*n) - 1;
        }
        bool bTemporary = false;
        if (!temporary.IsMissing()) {
            auto b = temporary.AsBool();
            if (!b) return E_INVALIDARG;
            bTemporary = *b;
        }
        auto spButton = MakeComObject<CCommandBarButton>(m_wpCore, nId, bTemporary);
        spButton->m_pParent = this;
        m_vecControls.insert(m_vecControls.begin() + static_cast<std::ptrdiff_t>(pos), spButton);
        spCore->BarsChanged();
        return Out<CommandBarControl>(pp, spButton);
    }
    HRESULT get_Count(int32_t* pn) override { return OutValue(pn, static_cast<int32_t>(m_vecControls.size())); }
    HRESULT get_Item(const CVariant& index, CommandBarControl** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        int32_t n = IndexOf(index);
        if (n < 1 || static_cast<size_t>(n) > m_vecControls.size()) return E_INVALIDARG;
        return Out<CommandBarControl>(pp, m_vecControls[static_cast<size_t>(n) - 1]);
    }

    void Remove(CCommandBarButton* p) {
        auto it = std::find_if(m_vecControls.begin(), m_vecControls.end(), [p](const auto& sp) { return sp.p == p; });
        if (it == m_vecControls.end()) return;
        CComPtr<CCommandBarButton> spGone = *it;
        spGone->m_pParent = nullptr;
        m_vecControls.erase(it);
    }
    void Clear() {
        auto vec = std::move(m_vecControls);
        m_vecControls.clear();
        for (auto& sp : vec) sp->m_pParent = nullptr;
    }
    const std::vector<CComPtr<CCommandBarButton>>& Controls() const { return m_vecControls; }

private:
    WeakCore m_wpCore;
    std::vector<CComPtr<CCommandBarButton>> m_vecControls;
};

HRESULT CCommandBarButton::Delete() {
    auto spCore = m_wpCore.lock();
    if (!m_pParent) return E_FAIL;
    m_pParent->Remove(this);
    if (spCore) spCore->BarsChanged();
    return S_OK;
}

HRESULT CCommandBarButton::Execute() {
    auto spCore = m_wpCore.lock();
    if (!spCore || spCore->bStopped || !m_bEnabled) return E_FAIL;
    CComPtr<CCommandBarButton> spSelf(this);
    bool bCancel = false;
    if (m_strTag.empty()) {
        FireClick(static_cast<_CommandBarButton*>(this), &bCancel);
    } else {
        std::vector<CComPtr<CCommandBarButton>> vecSameTag;
        for (CCommandBarButton* p : spCore->vecButtons)
            if (p->Tag() == m_strTag) vecSameTag.emplace_back(p);
        for (auto& sp : vecSameTag) sp->FireClick(static_cast<_CommandBarButton*>(this), &bCancel);
    }
    if (m_nId == kSendReceiveControlId && !bCancel && !spCore->bStopped) spCore->pBackend->SendReceiveNow();
    return S_OK;
}

class CCommandBar final : public CComObjectImpl<CommandBar> {
public:
    CCommandBar(WeakCore wpCore, std::string strName, int32_t nPosition, bool bTemporary)
        : m_wpCore(wpCore), m_strName(std::move(strName)), m_nPosition(nPosition), m_bTemporary(bTemporary),
          m_spControls(MakeComObject<CCommandBarControls>(wpCore)) {}

    HRESULT get_Controls(CommandBarControls** pp) override { return Out<CommandBarControls>(pp, m_spControls); }
    HRESULT get_Name(std::string* p) override { return OutValue(p, m_strName); }
    HRESULT get_Visible(bool* p) override { return OutValue(p, m_bVisible); }
    HRESULT put_Visible(bool b) override {
        if (m_bVisible != b) {
            m_bVisible = b;
            if (auto spCore = m_wpCore.lock()) spCore->BarsChanged();
        }
        return S_OK;
    }
    HRESULT get_Position(int32_t* p) override { return OutValue(p, m_nPosition); }
    HRESULT get_Temporary(bool* p) override { return OutValue(p, m_bTemporary); }
    HRESULT Delete() override;

    const std::string& Name() const { return m_strName; }
    bool Visible() const { return m_bVisible; }
    CCommandBarControls* Controls() const { return m_spControls; }
    CCommandBars* m_pParent = nullptr;

private:
    WeakCore m_wpCore;
    std::string m_strName;
    int32_t m_nPosition;
    bool m_bTemporary;
    bool m_bVisible = false;
    CComPtr<CCommandBarControls> m_spControls;
};

class CCommandBars final : public CComObjectImpl<_CommandBars> {
public:
    explicit CCommandBars(WeakCore wpCore) : m_wpCore(std::move(wpCore)) {}
    ~CCommandBars() override { Clear(); }

    HRESULT Add(const CVariant& name, const CVariant& position, const CVariant& menuBar, const CVariant& temporary,
                CommandBar** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto spCore = m_wpCore.lock();
        if (!spCore || spCore->bStopped) return E_FAIL;
        std::string strName;
        if (name.IsMissing()) {
            for (int i = 1; strName.empty() || Find(strName); ++i) strName = "Custom " + std::to_string(i);
        } else {
            auto s = name.AsString();
            if (!s || s->empty()) return E_INVALIDARG;
            strName = *s;
        }
        if (Find(strName)) return E_INVALIDARG;
        int32_t nPosition = msoBarFloating;
        if (!position.IsMissing()) {
            auto n = position.AsInt();
            if (!n || *n < msoBarLeft || *n > msoBarPopup) return E_INVALIDARG;
            nPosition = *n;
        }
        if (!menuBar.IsMissing() && !menuBar.AsBool()) return E_INVALIDARG;
        bool bTemporary = false;
        if (!temporary.IsMissing()) {
            auto b = temporary.AsBool();
            if (!b) return E_INVALIDARG;
            bTemporary = *b;
        }
        auto spBar = MakeComObject<CCommandBar>(m_wpCore, strName, nPosition, bTemporary);
        spBar->m_pParent = this;
        m_vecBars.push_back(spBar);
        spCore->BarsChanged();
        return Out<CommandBar>(pp, spBar);
    }
    HRESULT get_Count(int32_t* pn) override { return OutValue(pn, static_cast<int32_t>(m_vecBars.size())); }
    HRESULT get_Item(const CVariant& index, CommandBar** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (auto s = index.AsString()) {
            CCommandBar* p = Find(*s);
            if (!p) return E_INVALIDARG;
            return Out<CommandBar>(pp, p);
        }
        int32_t n = IndexOf(index);
        if (n < 1 || static_cast<size_t>(n) > m_vecBars.size()) return E_INVALIDARG;
        return Out<CommandBar>(pp, m_vecBars[static_cast<size_t>(n) - 1]);
    }
    HRESULT FindControl(const CVariant& type, const CVariant& id, const CVariant& tag, const CVariant& visible,
                        CommandBarControl** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto nType = type.AsInt();
        auto nId = id.AsInt();
        auto strTag = tag.AsString();
        bool bVisibleOnly = visible.AsBool().value_or(false);
        if ((!type.IsMissing() && !nType) || (!id.IsMissing() && !nId) || (!tag.IsMissing() && !strTag))
            return E_INVALIDARG;
        for (const auto& spBar : m_vecBars) {
            if (bVisibleOnly && !spBar->Visible()) continue;
            for (const auto& spCtl : spBar->Controls()->Controls()) {
                int32_t n = 0;
                if (nType && (spCtl->get_Type(&n), n != *nType)) continue;
                if (nId && (spCtl->get_Id(&n), n != *nId)) continue;
                if (strTag && spCtl->Tag() != *strTag) continue;
                if (bVisibleOnly && !spCtl->Visible()) continue;
                return Out<CommandBarControl>(pp, spCtl);
            }
        }
        return S_OK;
    }

    CCommandBar* Find(const std::string& strName) const {
        for (const auto& sp : m_vecBars)
            if (EqualNoCase(sp->Name(), strName)) return sp;
        return nullptr;
    }
    void Remove(CCommandBar* p) {
        auto it = std::find_if(m_vecBars.begin(), m_vecBars.end(), [p](const auto& sp) { return sp.p == p; });
        if (it == m_vecBars.end()) return;
        CComPtr<CCommandBar> spGone = *it;
        spGone->m_pParent = nullptr;
        spGone->Controls()->Clear();
        m_vecBars.erase(it);
    }
    // The window goes: every toolbar and control with it.
    void Clear() {
        auto vec = std::move(m_vecBars);
        m_vecBars.clear();
        for (auto& sp : vec) {
            sp->m_pParent = nullptr;
            sp->Controls()->Clear();
        }
    }
    std::vector<CComPtr<CommandBar>> Bars() const { return {m_vecBars.begin(), m_vecBars.end()}; }

private:
    WeakCore m_wpCore;
    std::vector<CComPtr<CCommandBar>> m_vecBars;
};

HRESULT CCommandBar::Delete() {
    if (!m_pParent) return E_FAIL;
    CComPtr<CCommandBar> spSelf(this);
    m_pParent->Remove(this);
    if (auto spCore = m_wpCore.lock()) spCore->BarsChanged();
    return S_OK;
}

// ---------------------------------------------------------------- windows

class CExplorer final : public CComObjectImpl<_Explorer> {
public:
    explicit CExplorer(WeakCore wpCore) : m_spBars(MakeComObject<CCommandBars>(wpCore)) {
        // The built-in "Standard" toolbar with the Send/Receive command.
        CComPtr<CommandBar> spBar;
        m_spBars->Add("Standard", msoBarTop, vtMissing, false, &spBar);
        spBar->put_Visible(true);
        CComPtr<CommandBarControls> spControls;
        spBar->get_Controls(&spControls);
        CComPtr<CommandBarControl> spControl;
        spControls->Add(msoControlButton, kSendReceiveControlId, vtMissing, vtMissing, false, &spControl);
    }
    HRESULT get_CommandBars(_CommandBars** pp) override {
        if (m_bClosed) return E_FAIL;
        return Out<_CommandBars>(pp, m_spBars);
    }
    void Close() {
        m_bClosed = true;
        m_spBars->Clear();
    }
    CCommandBars* Bars() const { return m_spBars; }

private:
    CComPtr<CCommandBars> m_spBars;
    bool m_bClosed = false;
};

class CInspector final : public CComObjectImpl<_Inspector, IConnectionPointContainer> {
public:
    CInspector(WeakCore wpCore, CMailItem* pItem)
        : m_wpCore(wpCore), m_spItem(pItem), m_spBars(MakeComObject<CCommandBars>(wpCore)),
          m_spEvents(MakeComObject<CConnectionPoint<InspectorEvents>>()) {}
    ~CInspector() override { m_spEvents->Clear(); }

    HRESULT get_CurrentItem(IDispatch** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (m_bClosed) return E_FAIL;
        return Out<IDispatch>(pp, static_cast<_MailItem*>(m_spItem.p));
    }
    HRESULT get_CommandBars(_CommandBars** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (m_bClosed) return E_FAIL;
        return Out<_CommandBars>(pp, m_spBars);
    }
    HRESULT Close(int32_t nSaveMode) override {
        auto spCore = m_wpCore.lock();
        if (!spCore) return E_FAIL;
        return spCore->Close(this, nSaveMode);
    }
    HRESULT Activate() override {
        auto spCore = m_wpCore.lock();
        if (!spCore) return E_FAIL;
        return spCore->Activate(this);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (riid != InspectorEvents::iid) return CONNECT_E_NOCONNECTION;
        return Out<IConnectionPoint>(pp, m_spEvents);
    }

    CMailItem* Item() const { return m_spItem; }
    CCommandBars* Bars() const { return m_spBars; }
    CConnectionPoint<InspectorEvents>* Events() const { return m_spEvents; }
    bool m_bClosed = false;
    bool m_bClosing = false;

private:
    WeakCore m_wpCore;
    CComPtr<CMailItem> m_spItem;
    CComPtr<CCommandBars> m_spBars;
    CComPtr<CConnectionPoint<InspectorEvents>> m_spEvents;
};

class CInspectors final : public CComObjectImpl<_Inspectors, IConnectionPointContainer> {
public:
    explicit CInspectors(WeakCore wpCore)
        : m_wpCore(std::move(wpCore)), m_spEvents(MakeComObject<CConnectionPoint<InspectorsEvents>>()) {}
    ~CInspectors() override { m_spEvents->Clear(); }

    HRESULT get_Count(int32_t* pn) override {
        auto spCore = m_wpCore.lock();
        return OutValue(pn, spCore ? static_cast<int32_t>(spCore->vecOpen.size()) : 0);
    }
    HRESULT Item(const CVariant& index, _Inspector** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto spCore = m_wpCore.lock();
        if (!spCore) return E_FAIL;
        int32_t n = IndexOf(index);
        if (n < 1 || static_cast<size_t>(n) > spCore->vecOpen.size()) return DISP_E_BADINDEX;
        return Out<_Inspector>(pp, spCore->vecOpen[static_cast<size_t>(n) - 1]);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (riid != InspectorsEvents::iid) return CONNECT_E_NOCONNECTION;
        return Out<IConnectionPoint>(pp, m_spEvents);
    }
    CConnectionPoint<InspectorsEvents>* Events() const { return m_spEvents; }

private:
    WeakCore m_wpCore;
    CComPtr<CConnectionPoint<InspectorsEvents>> m_spEvents;
};

// ---------------------------------------------------------------- host core

HRESULT CHostCore::Display(CMailItem* pItem, _Inspector** ppInspector) {
    if (ppInspector) *ppInspector = nullptr;
    if (bStopped) return E_FAIL;
    for (const auto& sp : vecOpen) {
        if (sp->Item() == pItem) {
            CComPtr<CInspector> spExisting = sp;
            Activate(spExisting);
            return ppInspector ? Out<_Inspector>(ppInspector, spExisting) : S_OK;
        }
    }
    auto spInspector = MakeComObject<CInspector>(wpSelf, pItem);
    vecOpen.push_back(spInspector);
    if (pObserver) pObserver->OnInspectorOpened(spInspector);
    CComPtr<CInspectors> spCollection = spInspectors;
    IDispatch* pArg = static_cast<_Inspector*>(spInspector.p);
    spCollection->Events()->Fire([pArg](InspectorsEvents* p) { p->NewInspector(pArg); });
    if (!spInspector->m_bClosed) Activate(spInspector);
    return ppInspector ? Out<_Inspector>(ppInspector, spInspector) : S_OK;
}

HRESULT CHostCore::Activate(CInspector* pInspector) {
    if (bStopped || pInspector->m_bClosed) return E_FAIL;
    if (pActive == pInspector) return S_OK;
    CComPtr<CInspector> spNew(pInspector);
    if (CComPtr<CInspector> spOld = pActive) {
        pActive = nullptr;
        spOld->Events()->Fire([](InspectorEvents* p) { p->Deactivate(); });
    }
    pActive = spNew;
    spNew->Events()->Fire([](InspectorEvents* p) { p->Activate(); });
    if (pObserver && pActive == spNew.p) pObserver->OnInspectorActivated(spNew);
    return S_OK;
}

HRESULT CHostCore::Deactivate(CInspector* pInspector) {
    if (pActive != pInspector) return S_FALSE;
    CComPtr<CInspector> spOld(pInspector);
    pActive = nullptr;
    spOld->Events()->Fire([](InspectorEvents* p) { p->Deactivate(); });
    return S_OK;
}

HRESULT CHostCore::Close(CInspector* pInspector, int32_t nSaveMode) {
    if (nSaveMode < olSave || nSaveMode > olPromptForSave) return E_INVALIDARG;
    if (pInspector->m_bClosed || pInspector->m_bClosing) return E_FAIL;
    CComPtr<CInspector> spHold(pInspector);
    CMailItem* pItem = pInspector->Item();
    if (nSaveMode != olDiscard && !pItem->IsDeleted()) {
        bool bSent = false;
        pItem->get_Sent(&bSent);
        if (!bSent) {
            HRESULT hr = pItem->Save();
            if (FAILED(hr) && !bStopped) return hr;
        }
    }
    pInspector->m_bClosing = true;
    Deactivate(pInspector);
    pInspector->Events()->Fire([](InspectorEvents* p) { p->Close(); });
    pInspector->m_bClosed = true;
    std::erase_if(vecOpen, [pInspector](const auto& sp) { return sp.p == pInspector; });
    if (pActive == pInspector) pActive = nullptr;
    pInspector->Bars()->Clear();
    if (pObserver) pObserver->OnInspectorClosed(pInspector);
    return S_OK;
}

void CHostCore::CloseWindowsOf(CMailItem* pItem) {
    std::vector<CComPtr<CInspector>> vec;
    for (const auto& sp : vecOpen)
        if (sp->Item() == pItem) vec.push_back(sp);
    for (auto& sp : vec) Close(sp, olDiscard);
}

// ---------------------------------------------------------------- application

CComPtr<CApplication> CApplication::Create(IMailBackend& backend, const CApplicationOptions& options) {
    auto spCore = std::make_shared<CHostCore>();
    spCore->pBackend = &backend;
    spCore->wpSelf = spCore;
    spCore->spInspectors = MakeComObject<CInspectors>(spCore);
    if (options.bWithExplorer) spCore->spExplorer = MakeComObject<CExplorer>(spCore);
    CComPtr<CApplication> sp;
    sp.Attach(new CApplication(spCore));
    return sp;
}

CApplication::~CApplication() { Shutdown(); }

HRESULT CApplication::ActiveExplorer(_Explorer** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (m_spCore->bStopped) return E_FAIL;
    return Out<_Explorer>(pp, m_spCore->spExplorer);
}

HRESULT CApplication::get_Inspectors(_Inspectors** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (m_spCore->bStopped) return E_FAIL;
    return Out<_Inspectors>(pp, m_spCore->spInspectors);
}

HRESULT CApplication::CreateItem(int32_t nItemType, IDispatch** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (m_spCore->bStopped) return E_FAIL;
    if (nItemType != olMailItem) return E_INVALIDARG;
    *pp = static_cast<_MailItem*>(new CMailItem(m_spCore, CMailMessage{}, std::nullopt, {}));
    return S_OK;
}

HRESULT CApplication::CreateItemFromTemplate(const std::string& strPath, const CVariant& inFolder, IDispatch** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (m_spCore->bStopped) return E_FAIL;
    if (strPath.empty()) return E_INVALIDARG;
    CFolder* pFolder = nullptr;
    if (!inFolder.IsMissing()) {
        CComQIPtr<MAPIFolder> spFolder(inFolder.AsObject());
        pFolder = dynamic_cast<CFolder*>(spFolder.p);
        if (!pFolder) return E_INVALIDARG;
    }
    CMailMessage msg;
    if (!m_spCore->pBackend->LoadTemplate(strPath, msg).empty()) return E_FAIL;
    msg.bSent = false;
    msg.strMessageId.clear();
    auto* pItem = new CMailItem(m_spCore, std::move(msg), std::nullopt, {});
    if (pFolder) pItem->SetPendingFolder(pFolder->Folder());
    *pp = static_cast<_MailItem*>(pItem);
    return S_OK;
}

HRESULT CApplication::GetNamespace(const std::string& strType, _NameSpace** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (m_spCore->bStopped) return E_FAIL;
    if (!EqualNoCase(strType, "MAPI")) return E_INVALIDARG;
    *pp = new CNameSpace(m_spCore);
    return S_OK;
}

HRESULT CApplication::OpenNewInspector(_Inspector** pp) {
    CComPtr<IDispatch> spItem;
    HRESULT hr = CreateItem(olMailItem, &spItem);
    if (FAILED(hr)) return hr;
    return OpenInspector(spItem, pp);
}

HRESULT CApplication::OpenInspector(IDispatch* pItem, _Inspector** pp) {
    CComQIPtr<_MailItem> spMail(pItem);
    auto* pMine = dynamic_cast<CMailItem*>(spMail.p);
    if (!pMine || pMine->Core().lock() != m_spCore) return E_INVALIDARG;
    if (pMine->IsDeleted()) return E_FAIL;
    return m_spCore->Display(pMine, pp);
}

namespace {
CInspector* Mine(_Inspector* p) { return dynamic_cast<CInspector*>(p); }
}  // namespace

HRESULT CApplication::ActivateInspector(_Inspector* p) {
    CInspector* pMine = Mine(p);
    if (!pMine) return E_INVALIDARG;
    return m_spCore->Activate(pMine);
}

HRESULT CApplication::DeactivateInspector(_Inspector* p) {
    CInspector* pMine = Mine(p);
    if (!pMine) return E_INVALIDARG;
    return m_spCore->Deactivate(pMine);
}

HRESULT CApplication::CloseInspector(_Inspector* p, int32_t nSaveMode) {
    CInspector* pMine = Mine(p);
    if (!pMine) return E_INVALIDARG;
    return m_spCore->Close(pMine, nSaveMode);
}

std::vector<CComPtr<_Inspector>> CApplication::OpenInspectors() const {
    return {m_spCore->vecOpen.begin(), m_spCore->vecOpen.end()};
}

CComPtr<_Inspector> CApplication::ActiveInspector() const { return m_spCore->pActive; }

std::vector<CComPtr<CommandBar>> CApplication::CommandBarsOf(IDispatch* pWindow) const {
    if (auto* p = dynamic_cast<CInspector*>(pWindow); p && !p->m_bClosed) return p->Bars()->Bars();
    if (auto* p = dynamic_cast<CExplorer*>(pWindow); p && p == m_spCore->spExplorer.p) return p->Bars()->Bars();
    return {};
}

std::vector<CComPtr<CommandBarControl>> CApplication::ControlsOf(CommandBar* pBar) {
    auto* p = dynamic_cast<CCommandBar*>(pBar);
    if (!p) return {};
    const auto& vec = p->Controls()->Controls();
    return {vec.begin(), vec.end()};
}

HRESULT CApplication::OpenExplorer() {
    if (m_spCore->bStopped) return E_FAIL;
    if (m_spCore->spExplorer) return S_FALSE;
    m_spCore->spExplorer = MakeComObject<CExplorer>(m_spCore);
    m_spCore->BarsChanged();
    return S_OK;
}

HRESULT CApplication::CloseExplorer() {
    CComPtr<CExplorer> sp = std::move(m_spCore->spExplorer);
    if (!sp) return S_FALSE;
    sp->Close();
    m_spCore->BarsChanged();
    return S_OK;
}

void CApplication::SetObserver(IHostObserver* pObserver) { m_spCore->pObserver = pObserver; }

void CApplication::Shutdown() {
    CHostCore& core = *m_spCore;
    if (core.bStopped) return;
    auto vecOpen = core.vecOpen;
    for (auto it = vecOpen.rbegin(); it != vecOpen.rend(); ++it) core.Close(*it, olDiscard);
    core.bStopped = true;
    core.pObserver = nullptr;
    CloseExplorer();
    // End every subscription, so that no sink and source keep each other.
    core.spInspectors->Events()->Clear();
    std::vector<CComPtr<CCommandBarButton>> vecButtons(core.vecButtons.begin(), core.vecButtons.end());
    for (auto& sp : vecButtons) sp->EndSubscriptions();
    for (auto& sp : vecOpen) sp->Events()->Clear();
}

IMailBackend& CApplication::Backend() const { return *m_spCore->pBackend; }
