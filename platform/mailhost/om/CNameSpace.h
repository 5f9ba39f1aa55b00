#pragma once
// The "MAPI" namespace: the default folders.
#include <optional>

#include "CFolder.h"

class CNameSpace final : public CComObjectImpl<_NameSpace> {
public:
    explicit CNameSpace(WeakCore wpCore) : m_wpCore(std::move(wpCore)) {}
    HRESULT GetDefaultFolder(int32_t nType, MAPIFolder** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        std::optional<EMailFolder> folder;
        switch (nType) {
            case olFolderDeletedItems: folder = EMailFolder::DeletedItems; break;
            case olFolderOutbox: folder = EMailFolder::Outbox; break;
            case olFolderSentMail: folder = EMailFolder::SentItems; break;
            case olFolderInbox: folder = EMailFolder::Inbox; break;
            case olFolderDrafts: folder = EMailFolder::Drafts; break;
            default: return E_INVALIDARG;
        }
        *pp = new CFolder(m_wpCore, *folder);
        return S_OK;
    }

private:
    WeakCore m_wpCore;
};
