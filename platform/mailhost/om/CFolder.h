#pragma once
// One of the five mail folders.
#include "CItems.h"

class CFolder final : public CComObjectImpl<MAPIFolder> {
public:
    CFolder(WeakCore wpCore, EMailFolder folder) : m_wpCore(std::move(wpCore)), m_folder(folder) {}
    HRESULT get_Items(_Items** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        *pp = new CItems(m_wpCore, m_folder);
        return S_OK;
    }
    HRESULT get_Name(std::string* p) override {
        static const char* const kNames[] = {"Inbox", "Drafts", "Outbox", "Sent Items", "Deleted Items"};
        return om::OutValue(p, std::string(kNames[static_cast<int>(m_folder)]));
    }
    EMailFolder Folder() const { return m_folder; }

private:
    WeakCore m_wpCore;
    EMailFolder m_folder;
};
