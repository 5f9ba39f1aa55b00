// The add-in module: its class factory and its registration, exported with
// C linkage under the names the host and the registration tool look for.
#include <initializer_list>
#include <iostream>
#include <utility>

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
    std::cerr << "quilsend: " << (bRegister ? "registering " : "unregistering ") << pszWhat << " in " << file.Path()
              << " failed: " << r.Problem() << '\n';
    return E_FAIL;
}

// The scripts (what each registers, its text) in order, up to the first
// that fails; nothing without the module's own path.
HRESULT RunInOrder(bool bRegister, std::initializer_list<std::pair<const char*, const char*>> scripts) {
    const auto repl = Replacements();
    if (repl.at("MODULE").empty()) return E_UNEXPECTED;
    for (const auto& [pszWhat, pszScript] : scripts)
        if (HRESULT hr = Run(bRegister, pszWhat, pszScript, repl); FAILED(hr)) return hr;
    return S_OK;
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
    return RunInOrder(
        true, {{"the application id", kRgsModule}, {"the add-in class", kRgsAddin}, {"the type library", kRgsTypeLib}});
}

HRESULT DllUnregisterServer() {
    return RunInOrder(
        false,
        {{"the add-in class", kRgsAddin}, {"the type library", kRgsTypeLib}, {"the application id", kRgsModule}});
}

}  // extern "C"
