#pragma once
// The add-in's identity: class, interface, type library and application ids.
#include "Com.h"

inline constexpr CLSID CLSID_Addin = MakeGuid("{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}");
inline constexpr IID IID_IAddin = MakeGuid("{ECA781F8-6D4D-4C63-8C9E-AF712739E991}");
inline constexpr GUID LIBID_QuilloryLib = MakeGuid("{15C413B0-8B4E-484A-A6BD-074CDF803C06}");
inline constexpr GUID APPID_Quillory = MakeGuid("{2ED2A63A-8F49-441E-BE56-E25EC2C23AD8}");
inline constexpr const char* kProgId = "TarnwickQuillory.Addin.1";
inline constexpr const char* kVersionIndependentProgId = "TarnwickQuillory.Addin";

// The add-in's own dual interface; it has no members of its own.
struct IAddin : IDispatch {
    using Base = IDispatch;
    static constexpr IID iid = IID_IAddin;

protected:
    ~IAddin() = default;
};
