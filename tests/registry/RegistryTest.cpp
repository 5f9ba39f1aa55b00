// The registry store and its text file, and the registrar scripts that fill it.
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "CEnvScope.h"
#include "CRegistrar.h"
#include "CRegistry.h"
#include "CTempDir.h"
#include "Contains.h"

namespace fs = std::filesystem;

namespace {

constexpr ERegRoot HKCR = ERegRoot::ClassesRoot;
constexpr ERegRoot HKCU = ERegRoot::CurrentUser;
constexpr ERegRoot HKLM = ERegRoot::LocalMachine;

// Sets a value the test needs in place before it goes on.
void Put(CRegistryStore& store, ERegRoot root, const std::string& strKey, const std::string& strName, CRegValue value) {
    const auto r = store.SetValue(root, strKey, strName, std::move(value));
    ASSERT_TRUE(r.Ok()) << r.Problem();
}

TEST(RegistryStoreTest, KeysAndValues) {
    CRegistryStore store;
    EXPECT_TRUE(store.KeyExists(HKCU, ""));
    EXPECT_FALSE(store.KeyExists(HKCU, "Software"));
    EXPECT_EQ(store.CreateKey(HKCU, "Software\\Tarnwick\\Quillory").Problem(), "");
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
    for (const char* pszInvalid : {"a\\\\b", "a\\", "bad\nname"})
        EXPECT_NE(store.CreateKey(HKCR, pszInvalid).Problem(), "");
    EXPECT_NE(store.SetValue(HKCR, "\\", "x", CRegValue::Dword(1)).Problem(), "");
    EXPECT_TRUE(store.SubkeyNames(HKCR, "").empty());
}

TEST(RegistryStoreTest, TextFormRoundTrips) {
    CRegistryStore store;
    ASSERT_EQ(store.CreateKey(HKCR, "CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}\\Programmable").Problem(), "");
    Put(store, HKCR, "CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}", "", CRegValue::String("Addin Class"));
    Put(store, HKLM, "Software\\X", "LoadBehavior", CRegValue::Dword(3));
    Put(store, HKLM, "Software\\X", "Max", CRegValue::Dword(0xFFFFFFFF));
    Put(store, HKCU, "Odd [key] name", "quote \" back \\ tab\t", CRegValue::String("line\nnext\r\"q\" \\"));
    Put(store, HKCU, "", "RootValue", CRegValue::String("at the root"));
    std::string strText = store.ToText();
    EXPECT_TRUE(
        Contains(strText, "[HKEY_CLASSES_ROOT\\CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}]\n@=\"Addin Class\"\n"));
    EXPECT_TRUE(Contains(strText, "\"LoadBehavior\"=dword:00000003\n"));
    EXPECT_TRUE(
        Contains(strText, "[HKEY_CLASSES_ROOT\\CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}\\Programmable]\n"));
    CRegistryStore back;
    EXPECT_EQ(back.FromText(strText).Problem(), "");
    EXPECT_EQ(back, store);
    EXPECT_EQ(back.ToText(), strText);
}

TEST(RegistryStoreTest, MalformedTextNamesTheLineAndChangesNothing) {
    CRegistryStore store;
    Put(store, HKCU, "Keep", "v", CRegValue::Dword(1));
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
    const std::string strPath = dir / "sub/dir/registry.reg";
    CRegistryFile file(strPath);
    CRegistryStore store;
    EXPECT_EQ(file.Load(store).Problem(), "");  // no file: empty registry
    EXPECT_TRUE(store.SubkeyNames(HKCU, "").empty());
    const auto set = [](CRegistryStore& s) { return s.SetValue(HKCU, "Software\\Q", "n", CRegValue::Dword(7)); };
    EXPECT_EQ(file.Update(set).Problem(), "");
    EXPECT_TRUE(Contains(CTempDir::ReadFile(strPath), "[HKEY_CURRENT_USER\\Software\\Q]\n\"n\"=dword:00000007"));
    EXPECT_EQ(file.Load(store).Problem(), "");
    EXPECT_EQ(store.GetValue(HKCU, "Software\\Q", "n"), CRegValue::Dword(7));
    // A change that reports a problem leaves the file as it was, and no temporary file behind.
    const std::string strBefore = CTempDir::ReadFile(strPath);
    bool bCalled = false;
    const auto refuse = [&](CRegistryStore& s) -> CResult<> {
        bCalled = true;
        s.DeleteKey(HKCU, "Software");
        return CProblem("refused");
    };
    EXPECT_EQ(file.Update(refuse).Problem(), "refused");
    EXPECT_EQ(CTempDir::ReadFile(strPath), strBefore);
    for (const auto& entry : fs::directory_iterator(dir / "sub/dir")) {
        const std::string strName = entry.path().filename().string();
        EXPECT_TRUE(strName == "registry.reg" || strName == "registry.reg.lock") << strName;
    }
    // A damaged file is reported and not overwritten: the change is not even asked for.
    CTempDir::WriteFile(strPath, "[HKEY_CURRENT_USER\\A]\ngarbage\n");
    EXPECT_TRUE(Contains(file.Load(store).Problem(), "line 2:"));
    bCalled = false;
    EXPECT_NE(file.Update(refuse).Problem(), "");
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

const std::string kClsidKey = "CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}";
const std::string kAddinKey = "Software\\MailHost\\Addins\\TarnwickQuillory.Addin";
const std::string kAppId = "{2ED2A63A-8F49-441E-BE56-E25EC2C23AD8}";
const std::string kModule = "/opt/quillory/quilsend.so";

std::string ReadResource(const char* pszName) {
    std::ifstream in(std::string(QUILLORY_RESOURCES) + "/" + pszName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

const CRegistrar::CReplacements kRepl = {{"MODULE", kModule}, {"APPID", kAppId}};

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strModule = ReadResource("QuilloryModule.rgs");
        m_strAddin = ReadResource("Addin.rgs");
        ASSERT_FALSE(m_strModule.empty());
        ASSERT_FALSE(m_strAddin.empty());
    }
    // Both scripts, the add-in's after the module's and taken away before it.
    void RegisterBoth(CRegistryStore& store, bool bRegister = true) {
        for (const std::string* pScript :
             bRegister ? std::array{&m_strModule, &m_strAddin} : std::array{&m_strAddin, &m_strModule}) {
            const auto r = bRegister ? CRegistrar::Register(store, *pScript, kRepl)
                                     : CRegistrar::Unregister(store, *pScript, kRepl);
            ASSERT_TRUE(r.Ok()) << r.Problem();
        }
    }
    void UnregisterBoth(CRegistryStore& store) { RegisterBoth(store, false); }
    std::string m_strModule, m_strAddin;
};

// Registering again replaces the class key whole; unregistering keeps what others put beside ours (what it removes, and
// that it keeps other classes and add-ins, the add-in's registration test checks on the real module).
TEST_F(RegistrarTest, RegisteringTwiceReplacesTheClassKeyWholeAndUnregisteringRemovesIt) {
    CRegistryStore once;
    RegisterBoth(once);
    CRegistryStore s = once;
    Put(s, HKCR, kClsidKey + "\\Stale", "", CRegValue::String("left from before"));
    Put(s, HKCR, kClsidKey, "Stale", CRegValue::String("left from before"));
    RegisterBoth(s);
    EXPECT_EQ(s, once);
    // Someone else's value in a ProgID key keeps the key (without our default).
    Put(s, HKLM, "Software\\Other Vendor", "x", CRegValue::Dword(1));
    Put(s, HKCR, "TarnwickQuillory.Addin", "Foreign", CRegValue::String("keep"));
    UnregisterBoth(s);
    EXPECT_FALSE(s.KeyExists(HKLM, kAddinKey));
    EXPECT_TRUE(s.KeyExists(HKLM, "Software\\Other Vendor"));
    EXPECT_EQ(s.ValueNames(HKCR, "TarnwickQuillory.Addin"), std::vector<std::string>{"Foreign"});
    EXPECT_FALSE(s.KeyExists(HKCR, "TarnwickQuillory.Addin\\CLSID"));
    EXPECT_FALSE(s.KeyExists(HKCR, kClsidKey));
    // Unregistering what is not there is no error.
    CRegistryStore empty;
    UnregisterBoth(empty);
    EXPECT_EQ(empty, CRegistryStore());
}

TEST(RegistrarSyntaxTest, QuotedNamesEscapesAndNumbers) {
    CRegistryStore s;
    auto err = CRegistrar::Register(s, R"(HKEY_CURRENT_USER
{
    'It''s a key' = s '50%% of ''%NAME%'''
    {
        val 'with space' = d '0x1F'
        val Big = d '4294967295'
        val Zero = d '0'
        'NoRemove' = d '12'
    }
}
)",
                                    {{"NAME", "Q"}});
    ASSERT_TRUE(err.Ok()) << err.Problem();
    EXPECT_EQ(s.GetValue(HKCU, "It's a key", ""), CRegValue::String("50% of 'Q'"));
    EXPECT_EQ(s.GetValue(HKCU, "It's a key", "with space"), CRegValue::Dword(31));
    EXPECT_EQ(s.GetValue(HKCU, "It's a key", "Big"), CRegValue::Dword(4294967295u));
    EXPECT_EQ(s.GetValue(HKCU, "It's a key", "Zero"), CRegValue::Dword(0));
    EXPECT_EQ(s.GetValue(HKCU, "It's a key\\NoRemove", ""), CRegValue::Dword(12));
}

TEST(RegistrarSyntaxTest, DeleteAndForceRemoveAndNoRemove) {
    CRegistryStore s;
    Put(s, HKCU, "Old\\Deep", "v", CRegValue::Dword(1));
    Put(s, HKCU, "Forced\\Stale", "v", CRegValue::Dword(1));
    Put(s, HKCU, "Kept", "", CRegValue::String("mine"));
    const char* pszScript = R"(HKCU
{
    Delete Old
    {
        Ignored = s 'x'
    }
    ForceRemove Forced
    {
        New = s 'n'
    }
    NoRemove Kept = s 'theirs'
    {
        val Named = s 'v'
        Child
    }
}
)";
    auto err = CRegistrar::Register(s, pszScript, {});
    ASSERT_TRUE(err.Ok()) << err.Problem();
    EXPECT_FALSE(s.KeyExists(HKCU, "Old"));
    EXPECT_FALSE(s.KeyExists(HKCU, "Old\\Ignored"));
    EXPECT_FALSE(s.KeyExists(HKCU, "Forced\\Stale"));
    EXPECT_EQ(s.GetValue(HKCU, "Forced\\New", ""), CRegValue::String("n"));
    EXPECT_EQ(s.GetValue(HKCU, "Kept", ""), CRegValue::String("theirs"));
    EXPECT_TRUE(s.KeyExists(HKCU, "Kept\\Child"));
    Put(s, HKCU, "Forced\\Other", "v", CRegValue::Dword(2));
    err = CRegistrar::Unregister(s, pszScript, {});
    ASSERT_TRUE(err.Ok()) << err.Problem();
    EXPECT_FALSE(s.KeyExists(HKCU, "Forced"));  // with everything below it
    EXPECT_EQ(s.GetValue(HKCU, "Kept", ""), CRegValue::String("theirs"));
    EXPECT_FALSE(s.KeyExists(HKCU, "Kept\\Child"));
    EXPECT_FALSE(s.GetValue(HKCU, "Kept", "Named"));
}

