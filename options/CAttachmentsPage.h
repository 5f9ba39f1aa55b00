#pragma once
#include <QWidget>
#include <string>

#include "CArray.h"

class QTreeWidget;
class QTreeWidgetItem;

// The sheet's second page: the task's attachment entries, one row each,
// kept in the list control only while the sheet is open.
class CAttachmentsPage : public QWidget {
    Q_OBJECT
public:
    explicit CAttachmentsPage(QWidget* pParent = nullptr);

    void Load(const CArray<std::string>& arrEntries);
    CArray<std::string> Entries() const;

    // A row's Qt::ItemDataRole holding true when its entry is a folder with
    // a mask and the folder does not exist (the row is greyed and says why).
    static constexpr int kFolderMissingRole = 0x0100 + 1;  // Qt::UserRole + 1

private:
    void OnAdd();
    void OnEdit();
    void OnRemove();
    void OnRemoveAll();
    // The first selected row, or -1.
    int SelectedRow() const;
    QTreeWidgetItem* NewRow(const std::string& strEntry) const;
    void ShowEntry(QTreeWidgetItem* pItem, const std::string& strEntry) const;

    QTreeWidget* m_pList;
};
