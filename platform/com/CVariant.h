#pragma once
// A minimal VARIANT: missing (an optional argument not given), a boolean, a
// 32-bit integer, a string or an object reference.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "Unknown.h"

class CVariant {
public:
    CVariant() = default;  // missing
    CVariant(bool b) : m_v(b) {}
    CVariant(int n) : m_v(static_cast<int32_t>(n)) {}
    CVariant(long n) : m_v(static_cast<int32_t>(n)) {}
    CVariant(const char* psz) : m_v(std::string(psz ? psz : "")) {}
    CVariant(std::string str) : m_v(std::move(str)) {}
    CVariant(IDispatch* p) : m_v(CComPtr<IDispatch>(p)) {}

    bool IsMissing() const { return std::holds_alternative<std::monostate>(m_v); }
    bool IsBool() const { return std::holds_alternative<bool>(m_v); }
    bool IsInt() const { return std::holds_alternative<int32_t>(m_v); }
    bool IsString() const { return std::holds_alternative<std::string>(m_v); }
    bool IsObject() const { return std::holds_alternative<CComPtr<IDispatch>>(m_v); }

    std::optional<bool> AsBool() const {
        if (IsBool()) return std::get<bool>(m_v);
        if (IsInt()) return std::get<int32_t>(m_v) != 0;
        return std::nullopt;
    }
    std::optional<int32_t> AsInt() const {
        if (IsInt()) return std::get<int32_t>(m_v);
        return std::nullopt;
    }
    std::optional<std::string> AsString() const {
        if (IsString()) return std::get<std::string>(m_v);
        return std::nullopt;
    }
    IDispatch* AsObject() const { return IsObject() ? std::get<CComPtr<IDispatch>>(m_v).p : nullptr; }

private:
    std::variant<std::monostate, bool, int32_t, std::string, CComPtr<IDispatch>> m_v;
};

// The value written as "missing" in calls.
inline const CVariant vtMissing{};
