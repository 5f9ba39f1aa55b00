#pragma once
#include "Unknown.h"

// Tells callers which interfaces of an object report rich error information.
struct ISupportErrorInfo : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BBD19}");
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};
