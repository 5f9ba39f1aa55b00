#include <cstdio>

#include "ConnectionPoint.h"

std::string GUID::ToString() const {
    char buf[39];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Data1, Data2, Data3, Data4[0],
                  Data4[1], Data4[2], Data4[3], Data4[4], Data4[5], Data4[6], Data4[7]);
    return buf;
}

std::string HResultToString(HRESULT hr) {
    struct Entry {
        HRESULT hr;
        const char* psz;
    };
    static constexpr Entry kNames[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_ABORT, "E_ABORT"},
        {E_FAIL, "E_FAIL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
        {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION"},
        {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT"},
        {DISP_E_BADINDEX, "DISP_E_BADINDEX"},
    };
    for (const auto& e : kNames)
        if (e.hr == hr) return e.psz;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(hr));
    return buf;
}

std::atomic<long>& CComModule::ObjectCount() {
    static std::atomic<long> n{0};
    return n;
}

std::atomic<long>& CComModule::LockCount() {
    static std::atomic<long> n{0};
    return n;
}

namespace {
HRESULT FindPoint(IUnknown* pUnkSource, REFIID iid, CComPtr<IConnectionPoint>& spCP) {
    if (!pUnkSource) return E_INVALIDARG;
    CComPtr<IConnectionPointContainer> spCPC;
    HRESULT hr = pUnkSource->QueryInterface(&spCPC);
    if (FAILED(hr)) return hr;
    return spCPC->FindConnectionPoint(iid, &spCP);
}
}  // namespace

HRESULT AtlAdvise(IUnknown* pUnkSource, IUnknown* pUnkSink, REFIID iid, DWORD* pdwCookie) {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    CComPtr<IConnectionPoint> spCP;
    HRESULT hr = FindPoint(pUnkSource, iid, spCP);
    if (FAILED(hr)) return hr;
    return spCP->Advise(pUnkSink, pdwCookie);
}

HRESULT AtlUnadvise(IUnknown* pUnkSource, REFIID iid, DWORD dwCookie) {
    CComPtr<IConnectionPoint> spCP;
    HRESULT hr = FindPoint(pUnkSource, iid, spCP);
    if (FAILED(hr)) return hr;
    return spCP->Unadvise(dwCookie);
}
