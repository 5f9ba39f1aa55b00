// The built add-in module through the host's side: registration into the
// registry file, loading, connecting, disconnecting, unregistration.
#include <climits>
#include <cstdlib>

#include <gtest/gtest.h>

#include "CAddinLoader.h"
#include "CApplication.h"
#include "CFaultyApplication.h"
#include "CMemoryMailBackend.h"
#include "CTempDir.h"
#include "Contains.h"

namespace {

constexpr const char* kClsid = "{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}";
constexpr const char* kAppId = "{2ED2A63A-8F49-441E-BE56-E25EC2C23AD8}";
const std::string kClassKey = std::string("CLSID\\") + kClsid;
const std::string kAddinKey = std::string(CAddinLoader::kAddinsKey) + "\\TarnwickQuillory.Addin";

std::string ModulePath() {
    char sz[PATH_MAX];
    return ::realpath(QUILSEND_MODULE, sz) ? sz : QUILSEND_MODULE;
}

class RegistrationTest : public ::testing::Test {
protected:
    RegistrationTest() : m_file(m_dir / "registry.reg") {
        setenv("MAILHOST_REGISTRY", m_file.Path().c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir / "roaming").c_str(), 1);
    }
    ~RegistrationTest() override {
        unsetenv("MAILHOST_REGISTRY");
        unsetenv("XDG_DATA_HOME");
    }
    CRegistryStore Load() const {
        CRegistryStore s;
        EXPECT_EQ(m_file.Load(s).Problem(), "");
        return s;
    }
    static std::string Str(const CRegistryStore& s, ERegRoot root, const std::string& strKey,
                           const std::string& strName = "") {
        auto v = s.GetValue(root, strKey, strName);
        return v && v->eType == CRegValue::EType::String ? v->strData : "<none>";
    }
    static uint32_t Dword(const CRegistryStore& s, const std::string& strName) {
        auto v = s.GetValue(ERegRoot::LocalMachine, kAddinKey, strName);
        return v && v->eType == CRegValue::EType::Dword ? v->dwData : 0xDEADu;
    }

    CTempDir m_dir;
    CRegistryFile m_file;
    std::vector<std::string> m_vecLog;
    CAddinLoader::CLogFn m_fnLog = [this](const std::string& str) { m_vecLog.push_back(str); };
};

