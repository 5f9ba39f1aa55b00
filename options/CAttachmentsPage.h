#pragma once
#include <QWidget>
#include <string>

#include "CArray.h"

class QTreeWidget;

// The sheet's second page: the task's attachment entries, one row each,
// kept in the list control only while the sheet is open.
class CAttachmentsPage : public QWidget {
    Q_OBJECT
public:
    explicit CAttachmentsPage(QWidget* pParent = nullptr);

    void Load(const CArray<std::string>& arrEntries);
    CArray<std::string> Entries() const;

private:
    void OnAdd();
    void OnEdit();
    void OnRemove();
    void OnRemoveAll();
    // The first selected row, or -1.
    int SelectedRow() const;

    QTreeWidget* m_pList;
};
