#pragma once
// How everything outside the COM interfaces reports a failure: "done, or
// this problem" (CResult<>) and "a value, or this problem" (CResult<T>).
// A problem is one line that names the thing and what is wrong with it:
//     return CProblem("emails.dat: task 2: record length 2000000 out of range");
// A result must be looked at; one dropped on purpose says so with (void)
// and a comment. QUILLORY_TRY passes a caller's problem up unchanged:
//     QUILLORY_TRY(store.PutRecord(strId, rec));
#include <cassert>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <variant>
#include <vector>

class CProblem {
public:
    explicit CProblem(std::string strText) : m_strText(strText), m_vecLines{std::move(strText)} {}
    // Several found at once (CProblems), each a line of its own.
    explicit CProblem(std::vector<std::string> vecLines) : m_vecLines(std::move(vecLines)) {
        for (const auto& str : m_vecLines) m_strText += (m_strText.empty() ? "" : "\n") + str;
    }
    // For a reader: the lines one under the other.
    const std::string& Text() const { return m_strText; }
    const std::vector<std::string>& Lines() const { return m_vecLines; }

private:
    std::string m_strText;
    std::vector<std::string> m_vecLines;
};

// The problem of a system call that has just failed: "what: errno's text".
inline CProblem ErrnoProblem(const std::string& strWhat) { return CProblem(strWhat + ": " + std::strerror(errno)); }

template <class T = void>
class [[nodiscard]] CResult {
public:
    CResult(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    CResult(CProblem problem) : m_state(std::in_place_index<1>, std::move(problem)) {}

    bool Ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return Ok(); }

    // Only on a result that is Ok().
    T& Value() & { return Checked(); }
    const T& Value() const& { return const_cast<CResult*>(this)->Checked(); }
    T Value() && { return std::move(Checked()); }
    T& operator*() & { return Checked(); }
    const T& operator*() const& { return const_cast<CResult*>(this)->Checked(); }
    T* operator->() { return &Checked(); }
    const T* operator->() const { return &const_cast<CResult*>(this)->Checked(); }

    // Empty when Ok().
    const std::string& Problem() const {
        static const std::string s_strNone;
        return Ok() ? s_strNone : std::get<1>(m_state).Text();
    }
    // The problem's lines, each one of several found at once; empty when Ok().
    const std::vector<std::string>& ProblemLines() const {
        static const std::vector<std::string> s_vecNone;
        return Ok() ? s_vecNone : std::get<1>(m_state).Lines();
    }
    CProblem TakeProblem() const { return Ok() ? CProblem(std::string()) : std::get<1>(m_state); }

private:
    T& Checked() {
        assert(Ok());
        return std::get<0>(m_state);
    }

    std::variant<T, CProblem> m_state;
};

template <>
class [[nodiscard]] CResult<void> {
public:
    CResult() = default;  // done
    CResult(CProblem problem) : m_problem(std::move(problem)), m_bOk(false) {}

    bool Ok() const { return m_bOk; }
    explicit operator bool() const { return m_bOk; }
    const std::string& Problem() const { return m_problem.Text(); }  // empty when Ok()
    // The problem's lines, each one of several found at once; empty when Ok().
    const std::vector<std::string>& ProblemLines() const {
        static const std::vector<std::string> s_vecNone;
        return m_bOk ? s_vecNone : m_problem.Lines();
    }
    CProblem TakeProblem() const { return m_problem; }

private:
    CProblem m_problem{std::vector<std::string>()};
    bool m_bOk = true;
};

// Returns from the calling function with the problem of a failed result.
#define QUILLORY_TRY(expr)                                                                          \
    do {                                                                                            \
        if (auto&& rQuilloryTry_ = (expr); !rQuilloryTry_.Ok()) return rQuilloryTry_.TakeProblem(); \
    } while (false)

// Declares decl with the value of a result, or returns from the calling
// function with its problem:
//     QUILLORY_TRY_VALUE(const time_t tStart, TaskTime::ToAbsolute(task.m_dtStart));
#define QUILLORY_TRY_VALUE(decl, expr) QUILLORY_TRY_VALUE_(QUILLORY_TRY_NAME_(__LINE__), decl, expr)
#define QUILLORY_TRY_NAME_(nLine) QUILLORY_TRY_JOIN_(rQuilloryTryValue_, nLine)
#define QUILLORY_TRY_JOIN_(a, b) a##b
#define QUILLORY_TRY_VALUE_(r, decl, expr) \
    auto r = (expr);                       \
    if (!r.Ok()) return r.TakeProblem();   \
    decl = std::move(r).Value()
