#include "CImportCommand.h"

#include <iostream>

#include "CHostProtocol.h"
#include "CListWriter.h"
#include "CTaskJson.h"
#include "CTaskListFile.h"

int RunImport(const std::string& strFile, const CTextCodec& codec) {
    nlohmann::ordered_json j;
    try {
        j = nlohmann::ordered_json::parse(std::cin);
    } catch (const nlohmann::json::parse_error& e) {
        std::cerr << "quillory: standard input: not valid JSON: " << e.what() << '\n';
        return kExitData;
    }
    CTaskList list;
    std::vector<std::string> vecProblems;
    CTaskJson::FromJson(j, list, vecProblems, codec);
    if (!vecProblems.empty()) {
        for (const auto& s : vecProblems) std::cerr << "quillory: " << s << '\n';
        std::cerr << "quillory: nothing written to " << strFile << '\n';
        return kExitData;
    }
    const nlohmann::ordered_json jRequest = {{CHostProtocol::kCommand, CHostProtocol::kImport},
                                             {CHostProtocol::kTasks, std::move(j)}};
    return CListWriter::Write(strFile, jRequest, [&] {
        if (const auto rSaved = CTaskListFile::SaveTaskList(strFile, list, codec); !rSaved) {
            std::cerr << "quillory: " << strFile << ": " << rSaved.Problem() << '\n';
            return kExitData;
        }
        return kExitOk;
    });
}
