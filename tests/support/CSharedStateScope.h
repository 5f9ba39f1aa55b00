#pragma once
// The add-in's shared state as a connected add-in has it, for one test:
// a host application, a data directory and a task list; everything is
// released and cleared again at the end, recorded message boxes too.
#include <string>

#include "CApplication.h"
#include "CMessageBox.h"
#include "SharedState.h"
#include "ZoneGuard.h"

class CSharedStateScope {
public:
    CSharedStateScope(IMailBackend& backend, const std::string& strDataDir, CTaskList& list, const char* pszZone)
        : m_zone(pszZone), m_spApp(CApplication::Create(backend, {false})) {
        g_spApplication = static_cast<_Application*>(m_spApp.p);
        g_strDataDir = strDataDir;
        g_pTaskList = &list;
    }
    ~CSharedStateScope() {
        CMessageBox::SetHandler({});
        g_spCurMailItem.Release();
        g_spApplication.Release();
        m_spApp->Shutdown();
        g_pTaskList = nullptr;
        g_strDataDir.clear();
    }
    CSharedStateScope(const CSharedStateScope&) = delete;
    CSharedStateScope& operator=(const CSharedStateScope&) = delete;

    CApplication* App() const { return m_spApp; }

private:
    CZoneGuard m_zone;
    CComPtr<CApplication> m_spApp;
};