TEST(RegistrarSyntaxTest, MalformedScriptsNameTheLineAndChangeNothing) {
    struct Case {
        const char* pszScript;
        int nLine;
    } cases[] = {
        {"HKCR\n{\n  A = s 'x'\n", 3},                                  // missing closing brace
        {"HKCR\n{\n  A\n  {\n    B = s 'x'\n  }\n}\nHKXX\n{\n}\n", 8},  // unknown root, after valid text
        {"HKCR\n{\n  A = s 'unterminated\n}\n", 3},
        {"HKCR\n{\n  val V = d '12x'\n}\n", 3},
        {"HKCR\n{\n  val V = d '4294967296'\n}\n", 3},
        {"HKCR\n{\n  val V = b '00'\n}\n", 3},
        {"HKCR\n{\n  A = s '%NOPE%'\n}\n", 3},
        {"HKCR\n{\n  A = s '%MODULE'\n}\n", 3},
        {"HKCR\n{\n  A\n  =\n}\n", 5},
        {"HKCR\n{\n  val = s 'x'\n}\n", 3},
        {"HKCR\n{\n  ForceRemove\n  {\n  }\n}\n", 4},
        {"HKCR\n{\n  A = s unquoted\n}\n", 3},
        {"HKCR\n{\n  'a\\b' = s 'x'\n}\n", 3},
        {"HKCR\n{\n  }\n}\n", 4},
        {"HKCR\nA\n", 2},
        {"{\n}\n", 1},
    };
    for (const auto& c : cases) {
        CRegistryStore s;
        Put(s, HKCR, "Existing", "v", CRegValue::Dword(1));
        CRegistryStore before = s;
        auto err = CRegistrar::Register(s, c.pszScript, {{"MODULE", "m"}});
        ASSERT_FALSE(err.Ok()) << c.pszScript;
        const std::string strLine = "line " + std::to_string(c.nLine) + ": ";
        EXPECT_EQ(err.Problem().substr(0, strLine.size()), strLine) << c.pszScript << " -> " << err.Problem();
        EXPECT_GT(err.Problem().size(), strLine.size()) << "a message after the line";
        EXPECT_EQ(s, before);
        err = CRegistrar::Unregister(s, c.pszScript, {{"MODULE", "m"}});
        ASSERT_FALSE(err.Ok());
        EXPECT_EQ(s, before);
        EXPECT_FALSE(CRegistrar::Check(c.pszScript, {{"MODULE", "m"}}).Ok());
    }
}

}  // namespace
