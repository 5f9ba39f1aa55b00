#include "CAddinLoader.h"

#include <dlfcn.h>

#include <exception>

namespace {

using CGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CEntryFn = HRESULT (*)();

std::string StringValue(const CRegistryStore& reg, ERegRoot root, const std::string& strPath,
                        const std::string& strName) {
    auto v = reg.GetValue(root, strPath, strName);
    return v && v->eType == CRegValue::EType::String ? v->strData : std::string();
}

std::string DlError() {
    const char* psz = ::dlerror();
    return psz ? psz : "unknown error";
}

}  // namespace

int CAddinLoader::LoadAll(const CRegistryStore& registry, IDispatch* pApplication) {
    for (const std::string& strProgId : registry.SubkeyNames(ERegRoot::LocalMachine, kAddinsKey)) {
        const std::string strKey = std::string(kAddinsKey) + "\\" + strProgId;
        auto behavior = registry.GetValue(ERegRoot::LocalMachine, strKey, "LoadBehavior");
        if (!behavior || behavior->eType != CRegValue::EType::Dword || behavior->dwData != 3) continue;
        std::string strName = StringValue(registry, ERegRoot::LocalMachine, strKey, "FriendlyName");
        CLoaded loaded;
        loaded.strName = strName.empty() ? strProgId : strName + " (" + strProgId + ")";
        if (CResult<> r = LoadOne(registry, strProgId, pApplication, loaded); !r) {
            m_fnLog("add-in " + loaded.strName + " is not loaded: " + r.Problem());
            Unload(loaded);
            continue;
        }
        m_fnLog("add-in " + loaded.strName + " connected");
        m_vecLoaded.push_back(std::move(loaded));
    }
    return static_cast<int>(m_vecLoaded.size());
}

CResult<> CAddinLoader::LoadOne(const CRegistryStore& reg, const std::string& strProgId, IDispatch* pApplication,
                                CLoaded& loaded) {
    const std::string strClsid = StringValue(reg, ERegRoot::ClassesRoot, strProgId + "\\CLSID", "");
    const auto clsid = GUID::Parse(strClsid);
    if (!clsid) return CProblem("its ProgID names no class id");
    const std::string strModule =
        StringValue(reg, ERegRoot::ClassesRoot, "CLSID\\" + strClsid + "\\InprocServer32", "");
    if (strModule.empty()) return CProblem("class " + strClsid + " names no module");
    loaded.hModule = ::dlopen(strModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!loaded.hModule) return CProblem("cannot load " + strModule + ": " + DlError());
    auto fnGet = reinterpret_cast<CGetClassObjectFn>(::dlsym(loaded.hModule, "DllGetClassObject"));
    if (!fnGet) return CProblem(strModule + " has no DllGetClassObject");
    try {
        CComPtr<IClassFactory> spFactory;
        HRESULT hr = fnGet(*clsid, IClassFactory::iid, reinterpret_cast<void**>(&spFactory));
        if (FAILED(hr) || !spFactory) return CProblem("no class factory (" + HResultToString(hr) + ")");
        CComPtr<IUnknown> spUnk;
        hr = spFactory->CreateInstance(nullptr, IUnknown::iid, reinterpret_cast<void**>(&spUnk));
        if (FAILED(hr) || !spUnk) return CProblem("cannot be created (" + HResultToString(hr) + ")");
        hr = spUnk->QueryInterface(&loaded.spAddin);
        if (FAILED(hr) || !loaded.spAddin) return CProblem("has no connection interface (" + HResultToString(hr) + ")");
        hr = loaded.spAddin->OnConnection(pApplication, ext_cm_Startup, nullptr, nullptr);
        if (FAILED(hr)) return CProblem("its connection failed (" + HResultToString(hr) + ")");
    } catch (const std::exception& e) {
        return CProblem(std::string("it failed while connecting: ") + e.what());
    } catch (...) {
        return CProblem("it failed while connecting");
    }
    return {};
}

void CAddinLoader::Unload(CLoaded& loaded) {
    if (loaded.spAddin && loaded.hModule) {
        try {
            loaded.spAddin.Release();
        } catch (...) {
            m_fnLog("add-in " + loaded.strName + " failed while being released");
        }
    }
    if (!loaded.hModule) return;
    auto fnCanUnload = reinterpret_cast<CEntryFn>(::dlsym(loaded.hModule, "DllCanUnloadNow"));
    // A module whose objects are still referenced stays loaded.
    if (!fnCanUnload || fnCanUnload() == S_OK) ::dlclose(loaded.hModule);
    else m_fnLog("add-in " + loaded.strName + " still has objects in use; its module stays loaded");
    loaded.hModule = nullptr;
}

void CAddinLoader::UnloadAll() {
    for (auto it = m_vecLoaded.rbegin(); it != m_vecLoaded.rend(); ++it) {
        try {
            HRESULT hr = it->spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
            if (FAILED(hr)) m_fnLog("add-in " + it->strName + ": disconnection failed (" + HResultToString(hr) + ")");
        } catch (...) {
            m_fnLog("add-in " + it->strName + " failed while disconnecting");
        }
        Unload(*it);
        m_fnLog("add-in " + it->strName + " disconnected");
    }
    m_vecLoaded.clear();
}

std::vector<std::string> CAddinLoader::Connected() const {
    std::vector<std::string> vec;
    for (const auto& l : m_vecLoaded) vec.push_back(l.strName);
    return vec;
}

CResult<> CAddinLoader::RegisterModule(const std::string& strPath, bool bRegister) {
    // Without a slash dlopen would search the library path instead.
    const std::string strOpen = strPath.find('/') == std::string::npos ? "./" + strPath : strPath;
    void* h = ::dlopen(strOpen.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return CProblem("cannot load the module: " + DlError());
    const char* pszEntry = bRegister ? "DllRegisterServer" : "DllUnregisterServer";
    auto fn = reinterpret_cast<CEntryFn>(::dlsym(h, pszEntry));
    CResult<> result;
    if (!fn) result = CProblem(std::string("the module has no ") + pszEntry + " entry point");
    else if (HRESULT hr = fn(); FAILED(hr))
        result = CProblem(std::string(pszEntry) + " failed with " + HResultToString(hr));
    ::dlclose(h);
    return result;
}
