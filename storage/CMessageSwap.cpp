#include "CMessageSwap.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "CFileOps.h"
#include "CTaskHistoryFile.h"
#include "CTaskListFile.h"
#include "CTemplateName.h"
#include "Digits.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kWord = "quillory-swap 1";
constexpr size_t kMaxNoteBytes = 4096;

// A plain name of an entry in the data folder: nothing that leaves it.
bool IsPlainName(const std::string& str) {
    return !str.empty() && str != "." && str != ".." && str.find('/') == std::string::npos;
}

std::string NameOf(const std::string& strPath) { return fs::path(strPath).filename().string(); }

// Names a swap's note and its aside: newest last when sorted, the time
// stamp being fixed-width, and never a name an earlier swap still needs.
std::string NewStamp() {
    const auto nNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    char sz[64];
    std::snprintf(sz, sizeof sz, "%020lld-%ld", static_cast<long long>(nNs), static_cast<long>(::getpid()));
    return sz;
}

bool Rename(const std::string& strFrom, const std::string& strTo, std::string* pstrProblem = nullptr) {
    if (::rename(strFrom.c_str(), strTo.c_str()) == 0) return true;
    if (pstrProblem) *pstrProblem = CFileOps::ErrnoText("cannot move " + strFrom + " to", strTo);
    return false;
}

void Remove(const std::string& strPath) { (void)::unlink(strPath.c_str()); }  // gone already is as good

// Whether anything is at strPath. Only renamed, never opened: a link is
// moved as a link, and what it points at is never touched.
bool Exists(const std::string& strPath) {
    struct stat st {};
    return ::lstat(strPath.c_str(), &st) == 0;
}

// One note: the list replaced since it was written means saved.
CResult<std::string> SettleOne(const std::string& strDataDir, const std::string& strNotePath) {
    QUILLORY_TRY_VALUE(const std::string strBytes,
                       CFileOps::ReadFile(strNotePath, kMaxNoteBytes, CFileOps::ELinks::Refuse));
    QUILLORY_TRY_VALUE(const CMessageSwap::CNote note, CMessageSwap::Parse(strBytes));
    QUILLORY_TRY_VALUE(const std::string strListId, CMessageSwap::IdOf(strDataDir + note.strList));
    const std::string strTemplate = strDataDir + note.strTemplate;
    const std::string strAside = note.strAside.empty() ? std::string() : strDataDir + note.strAside;
    std::string strDone, strProblem;
    const bool bSaved = strListId != note.strListId;
    if (bSaved && (strAside.empty() || Exists(strTemplate))) {
        if (!strAside.empty()) Remove(strAside);
        strDone = "the new message of " + strTemplate + " was saved with its task";
    } else if (bSaved) {
        // Saved without the change, the move into place having failed: the old message is all there is.
        if (Exists(strAside) && !Rename(strAside, strTemplate, &strProblem)) return CProblem(strProblem);
        strDone = "a change to " + strTemplate + " did not take its new message; the earlier one is back";
    } else {
        // Not saved: the new message goes back where it came from, the old one to its place.
        const bool bNewInPlace = Exists(strTemplate) && (strAside.empty() || Exists(strAside));
        if (bNewInPlace && !Rename(strTemplate, strDataDir + note.strNew, &strProblem)) return CProblem(strProblem);
        if (!strAside.empty() && Exists(strAside) && !Rename(strAside, strTemplate, &strProblem))
            return CProblem(strProblem);
        strDone = "a change to " + strTemplate + " stopped before the task list was saved, and is undone";
    }
    Remove(strNotePath);
    return strDone;
}

}  // namespace

std::string CMessageSwap::Format(const CNote& note) {
    std::string str(kWord);
    for (const std::string* p : {&note.strTemplate, &note.strAside, &note.strNew, &note.strList, &note.strListId}) {
        str += '\0';
        str += *p;
    }
    str += '\0';
    return str;
}

CResult<CMessageSwap::CNote> CMessageSwap::Parse(std::string_view bytes) {
    std::vector<std::string> vecFields;
    for (size_t nPos = 0; nPos < bytes.size();) {
        const size_t nEnd = bytes.find('\0', nPos);
        if (nEnd == std::string_view::npos) return CProblem("the note is cut short");
        vecFields.emplace_back(bytes.substr(nPos, nEnd - nPos));
        nPos = nEnd + 1;
    }
    if (vecFields.size() != 6 || vecFields[0] != kWord) return CProblem("not a note of a message swap");
    CNote note{vecFields[1], vecFields[2], vecFields[3], vecFields[4], vecFields[5]};
    std::vector<std::string> vecNames = {note.strTemplate, note.strNew, note.strList};
    if (!note.strAside.empty()) vecNames.push_back(note.strAside);
    for (const std::string& str : vecNames)
        if (!IsPlainName(str)) return CProblem("\"" + str + "\" is not a file name in the data folder");
    // Only the tool's new message and our own aside are ever moved in place
    // of the template: a damaged note cannot move the list or the store.
    if (!CTemplateName::IsPendingPath("/", "/" + note.strNew))
        return CProblem("\"" + note.strNew + "\" is not a new message of the quillory tool");
    if (!note.strAside.empty() && !note.strAside.starts_with(kAsidePrefix))
        return CProblem("\"" + note.strAside + "\" is not an old message set aside");
    std::sort(vecNames.begin(), vecNames.end());
    if (std::adjacent_find(vecNames.begin(), vecNames.end()) != vecNames.end())
        return CProblem("the note names one file twice");
    const size_t nColon = note.strListId.find(':');
    if (note.strListId != "none" &&
        (nColon == std::string::npos || !IsDigits(std::string_view(note.strListId).substr(0, nColon), 20) ||
         !IsDigits(std::string_view(note.strListId).substr(nColon + 1), 20)))
        return CProblem("\"" + note.strListId + "\" is not a file's identity");
    return note;
}

