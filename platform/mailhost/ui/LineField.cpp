#include "LineField.h"

#include <QFormLayout>
#include <QLineEdit>

QLineEdit* AddLineField(QFormLayout& form, const QString& strLabel, const char* pszObjectName) {
    auto* pField = new QLineEdit;
    if (pszObjectName) pField->setObjectName(pszObjectName);
    form.addRow(strLabel, pField);
    return pField;
}
