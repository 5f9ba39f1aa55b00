#pragma once
// The controls of one toolbar, in order; on a menu bar, its menus.
#include <algorithm>
#include <vector>

#include "CCommandBarButton.h"

class CCommandBarControls final : public CComObjectImpl<CommandBarControls> {
public:
    explicit CCommandBarControls(WeakCore wpCore) : m_wpCore(std::move(wpCore)) {}
    ~CCommandBarControls() override { Clear(); }

    HRESULT Add(const CVariant& type, const CVariant& id, const CVariant&, const CVariant& before,
                const CVariant& temporary, CommandBarControl** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore) return E_FAIL;
        bool bPopup = false;
        if (!type.IsMissing()) {
            auto n = type.AsInt();
            if (!n) return E_INVALIDARG;
            if (*n != msoControlButton && *n != msoControlPopup) return E_NOTIMPL;
            bPopup = *n == msoControlPopup;
        }
        int32_t nId = 1;
        if (!id.IsMissing()) {
            auto n = id.AsInt();
            if (!n || (*n != 1 && *n != kSendReceiveControlId)) return E_INVALIDARG;
            nId = *n;
        }
        size_t pos = m_vecControls.size();
        if (!before.IsMissing()) {
            auto n = before.AsInt();
            if (!n || *n < 1 || static_cast<size_t>(*n) > m_vecControls.size() + 1) return E_INVALIDARG;
            pos = static_cast<size_t>(*n) - 1;
        }
        bool bTemporary = false;
        if (!temporary.IsMissing()) {
            auto b = temporary.AsBool();
            if (!b) return E_INVALIDARG;
            bTemporary = *b;
        }
        // Menus follow the buttons; a menu bar holds nothing else.
        if (bPopup) {
            CComPtr<CommandBarPopup> spPopup = MakePopup(bTemporary);
            spCore->BarsChanged();
            return om::Out<CommandBarControl>(pp, spPopup);
        }
        auto spButton = MakeComObject<CCommandBarButton>(m_wpCore, nId, bTemporary);
        spButton->m_pParent = this;
        m_vecControls.insert(m_vecControls.begin() + static_cast<std::ptrdiff_t>(pos), spButton);
        spCore->BarsChanged();
        return om::Out<CommandBarControl>(pp, spButton);
    }
    HRESULT get_Count(int32_t* pn) override {
        return om::OutValue(pn, static_cast<int32_t>(m_vecControls.size() + m_vecPopups.size()));
    }
    HRESULT get_Item(const CVariant& index, CommandBarControl** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        int32_t n = om::IndexOf(index);
        if (n < 1 || static_cast<size_t>(n) > m_vecControls.size() + m_vecPopups.size()) return E_INVALIDARG;
        const size_t nAt = static_cast<size_t>(n) - 1;
        if (nAt >= m_vecControls.size()) return om::Out<CommandBarControl>(pp, m_vecPopups[nAt - m_vecControls.size()]);
        return om::Out<CommandBarControl>(pp, m_vecControls[nAt]);
    }

    void Remove(CCommandBarButton* p) {
        auto it = std::find_if(m_vecControls.begin(), m_vecControls.end(), [p](const auto& sp) { return sp.p == p; });
        if (it == m_vecControls.end()) return;
        CComPtr<CCommandBarButton> spGone = *it;
        spGone->m_pParent = nullptr;
        m_vecControls.erase(it);
    }
    void Clear() {
        auto vec = std::move(m_vecControls);
        m_vecControls.clear();
        for (auto& sp : vec) sp->m_pParent = nullptr;
        ClearPopups();
    }
    const std::vector<CComPtr<CCommandBarButton>>& Controls() const { return m_vecControls; }
    const std::vector<CComPtr<CommandBarPopup>>& Popups() const { return m_vecPopups; }
    void RemovePopup(CommandBarPopup* p);

private:
    CComPtr<CommandBarPopup> MakePopup(bool bTemporary);
    void ClearPopups();

    WeakCore m_wpCore;
    std::vector<CComPtr<CCommandBarButton>> m_vecControls;
    std::vector<CComPtr<CommandBarPopup>> m_vecPopups;
};
