#include "ErrorInfo.h"

namespace {

// Made by the COM runtime, not by a module's code: it does not count among
// a module's live objects (a reason left on the thread must not keep a
// module from unloading).
class CErrorInfo final : public IErrorInfo {
public:
    explicit CErrorInfo(std::string strDescription) : m_strDescription(std::move(strDescription)) {}
    virtual ~CErrorInfo() = default;
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IUnknown::iid && riid != IErrorInfo::iid) return E_NOINTERFACE;
        *ppv = static_cast<IErrorInfo*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_nRef; }
    ULONG Release() override {
        const ULONG n = --m_nRef;
        if (n == 0) delete this;
        return n;
    }
    HRESULT GetDescription(std::string* pstr) override {
        if (!pstr) return E_POINTER;
        *pstr = m_strDescription;
        return S_OK;
    }

private:
    std::atomic<ULONG> m_nRef{1};
    std::string m_strDescription;
};

// Per thread, as each thread's calls fail on their own.
thread_local CComPtr<IErrorInfo> g_spThreadError;

}  // namespace

HRESULT SetErrorInfo(DWORD dwReserved, IErrorInfo* pErrorInfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    g_spThreadError = pErrorInfo;
    return S_OK;
}

HRESULT GetErrorInfo(DWORD dwReserved, IErrorInfo** ppErrorInfo) {
    if (!ppErrorInfo) return E_POINTER;
    *ppErrorInfo = nullptr;
    if (dwReserved != 0) return E_INVALIDARG;
    if (!g_spThreadError) return S_FALSE;
    *ppErrorInfo = g_spThreadError.Detach();
    return S_OK;
}

HRESULT ReportError(HRESULT hr, const std::string& strDescription) {
    CComPtr<IErrorInfo> spInfo;
    spInfo.Attach(new CErrorInfo(strDescription));
    (void)SetErrorInfo(0, spInfo);  // reserved 0: cannot fail
    return hr;
}

std::string TakeErrorDescription() {
    CComPtr<IErrorInfo> spInfo;
    std::string str;
    if (GetErrorInfo(0, &spInfo) == S_OK && spInfo)
        (void)spInfo->GetDescription(&str);  // a failing read leaves it empty
    return str;
}
