#include "HostName.h"

#include "SharedState.h"

std::string HostName() {
    std::string strName;
    if (g_spApplication && SUCCEEDED(g_spApplication->get_Name(&strName)) && !strName.empty()) return strName;
    return "the mail host";
}
