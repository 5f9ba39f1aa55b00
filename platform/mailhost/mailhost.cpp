// The mail host: --headless runs store, delivery and the add-ins without
// windows; --register and --unregister record an add-in module in the
// registry or remove it.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "CAddinLoader.h"
#include "CHeadlessHost.h"

namespace {

const char* const kUsage =
    "usage: mailhost --headless          run without windows until SIGTERM or SIGINT\n"
    "       mailhost --register PATH     register the add-in module at PATH\n"
    "       mailhost --unregister PATH   remove the add-in module's registration\n"
    "(the windowed host is not built yet)\n";

int Register(const char* pszPath, bool bRegister) {
    const std::string str = CAddinLoader::RegisterModule(pszPath, bRegister);
    if (!str.empty()) {
        std::fprintf(stderr, "mailhost: cannot %s %s: %s\n", bRegister ? "register" : "unregister", pszPath, str.c_str());
        return 1;
    }
    std::printf("%s %s\n", bRegister ? "registered" : "unregistered", pszPath);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--register") == 0) return Register(argv[2], true);
    if (argc == 3 && std::strcmp(argv[1], "--unregister") == 0) return Register(argv[2], false);
    if (argc == 2 && std::strcmp(argv[1], "--headless") == 0) {
        CHeadlessHost::BlockSignals();
        QCoreApplication app(argc, argv);
        return CHeadlessHost().Run();
    }
    // The windowed mode comes here.
    std::fputs(kUsage, stderr);
    return 2;
}
