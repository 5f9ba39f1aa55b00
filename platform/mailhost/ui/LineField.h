#pragma once
#include <QString>

class QFormLayout;
class QLineEdit;

// A new line field on a row of its own after the form's last row. With
// pszObjectName, tests and scripts find the field by that name.
QLineEdit* AddLineField(QFormLayout& form, const QString& strLabel, const char* pszObjectName = nullptr);
