#pragma once
// The toolbars of one window, found by name (case-insensitively) or index.
#include <algorithm>
#include <vector>

#include "CCommandBar.h"

class CCommandBars final : public CComObjectImpl<_CommandBars> {
public:
    explicit CCommandBars(WeakCore wpCore) : m_wpCore(std::move(wpCore)) {}
    ~CCommandBars() override { Clear(); }

    HRESULT Add(const CVariant& name, const CVariant& position, const CVariant& menuBar, const CVariant& temporary,
                CommandBar** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        auto spCore = om::LiveCore(m_wpCore);
        if (!spCore) return E_FAIL;
        std::string strName;
        if (name.IsMissing()) {
            for (int i = 1; strName.empty() || Find(strName); ++i) strName = "Custom " + std::to_string(i);
        } else {
            auto s = name.AsString();
            if (!s || s->empty()) return E_INVALIDARG;
            strName = *s;
        }
        if (Find(strName)) return E_INVALIDARG;
        int32_t nPosition = msoBarFloating;
        if (!position.IsMissing()) {
            auto n = position.AsInt();
            if (!n || *n < msoBarLeft || *n > msoBarPopup) return E_INVALIDARG;
            nPosition = *n;
        }
        if (!menuBar.IsMissing() && !menuBar.AsBool()) return E_INVALIDARG;
        const bool bMenuBar = menuBar.AsBool().value_or(false);
        bool bTemporary = false;
        if (!temporary.IsMissing()) {
            auto b = temporary.AsBool();
            if (!b) return E_INVALIDARG;
            bTemporary = *b;
        }
        auto spBar = MakeComObject<CCommandBar>(m_wpCore, strName, nPosition, bTemporary);
        spBar->m_pParent = this;
        spBar->m_bMenuBar = bMenuBar;
        m_vecBars.push_back(spBar);
        spCore->BarsChanged();
        return om::Out<CommandBar>(pp, spBar);
    }
    HRESULT get_Count(int32_t* pn) override { return om::OutValue(pn, static_cast<int32_t>(m_vecBars.size())); }
    HRESULT get_Item(const CVariant& index, CommandBar** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        if (auto s = index.AsString()) {
            CCommandBar* p = Find(*s);
            if (!p) return E_INVALIDARG;
            return om::Out<CommandBar>(pp, p);
        }
        int32_t n = om::IndexOf(index);
        if (n < 1 || static_cast<size_t>(n) > m_vecBars.size()) return E_INVALIDARG;
        return om::Out<CommandBar>(pp, m_vecBars[static_cast<size_t>(n) - 1]);
    }
    HRESULT FindControl(const CVariant& type, const CVariant& id, const CVariant& tag, const CVariant& visible,
                        CommandBarControl** pp) override {
        if (!om::ClearOut(pp)) return E_POINTER;
        auto nType = type.AsInt();
        auto nId = id.AsInt();
        auto strTag = tag.AsString();
        bool bVisibleOnly = visible.AsBool().value_or(false);
        if ((!type.IsMissing() && !nType) || (!id.IsMissing() && !nId) || (!tag.IsMissing() && !strTag))
            return E_INVALIDARG;
        for (const auto& spBar : m_vecBars) {
            if (bVisibleOnly && !spBar->Visible()) continue;
            for (const auto& spCtl : spBar->Controls()->Controls()) {
                int32_t n = 0;
                if (nType && (spCtl->get_Type(&n), n != *nType)) continue;
                if (nId && (spCtl->get_Id(&n), n != *nId)) continue;
                if (strTag && spCtl->Tag() != *strTag) continue;
                if (bVisibleOnly && !spCtl->Visible()) continue;
                return om::Out<CommandBarControl>(pp, spCtl);
            }
        }
        return S_OK;
    }

    CCommandBar* Find(const std::string& strName) const {
        for (const auto& sp : m_vecBars)
            if (om::EqualNoCase(sp->Name(), strName)) return sp;
        return nullptr;
    }
    void Remove(CCommandBar* p) {
        auto it = std::find_if(m_vecBars.begin(), m_vecBars.end(), [p](const auto& sp) { return sp.p == p; });
        if (it == m_vecBars.end()) return;
        CComPtr<CCommandBar> spGone = *it;
        spGone->m_pParent = nullptr;
        spGone->Controls()->Clear();
        m_vecBars.erase(it);
    }
    // The window goes: every toolbar and control with it.
    void Clear() {
        auto vec = std::move(m_vecBars);
        m_vecBars.clear();
        for (auto& sp : vec) {
            sp->m_pParent = nullptr;
            sp->Controls()->Clear();
        }
    }
    std::vector<CComPtr<CommandBar>> Bars() const { return {m_vecBars.begin(), m_vecBars.end()}; }

private:
    WeakCore m_wpCore;
    std::vector<CComPtr<CCommandBar>> m_vecBars;
};
