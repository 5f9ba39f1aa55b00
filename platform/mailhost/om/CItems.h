#pragma once
// The messages of one folder, read from the backend on each call.
#include "CMailItem.h"

class CItems final : public CComObjectImpl<_Items> {
public:
    CItems(WeakCore wpCore, EMailFolder folder) : m_wpCore(std::move(wpCore)), m_folder(folder) {}
    HRESULT get_Count(int32_t* pn) override {
        if (!om::ClearOut(pn)) return E_POINTER;
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore) return E_FAIL;
        *pn = static_cast<int32_t>(spCore->pBackend->ListFolder(m_folder).size());
        return S_OK;
    }
    HRESULT Item(const CVariant& index, IDispatch** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore) return E_FAIL;
        int32_t n = om::IndexOf(index);
        auto vecIds = spCore->pBackend->ListFolder(m_folder);
        if (n < 1 || static_cast<size_t>(n) > vecIds.size()) return DISP_E_BADINDEX;
        const std::string& strId = vecIds[static_cast<size_t>(n) - 1];
        CMailMessage msg;
        if (!spCore->pBackend->LoadFromFolder(m_folder, strId, msg).Ok()) return E_FAIL;
        *pp = new CMailItem(m_wpCore, std::move(msg), m_folder, strId);
        return S_OK;
    }

private:
    WeakCore m_wpCore;
    EMailFolder m_folder;
};
