#include "CImportCommand.h"

#include <iostream>
#include <iterator>

#include "CHostProtocol.h"
#include "CJsonText.h"
#include "CListWriter.h"
#include "CTaskJson.h"
#include "CTaskListFile.h"

int RunImport(const std::string& strFile, const CTextCodec& codec) {
    const std::string strInput{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    auto rJson = CJsonText::Parse(strInput);
    if (!rJson) {
        std::cerr << "quillory: standard input: " << rJson.Problem() << '\n';
        return kExitData;
    }
    nlohmann::ordered_json j = std::move(*rJson);
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
