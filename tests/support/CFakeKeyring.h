#pragma once
#include <map>
#include <string>

#include "IPasswordStore.h"

// The desktop keyring where a test needs it to fail: entries in memory and
// one fault to inject, as the real keyring shows them (no session bus, a
// locked keyring that refuses, a keyring that reads but will not store).
class CFakeKeyring : public IPasswordStore {
public:
    enum class EFault {
        None,
        NoBus,          // every call fails, as without a session bus
        Locked,         // every call fails, as when the user refuses to unlock
        RefusesWrites,  // reads and removes work, writes fail
    };

    CResult<std::optional<std::string>> Read(const std::string& strKey) override {
        ++m_nCalls;
        if (m_fault == EFault::NoBus || m_fault == EFault::Locked) return Fault();
        auto it = m_mapEntries.find(strKey);
        if (it == m_mapEntries.end()) return std::optional<std::string>();
        return std::optional<std::string>(it->second);
    }
    CResult<> Write(const std::string& strKey, const std::string& strPassword) override {
        ++m_nCalls;
        if (m_fault != EFault::None) return Fault();
        m_mapEntries[strKey] = strPassword;
        return {};
    }
    CResult<> Remove(const std::string& strKey) override {
        ++m_nCalls;
        if (m_fault == EFault::NoBus || m_fault == EFault::Locked) return Fault();
        m_mapEntries.erase(strKey);
        return {};
    }

    EFault m_fault = EFault::None;
    std::map<std::string, std::string> m_mapEntries;
    int m_nCalls = 0;

private:
    CProblem Fault() const {
        return CProblem(m_fault == EFault::NoBus ? "no session bus" : "the desktop keyring: the collection is locked");
    }
};
