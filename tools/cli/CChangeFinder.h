#pragma once
#include <string>

#include <nlohmann/json.hpp>

#include "CChangeRoute.h"
#include "CResult.h"
#include "CTaskHistoryFile.h"
#include "CTaskItem.h"

class CTextCodec;

// Whether a task list holds a change the tool asked a host for, told from
// the list as it was before the request and as the file holds it after
// the host vanished without answering. A change is there when the file
// shows what it asks for, whatever else the sender moved on meanwhile:
//   add       a task of the new name, which was not there before;
//   set       the named task (by its new name) holds every value given and,
//             when the request carries a new message, the task's template
//             holds that message's bytes (a changed message may keep its
//             file name); the message without the values cannot be told;
//             with rules, the task's entry beside the list holds them too;
//   remove, enable, disable, move: the file's names and active flags in
//             the order the change makes of the list before;
//   copy      one task more, the last a "Copy of" the task.
// send-now keeps nothing in the file: always kUnknown.
class CChangeFinder {
public:
    using json = nlohmann::ordered_json;

    // The stores beside the list before the request and after.
    struct CStores {
        CResult<CTaskHistoryFile::CContent> rBefore, rAfter;
        std::string strTaskFile;
    };

    // pNewMessage: the bytes of the message the request carries, read
    // before it went out; null when they could not be read. pStores: null
    // when they are not known (a set with rules then cannot be told).
    static CChangeRoute::EFound Find(const json& jRequest, const CTaskList& before, const CTaskList& after,
                                     const CTextCodec& codec, const std::string* pNewMessage, json& jAnswer,
                                     const CStores* pStores = nullptr);
};
