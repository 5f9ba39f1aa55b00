#pragma once
#include "MailHostOM.h"

// The add-in's toolbars: the main window's and each message window's are
// one visible top toolbar holding one visible caption-only button; and its
// command in a menu of the main window.
namespace CAddinToolbar {

// What the button says and how a click finds it again (the tag).
struct CButtonText {
    const char* pszCaption;
    const char* pszTooltip;
    const char* pszTag;
};

// Adds the toolbar pszName to pBars with its button and shows both. On a
// failure the box names the step that failed ("Failed to create a new
// toolbar!") and the result is empty.
CComPtr<_CommandBarButton> Add(_CommandBars* pBars, const char* pszName, const CButtonText& text);

// Adds the command to the menu of the window's menu bar whose caption,
// without its "&", is pszMenu ("Tools"). A click reaches the subscribers of
// every button with the same tag, so a tag shared with the toolbar button
// needs no subscription of its own. Empty, and no box, when the window has
// no such menu.
CComPtr<_CommandBarButton> AddMenuItem(_CommandBars* pBars, const char* pszMenu, const CButtonText& text);

}  // namespace CAddinToolbar
