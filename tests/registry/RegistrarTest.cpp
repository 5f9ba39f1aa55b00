#include <array>
#include <fstream>

#include <gtest/gtest.h>

#include "CRegistrar.h"

namespace {

constexpr ERegRoot HKCR = ERegRoot::ClassesRoot;
constexpr ERegRoot HKLM = ERegRoot::LocalMachine;
constexpr ERegRoot HKCU = ERegRoot::CurrentUser;

const std::string kClsidKey = "CLSID\\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}";
const std::string kAddinKey = "Software\\MailHost\\Addins\\TarnwickQuillory.Addin";
const std::string kAppId = "{2ED2A63A-8F49-441E-BE56-E25EC2C23AD8}";
const std::string kModule = "/opt/quillory/quilsend.so";

std::string ReadResource(const char* pszName) {
    std::ifstream in(std::string(QUILLORY_RESOURCES) + "/" + pszName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

const CRegistrar::CReplacements kRepl = {{"MODULE", kModule}, {"APPID", kAppId}};

std::optional<std::string> Str(const CRegistryStore& s, ERegRoot root, const std::string& strKey,
                               const std::string& strName = "") {
    auto v = s.GetValue(root, strKey, strName);
    if (!v || v->eType != CRegValue::EType::String) return std::nullopt;
    return v->strData;
}

std::optional<uint32_t> Dw(const CRegistryStore& s, ERegRoot root, const std::string& strKey,
                           const std::string& strName) {
    auto v = s.GetValue(root, strKey, strName);
    if (!v || v->eType != CRegValue::EType::Dword) return std::nullopt;
    return v->dwData;
}

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

TEST_F(RegistrarTest, RegisteringTwiceReplacesTheClassKeyWholeAndUnregisteringRemovesIt) {
    CRegistryStore once;
    RegisterBoth(once);
    CRegistryStore twice = once;
    ASSERT_EQ(twice.SetValue(HKCR, kClsidKey + "\\Stale", "", CRegValue::String("left from before")).Problem(), "");
    ASSERT_EQ(twice.SetValue(HKCR, kClsidKey, "Stale", CRegValue::String("left from before")).Problem(), "");
    RegisterBoth(twice);
    EXPECT_EQ(twice, once);

    // Unregistering removes what the scripts named, and nothing else.
    CRegistryStore s;
    ASSERT_EQ(s.CreateKey(HKCR, "CLSID\\{00000000-1111-2222-3333-444444444444}").Problem(), "");  // another class
    ASSERT_EQ(s.CreateKey(HKCR, "AppID").Problem(), "");
    RegisterBoth(s);
    UnregisterBoth(s);
    for (const std::string& str : {std::string("TarnwickQuillory.Addin.1"), std::string("TarnwickQuillory.Addin"),
                                   kClsidKey, "AppID\\" + kAppId, std::string("AppID\\quilsend.so")})
        EXPECT_FALSE(s.KeyExists(HKCR, str)) << str;
    for (const char* psz : {"CLSID\\{00000000-1111-2222-3333-444444444444}", "CLSID", "AppID"})
        EXPECT_TRUE(s.KeyExists(HKCR, psz)) << psz;
    // The host's keys were left empty, so they went too.
    EXPECT_FALSE(s.KeyExists(HKLM, "Software"));

    // What others put there is kept.
    ASSERT_EQ(
        s.SetValue(HKLM, "Software\\MailHost\\Addins\\Other.Addin", "LoadBehavior", CRegValue::Dword(3)).Problem(), "");
    ASSERT_EQ(s.SetValue(HKLM, "Software\\Other Vendor", "x", CRegValue::Dword(1)).Problem(), "");
    RegisterBoth(s);
    // Someone else's value in a ProgID key keeps the key (without our default).
    ASSERT_EQ(s.SetValue(HKCR, "TarnwickQuillory.Addin", "Foreign", CRegValue::String("keep")).Problem(), "");
    UnregisterBoth(s);
    EXPECT_FALSE(s.KeyExists(HKLM, kAddinKey));
    EXPECT_TRUE(s.KeyExists(HKLM, "Software\\MailHost\\Addins\\Other.Addin"));
    EXPECT_TRUE(s.KeyExists(HKLM, "Software\\Other Vendor"));
    EXPECT_TRUE(s.KeyExists(HKCR, "TarnwickQuillory.Addin"));
    EXPECT_EQ(s.ValueNames(HKCR, "TarnwickQuillory.Addin"), std::vector<std::string>{"Foreign"});
    EXPECT_FALSE(s.KeyExists(HKCR, "TarnwickQuillory.Addin\\CLSID"));
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
    EXPECT_EQ(Str(s, HKCU, "It's a key"), "50% of 'Q'");
    EXPECT_EQ(Dw(s, HKCU, "It's a key", "with space"), 31u);
    EXPECT_EQ(Dw(s, HKCU, "It's a key", "Big"), 4294967295u);
    EXPECT_EQ(Dw(s, HKCU, "It's a key", "Zero"), 0u);
    EXPECT_EQ(Dw(s, HKCU, "It's a key\\NoRemove", ""), 12u);
}

TEST(RegistrarSyntaxTest, DeleteAndForceRemoveAndNoRemove) {
    CRegistryStore s;
    ASSERT_EQ(s.SetValue(HKCU, "Old\\Deep", "v", CRegValue::Dword(1)).Problem(), "");
    ASSERT_EQ(s.SetValue(HKCU, "Forced\\Stale", "v", CRegValue::Dword(1)).Problem(), "");
    ASSERT_EQ(s.SetValue(HKCU, "Kept", "", CRegValue::String("mine")).Problem(), "");
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
    EXPECT_EQ(Str(s, HKCU, "Forced\\New"), "n");
    EXPECT_EQ(Str(s, HKCU, "Kept"), "theirs");
    EXPECT_TRUE(s.KeyExists(HKCU, "Kept\\Child"));
    ASSERT_EQ(s.SetValue(HKCU, "Forced\\Other", "v", CRegValue::Dword(2)).Problem(), "");
    err = CRegistrar::Unregister(s, pszScript, {});
    ASSERT_TRUE(err.Ok()) << err.Problem();
    EXPECT_FALSE(s.KeyExists(HKCU, "Forced"));  // with everything below it
    EXPECT_TRUE(s.KeyExists(HKCU, "Kept"));
    EXPECT_EQ(Str(s, HKCU, "Kept"), "theirs");
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
        ASSERT_EQ(s.SetValue(HKCR, "Existing", "v", CRegValue::Dword(1)).Problem(), "");
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
