// The add-in module: its class factory and its registration, exported with
// C linkage under the names the host and the registration tool look for.
#include <iostream>

#include "CAddin.h"
#include "CAddinPaths.h"
#include "CRegistrar.h"
#include "RgsScripts.h"

namespace {

CRegistrar::CReplacements Replacements() {
    const std::string strModule = CAddinPaths::ModulePath();
    std::string strDir = CAddinPaths::InstallDirOf(strModule);
    if (strDir.size() > 1) strDir.pop_back();
    return {{"MODULE", strModule}, {"MODULEDIR", strDir}, {"APPID", APPID_Quillory.ToString()}};
}

// One script against the registry file; stops the caller at its failure.
HRESULT Run(bool bRegister, const char* pszWhat, const char* pszScript, const CRegistrar::CReplacements& repl) {
    const CRegistryFile file;
    const CResult<> r =
        bRegister ? CRegistrar::Register(file, pszScript, repl) : CRegistrar::Unregister(file, pszScript, repl);
    if (r) return S_OK;
    std::cerr << "quilsend: " << (bRegister ? "registering " : "unregistering ") << pszWhat << " in "
              << file.Path() << " failed: " << r.Problem() << '\n';
    return E_FAIL;
}

}  // namespace

extern "C" {

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_Addin) return CLASS_E_CLASSNOTAVAILABLE;
    auto spFactory = MakeComObject<CClassFactory<CAddin>>();
    return spFactory->QueryInterface(riid, ppv);
}

HRESULT DllCanUnloadNow() { return CComModule::CanUnloadNow() ? S_OK : S_FALSE; }

HRESULT DllRegisterServer() {
    const auto repl = Replacements();
    if (repl.at("MODULE").empty()) return E_UNEXPECTED;
    HRESULT hr = Run(true, "the application id", kRgsModule, repl);
    if (SUCCEEDED(hr)) hr = Run(true, "the add-in class", kRgsAddin, repl);
    if (SUCCEEDED(hr)) hr = Run(true, "the type library", kRgsTypeLib, repl);
    return hr;
}

HRESULT DllUnregisterServer() {
    const auto repl = Replacements();
    if (repl.at("MODULE").empty()) return E_UNEXPECTED;
    HRESULT hr = Run(false, "the add-in class", kRgsAddin, repl);
    if (SUCCEEDED(hr)) hr = Run(false, "the type library", kRgsTypeLib, repl);
    if (SUCCEEDED(hr)) hr = Run(false, "the application id", kRgsModule, repl);
    return hr;
}

}  // extern "C"
