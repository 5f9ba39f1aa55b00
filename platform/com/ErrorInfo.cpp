#include "ErrorInfo.h"

#include <dlfcn.h>

#include <utility>

// The calling thread's error slot of this copy of the runtime.
extern "C" void* QuilloryThreadErrorSlot();

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

// Per thread, as each thread's calls fail on their own. A plain pointer
// holding one reference: it needs no per-thread set-up that another
// module's copy of this file could run twice.
thread_local IErrorInfo* g_pThreadError = nullptr;

// One error object per thread for the whole process, as a real COM runtime
// keeps it: an add-in module links its own copy of this file, and the
// reason a host call left would be lost on the way to it. The program's
// slot, when it exports one (the host does), serves every module.
IErrorInfo*& ThreadError() {
    using FnSlot = void* (*)();
    static const FnSlot s_fnSlot = [] {
        const auto fn = reinterpret_cast<FnSlot>(::dlsym(RTLD_DEFAULT, "QuilloryThreadErrorSlot"));
        return fn ? fn : &QuilloryThreadErrorSlot;
    }();
    return *static_cast<IErrorInfo**>(s_fnSlot());
}

}  // namespace

extern "C" void* QuilloryThreadErrorSlot() { return &g_pThreadError; }

HRESULT SetErrorInfo(DWORD dwReserved, IErrorInfo* pErrorInfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    if (pErrorInfo) pErrorInfo->AddRef();
    if (IErrorInfo* pOld = std::exchange(ThreadError(), pErrorInfo)) pOld->Release();
    return S_OK;
}

HRESULT GetErrorInfo(DWORD dwReserved, IErrorInfo** ppErrorInfo) {
    if (!ppErrorInfo) return E_POINTER;
    *ppErrorInfo = nullptr;
    if (dwReserved != 0) return E_INVALIDARG;
    *ppErrorInfo = std::exchange(ThreadError(), nullptr);  // the reference goes to the caller
    return *ppErrorInfo ? S_OK : S_FALSE;
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
