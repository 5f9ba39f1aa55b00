#include "CMailHost.h"

#include "CSendmailTransport.h"
#include "CSmtpTransport.h"
#include "CTemplateFile.h"

CMailHost::CMailHost(CHostOptions opts)
    : m_opts(std::move(opts)),
      m_store(m_opts.strProfileDir.empty() ? CMailStore::DefaultProfileDir() : m_opts.strProfileDir) {}

CMailHost::~CMailHost() { Stop(); }

CResult<> CMailHost::Start() {
    if (m_pWorker) return {};
    // A restart (after the account was edited) must not keep the old account.
    m_bHaveAccount = false;
    m_account = {};
    if (CResult<> r = m_store.Open(); !r) return CProblem("cannot open the mail profile: " + r.Problem());

    std::string strAccounts = m_opts.strAccountsPath.empty() ? CAccountsFile::DefaultPath() : m_opts.strAccountsPath;
    CAccountsFile::CReport accounts = CAccountsFile::LoadWithPassword(strAccounts, m_opts.pKeyring);
    m_vecConfigMessages = accounts.vecErrors;
    m_vecConfigMessages.insert(m_vecConfigMessages.end(), accounts.vecWarnings.begin(), accounts.vecWarnings.end());

    std::unique_ptr<ITransport> pTransport;
    std::unique_ptr<CMailReceiver> pReceiver;
    CDeliveryWorker::COptions wopts;
    wopts.firstRetry = m_opts.firstRetry;
    wopts.maxRetry = m_opts.maxRetry;
    if (accounts.bFound && accounts.vecErrors.empty()) {
        m_account = accounts.account;
        m_bHaveAccount = true;
        wopts.strDefaultFrom = m_account.Sender();
        wopts.strEnvelopeFrom = m_account.strAddress;
        pTransport = std::make_unique<CSmtpTransport>(m_account);
        if (!m_account.strReceiveUrl.empty()) pReceiver = std::make_unique<CMailReceiver>(m_account, m_store);
    } else if (accounts.bFound) {
        // A broken account must not quietly send some other way.
        wopts.strNoTransportWhy = "the account in " + strAccounts + " cannot be used: " + accounts.vecErrors.front();
    } else {
        std::string strProgram = m_opts.strSendmail == "none" ? std::string()
                                 : m_opts.strSendmail.empty() ? CSendmailTransport::FindProgram()
                                                              : m_opts.strSendmail;
        if (!strProgram.empty()) {
            pTransport = std::make_unique<CSendmailTransport>(strProgram);
            wopts.strDefaultFrom = CSendmailTransport::LocalAddress();
        } else wopts.strNoTransportWhy = "no account is set up in " + strAccounts + " and there is no sendmail program";
    }
    m_strTransportName = pTransport ? pTransport->Describe() : "";
    m_pTransport = pTransport.get();
    if (!pTransport) m_vecConfigMessages.push_back(wopts.strNoTransportWhy);
    m_pWorker =
        std::make_unique<CDeliveryWorker>(m_store, m_events, std::move(pTransport), std::move(pReceiver), wopts);
    m_pWorker->Start();
    return {};
}

void CMailHost::Stop() {
    if (m_pWorker) m_pWorker->Stop();
    m_pTransport = nullptr;
    m_pWorker.reset();
}

CDeliveryRecord CMailHost::DeliveryStatus(const std::string& strId) { return m_store.GetRecord(strId); }

CResult<> CMailHost::RetryDelivery(const std::string& strId) {
    CDeliveryRecord rec = m_store.GetRecord(strId);
    if (rec.state != EHostEvent::Failed && rec.state != EHostEvent::InDoubt)
        return CProblem("message " + strId + " is not held back");
    QUILLORY_TRY(m_store.PutRecord(strId, {}));
    if (m_pWorker) m_pWorker->Wake(true, false);
    return {};
}

CResult<> CMailHost::SaveTemplate(const std::string& strPath, const CMailMessage& msg) {
    return CTemplateFile::Save(strPath, msg);
}

CResult<> CMailHost::LoadTemplate(const std::string& strPath, CMailMessage& msg) {
    return CTemplateFile::Load(strPath, msg);
}

CResult<> CMailHost::SaveToFolder(EMailFolder folder, const CMailMessage& msg, std::string& strId) {
    QUILLORY_TRY(m_store.Save(folder, msg, strId));
    if (folder == EMailFolder::Outbox && m_pWorker) m_pWorker->Wake(false, false);
    return {};
}

std::vector<std::string> CMailHost::ListFolder(EMailFolder folder) { return m_store.List(folder); }

CResult<> CMailHost::LoadFromFolder(EMailFolder folder, const std::string& strId, CMailMessage& msg) {
    return m_store.Load(folder, strId, msg);
}

CResult<> CMailHost::MoveMessage(EMailFolder from, const std::string& strId, EMailFolder to, std::string& strNewId) {
    QUILLORY_TRY(m_store.Move(from, strId, to, strNewId));
    if (to == EMailFolder::Outbox && m_pWorker) m_pWorker->Wake(false, false);
    return {};
}

CResult<> CMailHost::DeleteMessage(EMailFolder folder, const std::string& strId) {
    return m_store.Delete(folder, strId);
}

CSubmission CMailHost::Submit(const CMailMessage& msg) {
    using EKind = CSubmission::EKind;
    if (msg.vecTo.empty() && msg.vecCc.empty() && msg.vecBcc.empty())
        return {EKind::Refused, "", "the message has no recipients"};
    // Handed over before a stop that kept the sender from recording it.
    if (auto strHeld = m_store.QueuedFor(msg)) return {EKind::AlreadyQueued, *strHeld, ""};
    CMailMessage copy = msg;
    copy.bSent = false;
    if (m_bHaveAccount && copy.strFrom.empty()) copy.strFrom = m_account.Sender();
    if (copy.strMessageId.empty()) {
        // Without a usable sender the id takes a stand-in domain; a bad
        // sender is reported when the message is composed below.
        CResult<std::string> rAddress = CMimeWriter::ParseMailbox(copy.strFrom);
        copy.strMessageId = CMimeWriter::NewMessageId(rAddress ? *rAddress : std::string());
    }
    CResult<std::string> rBytes = CMimeWriter::Compose(copy, {});
    if (!rBytes) return {EKind::Refused, "", rBytes.Problem()};
    // Stored anyway, it would wait for good: no folder reads it back, no
    // server takes it. The server's SIZE once it has said one.
    const size_t nServerMax = m_pTransport ? m_pTransport->AnnouncedMaxBytes() : 0;
    const bool bServerLimit = nServerMax > 0 && nServerMax < CMaildir::kMaxMessageBytes;
    const size_t nMax = bServerLimit ? nServerMax : CMaildir::kMaxMessageBytes;
    if (rBytes->size() > nMax)
        return {EKind::Refused, "",
                "the message is too large to send: " + std::to_string(rBytes->size()) + " bytes, more than " +
                    std::to_string(nMax) + " bytes (" +
                    (bServerLimit ? "the most the server " + m_strTransportName + " takes"
                                  : "the most a message may have") +
                    ")"};
    if (CResult<std::string> rId = m_store.Queue(copy, *rBytes); !rId) return {EKind::NotStored, "", rId.Problem()};
    if (m_pWorker) m_pWorker->Wake(false, false);
    return {EKind::Queued, copy.strMessageId, ""};
}

void CMailHost::SendReceiveNow() {
    if (m_pWorker) m_pWorker->Wake(true, true);
}
