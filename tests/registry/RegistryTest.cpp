#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "CEnvScope.h"
#include "CRegistry.h"
#include "CTempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr ERegRoot HKCR = ERegRoot::ClassesRoot;
constexpr ERegRoot HKCU = ERegRoot::CurrentUser;
constexpr ERegRoot HKLM = ERegRoot::LocalMachine;

TEST(RegistryStoreTest, KeysAndValues) {
    CRegistryStore store;
    EXPECT_TRUE(store.KeyExists(HKCU, ""));
    EXPECT_FALSE(store.KeyExists(HKCU, "Software"));
    EXPECT_EQ(store.CreateKey(HKCU, "Software\\Tarnwick\\Quillory").Problem(), "");
    EXPECT_TRUE(store.KeyExists(HKCU, "Software\\Tarnwick"));
    EXPECT_TRUE(store.KeyExists(HKCU, "software\\TARNWICK\\quillory"));  // letter case is not significant
    EXPECT_FALSE(store.KeyExists(HKLM, "Software"));
    EXPECT_EQ(store.SetValue(HKCU, "Software\\Tarnwick", "", CRegValue::String("default")).Problem(), "");
    EXPECT_EQ(store.SetValue(HKCU, "Software\\Tarnwick", "Count", CRegValue::Dword(42)).Problem(), "");
    EXPECT_EQ(store.SetValue(HKCU, "Software\\Tarnwick", "COUNT", CRegValue::Dword(43)).Problem(), "");  // same value
    EXPECT_EQ(store.GetValue(HKCU, "Software\\Tarnwick", "count"), CRegValue::Dword(43));
    EXPECT_EQ(store.GetValue(HKCU, "Software\\Tarnwick", ""), CRegValue::String("default"));
    EXPECT_EQ(store.ValueNames(HKCU, "Software\\Tarnwick"), (std::vector<std::string>{"", "Count"}));
    EXPECT_EQ(store.SubkeyNames(HKCU, "Software"), std::vector<std::string>{"Tarnwick"});
    EXPECT_TRUE(store.DeleteValue(HKCU, "Software\\Tarnwick", "Count"));
    EXPECT_FALSE(store.DeleteValue(HKCU, "Software\\Tarnwick", "Count"));
    EXPECT_FALSE(store.GetValue(HKCU, "Software\\Tarnwick", "Count"));
    // Setting a value creates its key.
    EXPECT_EQ(store.SetValue(HKLM, "A\\B", "x", CRegValue::String("y")).Problem(), "");
    EXPECT_TRUE(store.KeyExists(HKLM, "A\\B"));
    // Deleting takes the subtree; a root cannot go.
    EXPECT_TRUE(store.DeleteKey(HKCU, "Software\\Tarnwick"));
    EXPECT_FALSE(store.KeyExists(HKCU, "Software\\Tarnwick\\Quillory"));
    EXPECT_TRUE(store.KeyExists(HKCU, "Software"));
    EXPECT_FALSE(store.DeleteKey(HKCU, "Software\\Tarnwick"));
    EXPECT_FALSE(store.DeleteKey(HKCU, ""));
    // Invalid paths.
    EXPECT_NE(store.CreateKey(HKCR, "a\\\\b").Problem(), "");
    EXPECT_NE(store.CreateKey(HKCR, "a\\").Problem(), "");
    EXPECT_NE(store.CreateKey(HKCR, "bad\nname").Problem(), "");
    EXPECT_NE(store.SetValue(HKCR, "\\", "x", CRegValue::Dword(1)).Problem(), "");
    EXPECT_TRUE(store.SubkeyNames(HKCR, "").empty());
}

