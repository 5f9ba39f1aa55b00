#pragma once
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "CHostEvents.h"
#include "CMailReceiver.h"
#include "CMailStore.h"
#include "COwnedFd.h"
#include "ITransport.h"

// The delivery thread: sends what is in Outbox, moves it to Sent Items,
// retries temporary failures with backoff and keeps permanent ones with
// their reason. Also runs receiving, so all network work is on one thread.
//
// Never sent twice: before the final byte is handed over a record "handed"
// is made durable. After the server's yes the message is moved to Sent
// Items, and the move's first step, the copy there, durable before the
// Outbox file goes, is itself the proof of the yes: a "handed" message
// found at start-up with its copy in Sent Items was delivered, and its move
// is finished. One found without it means the host stopped while the
// server's answer was outstanding: the message may have arrived, so it is
// kept as in doubt and not resent by itself. Where some recipients were
// refused, a record "sent" with their names comes before the move, since
// they must survive it.
class CDeliveryWorker {
public:
    struct COptions {
        std::chrono::seconds firstRetry{30};
        std::chrono::seconds maxRetry{3600};
        std::string strDefaultFrom;     // "Name <addr>" for messages without From
        std::string strEnvelopeFrom;    // bare address, or empty for the From header's
        std::string strNoTransportWhy;  // set when pTransport is null
    };

    CDeliveryWorker(CMailStore& store, CHostEvents& events, std::unique_ptr<ITransport> pTransport,
                    std::unique_ptr<CMailReceiver> pReceiver, COptions opts);
    ~CDeliveryWorker();
    CDeliveryWorker(const CDeliveryWorker&) = delete;
    CDeliveryWorker& operator=(const CDeliveryWorker&) = delete;

    void Start();
    // Lets a transfer that has handed its message over finish; drops one
    // that has not (it stays queued). Joins the thread.
    void Stop();
    // bNow: ignore retry delays for this round; bReceive: fetch mail too.
    void Wake(bool bNow, bool bReceive);

private:
    void Run();
    void Recover();
    void RunRound(bool bForce, std::chrono::steady_clock::time_point& tNext);
    void DeliverOne(const std::string& strId);
    void Receive();
    void WaitForWork(std::chrono::steady_clock::time_point tNext);
    // Writes a message's delivery record; a record that cannot be written
    // is reported as a warning about that message, and delivery goes on.
    void Record(const std::string& strId, const CDeliveryRecord& rec);

    CMailStore& m_store;
    CHostEvents& m_events;
    std::unique_ptr<ITransport> m_pTransport;
    std::unique_ptr<CMailReceiver> m_pReceiver;
    COptions m_opts;

    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    bool m_bWoken = false, m_bForce = false, m_bReceive = false;
    COwnedFd m_fdWake;    // eventfd: Wake and Stop
    COwnedFd m_fdNotify;  // inotify on Outbox/new for files other programs drop in

    struct CRetry {
        int nAttempts = 0;
        std::chrono::steady_clock::time_point tDue;
    };
    std::map<std::string, CRetry> m_mapRetry;
    std::set<std::string> m_setReportedStuck;
};
