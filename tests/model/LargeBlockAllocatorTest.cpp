// The arrays tasks live in: long ones in blocks of their own, 2 MiB aligned, that must hold and keep their elements
// like any vector while they grow past that size, are copied, moved and shrunk; a task's copy owns its attachments; an
// index out of range is a typed error.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CArray.h"
#include "CLargeBlockAllocator.h"
#include "CTaskItem.h"

namespace {

struct CBigElement {
    std::string str;
    char filler[200] = {};
    bool operator==(const CBigElement&) const = default;
};

TEST(LargeBlockAllocatorTest, LargeBlocksAreAlignedAndWholeSmallOnesComeFromTheHeap) {
    CLargeBlockAllocator<uint8_t> alloc;
    for (size_t nBytes :
         {CLargeBlocks::kLargeBytes, CLargeBlocks::kLargeBytes + 1, CLargeBlocks::kLargeBytes * 3 + 12345}) {
        uint8_t* p = alloc.allocate(nBytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % (std::uintptr_t{2} << 20), 0u) << nBytes;
        for (size_t i = 0; i < nBytes; i += 4096) p[i] = static_cast<uint8_t>(i >> 12);
        for (size_t i = 0; i < nBytes; i += 4096) ASSERT_EQ(p[i], static_cast<uint8_t>(i >> 12)) << nBytes;
        p[nBytes - 1] = 0x5A;  // the last byte is the caller's too
        EXPECT_EQ(p[nBytes - 1], 0x5A);
        alloc.deallocate(p, nBytes);
    }
    uint8_t* pSmall = alloc.allocate(100);
    pSmall[99] = 1;
    alloc.deallocate(pSmall, 100);
}

// A reference vector with the ordinary allocator goes through the same edits; the array must agree with it at every
// step, while its storage moves from the heap into ever larger blocks of their own.
TEST(LargeBlockAllocatorTest, AnArrayGrowingPastTheLargeSizeKeepsItsElements) {
    const size_t nPast = CLargeBlocks::kLargeBytes / sizeof(CBigElement) * 2 + 7;
    CArray<CBigElement> arr;
    std::vector<CBigElement> ref;
    auto agree = [&](const CArray<CBigElement>& a, const char* pszStep) {
        ASSERT_EQ(static_cast<size_t>(a.GetSize()), ref.size()) << pszStep;
        for (size_t i = 0; i < ref.size(); ++i) ASSERT_EQ(a.GetAt(static_cast<int>(i)), ref[i]) << pszStep << " " << i;
    };
    for (size_t i = 0; i < nPast; ++i) {
        CBigElement e;
        e.str = "element number " + std::to_string(i) + " with a text long enough for the heap";
        e.filler[i % sizeof e.filler] = static_cast<char>(i);
        ref.push_back(e);
        arr.Add(std::move(e));
    }
    agree(arr, "grown");
    CArray<CBigElement> copy(arr);
    agree(copy, "copied");
    CArray<CBigElement> taken(std::move(copy));
    agree(taken, "moved");
    arr.RemoveAll();
    ref.assign(taken.begin(), taken.end());
    while (ref.size() > 10) {
        ref.erase(ref.end() - 5);
        taken.RemoveAt(taken.GetSize() - 5);
    }
    agree(taken, "shrunk");
}

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
    EXPECT_EQ(assigned, src);
}

TEST(TaskList, IndexOutOfRangeIsATypedError) {
    CTaskList list;
    EXPECT_THROW(list.GetAt(0), CTaskError);
    list.Add(CTaskItem());
    EXPECT_THROW(list.GetAt(-1), CTaskError);
    EXPECT_THROW(list.SetAt(1, CTaskItem()), CTaskError);
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

}  // namespace