TEST(RegistryStoreTest, TextFormRoundTrips) {
    CRegistryStore store;
    ASSERT_EQ(store.CreateKey(HKCR, "CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}\\Programmable").Problem(), "");
    ASSERT_EQ(
        store.SetValue(HKCR, "CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}", "", CRegValue::String("Addin Class"))
            .Problem(),
        "");
    ASSERT_EQ(store.SetValue(HKLM, "Software\\X", "LoadBehavior", CRegValue::Dword(3)).Problem(), "");
    ASSERT_EQ(store.SetValue(HKLM, "Software\\X", "Max", CRegValue::Dword(0xFFFFFFFF)).Problem(), "");
    ASSERT_EQ(
        store.SetValue(HKCU, "Odd [key] name", "quote \" back \\ tab\t", CRegValue::String("line\nnext\r\"q\" \\"))
            .Problem(),
        "");
    ASSERT_EQ(store.SetValue(HKCU, "", "RootValue", CRegValue::String("at the root")).Problem(), "");
    std::string strText = store.ToText();
    EXPECT_NE(strText.find("[HKEY_CLASSES_ROOT\\CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}]\n@=\"Addin Class\"\n"),
              std::string::npos)
        << strText;
    EXPECT_NE(strText.find("\"LoadBehavior\"=dword:00000003\n"), std::string::npos) << strText;
    EXPECT_NE(strText.find("[HKEY_CLASSES_ROOT\\CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}\\Programmable]\n"),
              std::string::npos);
    CRegistryStore back;
    EXPECT_EQ(back.FromText(strText).Problem(), "");
    EXPECT_EQ(back, store);
    EXPECT_EQ(back.ToText(), strText);
}

TEST(RegistryStoreTest, MalformedTextNamesTheLineAndChangesNothing) {
    CRegistryStore store;
    ASSERT_EQ(store.SetValue(HKCU, "Keep", "v", CRegValue::Dword(1)).Problem(), "");
    CRegistryStore before = store;
    // A key nested deeper than the tree may go (once 300,000 levels crashed the host).
    auto deep = [](size_t nDepth) {
        std::string str = "[HKEY_CURRENT_USER";
        for (size_t i = 0; i < nDepth; ++i) str += "\\k";
        return str + "]\n";
    };
    const std::string strDeep = "; ok\n" + deep(300000);
    const std::string strOneTooDeep = deep(CRegistryStore::kMaxKeyDepth) + deep(CRegistryStore::kMaxKeyDepth + 1);
    struct Case {
        std::string strText;
        int nLine;
    } cases[] = {
        {strDeep, 2},
        {strOneTooDeep, 2},
        {"[HKEY_CURRENT_USER\\A]\n@=\"x\"\n\"v\"=dword:1\n", 3},
        {"; c\n\n[HKEY_NOWHERE\\A]\n", 3},
        {"@=\"x\"\n", 1},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=\"unterminated\n", 2},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"\"x\"\n", 2},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n\"V\"=\"y\"\n", 3},
        {"[HKEY_CURRENT_USER\\A\\\\B]\n", 1},
        {"[HKEY_CURRENT_USER\\A\n", 1},
        {"[HKEY_CURRENT_USER\\A]\n\"\"=\"x\"\n", 2},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=\"bad \\q escape\"\n", 2},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=dword:0000000g\n", 2},
    };
    for (const auto& c : cases) {
        std::string s = store.FromText(c.strText).Problem();
        EXPECT_EQ(s.rfind("line " + std::to_string(c.nLine) + ":", 0), 0u) << c.strText.substr(0, 80) << " -> " << s;
        EXPECT_EQ(store, before);
    }
}

