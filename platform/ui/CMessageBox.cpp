#include "CMessageBox.h"

#include <iostream>

namespace CMessageBox {

namespace {

CHandler& Handler() {
    static CHandler g_fnHandler;
    return g_fnHandler;
}

}  // namespace

int DefaultAnswer(unsigned nFlags) {
    const unsigned nType = nFlags & MB_TYPEMASK;
    if (nType == MB_YESNO || nType == MB_YESNOCANCEL) return (nFlags & MB_DEFBUTTON2) ? IDNO : IDYES;
    return IDOK;
}

int Show(const std::string& strText, const std::string& strCaption, unsigned nFlags) {
    if (Handler()) return Handler()(strText, strCaption, nFlags);
    const char* pszKind = (nFlags & MB_ICONMASK) == MB_ICONERROR         ? "error"
                          : (nFlags & MB_ICONMASK) == MB_ICONWARNING     ? "warning"
                          : (nFlags & MB_ICONMASK) == MB_ICONQUESTION    ? "question"
                          : (nFlags & MB_ICONMASK) == MB_ICONINFORMATION ? "information"
                                                                         : "message";
    std::cerr << strCaption << " (" << pszKind << "): " << strText << '\n';
    return DefaultAnswer(nFlags);
}

void SetHandler(CHandler fn) { Handler() = std::move(fn); }

}  // namespace CMessageBox
