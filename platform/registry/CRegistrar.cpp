#include "CRegistrar.h"

#include <cstdlib>
#include <optional>
#include <vector>

namespace {

struct CToken {
    enum class EKind { Word, Quoted, LBrace, RBrace, Equals } eKind;
    std::string str;
    int nLine;
};

struct CValueSpec {
    bool bDword = false;
    std::string str;
    uint32_t dw = 0;
    CRegValue ToValue() const { return bDword ? CRegValue::Dword(dw) : CRegValue::String(str); }
};

struct CNode {
    enum class EKind { Key, Value } eKind = EKind::Key;
    enum class EFlag { None, ForceRemove, NoRemove, Delete } eFlag = EFlag::None;
    std::string strName;
    std::optional<CValueSpec> value;  // key default value, or the value of a val entry
    std::vector<CNode> vecChildren;
    int nLine = 0;
};

struct CRootBlock {
    ERegRoot root;
    std::vector<CNode> vecChildren;
};

// Thrown from deep in the parser and caught in Run, which makes it the
// caller's problem: it never leaves this file.
struct CError {
    int nLine = 0;
    std::string strMessage;
    std::string ToString() const { return "line " + std::to_string(nLine) + ": " + strMessage; }
};

[[noreturn]] void Fail(int nLine, std::string str) { throw CError{nLine, std::move(str)}; }

std::string Replace(const std::string& str, int nLine, const CRegistrar::CReplacements& repl) {
    std::string out;
    for (size_t i = 0; i < str.size(); ++i) {
        if (str[i] != '%') {
            out += str[i];
            continue;
        }
        size_t end = str.find('%', i + 1);
        if (end == std::string::npos) Fail(nLine, "unclosed %: \"" + str + "\"");
        std::string strName = str.substr(i + 1, end - i - 1);
        if (strName.empty()) {
            out += '%';
        } else {
            auto it = repl.find(strName);
            if (it == repl.end()) {
                for (auto jt = repl.begin(); jt != repl.end(); ++jt)
                    if (CNoCaseLess::Equal(jt->first, strName)) it = jt;
            }
            if (it == repl.end()) Fail(nLine, "no replacement for %" + strName + "%");
            out += it->second;
        }
        i = end;
    }
    return out;
}

std::vector<CToken> Tokenize(std::string_view sv, const CRegistrar::CReplacements& repl) {
    std::vector<CToken> tokens;
    int nLine = 1;
    size_t i = 0;
    while (i < sv.size()) {
        char c = sv[i];
        if (c == '\n') {
            ++nLine;
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '\'') {
            int nStart = nLine;
            std::string str;
            ++i;
            for (;;) {
                if (i >= sv.size()) Fail(nStart, "unterminated quoted text");
                if (sv[i] == '\'') {
                    if (i + 1 < sv.size() && sv[i + 1] == '\'') {
                        str += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (sv[i] == '\n') ++nLine;
                str += sv[i++];
            }
            tokens.push_back({CToken::EKind::Quoted, Replace(str, nStart, repl), nStart});
            continue;
        }
        size_t start = i;
        while (i < sv.size() && sv[i] != ' ' && sv[i] != '\t' && sv[i] != '\r' && sv[i] != '\n' && sv[i] != '\f' &&
               sv[i] != '\v' && sv[i] != '\'')
            ++i;
        std::string str(sv.substr(start, i - start));
        if (str == "{") tokens.push_back({CToken::EKind::LBrace, str, nLine});
        else if (str == "}") tokens.push_back({CToken::EKind::RBrace, str, nLine});
        else if (str == "=") tokens.push_back({CToken::EKind::Equals, str, nLine});
        else tokens.push_back({CToken::EKind::Word, Replace(str, nLine, repl), nLine});
    }
    return tokens;
}

class CParser {
public:
    explicit CParser(std::vector<CToken> tokens) : m_tokens(std::move(tokens)) {}

    std::vector<CRootBlock> ParseScript() {
        std::vector<CRootBlock> roots;
        while (!AtEnd()) {
            const CToken& t = Next();
            const CToken* pName = &t;
            if (t.eKind == CToken::EKind::Word && CNoCaseLess::Equal(t.str, "NoRemove")) pName = &Next();
            if (pName->eKind != CToken::EKind::Word) Fail(pName->nLine, "root key expected");
            auto root = ParseRegRoot(pName->str);
            if (!root) Fail(pName->nLine, "unknown root key \"" + pName->str + "\"");
            Expect(CToken::EKind::LBrace, "'{' expected after the root key");
            roots.push_back({*root, ParseEntries()});
        }
        return roots;
    }

private:
    bool AtEnd() const { return m_nPos >= m_tokens.size(); }
    int LastLine() const { return m_tokens.empty() ? 1 : m_tokens.back().nLine; }
    const CToken& Next() {
        if (AtEnd()) Fail(LastLine(), "unexpected end of script");
        return m_tokens[m_nPos++];
    }
    const CToken* Peek() const { return AtEnd() ? nullptr : &m_tokens[m_nPos]; }
    void Expect(CToken::EKind eKind, const char* pszWhat) {
        const CToken& t = Next();
        if (t.eKind != eKind) Fail(t.nLine, pszWhat);
    }
    static bool IsWord(const CToken& t, const char* psz) {
        return t.eKind == CToken::EKind::Word && CNoCaseLess::Equal(t.str, psz);
    }

    // Entries up to and including the closing brace.
    std::vector<CNode> ParseEntries() {
        std::vector<CNode> nodes;
        for (;;) {
            const CToken& t = Next();
            if (t.eKind == CToken::EKind::RBrace) return nodes;
            if (t.eKind == CToken::EKind::LBrace || t.eKind == CToken::EKind::Equals)
                Fail(t.nLine, "key name expected, found '" + t.str + "'");
            CNode node;
            node.nLine = t.nLine;
            const CToken* pName = &t;
            if (IsWord(t, "val")) {
                node.eKind = CNode::EKind::Value;
                pName = &Next();
                CheckName(*pName, false);
                node.strName = pName->str;
                Expect(CToken::EKind::Equals, "'=' expected after the value name");
                node.value = ParseValue();
                nodes.push_back(std::move(node));
                continue;
            }
            if (IsWord(t, "ForceRemove")) node.eFlag = CNode::EFlag::ForceRemove;
            else if (IsWord(t, "NoRemove")) node.eFlag = CNode::EFlag::NoRemove;
            else if (IsWord(t, "Delete")) node.eFlag = CNode::EFlag::Delete;
            if (node.eFlag != CNode::EFlag::None) pName = &Next();
            CheckName(*pName, true);
            node.strName = pName->str;
            if (const CToken* p = Peek(); p && p->eKind == CToken::EKind::Equals) {
                ++m_nPos;
                node.value = ParseValue();
            }
            if (const CToken* p = Peek(); p && p->eKind == CToken::EKind::LBrace) {
                ++m_nPos;
                node.vecChildren = ParseEntries();
            }
            nodes.push_back(std::move(node));
        }
    }

    void CheckName(const CToken& t, bool bKey) {
        if (t.eKind != CToken::EKind::Word && t.eKind != CToken::EKind::Quoted)
            Fail(t.nLine, std::string(bKey ? "key" : "value") + " name expected, found '" + t.str + "'");
        if (t.eKind == CToken::EKind::Word &&
            (IsWord(t, "val") || IsWord(t, "ForceRemove") || IsWord(t, "NoRemove") || IsWord(t, "Delete")))
            Fail(t.nLine, "keyword \"" + t.str + "\" where a name is expected (quote it to use it as a name)");
        if (bKey && !CRegistryStore::IsValidKeyName(t.str)) Fail(t.nLine, "invalid key name \"" + t.str + "\"");
        if (!bKey && t.str.empty()) Fail(t.nLine, "empty value name");
    }

    CValueSpec ParseValue() {
        const CToken& type = Next();
        if (type.eKind != CToken::EKind::Word) Fail(type.nLine, "value type (s or d) expected");
        const CToken& data = Next();
        if (data.eKind != CToken::EKind::Quoted) Fail(data.nLine, "quoted value expected");
        CValueSpec spec;
        if (CNoCaseLess::Equal(type.str, "s")) {
            spec.str = data.str;
        } else if (CNoCaseLess::Equal(type.str, "d")) {
            spec.bDword = true;
            const std::string& s = data.str;
            int nBase = 10;
            size_t start = 0;
            if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
                nBase = 16;
                start = 2;
            }
            if (start >= s.size()) Fail(data.nLine, "number expected");
            uint64_t v = 0;
            for (size_t i = start; i < s.size(); ++i) {
                char c = s[i];
                int d = (c >= '0' && c <= '9')                  ? c - '0'
                        : (nBase == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (nBase == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                                : -1;
                if (d < 0) Fail(data.nLine, "malformed number '" + s + "'");
                v = v * static_cast<uint64_t>(nBase) + static_cast<uint64_t>(d);
                if (v > 0xFFFFFFFFull) Fail(data.nLine, "number '" + s + "' does not fit in 32 bits");
            }
            spec.dw = static_cast<uint32_t>(v);
        } else {
            Fail(type.nLine, "unsupported value type \"" + type.str + "\" (s or d)");
        }
        return spec;
    }

    std::vector<CToken> m_tokens;
    size_t m_nPos = 0;
};

std::string Join(const std::string& strParent, const std::string& strName) {
    return strParent.empty() ? strName : strParent + "\\" + strName;
}

void ApplyRegister(CRegistryStore& store, ERegRoot root, const std::string& strParent,
                   const std::vector<CNode>& nodes) {
    for (const CNode& node : nodes) {
        if (node.eKind == CNode::EKind::Value) {
            CResult<> r = store.SetValue(root, strParent, node.strName, node.value->ToValue());
            if (!r) Fail(node.nLine, r.Problem());
            continue;
        }
        std::string strPath = Join(strParent, node.strName);
        if (node.eFlag == CNode::EFlag::Delete) {
            store.DeleteKey(root, strPath);
            continue;
        }
        if (node.eFlag == CNode::EFlag::ForceRemove) store.DeleteKey(root, strPath);
        if (CResult<> r = store.CreateKey(root, strPath); !r) Fail(node.nLine, r.Problem());
        if (node.value) {
            CResult<> r = store.SetValue(root, strPath, "", node.value->ToValue());
            if (!r) Fail(node.nLine, r.Problem());
        }
        ApplyRegister(store, root, strPath, node.vecChildren);
    }
}

void ApplyUnregister(CRegistryStore& store, ERegRoot root, const std::string& strParent,
                     const std::vector<CNode>& nodes) {
    for (const CNode& node : nodes) {
        if (node.eKind == CNode::EKind::Value) {
            store.DeleteValue(root, strParent, node.strName);
            continue;
        }
        std::string strPath = Join(strParent, node.strName);
        if (node.eFlag == CNode::EFlag::Delete || !store.KeyExists(root, strPath)) continue;
        if (node.eFlag == CNode::EFlag::ForceRemove) {
            store.DeleteKey(root, strPath);
            continue;
        }
        ApplyUnregister(store, root, strPath, node.vecChildren);
        if (node.eFlag == CNode::EFlag::NoRemove) continue;
        if (node.value) store.DeleteValue(root, strPath, "");
        const CRegKey* pKey = store.FindKey(root, strPath);
        if (pKey && pKey->IsEmpty()) store.DeleteKey(root, strPath);
    }
}

CResult<> Run(CRegistryStore& store, std::string_view svScript, const CRegistrar::CReplacements& repl, bool bRegister) {
    try {
        CParser parser(Tokenize(svScript, repl));
        std::vector<CRootBlock> roots = parser.ParseScript();
        CRegistryStore work = store;
        for (const CRootBlock& block : roots) {
            if (bRegister) ApplyRegister(work, block.root, "", block.vecChildren);
            else ApplyUnregister(work, block.root, "", block.vecChildren);
        }
        store = std::move(work);
        return {};
    } catch (const CError& e) {
        return CProblem(e.ToString());
    }
}

CResult<> RunOnFile(const CRegistryFile& file, std::string_view svScript, const CRegistrar::CReplacements& repl,
                    bool bRegister) {
    QUILLORY_TRY(CRegistrar::Check(svScript, repl));
    CResult<> rScript;
    CResult<> rFile = file.Update([&](CRegistryStore& store) {
        rScript = Run(store, svScript, repl, bRegister);
        return rScript;
    });
    if (!rScript) return rScript;
    if (!rFile) return CProblem(CError{0, rFile.Problem()}.ToString());
    return {};
}

}  // namespace

CResult<> CRegistrar::Check(std::string_view svScript, const CReplacements& repl) {
    CRegistryStore scratch;
    return Run(scratch, svScript, repl, true);
}

CResult<> CRegistrar::Register(CRegistryStore& store, std::string_view svScript, const CReplacements& repl) {
    return Run(store, svScript, repl, true);
}

CResult<> CRegistrar::Unregister(CRegistryStore& store, std::string_view svScript, const CReplacements& repl) {
    return Run(store, svScript, repl, false);
}

CResult<> CRegistrar::Register(const CRegistryFile& file, std::string_view svScript, const CReplacements& repl) {
    return RunOnFile(file, svScript, repl, true);
}

CResult<> CRegistrar::Unregister(const CRegistryFile& file, std::string_view svScript, const CReplacements& repl) {
    return RunOnFile(file, svScript, repl, false);
}
