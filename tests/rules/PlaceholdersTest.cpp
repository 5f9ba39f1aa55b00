// Placeholders against texts written by hand from a calendar: month ends,
// leap years, year ends, doubled braces, and every refusal with its place.
#include <gtest/gtest.h>

#include "CPlaceholders.h"

namespace {

struct CFillCase {
    const char* pszName;
    const char* pszText;
    TaskDateTime dt;  // the occurrence; the day of week is not read
    const char* pszExpected;
};

// Occurrence 3 of the task "Q4 <report> & co".
const CFillCase kFillCases[] = {
    {"date and time by default", "{date} {time}", {2027, 3, 5, 0, 14, 7, 0}, "2027-03-05 14:07"},
    {"every conversion", "%Y %y %m %d %e %B %b %A %a %H %M %I %p %j %%", {2027, 3, 5, 0, 14, 7, 0}, ""},
    {"a day before, German order", "Stand {date-1d:%d.%m.}", {2027, 1, 1, 0, 9, 0, 0}, "Stand 31.12."},
    {"two weeks ahead across a year end", "{date+2w}", {2026, 12, 25, 0, 9, 0, 0}, "2027-01-08"},
    {"last month's report", "Report {month-1:%B %Y}", {2027, 1, 4, 0, 9, 0, 0}, "Report December 2026"},
    {"month by default", "{month}", {2027, 7, 31, 0, 9, 0, 0}, "July 2027"},
    {"31 March less a month, leap year", "{date-1m}", {2028, 3, 31, 0, 9, 0, 0}, "2028-02-29"},
    {"31 March less a month, common year", "{month-1:%Y-%m-%d}", {2027, 3, 31, 0, 9, 0, 0}, "2027-02-28"},
    {"31 January and a month", "{date+1m}", {2027, 1, 31, 0, 9, 0, 0}, "2027-02-28"},
    {"29 February a year on", "{date+1y:%d %B %Y}", {2028, 2, 29, 0, 9, 0, 0}, "28 February 2029"},
    {"29 February four years on", "{date+4y}", {2028, 2, 29, 0, 9, 0, 0}, "2032-02-29"},
    {"thirteen months back", "{month-13:%Y-%m}", {2027, 1, 15, 0, 9, 0, 0}, "2025-12"},
    {"last year", "{year-1} / {year:%y}", {2027, 1, 1, 0, 0, 0, 0}, "2026 / 27"},
    {"leap day of the year", "{date:%j %A}", {2028, 12, 31, 0, 9, 0, 0}, "366 Sunday"},
    {"a day back over 1 March", "{date-1d:%a %e %b}", {2027, 3, 1, 0, 9, 0, 0}, "Sun 28 Feb"},
    {"noon and midnight", "{time:%I%p} {date-1d:%I:%M %p}", {2027, 6, 1, 0, 12, 0, 0}, "12PM 12:00 PM"},
    {"midnight", "{time:%I %p}", {2027, 6, 1, 0, 0, 5, 0}, "12 AM"},
    {"number and name", "#{n}: {name}", {2027, 6, 1, 0, 0, 5, 0}, "#3: Q4 <report> & co"},
    {"doubled braces", "{{date}} is {{{date}}}", {2027, 6, 1, 0, 0, 5, 0}, "{date} is {2027-06-01}"},
    {"nothing to fill", "Plain text, 100% sure", {2027, 6, 1, 0, 0, 5, 0}, "Plain text, 100% sure"},
    {"literal text in a format", "{date:week of %d/%m}", {2027, 6, 1, 0, 0, 5, 0}, "week of 01/06"},
};

TEST(PlaceholdersTest, FillsATableOfTextsWrittenByHand) {
    const std::string strEvery = "2027 27 03 05  5 March Mar Friday Fri 14 07 02 PM 064 %";
    for (const auto& c : kFillCases) {
        SCOPED_TRACE(c.pszName);
        const std::string strText = c.pszText[0] == '%' ? std::string("{date:") + c.pszText + "}" : c.pszText;
        const auto r = CPlaceholders::Fill(strText, {c.dt, 3, "Q4 <report> & co"});
        ASSERT_TRUE(r) << r.Problem();
        EXPECT_EQ(*r, c.pszText[0] == '%' ? strEvery : std::string(c.pszExpected));
        CProblems problems;
        CPlaceholders::Check(strText, "subject", problems);
        EXPECT_TRUE(problems.Empty());
    }
}

struct CRefusedCase {
    const char* pszText;
    std::vector<std::string> vecLines;  // as Check tells them, the text named "subject"
};

const CRefusedCase kRefusedCases[] = {
    {"Report {dat} of {date}", {"subject: unknown placeholder {dat} at 8"}},
    {"Größe {Date}", {"subject: unknown placeholder {Date} at 7"}},  // characters, not bytes
    {"{date+1}", {"subject: unknown placeholder {date+1} at 1"}},    // a date needs its unit
    {"{month-1d}", {"subject: unknown placeholder {month-1d} at 1"}},
    {"{year+1m}", {"subject: unknown placeholder {year+1m} at 1"}},
    {"{time-1d}", {"subject: unknown placeholder {time-1d} at 1"}},
    {"{n:%d}", {"subject: unknown placeholder {n:%d} at 1"}},
    {"{name+1}", {"subject: unknown placeholder {name+1} at 1"}},
    {"{date-12345d}", {"subject: unknown placeholder {date-12345d} at 1"}},
    {"{date-d}", {"subject: unknown placeholder {date-d} at 1"}},
    {"{}", {"subject: unknown placeholder {} at 1"}},
    {"a {date:%s} b", {"subject: unknown conversion %s in {date:%s} at 3"}},
    {"{date:%Y%}", {"subject: unknown conversion % in {date:%Y%} at 1"}},
    {"{date:%c}", {"subject: unknown conversion %c in {date:%c} at 1"}},
    {"open {date and {time}", {"subject: unclosed placeholder at 6"}},
    {"end {date", {"subject: unclosed placeholder at 5"}},
    {"a } b {x} c }",
     {"subject: single } (a literal brace is written }}) at 3", "subject: unknown placeholder {x} at 7",
      "subject: single } (a literal brace is written }}) at 13"}},
};

TEST(PlaceholdersTest, RefusesWhatItDoesNotKnowAndNamesEachPlace) {
    for (const auto& c : kRefusedCases) {
        SCOPED_TRACE(c.pszText);
        CProblems problems;
        CPlaceholders::Check(c.pszText, "subject", problems);
        EXPECT_EQ(problems.Lines(), c.vecLines);
        // Filling says the same and fills nothing.
        const auto r = CPlaceholders::Fill(c.pszText, {{2027, 3, 5, 0, 9, 0, 0}, 1, "T"}, "subject");
        EXPECT_FALSE(r);
        EXPECT_EQ(r.ProblemLines(), c.vecLines);
    }
    // A date out of the years every part handles is refused when filled.
    const auto r = CPlaceholders::Fill("x {date+9999y}", {{2027, 3, 5, 0, 9, 0, 0}, 1, "T"});
    EXPECT_EQ(r.Problem(), "text: {date+9999y} falls outside the years 1900 to 9999 at 3");
    EXPECT_FALSE(CPlaceholders::Fill("{date}", {{}, 1, "T"}));
}

TEST(PlaceholdersTest, HtmlBodiesAreFilledOnlyBetweenTagsAndEscaped) {
    const CPlaceholders::CValues values{{2027, 1, 4, 0, 9, 0, 0}, 2, "A<B> & \"C\""};
    const struct {
        const char* pszName;
        const char* pszHtml;
        const char* pszExpected;
    } kCases[] = {
        {"text filled, name escaped", "<p class=\"{x}\">{name}: {month-1}</p>",
         "<p class=\"{x}\">A&lt;B&gt; &amp; &quot;C&quot;: December 2026</p>"},
        {"style and script keep their braces", "<STYLE>p {color: red}</style><p>{n}</p><script>if (a) {b()}</SCRIPT>{{",
         "<STYLE>p {color: red}</style><p>2</p><script>if (a) {b()}</SCRIPT>{"},
        {"a tag left open", "{n}<p", "2<p"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        const auto r = CPlaceholders::FillHtml(c.pszHtml, values);
        ASSERT_TRUE(r) << r.Problem();
        EXPECT_EQ(*r, c.pszExpected);
    }
    // A placeholder cut by a tag is told at its place in the whole body.
    EXPECT_EQ(CPlaceholders::FillHtml("<b>x</b>{da<i>te}</i>", values).Problem(),
              "body: unclosed placeholder at 9\nbody: single } (a literal brace is written }}) at 17");
}

}  // namespace
