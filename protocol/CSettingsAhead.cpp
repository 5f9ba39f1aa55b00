#include "CSettingsAhead.h"

#include <vector>

#include "CTaskJson.h"
#include "CTaskListFile.h"

namespace {

constexpr const char* kSettings = "settings";
constexpr const char* kRecord = "record";

nlohmann::json Plain(const CTaskItem& task) { return nlohmann::json::parse(CTaskJson::ToJson(task).dump()); }

// Whether a task of list is record under strKey.
bool Holds(const CTaskList& list, const std::string& strKey, const nlohmann::json& jRecord) {
    for (const CTaskItem& task : list)
        if (CTaskHistory::KeyOf(task.m_strTemplateFile) == strKey && Plain(task) == jRecord) return true;
    return false;
}

}  // namespace

nlohmann::json CSettingsAhead::RecordOf(const CTaskItem& task, const CTextCodec& codec) {
    // What the file keeps of a name or a path may differ from memory
    // (characters its code page lacks): compared as the file gives it back.
    CTaskList one;
    one.Add(task);
    CTaskList back;
    if (!CTaskListFile::LoadFromBytes(CTaskListFile::Encode(one, codec), back, codec) || back.GetSize() != 1)
        return Plain(task);
    return Plain(back[0]);
}

CResult<> CSettingsAhead::WriteAhead(CTaskHistoryFile& store, const CTaskList& list, const std::string& strKey,
                                     const nlohmann::json& jBefore, const nlohmann::json& jRecord) {
    const CTaskHistoryFile::CContent now = store.Content();
    CTaskHistoryFile::CContent ahead = now;
    CTaskHistoryFile::CEntry& entry = ahead.mapEntries[strKey];
    entry.jAhead = {{kSettings, entry.jSettings}, {kRecord, jRecord}};
    entry.jSettings = jBefore;
    store.SetContent(std::move(ahead));
    auto rSaved = store.Save(list);
    // The save gives identities to tasks that had none: they are kept.
    CTaskHistoryFile::CContent after = store.Content();
    for (auto& [strEntryKey, saved] : after.mapEntries) {
        const auto it = now.mapEntries.find(strEntryKey);
        if (it == now.mapEntries.end()) continue;
        saved.jSettings = it->second.jSettings;
        saved.jAhead = it->second.jAhead;
    }
    store.SetContent(std::move(after));
    store.NoteAheadOnDisk();  // tried: the file may hold them whatever the save says
    return rSaved;
}

const nlohmann::json& CSettingsAhead::For(const CTaskHistoryFile::CEntry& entry, const CTaskItem& task) {
    if (entry.jAhead.is_object() && entry.jAhead[kRecord] == Plain(task)) return entry.jAhead[kSettings];
    return entry.jSettings;
}

CResult<> CSettingsAhead::Settle(CTaskHistoryFile& store, const CTaskList& list) {
    CTaskHistoryFile::CContent content = store.Content();
    bool bChanged = false;
    for (auto& [strKey, entry] : content.mapEntries) {
        if (entry.jAhead.is_null()) continue;
        if (Holds(list, strKey, entry.jAhead[kRecord])) entry.jSettings = entry.jAhead[kSettings];
        entry.jAhead = nullptr;
        bChanged = true;
    }
    if (!bChanged) return {};
    store.SetContent(std::move(content));
    return store.Save(list);
}
