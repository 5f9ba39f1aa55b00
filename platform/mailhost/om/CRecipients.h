#pragma once
// The recipients of a mail item (To, CC and BCC together).
#include "CMailItem.h"

class CRecipients final : public CComObjectImpl<Recipients> {
public:
    explicit CRecipients(CMailItem* pItem) : m_spItem(pItem) {}
    HRESULT get_Count(int32_t* pn) override {
        const CMailMessage& m = m_spItem->Message();
        return om::OutValue(pn, static_cast<int32_t>(m.vecTo.size() + m.vecCc.size() + m.vecBcc.size()));
    }
    HRESULT Add(const std::string& strName) override {
        std::string s = om::Trim(strName);
        if (s.empty()) return E_INVALIDARG;
        m_spItem->Message().vecTo.push_back(s);
        return S_OK;
    }

private:
    CComPtr<CMailItem> m_spItem;
};