TEST_F(RegistrationTest, RegisterLoadConnectDisconnectUnregisterLeavesTheRegistryAsItWas) {
    // Someone else's entries beside ours, which must survive.
    ASSERT_EQ(
        m_file
            .Update([](CRegistryStore& s) -> CResult<> {
                const std::string strAddins = std::string(CAddinLoader::kAddinsKey);
                const std::string strOtherClass = "CLSID\\{00000000-1111-2222-3333-444444444444}";
                QUILLORY_TRY(s.SetValue(ERegRoot::LocalMachine, strAddins + "\\Other.Addin", "LoadBehavior",
                                        CRegValue::Dword(3)));
                QUILLORY_TRY(s.SetValue(ERegRoot::ClassesRoot, strOtherClass, "", CRegValue::String("x")));
                QUILLORY_TRY(s.SetValue(ERegRoot::ClassesRoot, "AppID\\other.so", "AppID", CRegValue::String("{0}")));
                QUILLORY_TRY(s.SetValue(ERegRoot::LocalMachine, strAddins + "\\Sleeping.Addin", "LoadBehavior",
                                        CRegValue::Dword(2)));
                return {};
            })
            .Problem(),
        "");
    const std::string strBefore = Load().ToText();

    ASSERT_EQ(CAddinLoader::RegisterModule(QUILSEND_MODULE, true).Problem(), "");
    const CRegistryStore once = Load();
    const auto HKCR = ERegRoot::ClassesRoot;
    EXPECT_EQ(Str(once, HKCR, std::string("AppID\\") + kAppId), "TarnwickQuillory");
    EXPECT_EQ(Str(once, HKCR, "AppID\\quilsend.so", "AppID"), kAppId);
    EXPECT_EQ(Str(once, HKCR, "TarnwickQuillory.Addin.1"), "Addin Class");
    EXPECT_EQ(Str(once, HKCR, "TarnwickQuillory.Addin.1\\CLSID"), kClsid);
    EXPECT_EQ(Str(once, HKCR, "TarnwickQuillory.Addin"), "Addin Class");
    EXPECT_EQ(Str(once, HKCR, "TarnwickQuillory.Addin\\CLSID"), kClsid);
    EXPECT_EQ(Str(once, HKCR, "TarnwickQuillory.Addin\\CurVer"), "TarnwickQuillory.Addin.1");
    EXPECT_EQ(Str(once, HKCR, kClassKey), "Addin Class");
    EXPECT_EQ(Str(once, HKCR, kClassKey, "AppID"), kAppId);
    EXPECT_EQ(Str(once, HKCR, kClassKey + "\\ProgID"), "TarnwickQuillory.Addin.1");
    EXPECT_EQ(Str(once, HKCR, kClassKey + "\\VersionIndependentProgID"), "TarnwickQuillory.Addin");
    ASSERT_TRUE(once.KeyExists(HKCR, kClassKey + "\\Programmable"));
    EXPECT_TRUE(once.FindKey(HKCR, kClassKey + "\\Programmable")->IsEmpty());
    EXPECT_EQ(Str(once, HKCR, kClassKey + "\\InprocServer32"), ModulePath());
    EXPECT_EQ(Str(once, HKCR, kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Str(once, HKCR, kClassKey + "\\TypeLib"), "{15C413B0-8B4E-484A-A6BD-074CDF803C06}");
    EXPECT_EQ(Str(once, HKCR, "TypeLib\\{15C413B0-8B4E-484A-A6BD-074CDF803C06}\\1.0\\0\\linux"), ModulePath());
    EXPECT_EQ(Str(once, HKCR, "Interface\\{ECA781F8-6D4D-4C63-8C9E-AF712739E991}"), "IAddin");
    EXPECT_EQ(Str(once, ERegRoot::LocalMachine, kAddinKey, "FriendlyName"), "Quillory");
    EXPECT_EQ(Str(once, ERegRoot::LocalMachine, kAddinKey, "Description"), "Quillory using Mail Host");
    EXPECT_EQ(Dword(once, "LoadBehavior"), 3u);
    EXPECT_EQ(Dword(once, "CommandLineSafe"), 0u);
    EXPECT_EQ(once.ValueNames(ERegRoot::LocalMachine, kAddinKey).size(), 4u);
    EXPECT_FALSE(once.KeyExists(ERegRoot::CurrentUser, "Software"));
    ASSERT_EQ(CAddinLoader::RegisterModule(QUILSEND_MODULE, true).Problem(), "");
    EXPECT_EQ(Load().ToText(), once.ToText()) << "registering twice changes nothing";

    CMemoryMailBackend backend;
    {
        CComPtr<CApplication> spApp = CApplication::Create(backend);
        CAddinLoader loader(m_fnLog);
        EXPECT_EQ(loader.LoadAll(Load(), static_cast<_Application*>(spApp.p)), 1);
        EXPECT_EQ(loader.Connected(), std::vector<std::string>{"Quillory (TarnwickQuillory.Addin)"});
        ASSERT_EQ(m_vecLog.size(), 2u);
        EXPECT_EQ(m_vecLog[0], "add-in Other.Addin is not loaded: its ProgID names no class id");
        EXPECT_EQ(m_vecLog[1], "add-in Quillory (TarnwickQuillory.Addin) connected");
        loader.UnloadAll();
        EXPECT_EQ(m_vecLog.back(), "add-in Quillory (TarnwickQuillory.Addin) disconnected");
        spApp->Shutdown();
    }
    EXPECT_EQ(CAddinLoader::RegisterModule(QUILSEND_MODULE, false).Problem(), "");
    EXPECT_EQ(Load().ToText(), strBefore);
}

TEST_F(RegistrationTest, UnregisteringLeavesTheSharedKeysAndFailuresAreReportedByName) {
    EXPECT_TRUE(Contains(CAddinLoader::RegisterModule(m_dir / "missing.so", true).Problem(), "cannot load the module"));
    CTempDir::WriteFile(m_dir / "notamodule.so", "text");
    EXPECT_TRUE(Contains(CAddinLoader::RegisterModule(m_dir / "notamodule.so", true).Problem(), "cannot load"));

    // Unregistering from an empty registry leaves only the shared keys.
    ASSERT_EQ(CAddinLoader::RegisterModule(QUILSEND_MODULE, true).Problem(), "");
    ASSERT_EQ(CAddinLoader::RegisterModule(QUILSEND_MODULE, false).Problem(), "");
    const CRegistryStore s = Load();
    EXPECT_TRUE(s.KeyExists(ERegRoot::ClassesRoot, "CLSID"));
    EXPECT_TRUE(s.KeyExists(ERegRoot::ClassesRoot, "AppID"));
    EXPECT_FALSE(s.KeyExists(ERegRoot::ClassesRoot, kClassKey));
    EXPECT_FALSE(s.KeyExists(ERegRoot::ClassesRoot, "TarnwickQuillory.Addin"));
    EXPECT_FALSE(s.KeyExists(ERegRoot::LocalMachine, "Software")) << "emptied parents of the add-in key go";
    ASSERT_EQ(CAddinLoader::RegisterModule(QUILSEND_MODULE, true).Problem(), "");
    ASSERT_EQ(
        m_file
            .Update([this](CRegistryStore& s) -> CResult<> {
                const std::string strKey = std::string(CAddinLoader::kAddinsKey) + "\\Broken.Addin";
                QUILLORY_TRY(s.SetValue(ERegRoot::LocalMachine, strKey, "LoadBehavior", CRegValue::Dword(3)));
                QUILLORY_TRY(s.SetValue(ERegRoot::LocalMachine, strKey, "FriendlyName", CRegValue::String("Broken")));
                const std::string strClsid = "{00000000-1111-2222-3333-444444444444}";
                QUILLORY_TRY(s.SetValue(ERegRoot::ClassesRoot, "Broken.Addin\\CLSID", "", CRegValue::String(strClsid)));
                QUILLORY_TRY(s.SetValue(ERegRoot::ClassesRoot, "CLSID\\" + strClsid + "\\InprocServer32", "",
                                        CRegValue::String(m_dir / "missing.so")));
                return {};
            })
            .Problem(),
        "");

    CMemoryMailBackend backend;
    CComPtr<CApplication> spApp = CApplication::Create(backend);
    // An application object that is none: the add-in's own connection fails.
    auto spNot = MakeComObject<CNotAnApplication>();
    CAddinLoader loader(m_fnLog);
    EXPECT_EQ(loader.LoadAll(Load(), spNot.p), 0);
    ASSERT_EQ(m_vecLog.size(), 2u);
    EXPECT_EQ(m_vecLog[0].rfind("add-in Broken (Broken.Addin) is not loaded: cannot load " + m_dir / "missing.so", 0),
              0u)
        << m_vecLog[0];
    EXPECT_EQ(m_vecLog[1],
              "add-in Quillory (TarnwickQuillory.Addin) is not loaded: its connection failed (0xFFFFFFFF)");
    EXPECT_EQ(loader.LoadAll(Load(), static_cast<_Application*>(spApp.p)), 1) << "the host goes on and can load it";
    loader.UnloadAll();
    spApp->Shutdown();
}

}  // namespace
