#pragma once
// Connection points: event sources that sinks subscribe to. Advise gives a
// cookie, Unadvise ends that subscription; events reach every subscriber,
// and a subscriber may unadvise (itself or others) while an event is fired.
#include <functional>
#include <utility>
#include <vector>

#include "Unknown.h"

// clang-format off
QUILLORY_INTERFACE(IConnectionPoint, IUnknown, "{B196B286-BAB4-101A-B69C-00AA00341D07}")
    virtual HRESULT GetConnectionInterface(IID* piid) = 0;
    // Asks pUnkSink for the event interface and keeps that reference.
    virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
QUILLORY_END_INTERFACE(IConnectionPoint)

QUILLORY_INTERFACE(IConnectionPointContainer, IUnknown, "{B196B284-BAB4-101A-B69C-00AA00341D07}")
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
QUILLORY_END_INTERFACE(IConnectionPointContainer)
// clang-format on

// A connection point for the event interface Sink. Cookies start at 1 and
// are never reused by the same point.
template <class Sink>
class CConnectionPoint final : public CComObjectImpl<IConnectionPoint> {
public:
    HRESULT GetConnectionInterface(IID* piid) override {
        if (!piid) return E_POINTER;
        *piid = Sink::iid;
        return S_OK;
    }
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (!pdwCookie) return E_POINTER;
        *pdwCookie = 0;
        if (!pUnkSink) return E_POINTER;
        CComPtr<Sink> spSink;
        if (FAILED(pUnkSink->QueryInterface(Sink::iid, reinterpret_cast<void**>(&spSink))) || !spSink)
            return CONNECT_E_CANNOTCONNECT;
        DWORD dwCookie = ++m_dwLastCookie;
        m_vecSinks.emplace_back(dwCookie, std::move(spSink));
        *pdwCookie = dwCookie;
        return S_OK;
    }
    HRESULT Unadvise(DWORD dwCookie) override {
        for (auto it = m_vecSinks.begin(); it != m_vecSinks.end(); ++it) {
            if (it->first == dwCookie) {
                CComPtr<Sink> spGone = std::move(it->second);  // released after the erase
                m_vecSinks.erase(it);
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    }

    // Calls fn(sink) for every subscriber advised when the event starts and
    // still advised when its turn comes. Each sink is held for its call.
    void Fire(const std::function<void(Sink*)>& fn) {
        CComPtr<CConnectionPoint> spSelf(this);
        auto vecSnapshot = m_vecSinks;
        for (auto& [dwCookie, spSink] : vecSnapshot)
            if (IsAdvised(dwCookie)) fn(spSink);
    }

    bool IsAdvised(DWORD dwCookie) const {
        for (const auto& entry : m_vecSinks)
            if (entry.first == dwCookie) return true;
        return false;
    }
    size_t Count() const { return m_vecSinks.size(); }
    // Ends every subscription (used when the source goes away).
    void Clear() {
        auto vecGone = std::move(m_vecSinks);
        m_vecSinks.clear();
    }

private:
    std::vector<std::pair<DWORD, CComPtr<Sink>>> m_vecSinks;
    DWORD m_dwLastCookie = 0;
};

// Subscribe a sink to a source's connection point for iid.
HRESULT AtlAdvise(IUnknown* pUnkSource, IUnknown* pUnkSink, REFIID iid, DWORD* pdwCookie);
HRESULT AtlUnadvise(IUnknown* pUnkSource, REFIID iid, DWORD dwCookie);
