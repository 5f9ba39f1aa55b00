#pragma once
// A mail message of the model: stored in a folder, or new and not yet saved.
#include <optional>
#include <string>

#include "CHostCore.h"
#include "OmSupport.h"

class CMailItem final : public CComObjectImpl<_MailItem> {
public:
    CMailItem(WeakCore wpCore, CMailMessage msg, std::optional<EMailFolder> folder, std::string strId)
        : m_wpCore(std::move(wpCore)), m_msg(std::move(msg)), m_folder(folder), m_strId(std::move(strId)) {}

    HRESULT get_Sent(bool* pb) override { return om::OutValue(pb, m_msg.bSent); }
    HRESULT Save() override {
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore) return ReportError(E_FAIL, "the host has stopped");
        if (m_bDeleted) return ReportError(E_FAIL, "the message has been deleted");
        if (m_bSubmitted) return ReportError(E_FAIL, "the message has been sent");
        EMailFolder folder = m_folder.value_or(m_pendingFolder.value_or(EMailFolder::Drafts));
        std::string strId = m_folder ? m_strId : std::string();
        // The caller's message box says why, as the host's own windows do.
        if (CResult<> r = spCore->pBackend->SaveToFolder(folder, m_msg, strId); !r)
            return ReportError(E_FAIL, r.Problem());
        m_folder = folder;
        m_strId = strId;
        return S_OK;
    }
    HRESULT SaveAs(const std::string& strPath, const CVariant& type) override {
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore) return E_FAIL;
        if (strPath.empty()) return E_INVALIDARG;
        auto nType = type.AsInt();
        if (type.IsMissing() || !nType) return E_INVALIDARG;
        if (*nType != olTemplate) return E_NOTIMPL;
        CMailMessage msg = m_msg;
        msg.bSent = false;
        msg.strMessageId.clear();
        if (CResult<> r = spCore->pBackend->SaveTemplate(strPath, msg); !r) return ReportError(E_FAIL, r.Problem());
        return S_OK;
    }
    HRESULT get_Subject(std::string* p) override { return om::OutValue(p, m_msg.strSubject); }
    HRESULT put_Subject(const std::string& s) override { return Set(m_msg.strSubject, s); }
    HRESULT get_Body(std::string* p) override { return om::OutValue(p, m_msg.strBody); }
    HRESULT put_Body(const std::string& s) override { return Set(m_msg.strBody, s); }
    HRESULT get_BodyFormat(int32_t* p) override {
        return om::OutValue(p, static_cast<int32_t>(m_msg.bHtml ? olFormatHTML : olFormatPlain));
    }
    HRESULT get_To(std::string* p) override { return om::OutValue(p, om::JoinRecipients(m_msg.vecTo)); }
    HRESULT put_To(const std::string& s) override { return Set(m_msg.vecTo, om::SplitRecipients(s)); }
    HRESULT get_CC(std::string* p) override { return om::OutValue(p, om::JoinRecipients(m_msg.vecCc)); }
    HRESULT put_CC(const std::string& s) override { return Set(m_msg.vecCc, om::SplitRecipients(s)); }
    HRESULT get_BCC(std::string* p) override { return om::OutValue(p, om::JoinRecipients(m_msg.vecBcc)); }
    HRESULT put_BCC(const std::string& s) override { return Set(m_msg.vecBcc, om::SplitRecipients(s)); }
    HRESULT get_Recipients(Recipients** pp) override;
    HRESULT get_Attachments(Attachments** pp) override;
    HRESULT get_DeleteAfterSubmit(bool* pb) override { return om::OutValue(pb, m_bDeleteAfterSubmit); }
    HRESULT put_DeleteAfterSubmit(bool b) override {
        m_bDeleteAfterSubmit = b;
        return S_OK;
    }
    HRESULT Move(MAPIFolder* pDest, IDispatch** ppMoved) override;
    HRESULT Delete() override {
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore || m_bDeleted) return E_FAIL;
        if (!m_folder) {
            m_bDeleted = true;
            return S_OK;
        }
        if (*m_folder == EMailFolder::DeletedItems) {
            if (!spCore->pBackend->DeleteMessage(*m_folder, m_strId).Ok()) return E_FAIL;
            m_bDeleted = true;
            m_folder.reset();
            m_strId.clear();
            return S_OK;
        }
        std::string strNewId;
        if (!spCore->pBackend->MoveMessage(*m_folder, m_strId, EMailFolder::DeletedItems, strNewId).Ok()) return E_FAIL;
        m_folder = EMailFolder::DeletedItems;
        m_strId = strNewId;
        return S_OK;
    }
    HRESULT get_EntryID(std::string* p) override { return om::OutValue(p, m_folder ? m_strId : std::string()); }
    HRESULT Display(const CVariant&) override {
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore || m_bDeleted || m_bSubmitted) return E_FAIL;
        return spCore->Display(this, nullptr);
    }
    HRESULT Send() override;

    HRESULT SetHeader(const std::string& strName, const std::string& strValue) override;
    HRESULT GetHeader(const std::string& strName, std::string* pstrValue) override;
    HRESULT get_MessageId(std::string* pstr) override { return om::OutValue(pstr, m_msg.strMessageId); }

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
