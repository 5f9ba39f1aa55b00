#pragma once
// Small helpers shared by the object model's classes: out-parameters,
// recipient lists, attachment content types and collection indexes.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "MailHostOM.h"

namespace om {

// The entry of a method with an out-parameter: false when there is none (the
// call answers E_POINTER), else the value is cleared first, so that a call
// that fails leaves null or zero behind, never garbage.
template <class T>
[[nodiscard]] bool ClearOut(T* p) {
    if (!p) return false;
    *p = T{};
    return true;
}

template <class T>
HRESULT Out(T** pp, T* p) {
    if (!pp) return E_POINTER;
    *pp = p;
    if (p) p->AddRef();
    return S_OK;
}

template <class T>
HRESULT OutValue(T* p, const T& v) {
    if (!p) return E_POINTER;
    *p = v;
    return S_OK;
}

bool EqualNoCase(std::string_view a, std::string_view b);
std::string Trim(std::string_view sv);
// "a; b;; c" -> {"a", "b", "c"}, each trimmed.
std::vector<std::string> SplitRecipients(const std::string& str);
std::string JoinRecipients(const std::vector<std::string>& vec);
std::string ContentTypeFor(const std::filesystem::path& path);
// A 1-based index from a variant, or 0.
int32_t IndexOf(const CVariant& v);

}  // namespace om
