#pragma once
// A host application that fails where a test says: its main window's
// command bars, the new toolbar, its controls or the new button. Everything
// else is the real host's.
#include "CApplication.h"

enum class EFault { None, CommandBarsFail, CommandBarsEmpty, NoToolbar, NoControls, NoButton };

// No object, and the answer hr.
template <class T>
HRESULT Nothing(T** pp, HRESULT hr) {
    *pp = nullptr;
    return hr;
}

// A host object that knows the fault it is to show.
template <class... Interfaces>
class CFaultyObject : public CComObjectImpl<Interfaces...> {
public:
    explicit CFaultyObject(EFault fault) : m_fault(fault) {}

protected:
    const EFault m_fault;
};

class CFaultyBar final : public CFaultyObject<CommandBar, CommandBarControls> {
public:
    using CFaultyObject::CFaultyObject;
    HRESULT get_Controls(CommandBarControls** pp) override {
        if (m_fault == EFault::NoControls) return Nothing(pp, S_OK);
        *pp = this;
        AddRef();
        return S_OK;
    }
    HRESULT get_Name(std::string* p) override { return *p = "Quillory", S_OK; }
    HRESULT get_Visible(bool* p) override { return *p = false, S_OK; }
    HRESULT put_Visible(bool) override { return S_OK; }
    HRESULT get_Position(int32_t* p) override { return *p = 1, S_OK; }
    HRESULT get_Temporary(bool* p) override { return *p = true, S_OK; }
    HRESULT Delete() override { return S_OK; }
    // CommandBarControls: a button that never comes.
    HRESULT Add(const CVariant&, const CVariant&, const CVariant&, const CVariant&, const CVariant&,
                CommandBarControl** pp) override {
        return Nothing(pp, S_OK);
    }
    HRESULT get_Count(int32_t* p) override { return *p = 0, S_OK; }
    HRESULT get_Item(const CVariant&, CommandBarControl** pp) override { return Nothing(pp, DISP_E_BADINDEX); }
};

class CFaultyBars final : public CFaultyObject<_CommandBars> {
public:
    using CFaultyObject::CFaultyObject;
    HRESULT Add(const CVariant&, const CVariant&, const CVariant&, const CVariant&, CommandBar** pp) override {
        if (m_fault == EFault::NoToolbar) return Nothing(pp, E_FAIL);
        *pp = new CFaultyBar(m_fault);
        return S_OK;
    }
    HRESULT get_Count(int32_t* p) override { return *p = 0, S_OK; }
    HRESULT get_Item(const CVariant&, CommandBar** pp) override { return Nothing(pp, E_INVALIDARG); }
    HRESULT FindControl(const CVariant&, const CVariant&, const CVariant&, const CVariant&,
                        CommandBarControl** pp) override {
        return Nothing(pp, S_OK);
    }
};

class CFaultyExplorer final : public CFaultyObject<_Explorer> {
public:
    using CFaultyObject::CFaultyObject;
    HRESULT get_CommandBars(_CommandBars** pp) override {
        if (m_fault == EFault::CommandBarsFail) return Nothing(pp, E_ABORT);
        if (m_fault == EFault::CommandBarsEmpty) return Nothing(pp, S_OK);
        *pp = new CFaultyBars(m_fault);
        return S_OK;
    }
};

class CFaultyApplication final : public CFaultyObject<_Application> {
public:
    CFaultyApplication(CApplication* pReal, EFault fault) : CFaultyObject(fault), m_spReal(pReal) {}
    HRESULT ActiveExplorer(_Explorer** pp) override {
        *pp = new CFaultyExplorer(m_fault);
        return S_OK;
    }
    HRESULT get_Inspectors(_Inspectors** pp) override { return m_spReal->get_Inspectors(pp); }
    HRESULT CreateItem(int32_t n, IDispatch** pp) override { return m_spReal->CreateItem(n, pp); }
    HRESULT CreateItemFromTemplate(const std::string& s, const CVariant& v, IDispatch** pp) override {
        return m_spReal->CreateItemFromTemplate(s, v, pp);
    }
    HRESULT GetNamespace(const std::string& s, _NameSpace** pp) override { return m_spReal->GetNamespace(s, pp); }
    HRESULT get_Name(std::string* pstr) override { return m_spReal->get_Name(pstr); }

private:
    CComPtr<CApplication> m_spReal;
};

// Answers nothing but IUnknown and IDispatch: not an application.
class CNotAnApplication final : public CComObjectImpl<IDispatch> {};
