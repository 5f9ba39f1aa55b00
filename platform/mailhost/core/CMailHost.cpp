#include "CMailHost.h"

#include "CSendmailTransport.h"
#include "CSmtpTransport.h"
#include "CTemplateFile.h"

CMailHost::CMailHost(CHostOptions opts)
    : m_opts(std::move(opts)),
      m_store(m_opts.strProfileDir.empty() ? CMailStore::DefaultProfileDir() : m_opts.strProfileDir) {}

CMailHost::~CMailHost() {
    Stop();
}

std::string CMailHost::Start() {
    if (m_pWorker) return {};
    // A restart (after the account was edited) must not keep the old account.
    m_bHaveAccount = false;
    m_account = {};
    if (std::string str = m_store.Open(); !str.empty()) return "cannot open the mail profile: " + str;

    std::string strAccounts = m_opts.strAccountsPath.empty() ? CAccountsFile::DefaultPath() : m_opts.strAccountsPath;
    CAccountsFile::CResult accounts = CAccountsFile::Load(strAccounts);
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
        }
        else wopts.strNoTransportWhy = "no account is set up in " + strAccounts + " and there is no sendmail program";
    }
    m_strTransportName = pTransport ? pTransport->Describe() : "";
    if (!pTransport) m_vecConfigMessages.push_back(wopts.strNoTransportWhy);
    m_pWorker = std::make_unique<CDeliveryWorker>(m_store, m_events, std::move(pTransport), std::move(pReceiver), wopts);
    m_pWorker->Start();
    return {};
}

void CMailHost::Stop() {
    if (m_pWorker) m_pWorker->Stop();
    m_pWorker.reset();
}

CDeliveryRecord CMailHost::DeliveryStatus(const std::string& strId) {
    return m_store.GetRecord(strId);
}

std::string CMailHost::RetryDelivery(const std::string& strId) {
    CDeliveryRecord rec = m_store.GetRecord(strId);
    if (rec.state != EDeliveryState::Failed && rec.state != EDeliveryState::InDoubt)
        return "message " + strId + " is not held back";
    if (std::string str = m_store.PutRecord(strId, {}); !str.empty()) return str;
    if (m_pWorker) m_pWorker->Wake(true, false);
    return {};
}

std::string CMailHost::SaveTemplate(const std::string& strPath, const CMailMessage& msg) {
    return CTemplateFile::Save(strPath, msg);
}

std::string CMailHost::LoadTemplate(const std::string& strPath, CMailMessage& msg) {
    return CTemplateFile::Load(strPath, msg);
}

std::string CMailHost::SaveToFolder(EMailFolder folder, const CMailMessage& msg, std::string& strId) {
    std::string strProblem = m_store.Save(folder, msg, strId);
    if (strProblem.empty() && folder == EMailFolder::Outbox && m_pWorker) m_pWorker->Wake(false, false);
    return strProblem;
}

std::vector<std::string> CMailHost::ListFolder(EMailFolder folder) {
    return m_store.List(folder);
}

std::string CMailHost::LoadFromFolder(EMailFolder folder, const std::string& strId, CMailMessage& msg) {
    return m_store.Load(folder, strId, msg);
}

std::string CMailHost::MoveMessage(EMailFolder from, const std::string& strId, EMailFolder to, std::string& strNewId) {
    std::string strProblem = m_store.Move(from, strId, to, strNewId);
    if (strProblem.empty() && to == EMailFolder::Outbox && m_pWorker) m_pWorker->Wake(false, false);
    return strProblem;
}

std::string CMailHost::DeleteMessage(EMailFolder folder, const std::string& strId) {
    return m_store.Delete(folder, strId);
}

std::string CMailHost::Submit(const CMailMessage& msg) {
    if (msg.vecTo.empty() && msg.vecCc.empty() && msg.vecBcc.empty()) return "the message has no recipients";
    CMailMessage copy = msg;
    copy.bSent = false;
    if (m_bHaveAccount && copy.strFrom.empty()) copy.strFrom = m_account.Sender();
    std::string strAddr;
    CMimeWriter::ParseMailbox(copy.strFrom, strAddr);
    if (copy.strMessageId.empty()) copy.strMessageId = CMimeWriter::NewMessageId(strAddr);
    std::string strId;
    if (std::string str = m_store.Save(EMailFolder::Outbox, copy, strId); !str.empty()) return str;
    if (m_pWorker) m_pWorker->Wake(false, false);
    return {};
}

void CMailHost::SendReceiveNow() {
    if (m_pWorker) m_pWorker->Wake(true, true);
}
