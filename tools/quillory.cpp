// quillory: look at, back up and restore the task list without the host.
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CTaskJson.h"
#include "CTaskListFile.h"
#include "CTextCodec.h"
#include "TaskTime.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitData = 2;

const char* const kUsage =
    "usage: quillory COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  list     one line per task: index, active mark, name, next sending time\n"
    "  export   the whole task list as JSON on standard output\n"
    "  import   replace the task list with the JSON array on standard input\n"
    "\n"
    "options of every command:\n"
    "  --file PATH      task list file (default: the add-in's emails.dat)\n"
    "  --codepage CP    code page of the texts in the file (default: $QUILLORY_CODEPAGE,\n"
    "                   else the locale's code set)\n"
    "\n"
    "Run 'quillory COMMAND --help' for a command's own help.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"list",
     "usage: quillory list [--file PATH] [--codepage CP]\n"
     "Prints one line per task in list order: index (from 1), '*' when active, the task\n"
     "name, and the next sending time as YYYY-MM-DD HH:MM, or 'Completed'.\n"},
    {"export",
     "usage: quillory export [--file PATH] [--codepage CP]\n"
     "Writes the task list as a JSON array to standard output, values as stored.\n"},
    {"import",
     "usage: quillory import [--file PATH] [--codepage CP] < tasks.json\n"
     "Reads a JSON array of tasks from standard input, checks all of it, and only then\n"
     "replaces the task list file. Missing keys take their defaults; unknown keys and\n"
     "invalid date groups are errors, and nothing is written.\n"},
};

struct COptions {
    std::string strCommand;
    std::string strFile;
    std::string strCodePage;
    bool bHelp = false;
};

std::string DefaultFile() {
    std::string strBase;
    if (const char* psz = std::getenv("XDG_DATA_HOME"); psz && *psz) strBase = psz;
    else if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome) strBase = std::string(pszHome) + "/.local/share";
    else strBase = ".";
    return strBase + "/Tarnwick Software/Office Outlook/Quillory/" + CTaskListFile::kFileName;
}

// Parses the arguments; returns an error text for a usage error.
std::optional<std::string> Parse(int argc, char** argv, COptions& opt) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            opt.bHelp = true;
        } else if (a == "--file" || a == "--codepage") {
            if (i + 1 >= args.size()) return a + " needs a value";
            (a == "--file" ? opt.strFile : opt.strCodePage) = args[++i];
        } else if (a.rfind("--file=", 0) == 0) {
            opt.strFile = a.substr(7);
        } else if (a.rfind("--codepage=", 0) == 0) {
            opt.strCodePage = a.substr(11);
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option " + a;
        } else if (opt.strCommand.empty()) {
            opt.strCommand = a;
        } else {
            return "unexpected argument " + a;
        }
    }
    if (opt.strFile.empty()) opt.strFile = DefaultFile();
    return std::nullopt;
}

// Loads the list; a damaged file is an error, a missing one an empty list.
bool Load(const COptions& opt, const CTextCodec& codec, CTaskList& list) {
    auto res = CTaskListFile::LoadTaskList(opt.strFile, list, codec);
    if (!res.strProblem.empty()) {
        std::cerr << "quillory: " << opt.strFile << ": " << res.strProblem << " (" << res.nLoaded << " of "
                  << res.nDeclared << " tasks readable)\n";
        return false;
    }
    return true;
}

int List(const CTaskList& list) {
    int i = 0;
    for (const auto& t : list) {
        ++i;
        std::string strNext = t.m_dtNextSending.IsSet() ? TaskTime::Format(t.m_dtNextSending) : "Completed";
        std::cout << i << ' ' << (t.m_bActive ? '*' : ' ') << ' ' << t.m_strTaskName << ' ' << strNext << '\n';
    }
    return kExitOk;
}

int Import(const COptions& opt, const CTextCodec& codec) {
    nlohmann::ordered_json j;
    try {
        j = nlohmann::ordered_json::parse(std::cin);
    } catch (const nlohmann::json::parse_error& e) {
        std::cerr << "quillory: standard input: not valid JSON: " << e.what() << '\n';
        return kExitData;
    }
    CTaskList list;
    std::vector<std::string> vecProblems;
    CTaskJson::FromJson(j, list, vecProblems);
    if (!vecProblems.empty()) {
        for (const auto& s : vecProblems) std::cerr << "quillory: " << s << '\n';
        std::cerr << "quillory: nothing written to " << opt.strFile << '\n';
        return kExitData;
    }
    if (auto err = CTaskListFile::SaveTaskList(opt.strFile, list, codec); !err.empty()) {
        std::cerr << "quillory: " << opt.strFile << ": " << err << '\n';
        return kExitData;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    COptions opt;
    if (auto err = Parse(argc, argv, opt)) {
        std::cerr << "quillory: " << *err << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (opt.strCommand.empty()) {
        (opt.bHelp ? std::cout : std::cerr) << kUsage;
        return opt.bHelp ? kExitOk : kExitUsage;
    }
    auto itHelp = kCommandHelp.find(opt.strCommand);
    if (itHelp == kCommandHelp.end()) {
        std::cerr << "quillory: unknown command " << opt.strCommand << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (opt.bHelp) {
        std::cout << itHelp->second;
        return kExitOk;
    }
    try {
        CTextCodec codec(opt.strCodePage);
        if (opt.strCommand == "import") return Import(opt, codec);
        CTaskList list;
        if (!Load(opt, codec, list)) return kExitData;
        if (opt.strCommand == "list") return List(list);
        std::cout << CTaskJson::ToJson(list).dump(2) << '\n';
        return kExitOk;
    } catch (const CTextCodec::CUnknownCodePage& e) {
        std::cerr << "quillory: " << e.what() << '\n';
        return kExitUsage;
    }
}
