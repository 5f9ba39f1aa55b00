#pragma once
// The least of COM that the add-in and its host need: result codes and
// globally unique identifiers in their registry form.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;

constexpr HRESULT MakeHResult(uint32_t u) { return static_cast<HRESULT>(u); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200u);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202u);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000Bu);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// A GUID, parsed from and formatted to the registry form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case).
struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    std::array<uint8_t, 8> Data4{};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;

    // Accepts the registry form only: braces, hyphens at their places.
    static constexpr std::optional<GUID> Parse(std::string_view sv) {
        if (sv.size() != 38 || sv[0] != '{' || sv[37] != '}') return std::nullopt;
        for (size_t i : {9u, 14u, 19u, 24u})
            if (sv[i] != '-') return std::nullopt;
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        bool bOk = true;
        auto field = [&](size_t pos, size_t n) -> uint64_t {
            uint64_t v = 0;
            for (size_t i = 0; i < n; ++i) {
                int d = hex(sv[pos + i]);
                if (d < 0) bOk = false;
                v = (v << 4) | static_cast<uint64_t>(d < 0 ? 0 : d);
            }
            return v;
        };
        GUID g;
        g.Data1 = static_cast<uint32_t>(field(1, 8));
        g.Data2 = static_cast<uint16_t>(field(10, 4));
        g.Data3 = static_cast<uint16_t>(field(15, 4));
        g.Data4[0] = static_cast<uint8_t>(field(20, 2));
        g.Data4[1] = static_cast<uint8_t>(field(22, 2));
        for (size_t i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<uint8_t>(field(25 + 2 * i, 2));
        if (!bOk) return std::nullopt;
        return g;
    }

    // Upper-case registry form, as the system registry shows it.
    std::string ToString() const;
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

// A GUID from a literal, checked while compiling.
consteval GUID MakeGuid(std::string_view sv) {
    auto g = GUID::Parse(sv);
    if (!g) throw "malformed GUID literal";
    return *g;
}

// Readable name of a result code, for messages and test output.
std::string HResultToString(HRESULT hr);
