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
    if ((nFlags & 0xF) == MB_YESNO) return (nFlags & MB_DEFBUTTON2) ? IDNO : IDYES;
    return IDOK;
}

int Show(const std::string& strText, const std::string& strCaption, unsigned nFlags) {
    if (Handler()) return Handler()(strText, strCaption, nFlags);
    const char* pszKind = (nFlags & 0xF0) == MB_ICONERROR         ? "error"
                          : (nFlags & 0xF0) == MB_ICONWARNING     ? "warning"
                          : (nFlags & 0xF0) == MB_ICONQUESTION    ? "question"
                          : (nFlags & 0xF0) == MB_ICONINFORMATION ? "information"
                                                                  : "message";
    std::cerr << strCaption << " (" << pszKind << "): " << strText << '\n';
    return DefaultAnswer(nFlags);
}

void SetHandler(CHandler fn) { Handler() = std::move(fn); }

}  // namespace CMessageBox
