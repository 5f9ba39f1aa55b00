#include "CHostEvents.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

CHostEvents::CHostEvents() : m_fdEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CHostEvents::~CHostEvents() = default;

void CHostEvents::Post(EHostEvent kind, std::string strId, std::string strText) {
    {
        std::lock_guard lock(m_mutex);
        m_deqEvents.push_back({kind, std::move(strId), std::move(strText)});
    }
    m_cv.notify_all();
    uint64_t nOne = 1;
    if (m_fdEvent) [[maybe_unused]]
        auto n = ::write(m_fdEvent.Get(), &nOne, sizeof nOne);
}

std::vector<CHostEventRecord> CHostEvents::Drain() {
    std::vector<CHostEventRecord> vec;
    {
        std::lock_guard lock(m_mutex);
        uint64_t nCount = 0;
        if (m_fdEvent) [[maybe_unused]]
            auto n = ::read(m_fdEvent.Get(), &nCount, sizeof nCount);
        vec.assign(std::make_move_iterator(m_deqEvents.begin()), std::make_move_iterator(m_deqEvents.end()));
        m_deqEvents.clear();
    }
    // A listener may stop listening (itself or another) while it is told.
    for (const auto& e : vec) {
        auto vecNow = m_vecListeners;
        for (const auto& [nToken, fn] : vecNow) {
            const bool bStill = std::any_of(m_vecListeners.begin(), m_vecListeners.end(),
                                            [nToken = nToken](const auto& l) { return l.first == nToken; });
            if (bStill) fn(e);
        }
    }
    return vec;
}

int CHostEvents::Listen(CListener fn) {
    m_vecListeners.emplace_back(++m_nLastToken, std::move(fn));
    return m_nLastToken;
}

void CHostEvents::StopListening(int nToken) {
    std::erase_if(m_vecListeners, [nToken](const auto& l) { return l.first == nToken; });
}

bool CHostEvents::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [this] { return !m_deqEvents.empty(); });
}
