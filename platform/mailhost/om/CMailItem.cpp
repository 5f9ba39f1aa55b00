#include "CMailItem.h"

#include <algorithm>

#include "CAttachments.h"
#include "CFolder.h"
#include "CRecipients.h"

HRESULT CMailItem::get_Recipients(Recipients** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    *pp = new CRecipients(this);
    return S_OK;
}

HRESULT CMailItem::get_Attachments(Attachments** pp) {
    if (!om::ClearOut(pp)) return E_POINTER;
    *pp = new CAttachments(this);
    return S_OK;
}

HRESULT CMailItem::Move(MAPIFolder* pDest, IDispatch** ppMoved) {
    if (ppMoved) *ppMoved = nullptr;
    auto* pFolder = dynamic_cast<CFolder*>(pDest);
    if (!pFolder) return E_INVALIDARG;
    auto spCore = om::LiveCore(m_wpCore);
    if (!spCore || m_bDeleted || m_bSubmitted) return E_FAIL;
    EMailFolder to = pFolder->Folder();
    if (!m_folder) {
        std::string strId;
        if (!spCore->pBackend->SaveToFolder(to, m_msg, strId).Ok()) return E_FAIL;
        m_folder = to;
        m_strId = strId;
    } else {
        if (!spCore->pBackend->SaveToFolder(*m_folder, m_msg, m_strId).Ok()) return E_FAIL;
        if (*m_folder != to) {
            std::string strNewId;
            if (!spCore->pBackend->MoveMessage(*m_folder, m_strId, to, strNewId).Ok()) return E_FAIL;
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

HRESULT CMailItem::SetHeader(const std::string& strName, const std::string& strValue) {
    // Only fields of one's own: the standard ones have properties of their own.
    if (strName.size() < 3 || !om::EqualNoCase(strName.substr(0, 2), "X-") ||
        strName.find_first_of(": \t\r\n") != std::string::npos || strValue.find_first_of("\r\n") != std::string::npos)
        return E_INVALIDARG;
    auto& vec = m_msg.vecHeaders;
    std::erase_if(vec, [&](const auto& h) { return om::EqualNoCase(h.first, strName); });
    vec.emplace_back(strName, strValue);
    return S_OK;
}

HRESULT CMailItem::GetHeader(const std::string& strName, std::string* pstrValue) {
    if (!om::ClearOut(pstrValue)) return E_POINTER;
    for (const auto& [strHave, strValue] : m_msg.vecHeaders)
        if (om::EqualNoCase(strHave, strName)) {
            *pstrValue = strValue;
            return S_OK;
        }
    return S_FALSE;
}

HRESULT CMailItem::Send() {
    auto spCore = om::LiveCore(m_wpCore);
    if (!spCore || m_bDeleted || m_bSubmitted || m_msg.bSent) return E_FAIL;
    if (m_msg.vecTo.empty() && m_msg.vecCc.empty() && m_msg.vecBcc.empty()) return E_FAIL;
    CMailMessage msg = m_msg;
    msg.strMessageId.clear();  // a new one for every sending
    // A stored message the user sends again (one in doubt, from the Outbox)
    // is a new sending, not the scheduled occurrence the host holds already.
    if (m_folder && *m_folder != EMailFolder::Drafts)
        std::erase_if(msg.vecHeaders, [](const auto& h) { return om::EqualNoCase(h.first, kOccurrenceHeader); });
    const CSubmission submitted = spCore->pBackend->Submit(msg);
    switch (submitted.kind) {
        case CSubmission::EKind::Refused: return ReportError(E_FAIL, submitted.strProblem);
        case CSubmission::EKind::NotStored: return ReportError(kSendNotStoredNow, submitted.strProblem);
        case CSubmission::EKind::Queued:
        case CSubmission::EKind::AlreadyQueued: break;
    }
    // The id the sender's results come back with.
    m_msg.strMessageId = submitted.strMessageId;
    // The message now lives in the Outbox: its draft goes.
    // Already queued: a draft left behind must not make Send look failed.
    if (m_folder) (void)spCore->pBackend->DeleteMessage(*m_folder, m_strId);
    m_folder.reset();
    m_strId.clear();
    m_bSubmitted = true;
    spCore->CloseWindowsOf(this);
    return submitted.kind == CSubmission::EKind::AlreadyQueued ? kSendAlreadyQueued : S_OK;
}
