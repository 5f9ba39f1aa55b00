#pragma once
#include <functional>
#include <string>
#include <vector>

#include "CRegistry.h"
#include "CResult.h"
#include "Extensibility.h"

// The host's side of add-ins: at start-up every add-in registered under the
// host's add-in key with LoadBehavior 3 is loaded and connected; at exit
// each is disconnected and its module unloaded. An add-in that fails is
// reported by name and left out; the host goes on without it.
class CAddinLoader {
public:
    using CLogFn = std::function<void(const std::string&)>;
    static constexpr const char* kAddinsKey = "Software\\MailHost\\Addins";

    explicit CAddinLoader(CLogFn fnLog) : m_fnLog(std::move(fnLog)) {}
    ~CAddinLoader() { UnloadAll(); }
    CAddinLoader(const CAddinLoader&) = delete;
    CAddinLoader& operator=(const CAddinLoader&) = delete;

    // Returns how many add-ins are connected.
    int LoadAll(const CRegistryStore& registry, IDispatch* pApplication);
    void UnloadAll();
    std::vector<std::string> Connected() const;

    // Calls the module's DllRegisterServer or DllUnregisterServer; the
    // problem says which step failed.
    static CResult<> RegisterModule(const std::string& strPath, bool bRegister);

private:
    struct CLoaded {
        std::string strName;
        void* hModule = nullptr;
        CComPtr<_IDTExtensibility2> spAddin;
    };
    // Done when the add-in is connected, else why not.
    CResult<> LoadOne(const CRegistryStore& registry, const std::string& strProgId, IDispatch* pApplication,
                      CLoaded& loaded);
    void Unload(CLoaded& loaded);

    CLogFn m_fnLog;
    std::vector<CLoaded> m_vecLoaded;
};
