#include <gtest/gtest.h>

#include "CTaskItem.h"

TEST(TaskItem, CopyOwnsItsAttachments) {
    CTaskItem src;
    for (const char* s : {"/a", "/b", "/c/*.txt"}) src.m_arrAttachments.Add(s);
    CTaskItem copy = src;
    copy.m_arrAttachments.RemoveAt(0);
    copy.m_arrAttachments.SetAt(0, "/changed");
    ASSERT_EQ(src.m_arrAttachments.GetSize(), 3);
    EXPECT_EQ(src.m_arrAttachments[1], "/b");

    CTaskItem assigned;
    assigned.m_arrAttachments.Add("/old");
    assigned = src;
    EXPECT_EQ(assigned.m_arrAttachments.GetSize(), 3);
    EXPECT_EQ(assigned, src);
}

TEST(TaskList, IndexOutOfRangeIsATypedError) {
    CTaskList list;
    EXPECT_THROW(list.GetAt(0), CTaskError);
    CTaskItem t;
    list.Add(t);
    EXPECT_THROW(list.GetAt(-1), CTaskError);
    EXPECT_THROW(list.SetAt(1, t), CTaskError);
    EXPECT_THROW(list.RemoveAt(1), CTaskError);
    EXPECT_THROW(list.MoveUp(0), CTaskError);
    EXPECT_THROW(list.MoveDown(0), CTaskError);
    try {
        list.GetAt(5);
        FAIL();
    } catch (const CTaskError& e) {
        EXPECT_EQ(e.Code(), CTaskError::kE_BOUNDS);
    }
}
