#include "CDeliveryWorker.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <ctime>

using Clock = std::chrono::steady_clock;

namespace {

// "10:42", the local wall-clock time of a moment on the steady clock.
std::string LocalClock(Clock::time_point t) {
    const auto tWall = std::chrono::system_clock::now() +
                       std::chrono::duration_cast<std::chrono::system_clock::duration>(t - Clock::now());
    const std::time_t tt = std::chrono::system_clock::to_time_t(tWall);
    std::tm tm{};
    char sz[8] = "";
    if (localtime_r(&tt, &tm)) std::strftime(sz, sizeof sz, "%H:%M", &tm);
    return sz;
}

}  // namespace

CDeliveryWorker::CDeliveryWorker(CMailStore& store, CHostEvents& events, std::unique_ptr<ITransport> pTransport,
                                 std::unique_ptr<CMailReceiver> pReceiver, COptions opts)
    : m_store(store),
      m_events(events),
      m_pTransport(std::move(pTransport)),
      m_pReceiver(std::move(pReceiver)),
      m_opts(std::move(opts)) {
    m_fdWake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    m_fdNotify.Reset(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (m_fdNotify) {
        std::string strNew = m_store.ProfileDir() + "/Outbox/new";
        ::inotify_add_watch(m_fdNotify.Get(), strNew.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
}

CDeliveryWorker::~CDeliveryWorker() { Stop(); }

void CDeliveryWorker::Start() {
    if (m_thread.joinable()) return;
    m_bStop = false;
    m_thread = std::thread([this] { Run(); });
}

void CDeliveryWorker::Stop() {
    m_bStop = true;
    Wake(false, false);
    if (m_thread.joinable()) m_thread.join();
}

void CDeliveryWorker::Wake(bool bNow, bool bReceive) {
    {
        std::lock_guard lock(m_mutex);
        m_bWoken = true;
        m_bForce = m_bForce || bNow;
        m_bReceive = m_bReceive || bReceive;
    }
    uint64_t nOne = 1;
    if (m_fdWake) {
        [[maybe_unused]] ssize_t n = ::write(m_fdWake.Get(), &nOne, sizeof nOne);
    }
}

void CDeliveryWorker::Run() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    Recover();
    bool bForce = false;
    while (!m_bStop) {
        bool bReceive = false;
        {
            std::lock_guard lock(m_mutex);
            bForce = bForce || m_bForce;
            bReceive = m_bReceive;
            m_bWoken = m_bForce = m_bReceive = false;
        }
        Clock::time_point tNext = Clock::time_point::max();
        RunRound(bForce, tNext);
        bForce = false;
        if (bReceive && !m_bStop) {
            Receive();
            RunRound(false, tNext);  // anything queued meanwhile
        }
        bool bWoken;
        {
            std::lock_guard lock(m_mutex);
            bWoken = m_bWoken;
        }
        if (!bWoken && !m_bStop) WaitForWork(tNext);
    }
}

void CDeliveryWorker::WaitForWork(Clock::time_point tNext) {
    int nTimeout = -1;
    if (tNext != Clock::time_point::max()) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tNext - Clock::now()).count();
        nTimeout = static_cast<int>(std::clamp<long long>(ms + 1, 0, 24LL * 3600 * 1000));
    }
    pollfd fds[2] = {{m_fdWake.Get(), POLLIN, 0}, {m_fdNotify.Get(), POLLIN, 0}};
    ::poll(fds, m_fdNotify ? 2 : 1, nTimeout);
    char buf[4096];
    uint64_t nCount;
    [[maybe_unused]] ssize_t n = ::read(m_fdWake.Get(), &nCount, sizeof nCount);
    if (m_fdNotify) {
        while (::read(m_fdNotify.Get(), buf, sizeof buf) > 0) {}
    }
}

void CDeliveryWorker::Record(const std::string& strId, const CDeliveryRecord& rec) {
    if (CResult<> r = m_store.PutRecord(strId, rec); !r) m_events.Post(EHostEvent::Warning, strId, r.Problem());
}

