#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "CBoxAnswerer.h"
#include "CHostMessage.h"
#include "CMessageBox.h"
#include "CQtMessageBox.h"
#include "CUiTestBase.h"

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

namespace {

class MessageBoxPlaceTest : public CUiTestBase {
protected:
    // How far the box's centre lies from the window's.
    static int OffCentre(const CBoxAnswerer::CSeen& seen, const QWidget& window) {
        return (seen.rcFrame.center() - window.frameGeometry().center()).manhattanLength();
    }
};

}  // namespace

TEST_F(MessageBoxPlaceTest, BoxesOpenCentredOverTheirWindowOrElseTheMainWindow) {
    StartUi(false);
    QWidget& main = m_pWindows->Main();
    main.setGeometry(30, 20, 560, 420);  // away from the screen's centre, and on it
    Process();
    // The host's own message that names no window, as at start-up.
    m_boxes.Expect(QMessageBox::Ok);
    CHostMessage::Error(nullptr, "The accounts file could not be read.");
    // The add-in's box while another window of the host is in front.
    QWidget other;
    other.setGeometry(300, 260, 480, 320);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    m_boxes.Expect(QMessageBox::Ok);
    (void)Show("Please enter a subject into the email.", "Quillory", MB_OK | MB_ICONWARNING);  // only OK
    // The add-in's box when no window is active (its timer, the tray).
    other.hide();
    QApplication::setActiveWindow(nullptr);
    Process();
    m_boxes.Expect(QMessageBox::Ok);
    (void)Show("The task list could not be saved.", "Quillory", MB_OK | MB_ICONERROR);  // only OK
    ASSERT_EQ(m_boxes.Seen().size(), 3u);
    EXPECT_EQ(m_boxes.Seen()[0].pOwner, &main);
    EXPECT_LE(OffCentre(m_boxes.Seen()[0], main), 2);
    EXPECT_EQ(m_boxes.Seen()[1].pOwner, &other);
    EXPECT_LE(OffCentre(m_boxes.Seen()[1], other), 2);
    EXPECT_EQ(m_boxes.Seen()[2].pOwner, &main);
    EXPECT_LE(OffCentre(m_boxes.Seen()[2], main), 2);
}