TEST(RegistryFileTest, DefaultPathFollowsTheEnvironment) {
    {
        CEnvScope reg("MAILHOST_REGISTRY", "/x/custom.reg");
        EXPECT_EQ(CRegistryFile::DefaultPath(), "/x/custom.reg");
    }
    CEnvScope reg("MAILHOST_REGISTRY", nullptr);
    {
        CEnvScope xdg("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(CRegistryFile::DefaultPath(), "/cfg/mailhost/registry.reg");
    }
    CEnvScope xdg("XDG_CONFIG_HOME", nullptr);
    CEnvScope home("HOME", "/home/someone");
    EXPECT_EQ(CRegistryFile::DefaultPath(), "/home/someone/.config/mailhost/registry.reg");
    EXPECT_EQ(CRegistryFile().Path(), "/home/someone/.config/mailhost/registry.reg");
}

TEST(RegistryFileTest, UpdateWritesLoadReadsAndADamagedFileIsNotOverwritten) {
    CTempDir dir;
    CRegistryFile file(dir / "sub/dir/registry.reg");
    CRegistryStore store;
    EXPECT_EQ(file.Load(store).Problem(), "");  // no file: empty registry
    EXPECT_TRUE(store.SubkeyNames(HKCU, "").empty());
    EXPECT_EQ(file.Update([](CRegistryStore& s) { return s.SetValue(HKCU, "Software\\Q", "n", CRegValue::Dword(7)); })
                  .Problem(),
              "");
    EXPECT_TRUE(fs::exists(dir / "sub/dir/registry.reg"));
    EXPECT_NE(
        CTempDir::ReadFile(dir / "sub/dir/registry.reg").find("[HKEY_CURRENT_USER\\Software\\Q]\n\"n\"=dword:00000007"),
        std::string::npos);
    EXPECT_EQ(file.Load(store).Problem(), "");
    EXPECT_EQ(store.GetValue(HKCU, "Software\\Q", "n"), CRegValue::Dword(7));
    // A change that reports a problem leaves the file as it was.
    std::string strBefore = CTempDir::ReadFile(file.Path());
    EXPECT_EQ(file.Update([](CRegistryStore& s) -> CResult<> {
                      s.DeleteKey(HKCU, "Software");
                      return CProblem("refused");
                  })
                  .Problem(),
              "refused");
    EXPECT_EQ(CTempDir::ReadFile(file.Path()), strBefore);
    // No temporary files are left behind.
    for (const auto& entry : fs::directory_iterator(dir / "sub/dir")) {
        std::string strName = entry.path().filename().string();
        EXPECT_TRUE(strName == "registry.reg" || strName == "registry.reg.lock") << strName;
    }

    // A damaged file is reported and not overwritten.
    const std::string strPath = file.Path();
    CTempDir::WriteFile(strPath, "[HKEY_CURRENT_USER\\A]\ngarbage\n");
    std::string s = file.Load(store).Problem();
    EXPECT_NE(s.find("line 2:"), std::string::npos) << s;
    bool bCalled = false;
    EXPECT_NE(file.Update([&](CRegistryStore&) -> CResult<> {
                      bCalled = true;
                      return {};
                  })
                  .Problem(),
              "");
    EXPECT_FALSE(bCalled);
    EXPECT_EQ(CTempDir::ReadFile(strPath), "[HKEY_CURRENT_USER\\A]\ngarbage\n");
}

TEST(RegistryFileTest, ConcurrentWritersLoseNoUpdate) {
    CTempDir dir;
    std::string strPath = dir / "registry.reg";
    constexpr int kProcs = 4, kRounds = 50;
    std::vector<pid_t> pids;
    for (int p = 0; p < kProcs; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CRegistryFile file(strPath);
            for (int i = 0; i < kRounds; ++i) {
                CResult<> r = file.Update([p, i](CRegistryStore& store) -> CResult<> {
                    auto v = store.GetValue(HKCU, "Counter", "n");
                    uint32_t n = v ? v->dwData : 0;
                    QUILLORY_TRY(store.SetValue(HKCU, "Counter", "n", CRegValue::Dword(n + 1)));
                    return store.SetValue(HKCU, "Counter\\P" + std::to_string(p), "last", CRegValue::Dword(i));
                });
                if (!r) _exit(1);
            }
            _exit(0);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    CRegistryStore store;
    ASSERT_EQ(CRegistryFile(strPath).Load(store).Problem(), "");
    EXPECT_EQ(store.GetValue(HKCU, "Counter", "n"), CRegValue::Dword(kProcs * kRounds));
    EXPECT_EQ(store.SubkeyNames(HKCU, "Counter").size(), static_cast<size_t>(kProcs));
}

}  // namespace
