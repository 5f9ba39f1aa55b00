#pragma once
// IUnknown and IDispatch, the smart reference CComPtr, a ref-counting base
// for our objects and the class factory interface.
#include <atomic>
#include <memory>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "ComTypes.h"

// Every interface names its id (`iid`) and its base interface (`Base`), so
// that QueryInterface can answer for the whole chain.
struct IUnknown {
    static constexpr IID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    template <class Q>
    HRESULT QueryInterface(Q** pp) {
        return QueryInterface(Q::iid, reinterpret_cast<void**>(pp));
    }

protected:
    ~IUnknown() = default;
};

// Declares an interface on BaseName with its id, as every interface below
// IUnknown is: the methods go between the two macros, indented as a class's
// (clang-format is turned off around them).
#define QUILLORY_INTERFACE(Name, BaseName, Iid) \
    struct Name : BaseName {                    \
        using Base = BaseName;                  \
        static constexpr IID iid = MakeGuid(Iid);

#define QUILLORY_END_INTERFACE(Name) \
protected:                           \
    ~Name() = default;               \
    }                                \
    ;

// Late binding is not needed: IDispatch is kept as the interface that host
// objects and event arguments are passed as, asked for the typed interface.
// clang-format off
QUILLORY_INTERFACE(IDispatch, IUnknown, "{00020400-0000-0000-C000-000000000046}")
QUILLORY_END_INTERFACE(IDispatch)
// clang-format on

// A counted reference: AddRef on taking, Release on replacing and going.
template <class T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(std::nullptr_t) noexcept {}
    CComPtr(T* p) noexcept : p(p) {
        if (p) p->AddRef();
    }
    CComPtr(const CComPtr& o) noexcept : CComPtr(o.p) {}
    CComPtr(CComPtr&& o) noexcept : p(std::exchange(o.p, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CComPtr(const CComPtr<U>& o) noexcept : CComPtr(static_cast<T*>(o.p)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CComPtr(CComPtr<U>&& o) noexcept : p(o.Detach()) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* q) noexcept {
        if (q) q->AddRef();
        T* old = std::exchange(p, q);
        if (old) old->Release();
        return *this;
    }
    CComPtr& operator=(const CComPtr& o) noexcept { return *this = o.p; }
    CComPtr& operator=(CComPtr&& o) noexcept {
        if (this != std::addressof(o)) {
            T* old = std::exchange(p, std::exchange(o.p, nullptr));
            if (old) old->Release();
        }
        return *this;
    }
    CComPtr& operator=(std::nullptr_t) noexcept {
        Release();
        return *this;
    }

    // Drops the reference held (the pointer becomes empty).
    void Release() noexcept {
        if (T* old = std::exchange(p, nullptr)) old->Release();
    }
    // Takes over a reference without AddRef / gives it up without Release.
    void Attach(T* q) noexcept {
        Release();
        p = q;
    }
    T* Detach() noexcept { return std::exchange(p, nullptr); }
    // Address for an out-parameter: any reference held is released first.
    T** operator&() noexcept {
        Release();
        return &p;
    }
    T* operator->() const noexcept { return p; }
    T& operator*() const noexcept { return *p; }
    operator T*() const noexcept { return p; }
    T* Get() const noexcept { return p; }
    explicit operator bool() const noexcept { return p != nullptr; }

    // Copies the reference into an out-parameter (AddRef).
    HRESULT CopyTo(T** pp) const noexcept {
        if (!pp) return E_POINTER;
        *pp = p;
        if (p) p->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) const noexcept {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (!p) return E_POINTER;
        return p->QueryInterface(Q::iid, reinterpret_cast<void**>(pp));
    }

    T* p = nullptr;
};

// A reference obtained by asking another one for interface T.
template <class T>
class CComQIPtr : public CComPtr<T> {
public:
    CComQIPtr() = default;
    CComQIPtr(IUnknown* pUnk) {
        if (pUnk) pUnk->QueryInterface(T::iid, reinterpret_cast<void**>(&this->p));
    }
    template <class U>
    CComQIPtr(const CComPtr<U>& sp) : CComQIPtr(static_cast<IUnknown*>(sp.p)) {}
};

// Module-wide counts: objects alive and server locks (IClassFactory::LockServer).
struct CComModule {
    static std::atomic<long>& ObjectCount();
    static std::atomic<long>& LockCount();
    // True when no object is alive and the server is not locked.
    static bool CanUnloadNow() { return ObjectCount() == 0 && LockCount() == 0; }
};

namespace com_detail {
template <class I>
constexpr bool ChainHas(REFIID riid) {
    if (riid == I::iid) return true;
    if constexpr (std::is_same_v<I, IUnknown>) return false;
    else return ChainHas<typename I::Base>(riid);
}
}  // namespace com_detail

// Base of our COM objects: reference counting, deletion at zero, and a
// QueryInterface that answers every interface listed (and their bases; the
// first listed interface is the IUnknown identity and wins for shared bases).
// Derived classes may override QueryInterface for a different map.
template <class... Ifaces>
class CComObjectImpl : public Ifaces... {
    static_assert(sizeof...(Ifaces) > 0);
    using First = std::tuple_element_t<0, std::tuple<Ifaces...>>;

public:
    CComObjectImpl() { ++CComModule::ObjectCount(); }
    CComObjectImpl(const CComObjectImpl&) = delete;
    CComObjectImpl& operator=(const CComObjectImpl&) = delete;
    virtual ~CComObjectImpl() { --CComModule::ObjectCount(); }

    ULONG AddRef() override { return ++m_nRef; }
    ULONG Release() override {
        ULONG n = --m_nRef;
        if (n == 0) delete this;
        return n;
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IUnknown::iid) {
            *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
        } else {
            (void)(... || TryOne<Ifaces>(riid, ppv));
        }
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) {
        return QueryInterface(Q::iid, reinterpret_cast<void**>(pp));
    }
    // The identity reference (not counted), for calls that take IUnknown*.
    IUnknown* GetUnknown() { return static_cast<First*>(this); }

    ULONG RefCount() const { return m_nRef; }

protected:
    // The object is created with one reference, owned by its creator.
    std::atomic<ULONG> m_nRef{1};

private:
    template <class I>
    bool TryOne(REFIID riid, void** ppv) {
        if (!com_detail::ChainHas<I>(riid)) return false;
        *ppv = static_cast<I*>(this);
        return true;
    }
};

// A new object of type T held by a CComPtr (objects start at one reference).
template <class T, class... Args>
CComPtr<T> MakeComObject(Args&&... args) {
    CComPtr<T> sp;
    sp.Attach(new T(std::forward<Args>(args)...));
    return sp;
}

// clang-format off
QUILLORY_INTERFACE(IClassFactory, IUnknown, "{00000001-0000-0000-C000-000000000046}")
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
    virtual HRESULT LockServer(bool bLock) = 0;
QUILLORY_END_INTERFACE(IClassFactory)
// clang-format on

// The standard class factory for a default-constructible class T (made with
// one reference, asked for riid, then its own reference dropped).
// Aggregation is not supported: an outer unknown gives CLASS_E_NOAGGREGATION.
template <class T>
class CClassFactory final : public CComObjectImpl<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        T* pObj = new (std::nothrow) T();
        if (!pObj) return E_OUTOFMEMORY;
        HRESULT hr = pObj->QueryInterface(riid, ppv);
        pObj->Release();
        return hr;
    }
    HRESULT LockServer(bool bLock) override {
        if (bLock) ++CComModule::LockCount();
        else --CComModule::LockCount();
        return S_OK;
    }
};
