// quillory: look at, schedule and change the tasks, with or without a running host.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "CChangeRoute.h"
#include "CCommandHelp.h"
#include "CDataFolder.h"
#include "CEditCommand.h"
#include "CIcsCommand.h"
#include "CImportCommand.h"
#include "CJsonText.h"
#include "CListCommand.h"
#include "CNextCommand.h"
#include "CPrintable.h"
#include "CShowCommand.h"
#include "CTaskJson.h"
#include "CTaskListEdit.h"
#include "CTaskListFile.h"
#include "CTextCodec.h"
#include "Utf8.h"

namespace {

struct COptions {
    std::string strCommand;
    std::vector<std::string> vecArgs;  // operands after the command
    std::string strCount;
    std::string strNow;
    std::string strFile;
    std::string strCodePage;
    std::string strOut;
    bool bHelp = false;
    bool bDefaultFile = false;  // no --file: the add-in's own place
};

std::string DefaultFile() {
    std::string strBase;
    if (const char* psz = std::getenv("XDG_DATA_HOME"); psz && *psz) strBase = psz;
    else if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome)
        strBase = std::string(pszHome) + "/.local/share";
    else strBase = ".";
    // Before the add-in has moved an earlier build's folder into place, the
    // task list is still there.
    const std::string strEarlier = CDataFolder::Earlier(strBase + "/");
    return (strEarlier.empty() ? CDataFolder::PathUnder(strBase + "/") : strEarlier) + CTaskListFile::kFileName;
}

// The commands that read their options themselves (all but --file,
// --codepage and --help).
bool TakesOwnOptions(const std::string& strCommand) {
    return strCommand == "list" || CTaskListEdit::IsEdit(strCommand);
}

// Parses the arguments; the problem is a usage error.
CResult<> Parse(int argc, char** argv, COptions& opt) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // Requests and the store beside the list, where any argument may end up, hold nothing else.
        if (!IsUtf8(a))
            return CProblem("argument " + std::to_string(i + 1) + " is not UTF-8 text: " + CPrintable::Escape(a));
        if (a == "--help" || a == "-h") {
            opt.bHelp = true;
        } else if (a == "--file" || a == "--codepage" ||
                   (!TakesOwnOptions(opt.strCommand) && (a == "--count" || a == "--now" || a == "--out"))) {
            if (i + 1 >= args.size()) return CProblem(a + " needs a value");
            std::string& strValue = a == "--file"       ? opt.strFile
                                    : a == "--codepage" ? opt.strCodePage
                                    : a == "--count"    ? opt.strCount
                                    : a == "--out"      ? opt.strOut
                                                        : opt.strNow;
            strValue = args[++i];
        } else if (TakesOwnOptions(opt.strCommand) && !a.empty() && a[0] == '-' && a.rfind("--file=", 0) != 0 &&
                   a.rfind("--codepage=", 0) != 0) {
            opt.vecArgs.push_back(a);
        } else if (a.rfind("--file=", 0) == 0) {
            opt.strFile = a.substr(7);
        } else if (a.rfind("--codepage=", 0) == 0) {
            opt.strCodePage = a.substr(11);
        } else if (!a.empty() && a[0] == '-') {
            return CProblem("unknown option " + a);
        } else if (opt.strCommand.empty()) {
            opt.strCommand = a;
        } else if (TakesOwnOptions(opt.strCommand)) {
            opt.vecArgs.push_back(a);  // read by the command itself
        } else {
            opt.vecArgs.push_back(a);
        }
    }
    const size_t nOperands = opt.strCommand == "next" || opt.strCommand == "show"         ? 1
                             : opt.strCommand == "ics" || TakesOwnOptions(opt.strCommand) ? args.size()
                                                                                          : 0;
    if (!opt.bHelp && opt.vecArgs.size() > nOperands) return CProblem("unexpected argument " + opt.vecArgs[nOperands]);
    if (opt.strCommand != "next" && !opt.strCount.empty()) return CProblem("--count belongs to the next command");
    if (opt.strCommand != "next" && opt.strCommand != "ics" && !opt.strNow.empty())
        return CProblem("--now belongs to the next and ics commands");
    if (opt.strCommand != "ics" && !opt.strOut.empty()) return CProblem("--out belongs to the ics command");
    opt.bDefaultFile = opt.strFile.empty();
    if (opt.bDefaultFile) opt.strFile = DefaultFile();
    return {};
}

enum class ELoaded {
    kWhole,       // every task, or no file at all (an empty list)
    kDamaged,     // the tasks before the damage
    kUnreadable,  // the file is there but cannot be read: nothing to show
};

