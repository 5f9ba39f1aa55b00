#pragma once
// The attachments of a mail item; Add reads the file at once.
#include <filesystem>

#include "CFileOps.h"
#include "CMailItem.h"
#include "CMaildir.h"

class CAttachments final : public CComObjectImpl<Attachments> {
public:
    explicit CAttachments(CMailItem* pItem) : m_spItem(pItem) {}
    HRESULT get_Count(int32_t* pn) override {
        return om::OutValue(pn, static_cast<int32_t>(m_spItem->Message().vecAttachments.size()));
    }
    HRESULT Add(const CVariant& source, const CVariant& type, const CVariant&, const CVariant& displayName) override {
        auto strPath = source.AsString();
        if (!strPath || strPath->empty()) return E_INVALIDARG;
        if (!type.IsMissing()) {
            auto n = type.AsInt();
            if (!n) return E_INVALIDARG;
            if (*n != olByValue) return E_NOTIMPL;
        }
        std::filesystem::path path(*strPath);
        // Only a regular file, opened without waiting on a FIFO.
        auto rBytes = CFileOps::ReadFile(*strPath, CMaildir::kMaxMessageBytes);
        if (!rBytes) return ReportError(E_FAIL, rBytes.Problem());
        CMailAttachment att;
        att.vecData.assign(rBytes->begin(), rBytes->end());
        auto strShown = displayName.AsString();
        att.strFileName = strShown && !strShown->empty() ? *strShown : path.filename().string();
        att.strContentType = om::ContentTypeFor(path);
        m_spItem->Message().vecAttachments.push_back(std::move(att));
        return S_OK;
    }
    HRESULT get_FileName(int32_t nIndex, std::string* p) override {
        const auto& vec = m_spItem->Message().vecAttachments;
        if (nIndex < 1 || static_cast<size_t>(nIndex) > vec.size()) return DISP_E_BADINDEX;
        return om::OutValue(p, vec[static_cast<size_t>(nIndex) - 1].strFileName);
    }
    HRESULT Remove(int32_t nIndex) override {
        auto& vec = m_spItem->Message().vecAttachments;
        if (nIndex < 1 || static_cast<size_t>(nIndex) > vec.size()) return DISP_E_BADINDEX;
        vec.erase(vec.begin() + (nIndex - 1));
        return S_OK;
    }

private:
    CComPtr<CMailItem> m_spItem;
};
