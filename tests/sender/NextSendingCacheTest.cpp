// The sending cache over a list that is edited in every way between syncs:
// each task's key and the earliest key equal what the task's own fields
// give, and an edit is followed through the list's journal, the whole list
// being looked at again only when the journal was outrun or lost.
#include <ctime>
#include <random>
#include <utility>

#include <gtest/gtest.h>

#include "CNextSendingCache.h"
#include "RandomEdit.h"
#include "ZoneGuard.h"

namespace {

// Minutes in January, away from any change of offset, so that the C
// library's conversion is the plain reference.
TaskDateTime Minute(int nMinute) {
    const int nDay = 5 + nMinute / 1440;
    return TaskDateTime{2027, 1, nDay, 0, nMinute / 60 % 24, nMinute % 60, 0};
}

time_t ReferenceKey(const CTaskItem& t) {
    if (!t.m_bActive || !t.m_dtNextSending.IsSet()) return CNextSendingCache::kNever;
    std::tm tm{};
    tm.tm_year = t.m_dtNextSending.nYear - 1900;
    tm.tm_mon = t.m_dtNextSending.nMonth - 1;
    tm.tm_mday = t.m_dtNextSending.nDay;
    tm.tm_hour = t.m_dtNextSending.nHour;
    tm.tm_min = t.m_dtNextSending.nMinute;
    tm.tm_sec = 1;  // a minute's instant is its second 1
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

CTaskItem Task(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    CTaskItem t;
    t.m_bActive = pick(0, 4) != 0;
    t.m_strTaskName = "t" + std::to_string(pick(0, 99999));
    if (pick(0, 9) != 0) t.m_dtNextSending = Minute(pick(0, 20000));
    return t;
}

void ExpectMatches(const CNextSendingCache& cache, const CTaskList& list, int nStep) {
    ASSERT_TRUE(cache.IsCurrent(list)) << "step " << nStep;
    time_t tEarliest = CNextSendingCache::kNever;
    for (int i = 0; i < list.GetSize(); ++i) {
        const time_t tKey = ReferenceKey(list.GetAt(i));
        tEarliest = std::min(tEarliest, tKey);
        ASSERT_EQ(cache.Key(list.IdAt(i)), tKey) << "step " << nStep << ", task " << i;
    }
    ASSERT_EQ(cache.Earliest(), tEarliest) << "step " << nStep;
}

}  // namespace

// The cache's bookkeeping does not depend on the zone: one with changes of
// offset is enough.
TEST(NextSendingCacheTest, EditsAreFollowedThroughTheJournalAndTheKeysStayExact) {
    CZoneGuard zone("Europe/Berlin");
    std::mt19937 rng(1207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    CTaskList list;
    for (int i = 0; i < 300; ++i) list.Add(Task(rng));
    CNextSendingCache cache;
    cache.Sync(list);
    ASSERT_EQ(cache.Rebuilds(), 1);
    ExpectMatches(cache, list, -1);

    for (int nStep = 0; nStep < 2000; ++nStep) {
        const int nEdits = pick(0, 3) == 0 ? pick(2, 8) : 1;
        for (int k = 0; k < nEdits; ++k)
            RandomEdit(
                list, pick, 8, [&](int) { return Task(rng); },
                [&](int i, int nKind) {
                    if (nKind == 5) list.GetAt(i).m_bActive ^= 1;
                    else if (nKind == 6) list.GetAt(i).m_dtNextSending = Minute(pick(0, 20000));
                    else list.GetAt(i).m_strTaskName += "+";  // the key does not move
                });
        cache.Sync(list);
        ASSERT_EQ(cache.Rebuilds(), 1) << "step " << nStep << ": an edit was not followed";
        ExpectMatches(cache, list, nStep);
    }

    // Outrun: more changes than the journal keeps.
    for (size_t k = 0; k < 3 * CTaskList::kJournalKept; ++k) list.GetAt(k % 100).m_bActive ^= 1;
    cache.Sync(list);
    EXPECT_EQ(cache.Rebuilds(), 2);
    ExpectMatches(cache, list, -2);
    // Lost: the contents replaced at once.
    CTaskList other;
    for (int i = 0; i < 50; ++i) other.Add(Task(rng));
    list = other;
    cache.Sync(list);
    EXPECT_EQ(cache.Rebuilds(), 3);
    ExpectMatches(cache, list, -3);
    list.RemoveAll();
    cache.Sync(list);
    EXPECT_EQ(cache.Earliest(), CNextSendingCache::kNever);
}

// Sends raise the keys of the tasks at the top again and again: the heap's
// outdated items must neither hide the true earliest nor pile up.
TEST(NextSendingCacheTest, RaisingTheEarliestOverAndOverKeepsItExact) {
    CZoneGuard zone("Europe/Berlin");
    CTaskList list;
    for (int i = 0; i < 50; ++i) {
        CTaskItem t;
        t.m_bActive = 1;
        t.m_dtNextSending = Minute(i * 10);
        list.Add(t);
    }
    CNextSendingCache cache;
    cache.Sync(list);
    for (int nStep = 0; nStep < 20000; ++nStep) {
        const int i = nStep % 50;
        CTaskItem t = std::as_const(list).GetAt(i);
        t.m_dtNextSending = Minute(500 + nStep % 19000);
        list.SetAt(i, t);
        cache.Update(list);
    }
    ExpectMatches(cache, list, 0);
    EXPECT_EQ(cache.Rebuilds(), 1);
}