void CDeliveryWorker::Recover() {
    for (const auto& strId : m_store.StoredRecordIds()) {
        CDeliveryRecord rec = m_store.GetRecord(strId);
        // Still there, even unreadable: its record decides, never its bytes.
        const bool bInOutbox = m_store.IsIn(EMailFolder::Outbox, strId);
        if (rec.bUnreadable) {
            // Told at each start until the user settles it; never guessed at.
            if (bInOutbox) m_events.Post(EHostEvent::InDoubt, strId, rec.strReason);
            continue;
        }
        const bool bDelivered = rec.state == EHostEvent::Handed || rec.state == EHostEvent::Sent;
        if (bDelivered && bInOutbox && m_store.IsIn(EMailFolder::SentItems, strId)) {
            // Stopped inside the move to Sent Items, which starts only after
            // the server's yes: its copy there is kept, the Outbox one goes.
            if (CResult<> r = m_store.Delete(EMailFolder::Outbox, strId); !r) {
                m_events.Post(EHostEvent::Warning, strId, r.Problem());
                continue;
            }
            if (!rec.vecRefused.empty())
                Record(strId, {EHostEvent::SentWithRefusals, rec.strReason, rec.vecRefused, 0});
            m_events.Post(EHostEvent::Sent, strId, "delivered before the host stopped");
        } else if (rec.state == EHostEvent::Handed && bInOutbox) {
            rec.state = EHostEvent::InDoubt;
            rec.strReason =
                "the host stopped after handing the message to the server and before its answer; "
                "it may have arrived, so it is not sent again by itself";
            Record(strId, rec);
            m_events.Post(EHostEvent::InDoubt, strId, rec.strReason);
        } else if (rec.state == EHostEvent::Sent && bInOutbox) {
            CResult<std::string> rNewId = m_store.MoveToSent(strId);
            if (!rNewId) {
                m_events.Post(EHostEvent::Warning, strId, rNewId.Problem());
                continue;
            }
            CDeliveryRecord done;
            if (!rec.vecRefused.empty()) {
                done = rec;
                done.state = EHostEvent::SentWithRefusals;
            }
            // Refused names under the new id first: see DeliverOne.
            Record(*rNewId, done);
            if (*rNewId != strId) Record(strId, {});
            m_events.Post(EHostEvent::Sent, *rNewId, "delivered before the host stopped");
        } else if (rec.state == EHostEvent::Sent && !rec.vecRefused.empty() &&
                   m_store.IsIn(EMailFolder::SentItems, strId)) {
            // Stopped after the move, before the record said so: the names stay.
            rec.state = EHostEvent::SentWithRefusals;
            Record(strId, rec);
        } else if (!bInOutbox && rec.state != EHostEvent::SentWithRefusals) {
            Record(strId, {});  // the message has gone elsewhere
        }
    }
}

void CDeliveryWorker::RunRound(bool bForce, Clock::time_point& tNext) {
    for (const auto& strId : m_store.List(EMailFolder::Outbox)) {
        if (m_bStop) return;
        CDeliveryRecord rec = m_store.GetRecord(strId);
        if (rec.state == EHostEvent::Failed || rec.state == EHostEvent::InDoubt || rec.state == EHostEvent::Handed ||
            rec.state == EHostEvent::Sent)
            continue;
        if (!m_pTransport) {
            if (m_setReportedStuck.insert(strId).second)
                m_events.Post(EHostEvent::Stuck, strId, "stays in Outbox: " + m_opts.strNoTransportWhy);
            continue;
        }
        if (auto it = m_mapRetry.find(strId); it != m_mapRetry.end() && !bForce && it->second.tDue > Clock::now()) {
            tNext = std::min(tNext, it->second.tDue);
            continue;
        }
        DeliverOne(strId);
        if (auto it = m_mapRetry.find(strId); it != m_mapRetry.end()) tNext = std::min(tNext, it->second.tDue);
    }
}

