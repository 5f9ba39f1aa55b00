#include "CImportCommand.h"

#include <ctime>
#include <filesystem>
#include <iostream>
#include <iterator>

#include "CChangeRoute.h"
#include "CDamagedCopy.h"
#include "CHostProtocol.h"
#include "CJsonText.h"
#include "CTaskJson.h"
#include "CTaskListFile.h"
#include "TaskTime.h"

int RunImport(const std::string& strFile, const CTextCodec& codec) {
    const std::string strInput{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    auto rJson = CJsonText::Parse(strInput);
    if (!rJson) {
        std::cerr << "quillory: standard input: " << rJson.Problem() << '\n';
        return kExitData;
    }
    nlohmann::ordered_json j = std::move(*rJson);
    // The host resolves an attachment entry from its own folder, not the
    // caller's: one given relative to here is made absolute.
    if (j.is_array())
        for (auto& jTask : j)
            if (jTask.is_object() && jTask.contains("attachments") && jTask["attachments"].is_array())
                for (auto& jEntry : jTask["attachments"])
                    if (jEntry.is_string() && !jEntry.get<std::string>().empty() &&
                        !std::filesystem::path(jEntry.get<std::string>()).is_absolute()) {
                        std::error_code ec;
                        jEntry = std::filesystem::absolute(jEntry.get<std::string>(), ec).string();
                    }
    CTaskList list;
    CProblems problems;
    CTaskJson::FromJson(j, list, problems, codec);
    if (!problems.Empty()) {
        for (const auto& p : problems) std::cerr << "quillory: " << p.Line() << '\n';
        std::cerr << "quillory: nothing written to " << strFile << '\n';
        return kExitData;
    }
    const nlohmann::ordered_json jRequest = {{CHostProtocol::kCommand, CHostProtocol::kImport},
                                             {CHostProtocol::kTasks, std::move(j)}};
    // A host that vanishes before it answers made the import when the file
    // holds the imported list, up to what its sender has moved on since.
    const auto fnUnsent = [](const CTaskList& from) {
        nlohmann::ordered_json j = CTaskJson::ToJson(from);
        for (auto& jTask : j)
            for (const char* pszKey : {"occurrenceCount", "lastSent", "nextSending"}) jTask.erase(pszKey);
        return j;
    };
    const auto fnFind = [&](nlohmann::ordered_json& jAnswer) {
        CTaskList after;
        if (!CTaskListFile::LoadTaskList(strFile, after, codec)) return CChangeRoute::EFound::kUnknown;
        if (fnUnsent(after) != fnUnsent(list)) return CChangeRoute::EFound::kNotApplied;
        jAnswer = {{CHostProtocol::kOk, true}, {CHostProtocol::kTasks, after.GetSize()}};
        return CChangeRoute::EFound::kApplied;
    };
    return CChangeRoute::Write(
        strFile, jRequest,
        [&] {
            // What is there and does not load whole is kept aside, as the add-in keeps it, before it is replaced.
            CTaskList present;
            CTaskListFile::CLoadCounts counts;
            const auto rPresent = CTaskListFile::LoadTaskList(strFile, present, codec, &counts);
            if (counts.bUnreadable) {
                std::cerr << "quillory: " << rPresent.Problem() << "; nothing written\n";
                return kExitData;
            }
            if (!rPresent && counts.bOpened) {
                const auto rCopy = CDamagedCopy::Keep(strFile, TaskTime::FromAbsolute(std::time(nullptr)));
                if (!rCopy) {
                    std::cerr << "quillory: " << strFile << " does not load whole and could not be kept aside ("
                              << rCopy.Problem() << "); nothing written\n";
                    return kExitData;
                }
                if (!rCopy->empty())
                    std::cerr << "quillory: " << strFile << " did not load whole; kept as " << *rCopy << '\n';
            }
            if (const auto rSaved = CTaskListFile::SaveTaskList(strFile, list, codec); !rSaved) {
                std::cerr << "quillory: " << strFile << ": " << rSaved.Problem() << '\n';
                return kExitData;
            }
            return kExitOk;
        },
        nullptr, {}, fnFind);
}
