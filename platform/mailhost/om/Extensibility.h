#pragma once
// The connection interface that the host calls on every add-in it loads.
#include <cstdint>

#include "Com.h"

enum ext_ConnectMode : int32_t {
    ext_cm_AfterStartup = 0,
    ext_cm_Startup = 1,
    ext_cm_External = 2,
    ext_cm_CommandLine = 3,
};
enum ext_DisconnectMode : int32_t {
    ext_dm_HostShutdown = 0,
    ext_dm_UserClosed = 1,
};

// clang-format off
QUILLORY_INTERFACE(_IDTExtensibility2, IDispatch, "{B65AD801-ABAF-11D0-BB8B-00A0C90F2744}")
    // pApplication: the host's application object; pCustom may be null.
    virtual HRESULT OnConnection(IDispatch* pApplication, int32_t nConnectMode, IDispatch* pAddInInst,
                                 CVariant* pCustom) = 0;
    virtual HRESULT OnDisconnection(int32_t nRemoveMode, CVariant* pCustom) = 0;
    virtual HRESULT OnAddInsUpdate(CVariant* pCustom) = 0;
    virtual HRESULT OnStartupComplete(CVariant* pCustom) = 0;
    virtual HRESULT OnBeginShutdown(CVariant* pCustom) = 0;
QUILLORY_END_INTERFACE(_IDTExtensibility2)
// clang-format on
