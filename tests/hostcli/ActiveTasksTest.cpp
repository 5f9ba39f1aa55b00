// The count of active tasks the windows name before quitting stops them,
// read through the real quillory tool from a real task list.
#include "CHeadlessTestBase.h"
#include "CQuilloryTool.h"

namespace {

class ActiveTasksTest : public CHeadlessTestBase {
protected:
    ActiveTasksTest() { setenv("QUILLORY_TOOL", QUILLORY_CLI, 1); }
    ~ActiveTasksTest() override { unsetenv("QUILLORY_TOOL"); }
};

// No task list is no task; of a list, only active tasks with a sending
// time count; without the tool the count is unknown.
TEST_F(ActiveTasksTest, OnlyActiveTasksWithASendingTimeCount) {
    EXPECT_EQ(CQuilloryTool::ActiveTaskCount(), std::optional<int>(0));
    const std::string strTemplate = MakeTemplate("t", "Subject", "Body\n");
    CTaskList list;
    list.Add(Task("active", strTemplate, 1, MinuteFromNow(10), true));
    CTaskItem disabled = Task("disabled", strTemplate, 1, MinuteFromNow(10), true);
    disabled.m_bActive = 0;
    list.Add(disabled);
    CTaskItem completed = Task("completed", strTemplate, 0, MinuteFromNow(-60), true);
    completed.m_dtNextSending = {};
    list.Add(completed);
    // Overdue still waits for a host to send (or skip) it.
    list.Add(Task("overdue", strTemplate, 1, MinuteFromNow(-30), true));
    Import(list);
    EXPECT_EQ(CQuilloryTool::ActiveTaskCount(), std::optional<int>(2));
    setenv("QUILLORY_TOOL", (m_dir / "no-such-tool").c_str(), 1);
    EXPECT_EQ(CQuilloryTool::ActiveTaskCount(), std::nullopt);
}

}  // namespace
