// The list's change journal, read the way a cache reads it: a reader that
// saw the list at some generation and replays the journal onto its own copy
// of the identities must end with the list's identities in the list's order,
// and must have been told of every element whose value changed. A reader
// the bounded journal no longer reaches is told so.
#include <map>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "CArray.h"
#include "RandomEdit.h"

namespace {

using CList = CArray<int>;

std::vector<CList::Id> IdsOf(const CList& list) {
    std::vector<CList::Id> vec;
    for (int i = 0; i < list.GetSize(); ++i) vec.push_back(list.IdAt(i));
    return vec;
}

std::map<CList::Id, int> ValuesOf(const CList& list) {
    std::map<CList::Id, int> map;
    for (int i = 0; i < list.GetSize(); ++i) map[list.IdAt(i)] = list.GetAt(i);
    return map;
}

// A reader's view of the list at one generation.
struct CReader {
    unsigned long long nGeneration;
    std::vector<CList::Id> vecIds;
    std::map<CList::Id, int> mapValues;

    explicit CReader(const CList& list)
        : nGeneration(list.Generation()), vecIds(IdsOf(list)), mapValues(ValuesOf(list)) {}

    // Replays the journal; the ids it was told were added or replaced.
    bool Replay(const CList& list, std::vector<CList::Id>& vecTold) {
        const auto changes = list.ChangesSince(nGeneration);
        if (!changes) return false;
        EXPECT_EQ(changes->size(), list.Generation() - nGeneration) << "one entry per generation";
        for (const CList::CChange& c : *changes) {
            const auto u = static_cast<size_t>(c.nIndex);
            switch (c.eKind) {
                case CList::EChange::Added:
                    EXPECT_EQ(u, vecIds.size());
                    vecIds.push_back(c.nId);
                    vecTold.push_back(c.nId);
                    break;
                case CList::EChange::Replaced:
                    EXPECT_EQ(vecIds.at(u), c.nId);
                    vecTold.push_back(c.nId);
                    break;
                case CList::EChange::Removed:
                    EXPECT_EQ(vecIds.at(u), c.nId);
                    vecIds.erase(vecIds.begin() + c.nIndex);
                    break;
                case CList::EChange::Swapped: std::swap(vecIds.at(u), vecIds.at(u + 1)); break;
            }
        }
        return true;
    }
};

}  // namespace

TEST(ChangeJournalTest, AReaderFollowsEveryKindOfEditByReplayingTheJournal) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    CList list;
    for (int i = 0; i < 20; ++i) list.Add(i);
    (void)list.ChangesSince(0);  // a reader turns the journal on; this one is too early to be served
    for (int nRound = 0; nRound < 300; ++nRound) {
        CReader reader(list);
        const int nEdits = pick(0, 12);
        for (int k = 0; k < nEdits; ++k)
            RandomEdit(
                list, pick, 6, [&](int i) { return i < 0 ? pick(0, 999) : std::as_const(list).GetAt(i) + 1; },
                [&](int i, int) { list[i] += 3; });  // written through the handed-out element
        std::vector<CList::Id> vecTold;
        ASSERT_TRUE(reader.Replay(list, vecTold)) << "round " << nRound;
        ASSERT_EQ(reader.vecIds, IdsOf(list)) << "round " << nRound;
        for (const auto& [nId, nValue] : ValuesOf(list)) {
            const auto it = reader.mapValues.find(nId);
            if (it == reader.mapValues.end() || it->second != nValue) {
                ASSERT_NE(std::find(vecTold.begin(), vecTold.end(), nId), vecTold.end())
                    << "round " << nRound << ": element " << nId << " changed untold";
            }
        }
    }
}

TEST(ChangeJournalTest, AReaderTheJournalNoLongerReachesIsToldToLookAgain) {
    CList list;
    for (int i = 0; i < 5; ++i) list.Add(i);
    EXPECT_FALSE(list.ChangesSince(list.Generation())) << "no journal was kept before anyone asked";
    const unsigned long long nStart = list.Generation();
    ASSERT_TRUE(list.ChangesSince(nStart));
    EXPECT_TRUE(list.ChangesSince(nStart)->empty());

    for (size_t k = 0; k < CList::kJournalKept; ++k) list.SetAt(0, static_cast<int>(k));
    ASSERT_TRUE(list.ChangesSince(nStart)) << "the latest kJournalKept changes are always kept";
    EXPECT_EQ(list.ChangesSince(nStart)->size(), CList::kJournalKept);
    for (size_t k = 0; k < 2 * CList::kJournalKept; ++k) list.SetAt(1, static_cast<int>(k));
    EXPECT_FALSE(list.ChangesSince(nStart)) << "overflowed";
    const unsigned long long nRecent = list.Generation() - CList::kJournalKept;
    ASSERT_TRUE(list.ChangesSince(nRecent));
    EXPECT_EQ(list.ChangesSince(nRecent)->size(), CList::kJournalKept);
    EXPECT_FALSE(list.ChangesSince(list.Generation() + 1)) << "a generation this list never had";

    list.RemoveAll();
    EXPECT_FALSE(list.ChangesSince(list.Generation() - 1)) << "everything changed at once";
    EXPECT_TRUE(list.ChangesSince(list.Generation()));
}

// Assigned contents are new contents, even where the other list happens to
// have reached the same generation: a reader that knew either list must
// look again.
TEST(ChangeJournalTest, AssignmentIsNeverTakenForTheContentsAReaderSaw) {
    CList list, other;
    for (int i = 0; i < 3; ++i) list.Add(i), other.Add(10 + i);
    ASSERT_EQ(list.Generation(), other.Generation());
    (void)list.ChangesSince(list.Generation());
    const unsigned long long nSeen = list.Generation(), nOtherSeen = other.Generation();

    list = other;
    EXPECT_NE(list.Generation(), nSeen);
    EXPECT_NE(list.Generation(), nOtherSeen);
    EXPECT_FALSE(list.ChangesSince(nSeen));

    CList moved;
    (void)moved.ChangesSince(moved.Generation());
    const unsigned long long nMovedSeen = moved.Generation();
    moved = std::move(list);
    EXPECT_FALSE(moved.ChangesSince(nMovedSeen));
    EXPECT_TRUE(moved == other);

    const CList copy(other);
    EXPECT_TRUE(copy == other);
    EXPECT_FALSE(copy.ChangesSince(copy.Generation())) << "a copy starts without a journal";
}
