#include "CQuilloryTool.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "CDueTasks.h"
#include "COwnedFd.h"

namespace {

bool IsExecutable(const std::string& strPath) { return !strPath.empty() && ::access(strPath.c_str(), X_OK) == 0; }

}  // namespace

std::string CQuilloryTool::Find() {
    if (const char* psz = std::getenv("QUILLORY_TOOL"); psz && *psz) return psz;
    char sz[PATH_MAX] = "";
    const ssize_t n = ::readlink("/proc/self/exe", sz, sizeof sz - 1);
    const std::string strSelf(sz, n > 0 ? static_cast<size_t>(n) : 0);
    const std::string strDir = strSelf.substr(0, strSelf.rfind('/') + 1);
    for (const std::string& strPath : {strDir + "quillory", strDir + "../../tools/cli/quillory"})
        if (IsExecutable(strPath)) return strPath;
    const char* pszPath = std::getenv("PATH");
    std::string strPaths = pszPath ? pszPath : "";
    for (size_t nStart = 0; nStart <= strPaths.size();) {
        size_t nEnd = strPaths.find(':', nStart);
        if (nEnd == std::string::npos) nEnd = strPaths.size();
        const std::string strPath = strPaths.substr(nStart, nEnd - nStart) + "/quillory";
        if (nEnd > nStart && IsExecutable(strPath)) return strPath;
        nStart = nEnd + 1;
    }
    return {};
}

int CQuilloryTool::RunCaught(const std::vector<std::string>& vecArgs, std::string& strOut) {
    COwnedFd fdRead, fdWrite;
    if (!COwnedFd::MakePipe(fdRead, fdWrite)) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fdWrite.Get(), STDOUT_FILENO);
        std::vector<char*> vecArgv;
        for (const auto& str : vecArgs) vecArgv.push_back(const_cast<char*>(str.c_str()));
        vecArgv.push_back(nullptr);
        ::execv(vecArgv[0], vecArgv.data());
        ::_exit(127);
    }
    fdWrite.Reset();  // the end of the output is seen once the child's copy goes too
    char buf[4096];
    for (ssize_t n; (n = ::read(fdRead.Get(), buf, sizeof buf)) > 0;) strOut.append(buf, static_cast<size_t>(n));
    int nStatus = 0;
    if (pid < 0 || ::waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus)) return -1;
    return WEXITSTATUS(nStatus);
}

std::optional<int> CQuilloryTool::ActiveTaskCount() {
    const std::string strTool = Find();
    std::string strList;
    if (strTool.empty() || RunCaught({strTool, "list", "--json"}, strList) != 0) return std::nullopt;
    const auto rTasks = CDueTasks::Parse(strList);
    if (!rTasks) return std::nullopt;
    return CDueTasks::CountActive(*rTasks);
}
