#pragma once
// What a toolbar button and a menu share: caption, tooltip, tag, the
// enabled and visible flags and whether the control is temporary. A change
// is told to the host's windows, which draw the bars again.
#include <string>

#include "CHostCore.h"
#include "OmSupport.h"

class CCommandBarControls;

template <class Interface, class... Extra>
class CCommandBarControlImpl : public CComObjectImpl<Interface, Extra...> {
public:
    HRESULT get_Caption(std::string* p) override { return om::OutValue(p, m_strCaption); }
    HRESULT put_Caption(const std::string& s) override { return Change(m_strCaption, s); }
    HRESULT get_TooltipText(std::string* p) override { return om::OutValue(p, m_strTooltip); }
    HRESULT put_TooltipText(const std::string& s) override { return Change(m_strTooltip, s); }
    HRESULT get_Tag(std::string* p) override { return om::OutValue(p, m_strTag); }
    HRESULT put_Tag(const std::string& s) override { return Change(m_strTag, s); }
    HRESULT get_Enabled(bool* p) override { return om::OutValue(p, m_bEnabled); }
    HRESULT put_Enabled(bool b) override { return Change(m_bEnabled, b); }
    HRESULT get_Visible(bool* p) override { return om::OutValue(p, m_bVisible); }
    HRESULT put_Visible(bool b) override { return Change(m_bVisible, b); }
    HRESULT get_Temporary(bool* p) override { return om::OutValue(p, m_bTemporary); }

    const std::string& Tag() const { return m_strTag; }
    bool Visible() const { return m_bVisible; }
    CCommandBarControls* m_pParent = nullptr;  // the list holding the control, while it does

protected:
    CCommandBarControlImpl(WeakCore wpCore, bool bTemporary) : m_wpCore(std::move(wpCore)), m_bTemporary(bTemporary) {}

    template <class T>
    HRESULT Change(T& field, const T& value) {
        if (field != value) {
            field = value;
            if (auto spCore = m_wpCore.lock()) spCore->BarsChanged();
        }
        return S_OK;
    }

    WeakCore m_wpCore;
    bool m_bTemporary;
    std::string m_strCaption, m_strTooltip, m_strTag;
    bool m_bEnabled = true;
    bool m_bVisible = true;
};
