#include "CLastResultColumn.h"

#include <QTreeWidgetItem>

#include "CTaskHistory.h"

QString CLastResultColumn::ShortText(const CTaskItem& task, const CTaskHistory* pHistory) {
    const CTaskOutcome* pLast = pHistory ? pHistory->Last(CTaskHistory::KeyOf(task.m_strTemplateFile)) : nullptr;
    return pLast ? QString::fromStdString(pLast->ShortText()) : QString();
}

QString CLastResultColumn::ToolTip(const CTaskItem& task, const CTaskHistory* pHistory) {
    if (!pHistory) return {};
    const auto& deq = pHistory->Of(CTaskHistory::KeyOf(task.m_strTemplateFile));
    QStringList list;
    for (auto it = deq.rbegin(); it != deq.rend(); ++it) list << QString::fromStdString(it->FullText());
    return list.join('\n');
}

void CLastResultColumn::Fill(QTreeWidgetItem* pItem, int nColumn, const CTaskItem& task, const CTaskHistory* pHistory) {
    pItem->setText(nColumn, ShortText(task, pHistory));
    pItem->setToolTip(nColumn, ToolTip(task, pHistory));
}