// Loads the list and names on stderr whatever kept it from loading whole.
ELoaded Load(const COptions& opt, const CTextCodec& codec, CTaskList& list) {
    // A missing file in its folder is a list with no task yet; a missing
    // folder is a mistyped --file, unless it is the default one, which the
    // add-in makes with its first task.
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(opt.strFile).parent_path();
    if (!opt.bDefaultFile && !folder.empty() && !std::filesystem::exists(opt.strFile, ec) &&
        !std::filesystem::is_directory(folder, ec)) {
        std::cerr << "quillory: " << opt.strFile << ": there is no folder " << folder.string() << '\n';
        return ELoaded::kUnreadable;
    }
    CTaskListFile::CLoadCounts counts;
    const auto rLoaded = CTaskListFile::LoadTaskList(opt.strFile, list, codec, &counts);
    if (counts.bUnreadable) {
        std::cerr << "quillory: " << rLoaded.Problem() << '\n';
        return ELoaded::kUnreadable;
    }
    if (!rLoaded) {
        std::cerr << "quillory: " << opt.strFile << ": " << rLoaded.Problem() << " (" << counts.nLoaded << " of "
                  << counts.nDeclared << " tasks readable)\n";
        return ELoaded::kDamaged;
    }
    return ELoaded::kWhole;
}

int Ics(const COptions& opt, const CTaskList& list) {
    time_t tNow = std::time(nullptr);
    if (!opt.strNow.empty()) {
        const auto rNow = ParseNowArgument(opt.strNow);
        if (!rNow) {
            std::cerr << "quillory: --now must be a local time as \"YYYY-MM-DD HH:MM\": " << rNow.Problem()
                      << ", not \"" << opt.strNow << "\"\n";
            return kExitUsage;
        }
        tNow = *rNow;
    }
    return RunIcs(list, opt.vecArgs, tNow, opt.strOut, opt.strFile);
}

}  // namespace

int main(int argc, char** argv) {
    COptions opt;
    if (const auto rParsed = Parse(argc, argv, opt); !rParsed) {
        std::cerr << "quillory: " << rParsed.Problem() << "\n\n" << CCommandHelp::Usage();
        return kExitUsage;
    }
    if (opt.strCommand.empty()) {
        (opt.bHelp ? std::cout : std::cerr) << CCommandHelp::Usage();
        return opt.bHelp ? kExitOk : kExitUsage;
    }
    const char* pszHelp = CCommandHelp::Of(opt.strCommand);
    if (!pszHelp) {
        std::cerr << "quillory: unknown command " << opt.strCommand << "\n\n" << CCommandHelp::Usage();
        return kExitUsage;
    }
    if (opt.bHelp) {
        std::cout << pszHelp;
        return kExitOk;
    }
    const auto rCodec = CTextCodec::Open(opt.strCodePage);
    if (!rCodec) {
        std::cerr << "quillory: " << rCodec.Problem() << '\n';
        return kExitUsage;
    }
    const CTextCodec& codec = *rCodec;
    if (opt.strCommand == "import") return RunImport(opt.strFile, codec);
    if (CTaskListEdit::IsEdit(opt.strCommand)) return RunEdit(opt.strCommand, opt.vecArgs, opt.strFile, codec);
    CTaskList list;
    const ELoaded loaded = Load(opt, codec, list);
    if (loaded == ELoaded::kUnreadable) return kExitData;
    const bool bWhole = loaded == ELoaded::kWhole;
    if (opt.strCommand == "next")
        return bWhole ? RunNext(list, opt.vecArgs.empty() ? std::string() : opt.vecArgs[0], opt.strCount, opt.strNow,
                                opt.strFile)
                      : kExitData;
    if (opt.strCommand == "ics") return bWhole ? Ics(opt, list) : kExitData;
    if (opt.strCommand == "show") {
        if (opt.vecArgs.empty()) {
            std::cerr << "quillory: show needs a TASK: its index from 1 or its exact name\n";
            return kExitUsage;
        }
        return bWhole ? RunShow(list, opt.vecArgs[0], opt.strFile) : kExitData;
    }
    // A damaged file still shows what can be read, so that it can be
    // salvaged; the exit code says it is not all.
    if (opt.strCommand == "list") return RunList(list, opt.vecArgs, bWhole, opt.strFile);
    std::cout << CJsonText::Dump(CTaskJson::ToJson(list), 2) << '\n';
    return bWhole ? kExitOk : kExitData;
}
