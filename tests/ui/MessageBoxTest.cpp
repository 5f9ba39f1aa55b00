#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "CBoxAnswerer.h"
#include "CMessageBox.h"
#include "CQtMessageBox.h"

using namespace CMessageBox;

TEST(QtMessageBox, IconsAndButtonsFollowTheFlags) {
    struct {
        unsigned nFlags;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton def;
    } const kCases[] = {
        {MB_OK | MB_ICONWARNING, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok},
        {MB_OK | MB_ICONERROR, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok},
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::No},
    };
    for (const auto& c : kCases) {
        auto pBox = CQtMessageBox::Build("Text\n\nMore", "Quillory", c.nFlags, nullptr);
        EXPECT_EQ(pBox->windowTitle(), "Quillory");
        EXPECT_EQ(pBox->text(), "Text\n\nMore");
        EXPECT_EQ(pBox->icon(), c.icon) << c.nFlags;
        EXPECT_EQ(pBox->standardButtons(), c.buttons) << c.nFlags;
        EXPECT_EQ(pBox->standardButton(static_cast<QAbstractButton*>(pBox->defaultButton())), c.def) << c.nFlags;
    }
}

TEST(QtMessageBox, ShowThroughTheAddInsLayerReturnsThePressedButton) {
    CQtMessageBox::Install();
    CBoxAnswerer boxes;
    boxes.Expect(QMessageBox::Yes);
    EXPECT_EQ(Show("Remove the task?", "Quillory", MB_YESNO | MB_ICONQUESTION), IDYES);
    boxes.Expect(QMessageBox::No);
    EXPECT_EQ(Show("Remove the task?", "Quillory", MB_YESNO | MB_ICONQUESTION), IDNO);
    // Dismissing a question never agrees.
    boxes.Expect(CBoxAnswerer::kEscape);
    EXPECT_EQ(Show("Remove the task?", "Quillory", MB_YESNO | MB_ICONQUESTION), IDNO);
    boxes.Expect(QMessageBox::Ok);
    EXPECT_EQ(Show("Please enter a subject into the email.", "Quillory", MB_OK | MB_ICONWARNING), IDOK);
    ASSERT_EQ(boxes.Seen().size(), 4u);
    EXPECT_EQ(boxes.Seen()[3].strText, "Please enter a subject into the email.");
    EXPECT_EQ(boxes.Seen()[3].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.Seen()[3].strTitle, "Quillory");
    CQtMessageBox::Uninstall();
    // Without the handler the logging default answers on its own.
    EXPECT_EQ(Show("x", "Quillory", MB_YESNO | MB_DEFBUTTON2), IDNO);
}
