#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "CDeliveryWords.h"
#include "COwnedFd.h"

struct CHostEventRecord {
    EHostEvent kind;
    std::string strId;
    std::string strText;
};

// What the delivery thread reports to the host thread. Post from any
// thread; the host drains on its own, woken through Fd() (an eventfd that
// is readable while events wait) or by polling.
class CHostEvents {
public:
    CHostEvents();
    ~CHostEvents();
    CHostEvents(const CHostEvents&) = delete;
    CHostEvents& operator=(const CHostEvents&) = delete;

    void Post(EHostEvent kind, std::string strId, std::string strText);
    std::vector<CHostEventRecord> Drain();
    int Fd() const { return m_fdEvent.Get(); }
    // Waits until events are queued or the time is up; true if any are.
    bool WaitFor(std::chrono::milliseconds timeout);
    // The log line's word for the kind, "will retry".
    static const char* KindName(EHostEvent kind) { return CDeliveryWords::Of(kind).pszLine; }

    // Told about every event that Drain hands out, on the thread that
    // drains, after the queue's lock is let go (so it may post). The host's
    // object model listens here to tell add-ins how their messages fared.
    using CListener = std::function<void(const CHostEventRecord&)>;
    int Listen(CListener fn);
    void StopListening(int nToken);

private:
    std::vector<std::pair<int, CListener>> m_vecListeners;  // touched on the draining thread only
    int m_nLastToken = 0;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CHostEventRecord> m_deqEvents;
    COwnedFd m_fdEvent;
};