CResult<std::string> CMessageSwap::IdOf(const std::string& strPath) {
    // Followed: a list kept behind a link is replaced where the link points.
    struct stat st {};
    if (::stat(strPath.c_str(), &st) == 0)
        return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
               std::to_string(static_cast<unsigned long long>(st.st_ino));
    if (errno == ENOENT) return std::string("none");
    return CProblem(CFileOps::ErrnoText("cannot look at", strPath));
}

CResult<CMessageSwap::CSwap> CMessageSwap::Begin(const std::string& strDataDir, const std::string& strListFile,
                                                 const std::string& strTemplate, const std::string& strNew) {
    if (strListFile.empty()) return CProblem("template: the task list's file is not known");
    const bool bHadMessage = Exists(strTemplate);
    const std::string strStamp = NewStamp();
    CSwap swap{strDataDir + kNotePrefix + strStamp, strTemplate,
               bHadMessage ? strDataDir + kAsidePrefix + strStamp + ".oft" : std::string(), strNew};
    QUILLORY_TRY_VALUE(const std::string strListId, IdOf(strListFile));
    const CNote note{NameOf(strTemplate), bHadMessage ? NameOf(swap.strAside) : std::string(), NameOf(strNew),
                     NameOf(strListFile), strListId};
    // Whole or not at all, whenever the writer stops; and synced, since a
    // note lost with the power would leave the swap unsettled.
    QUILLORY_TRY(CFileOps::ReplaceFile(swap.strNote, Format(note)));
    std::string strProblem;
    if (bHadMessage) {
        if (!Rename(strTemplate, swap.strAside, &strProblem)) {
            Remove(swap.strNote);
            return CProblem("template: " + strProblem);
        }
    }
    if (!Rename(strNew, strTemplate, &strProblem)) {
        if (bHadMessage && !Rename(swap.strAside, strTemplate))
            return CProblem("template: " + strProblem);  // the note settles it
        Remove(swap.strNote);
        return CProblem("template: " + strProblem);
    }
    return swap;
}

void CMessageSwap::Finish(const CSwap& swap) {
    if (!swap.strAside.empty()) Remove(swap.strAside);
    Remove(swap.strNote);
}

void CMessageSwap::Undo(const CSwap& swap) {
    (void)Rename(swap.strTemplate, swap.strNew);  // the new message back to its writer, where it can be
    if (!swap.strAside.empty() && Exists(swap.strAside) && !Rename(swap.strAside, swap.strTemplate))
        return;  // the note settles it later
    Remove(swap.strNote);
}

void CMessageSwap::Settle(const std::string& strDataDir, const std::function<void(const std::string&)>& fnTell) {
    // Only of the files kept here: the folder may be one the user keeps other files in.
    const auto fnOurs = [](const std::string& strName) {
        return strName == CTaskListFile::kFileName || strName == CTaskHistoryFile::kFileName ||
               strName.starts_with(kNotePrefix) || strName.starts_with(CTemplateName::kPendingPrefix);
    };
    for (const std::string& strLeft : CFileOps::RemoveStrayTemporaries(strDataDir, fnOurs))
        fnTell("removed " + strLeft + ", which a writer stopped while replacing a file left");
    std::vector<std::string> vecNotes;
    std::error_code ec;
    for (fs::directory_iterator it(strDataDir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().starts_with(kNotePrefix)) vecNotes.push_back(it->path().string());
    if (ec && ec != std::errc::no_such_file_or_directory) fnTell(strDataDir + ": " + ec.message());
    std::sort(vecNotes.rbegin(), vecNotes.rend());  // newest first
    for (const std::string& strNote : vecNotes) {
        const auto rDone = SettleOne(strDataDir, strNote);
        fnTell(rDone ? *rDone : strNote + ": " + rDone.Problem() + "; left as it is");
    }
    // A new message whose tool is gone belongs to a change that was never
    // made (or was undone just now): nothing would ever take it.
    std::error_code ecPending;
    for (fs::directory_iterator it(strDataDir, ecPending), end; !ecPending && it != end; it.increment(ecPending)) {
        const std::string strPath = it->path().string();
        const std::optional<long> optPid = CTemplateName::PendingPid(strDataDir, strPath);
        if (!optPid || CFileOps::IsRunning(static_cast<pid_t>(*optPid))) continue;
        std::error_code ecRemove;
        if (fs::remove(strPath, ecRemove))
            fnTell("removed " + strPath + ", the new message of a quillory run that ended before its change was made");
    }
}
