#include "CLastResultColumn.h"

#include <QTreeWidgetItem>
#include <cctype>

#include "CTaskHistory.h"

QString CLastResultColumn::ShortText(const CTaskItem& task, const CTaskHistory* pHistory) {
    const CTaskOutcome* pLast = pHistory ? pHistory->Last(CTaskHistory::KeyOf(task.m_strTemplateFile)) : nullptr;
    std::string str = pLast ? pLast->ShortText() : std::string();
    // A task the scheduler warned about on the journal says so here too.
    if (!task.LastSentWarning().empty())
        str = str.empty() ? "Last sending time unreadable" : str + " (last sending time unreadable)";
    return QString::fromStdString(str);
}

QString CLastResultColumn::ToolTip(const CTaskItem& task, const CTaskHistory* pHistory) {
    QStringList list;
    if (const std::string strWarning = task.LastSentWarning(); !strWarning.empty()) {
        std::string strSentence = strWarning;
        strSentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(strSentence[0])));
        list << QString::fromStdString(strSentence + ".");
    }
    if (!pHistory) return list.join('\n');
    const auto& deq = pHistory->Of(CTaskHistory::KeyOf(task.m_strTemplateFile));
    for (auto it = deq.rbegin(); it != deq.rend(); ++it) list << QString::fromStdString(it->FullText());
    return list.join('\n');
}

void CLastResultColumn::Fill(QTreeWidgetItem* pItem, int nColumn, const CTaskItem& task, const CTaskHistory* pHistory) {
    pItem->setText(nColumn, ShortText(task, pHistory));
    pItem->setToolTip(nColumn, ToolTip(task, pHistory));
}
