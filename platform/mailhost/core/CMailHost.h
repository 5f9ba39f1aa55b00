#pragma once
#include <memory>
#include <string>
#include <vector>

#include "CAccount.h"
#include "CDeliveryWorker.h"
#include "CHostEvents.h"
#include "CMailStore.h"
#include "IMailBackend.h"
#include "IPasswordStore.h"

struct CHostOptions {
    std::string strProfileDir;           // empty: CMailStore::DefaultProfileDir()
    std::string strAccountsPath;         // empty: CAccountsFile::DefaultPath()
    std::string strSendmail;             // empty: look in the usual places; "none": never
    IPasswordStore* pKeyring = nullptr;  // the desktop keyring; nullptr: this session has none
    std::chrono::seconds firstRetry{30};
    std::chrono::seconds maxRetry{3600};
};

// The mail host core: store, templates, delivery and receiving behind
// IMailBackend. Call everything from one (the host's) thread; delivery
// results arrive through Events().
class CMailHost : public IMailBackend {
public:
    explicit CMailHost(CHostOptions opts = {});
    ~CMailHost() override;

    // Opens the profile, reads the account and starts the delivery thread.
    CResult<> Start();
    void Stop();

    CHostEvents& Events() { return m_events; }
    // Problems with accounts.ini or how mail goes out; warnings included.
    const std::vector<std::string>& ConfigMessages() const { return m_vecConfigMessages; }
    std::string TransportName() const { return m_strTransportName; }
    const std::string& ProfileDir() const { return m_store.ProfileDir(); }
    // A message's delivery record (Outbox: failures; Sent Items: refusals).
    CDeliveryRecord DeliveryStatus(const std::string& strId);
    // Clears a failed or in-doubt mark so the message is tried again.
    CResult<> RetryDelivery(const std::string& strId);

    CResult<> SaveTemplate(const std::string& strPath, const CMailMessage& msg) override;
    CResult<> LoadTemplate(const std::string& strPath, CMailMessage& msg) override;
    CResult<> SaveToFolder(EMailFolder folder, const CMailMessage& msg, std::string& strId) override;
    std::vector<std::string> ListFolder(EMailFolder folder) override;
    CResult<> LoadFromFolder(EMailFolder folder, const std::string& strId, CMailMessage& msg) override;
    CResult<> MoveMessage(EMailFolder from, const std::string& strId, EMailFolder to, std::string& strNewId) override;
    CResult<> DeleteMessage(EMailFolder folder, const std::string& strId) override;
    CSubmission Submit(const CMailMessage& msg) override;
    void SendReceiveNow() override;
    CHostEvents* DeliveryEvents() override { return &m_events; }

private:
    CHostOptions m_opts;
    CMailStore m_store;
    CHostEvents m_events;
    CAccount m_account;
    bool m_bHaveAccount = false;
    const ITransport* m_pTransport = nullptr;  // the worker's, while there is one
    std::vector<std::string> m_vecConfigMessages;
    std::string m_strTransportName;
    std::unique_ptr<CDeliveryWorker> m_pWorker;
};