void CDeliveryWorker::DeliverOne(const std::string& strId) {
    CResult<std::string> rBytes = m_store.BeginSending(strId);
    if (!rBytes) {
        // Moved or deleted meanwhile is nothing to tell; one still there
        // that cannot be read (too large, unreadable) would wait unseen for ever.
        if (!m_store.IsIn(EMailFolder::Outbox, strId)) return;
        Record(strId, {EHostEvent::Failed, rBytes.Problem(), {}, 0});
        m_events.Post(EHostEvent::Failed, strId, rBytes.Problem());
        return;
    }
    if (CResult<> r = m_store.ClearSentCopy(strId); !r) {
        // A copy there would later pass for the proof of delivery.
        m_events.Post(EHostEvent::Warning, strId, "not sent now: " + r.Problem());
        m_store.EndSending(strId);
        return;
    }
    CResult<CWireMessage> rWire = CMimeWriter::PrepareForWire(*rBytes, m_opts.strDefaultFrom, m_opts.strEnvelopeFrom);
    if (!rWire) {
        Record(strId, {EHostEvent::Failed, rWire.Problem(), {}, 0});
        m_store.EndSending(strId);
        m_events.Post(EHostEvent::Failed, strId, rWire.Problem());
        return;
    }
    const CWireMessage& wire = *rWire;
    std::string strRecordProblem;
    // Without a durable "handed" record a crash after the hand-over would
    // send the message again: no record, no hand-over.
    auto fnHanded = [&] {
        strRecordProblem = m_store.PutRecord(strId, {EHostEvent::Handed, "", {}, 0}).Problem();
        return strRecordProblem.empty();
    };
    CSendResult result = m_pTransport->Send(wire, fnHanded, m_bStop);
    CRetry& retry = m_mapRetry[strId];
    int nAttempts = ++retry.nAttempts;

    if (result.outcome == EHostEvent::Sent) {
        m_mapRetry.erase(strId);
        CDeliveryRecord rec{EHostEvent::Sent, result.strReason, result.vecRefused, nAttempts};
        // Without refusals the copy in Sent Items that the move makes first
        // tells a restart all it needs (see the class comment); with them,
        // their names must be kept through a stop before or in the move.
        // Without this record such a stop leaves the "handed" one, and the
        // message is kept as in doubt: never sent twice, but the user has
        // to be told.
        if (CResult<> r = rec.vecRefused.empty() ? CResult<>() : m_store.PutRecord(strId, rec); !r)
            m_events.Post(EHostEvent::Warning, strId, "delivered, but not recorded as sent: " + r.Problem());
        CResult<std::string> rNewId = m_store.MoveToSent(strId);
        m_store.EndSending(strId);
        if (!rNewId) {
            // Without its copy in Sent Items a restart would take it as in
            // doubt; the record lets it finish the move instead.
            if (rec.vecRefused.empty()) Record(strId, rec);
            m_events.Post(EHostEvent::Warning, strId, "delivered, but not moved to Sent Items: " + rNewId.Problem());
            return;
        }
        const std::string& strNewId = *rNewId;
        if (result.vecRefused.empty()) {
            Record(strId, {});
            m_events.Post(EHostEvent::Sent, strNewId, "to " + std::to_string(wire.vecRcpt.size()) + " recipient(s)");
            return;
        }
        // The refused names are written under the new id before the old
        // record goes (usually the same id: one rewrite, never an erase in
        // between), so that no stop can lose them.
        rec.state = EHostEvent::SentWithRefusals;
        Record(strNewId, rec);
        if (strNewId != strId) Record(strId, {});
        std::string strText;
        for (const auto& str : result.vecRefused) strText += (strText.empty() ? "" : "; ") + str;
        m_events.Post(EHostEvent::SentWithRefusals, strNewId, strText);
        return;
    }
    if (result.outcome == EHostEvent::Failed) {
        m_mapRetry.erase(strId);
        Record(strId, {EHostEvent::Failed, result.strReason, result.vecRefused, nAttempts});
        m_store.EndSending(strId);
        m_events.Post(EHostEvent::Failed, strId, result.strReason);
        return;
    }
    if (result.bHanded && !result.bVerdict) {
        m_mapRetry.erase(strId);
        std::string strWhy =
            "the connection ended after the message was handed over and before the server "
            "answered (" +
            result.strReason + "); it may have arrived, so it is not sent again by itself";
        Record(strId, {EHostEvent::InDoubt, strWhy, {}, nAttempts});
        m_store.EndSending(strId);
        m_events.Post(EHostEvent::InDoubt, strId, strWhy);
        return;
    }
    if (!strRecordProblem.empty() && !result.bHanded) result.strReason += " (" + strRecordProblem + ")";
    auto delay = m_opts.firstRetry * (1LL << std::min(nAttempts - 1, 20));
    retry.tDue = Clock::now() + std::min<std::chrono::seconds>(delay, m_opts.maxRetry);
    Record(strId, {EHostEvent::RetryLater, result.strReason, {}, nAttempts});
    m_store.EndSending(strId);
    m_events.Post(EHostEvent::RetryLater, strId, result.strReason + "; trying again at " + LocalClock(retry.tDue));
}

void CDeliveryWorker::Receive() {
    if (!m_pReceiver) return;
    std::vector<std::string> vecIds;
    CResult<> rFetched = m_pReceiver->FetchNew(vecIds, m_bStop);
    for (const auto& strId : vecIds) m_events.Post(EHostEvent::Received, strId, "");
    if (!rFetched) m_events.Post(EHostEvent::ReceiveFailed, "", rFetched.Problem());
}
