#include <QCoreApplication>
#include <filesystem>

#include <gtest/gtest.h>

#include "COutcomeRecorder.h"
#include "CTaskHistoryFile.h"
#include "CTempDir.h"
#include "IClock.h"
#include "TaskTime.h"

namespace {

CTaskItem Task(const std::string& strName) {
    CTaskItem task;
    task.m_strTaskName = strName;
    task.m_strTemplateFile = "/data/" + strName + ".oft";
    task.m_dtNextSending = TaskTime::FromAbsolute(1796634000);
    return task;
}

class OutcomeRecorderTest : public ::testing::Test {
protected:
    OutcomeRecorderTest() : m_app(m_argc, m_argv), m_history(m_dir / "history.json", m_clock) {
        for (const char* psz : {"a", "b", "c"}) m_list.Add(Task(psz));
    }

    std::unique_ptr<COutcomeRecorder> MakeRecorder() {
        return std::make_unique<COutcomeRecorder>(
            COutcomeRecorder::CParts{&m_history, nullptr, &m_clock, [this] { return &m_list; }, "Mail Host"});
    }
    // What a later start would read.
    CTaskHistory OnDisk() const {
        CTaskHistoryFile file(m_dir / "history.json", m_clock);
        EXPECT_EQ(file.Load().Problem(), "");
        return file.History();
    }

    int m_argc = 1;
    char m_szName[32] = "scheduler_tests";
    char* m_argv[2] = {m_szName, nullptr};
    QCoreApplication m_app;
    CTempDir m_dir;
    CFixedClock m_clock{1796634000};
    CTaskHistoryFile m_history;
    CTaskList m_list;
};

}  // namespace

// A tick's outcomes go to the file together when the tick ends; nothing is
// written in between, so a hundred messages in one minute cost one write.
TEST_F(OutcomeRecorderTest, ATicksOutcomesAreWrittenOnceWhenTheTickEnds) {
    auto pRecorder = MakeRecorder();
    pRecorder->OnTickStart();
    for (int i = 0; i < 3; ++i)
        pRecorder->OnSendStart(m_list[i], {CSendStart::EKind::HandedOver, "<m" + std::to_string(i) + "@x>", ""});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "history.json")) << "not written inside the tick";
    pRecorder->OnTickEnd();
    const CTaskHistory onDisk = OnDisk();
    EXPECT_EQ(onDisk, m_history.History());
    for (const char* psz : {"a.oft", "b.oft", "c.oft"}) EXPECT_EQ(onDisk.Of(psz).size(), 1u) << psz;
}

// Outside a tick the write waits for the event loop, so a burst of results
// is one write; a recorder that goes first still writes what it holds.
TEST_F(OutcomeRecorderTest, OutcomesOutsideATickAreWrittenByTheEventLoopOrAtTheEnd) {
    auto pRecorder = MakeRecorder();
    pRecorder->OnSkipped(m_list[0]);
    pRecorder->OnSkipped(m_list[1]);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "history.json"));
    QCoreApplication::processEvents();
    EXPECT_EQ(OnDisk().Of("b.oft").size(), 1u);

    pRecorder->OnSkipped(m_list[2]);
    pRecorder.reset();  // the add-in disconnects before the event loop runs again
    const CTaskHistory onDisk = OnDisk();
    ASSERT_EQ(onDisk.Of("c.oft").size(), 1u) << "not lost";
    EXPECT_EQ(onDisk.Of("c.oft").back().kind, CTaskOutcome::EKind::SkippedOverdue);
}
