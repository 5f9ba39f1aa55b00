#pragma once
#include "CMemoryMailBackend.h"
#include "MailHostOM.h"

// Puts a received message into the backend's Inbox and returns it as the
// object model shows it (null when the host cannot give it).
inline CComPtr<IDispatch> PutReceived(CMemoryMailBackend& backend, _Application* pApp) {
    CMailMessage received;
    received.strSubject = "In";
    received.vecTo = {"me@example.org"};
    received.bSent = true;
    backend.Put(EMailFolder::Inbox, received);
    CComPtr<_NameSpace> spNS;
    CComPtr<MAPIFolder> spInbox;
    CComPtr<_Items> spItems;
    CComPtr<IDispatch> spItem;
    if (SUCCEEDED(pApp->GetNamespace("MAPI", &spNS)) && SUCCEEDED(spNS->GetDefaultFolder(olFolderInbox, &spInbox)) &&
        SUCCEEDED(spInbox->get_Items(&spItems)))
        spItems->Item(1, &spItem);
    return spItem;
}
