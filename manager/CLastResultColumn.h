#pragma once
#include <QString>

#include "CTaskItem.h"

class QTreeWidgetItem;
class CTaskHistory;

// The Email Manager's "Last Result" column: what became of the task's
// last occurrence in short words ("Sent 09:00", "Failed: <reason>"), the
// full account of its last few occurrences in the tooltip, newest first.
class CLastResultColumn {
public:
    static constexpr const char* kHeader = "Last Result";
    static constexpr int kWidth = 220;

    // Empty texts for a task without history, or without any history at all.
    static void Fill(QTreeWidgetItem* pItem, int nColumn, const CTaskItem& task, const CTaskHistory* pHistory);
    static QString ShortText(const CTaskItem& task, const CTaskHistory* pHistory);
    static QString ToolTip(const CTaskItem& task, const CTaskHistory* pHistory);
};
