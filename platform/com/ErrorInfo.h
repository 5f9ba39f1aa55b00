#pragma once
#include <string>

#include "Unknown.h"

// clang-format off
// Tells callers which interfaces of an object report rich error information.
QUILLORY_INTERFACE(ISupportErrorInfo, IUnknown, "{DF0B3D60-548F-101B-8E65-08002B2BBD19}")
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
QUILLORY_END_INTERFACE(ISupportErrorInfo)

// Why the last failing call failed, in words for the user: an HRESULT
// alone says only "failed".
QUILLORY_INTERFACE(IErrorInfo, IUnknown, "{1CF2B120-547D-101B-8E65-08002B2BBD19}")
    virtual HRESULT GetDescription(std::string* pstrDescription) = 0;
QUILLORY_END_INTERFACE(IErrorInfo)
// clang-format on

// The calling thread's error object. A failing method sets it just before
// it returns; a caller that sees the failure takes it at once (taking it
// clears it), since any later call may replace it. dwReserved must be 0.
HRESULT SetErrorInfo(DWORD dwReserved, IErrorInfo* pErrorInfo);
// S_FALSE with null when none is set.
HRESULT GetErrorInfo(DWORD dwReserved, IErrorInfo** ppErrorInfo);

// Sets the thread's error object to one with this description and passes
// hr on: `return ReportError(E_FAIL, "no such folder");`.
HRESULT ReportError(HRESULT hr, const std::string& strDescription);
// Takes the thread's error object and gives its description; empty when
// none was set.
std::string TakeErrorDescription();
