#include "CCommandHelp.h"

#include <cstring>

namespace {

const char* const kUsage =
    "usage: quillory COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  list      one line per task: index, active mark, name, next sending time, and its schedule\n"
    "  show      every setting of one task in words, its message and its next sending times\n"
    "  next      the coming sending times of one task, as the scheduler would send them\n"
    "  ics       the coming sending times of the active tasks as an iCalendar file\n"
    "  add       schedule a new message, as the options sheet does\n"
    "  set       change a task's schedule, options or message\n"
    "  remove    remove a task (its template file stays)\n"
    "  enable    make a task active\n"
    "  disable   make a task inactive\n"
    "  copy      copy a task, with a copy of its template\n"
    "  move      move a task up, down, first, last or to a place in the list\n"
    "  send-now  send one occurrence of a task now (needs a running host)\n"
    "  export    the whole task list as JSON on standard output\n"
    "  import    replace the task list with the JSON array on standard input\n"
    "\n"
    "options of every command:\n"
    "  --file PATH      task list file (default: the add-in's emails.dat)\n"
    "  --codepage CP    code page of the texts in the file (default: $QUILLORY_CODEPAGE,\n"
    "                   else the locale's code set)\n"
    "\n"
    "A TASK is its index from 1 or its exact name. Changes go to the running host's add-in\n"
    "when one serves the file, else into the file.\n"
    "\n"
    "exit status, the same with and without a running host:\n"
    "  0  done\n"
    "  1  usage: an unknown command or option, a value out of an option's range\n"
    "     (--interval 0)\n"
    "  2  data: no such task, a name already taken, a change the task refuses (an end\n"
    "     before its start), a file or folder missing or unreadable, a failed write\n"
    "  3  the running host could not be reached, or refused for its own reasons (a dialog\n"
    "     open in it, its disk); send-now without a host\n"
    "Run 'quillory COMMAND --help' for a command's own help.\n";

#define QUILLORY_SCHEDULE_OPTIONS                                                                             \
    "schedule, one of (default for add: --once):\n"                                                           \
    "  --once\n"                                                                                              \
    "  --every-minutes N\n"                                                                                   \
    "  --daily [--interval N]            every N days\n"                                                      \
    "  --daily --kind KIND               every day of a kind: day, weekday, weekend-day, even-day,\n"         \
    "                                    odd-day\n"                                                           \
    "  --weekly [--interval N] --days mon,thu\n"                                                              \
    "  --weekly --week-of-month 2|3|4 --days tue\n"                                                           \
    "  --monthly --day D [--interval M]\n"                                                                    \
    "  --monthly --ordinal first|second|third|fourth|last --kind KIND [--interval M]\n"                       \
    "                                    KIND also a day of the week (sunday..saturday)\n"                    \
    "  --yearly --month MONTH --day D\n"                                                                      \
    "  --yearly --ordinal ORDINAL --kind KIND --month MONTH\n"                                                \
    "  Day and month names in English, full or three letters, any case.\n"                                    \
    "start and end:\n"                                                                                        \
    "  --start \"YYYY-MM-DD HH:MM\"        first day and the sending time (add: the next minute);\n"          \
    "  --start HH:MM | \"tomorrow HH:MM\" | \"mon HH:MM\"  the next such time from now, local time.\n"        \
    "                                    A time the clocks skip is kept, and sent when they have\n"           \
    "                                    jumped (02:30 on a day of 02:00->03:00 goes at 03:30)\n"             \
    "  --end-after N | --end-date YYYY-MM-DD | --no-end   (add: no end)\n"                                    \
    "options:\n"                                                                                              \
    "  --name NAME                       (add: the subject)\n"                                                \
    "  --no-send-overdue | --send-overdue, --receive-first | --no-receive-first,\n"                           \
    "  --inactive | --active\n"                                                                               \
    "  --attach-entry PATH               an attachment looked up at each sending: a file, or a\n"             \
    "                                    folder with a mask (\"/srv/reports/*.csv\"); repeatable;\n"          \
    "                                    a relative one is made absolute from here\n"                         \
    "  --no-attach-entries               (set) none\n"                                                        \
    "rules (each --no-... form undoes one, e.g. --no-zone):\n"                                                \
    "  --working-days mon-fri            the task's working days (default mon-fri; sun-thu...)\n"             \
    "  --holidays FILE.ics               holidays from an iCalendar file (all-day events); repeatable\n"      \
    "  --on-holiday send|before|after|skip  an occurrence on a day off: sent anyway (default), moved\n"       \
    "                                    to the working day before or after, or skipped\n"                    \
    "  --zone ZONE                       the schedule's zone (\"America/New_York\"); --start is read in it\n" \
    "  --if-nothing-attached send|skip|wait:MINUTES:DEADLINE_MINUTES[:send|skip]  an entry matching\n"        \
    "                                    no file; after the wait, skipped (default) or sent without\n"        \
    "  --missed each|latest|none         occurrences passed while nothing ran\n"                              \
    "  --pause-until YYYY-MM-DD          nothing goes out before that day\n"                                  \
    "  --skip-next                       the next occurrence is skipped, once\n"                              \
    "  Placeholders in the subject, body and attachment entries are filled at sending:\n"                     \
    "  {date} {time} {date:%Y-%m-%d} {date-1d:%d.%m.} {month-1:%B %Y} {n} {name}; {{ is a brace\n"            \
    "message:\n"                                                                                              \
    "  --eml FILE                        an RFC 5322 message; - reads standard input. Its Reply-To,\n"        \
    "                                    In-Reply-To, References and X- fields are kept; its From\n"          \
    "                                    is not: the account's address sends it and is its From\n"            \
    "  --to ADDR[,ADDR...] [--cc ...] [--bcc ...] --subject TEXT (--body TEXT | --body-file FILE)\n"          \
    "  --attach FILE                     a file embedded in the message; repeatable (set: replaces\n"         \
    "                                    the embedded files)\n"                                               \
    "The start is checked against, and the next sending time worked out from, the present.\n"

struct CHelp {
    const char* pszCommand;
    const char* pszText;
};

const CHelp kHelp[] = {
    {"list",
     "usage: quillory list [--json [--addin] | --names] [--file PATH] [--codepage CP]\n"
     "Prints one line per task in list order: index (from 1), '*' when active, the task\n"
     "name, and the next sending time as YYYY-MM-DD HH:MM, or 'Completed'; below it, indented,\n"
     "the schedule in words. --names prints only the names, --json all of it as JSON, with\n"
     "each task's last result (\"lastResult\": kind, occurrence, result in words) and any\n"
     "\"problem\" keeping it from going as it should; programs read this form. --addin\n"
     "makes it {\"tasks\": [...], \"addin\": {\"pid\": N, \"unsaved\": REASON or null}}, the\n"
     "running host's add-in on this file as it answers, or null when none does. A\n"
     "damaged file shows the tasks before the damage, names the damage and exits with 2.\n"
     "example: quillory list --json\n"},
    {"export",
     "usage: quillory export [--file PATH] [--codepage CP]\n"
     "Writes the task list as a JSON array to standard output, values as stored. A\n"
     "damaged file gives the tasks before the damage, names the damage and exits with 2.\n"
     "example: quillory export > tasks.json\n"},
    {"import",
     "usage: quillory import [--file PATH] [--codepage CP] < tasks.json\n"
     "Reads a JSON array of tasks from standard input, checks all of it, and only then\n"
     "replaces the task list. Every task must give its start; other missing keys\n"
     "take their defaults, and a date's dayOfWeek left out is worked out from the date.\n"
     "Unknown keys, invalid dates, values outside what the options sheet offers for the\n"
     "chosen recurrence, and tasks too large for the file are errors, each named with\n"
     "its task and key; then nothing is written. While a host runs with the add-in on\n"
     "this file, the add-in checks it again, makes the change and saves it.\n"
     "example: quillory import < tasks.json\n"},
    {"next",
     "usage: quillory next TASK [--count N] [--now \"YYYY-MM-DD HH:MM\"] [--file PATH] [--codepage CP]\n"
     "Prints the next N (default 10) sending times of TASK (its index from 1 or its exact\n"
     "name), one per line in local time, as the options sheet's preview shows them: each\n"
     "counted as sent before the following one is worked out, then 'Completed' if the\n"
     "schedule ends first (or cannot move on). Starts from the stored state, or with\n"
     "--now from the first sending time at or after that present, as when the task is\n"
     "scheduled anew. Changes no file.\n"
     "example: quillory next \"Weekly report\" --count 3\n"},
    {"show",
     "usage: quillory show TASK [--file PATH] [--codepage CP]\n"
     "Prints every setting of TASK (its index from 1, or its exact name) in words: the\n"
     "schedule as a sentence, its end, the options, the template's subject and\n"
     "recipients, its From and embedded files, each attachment entry and what it names\n"
     "now, the last sending and the\n"
     "result of the last occurrence (from the add-in's tasks.json beside the task\n"
     "list), and the next five sending times with the zone they are in. Changes no file.\n"
     "example: quillory show \"Weekly report\"\n"},
    {"ics",
     "usage: quillory ics [TASK...] [--out FILE] [--now \"YYYY-MM-DD HH:MM\"] [--file PATH] [--codepage CP]\n"
     "Writes an iCalendar file (standard output, or FILE) with one event per active task,\n"
     "or per TASK named by its index (from 1) or exact name: its coming sending times in\n"
     "the local zone, from the stored state, over the two years after now (--now) and at\n"
     "most 500. A schedule a recurrence rule says exactly is written as an RRULE, any\n"
     "other as its instants (RDATE); X-QUILLORY-FORM tells which. Changes no file.\n"
     "example: quillory ics --out ~/quillory.ics \"Weekly report\"\n"},
    {"add",
     "usage: quillory add MESSAGE [SCHEDULE] [--start ...] [END] [OPTIONS] [--file PATH] [--codepage CP]\n"
     "Schedules a message as the options sheet does: the same checks, the template saved\n"
     "in the data folder under a name made from the task name and the time, and the first\n"
     "sending time worked out from the start. Prints the new task's index and name and its\n"
     "next five sending times. What the sheet refuses is refused, naming the option, and\n"
     "nothing is written.\n" QUILLORY_SCHEDULE_OPTIONS
     "example: quillory add --to rita@example.com --subject \"Weekly report\" --body-file report.txt \\\n"
     "           --weekly --days mon,thu --start \"2026-12-14 09:00\" --attach-entry \"/srv/reports/*.csv\"\n"},
    {"set",
     "usage: quillory set TASK [SCHEDULE] [--start ...] [END] [OPTIONS] [MESSAGE] [--file PATH]\n"
     "Changes what the options give and works the next sending time out again, as the\n"
     "options sheet does when a task's schedule is edited; what is not given stays. A\n"
     "message option changes that part of the message (--subject, --to, --body-file,\n"
     "--attach ...) and keeps the rest, the template's file name and the task's history;\n"
     "--eml replaces the whole message.\n" QUILLORY_SCHEDULE_OPTIONS
     "example: quillory set \"Weekly report\" --weekly --days fri --end-after 10\n"},
    {"remove",
     "usage: quillory remove TASK [--file PATH] [--codepage CP]\n"
     "Removes TASK from the list, as the Email Manager's Remove does: its template file\n"
     "stays on disk.\n"
     "example: quillory remove 3\n"},
    {"enable",
     "usage: quillory enable TASK [--file PATH] [--codepage CP]\n"
     "Makes TASK active; its schedule is left as it is, so a sending time already passed\n"
     "counts as overdue.\n"
     "example: quillory enable \"Weekly report\"\n"},
    {"disable",
     "usage: quillory disable TASK [--file PATH] [--codepage CP]\n"
     "Makes TASK inactive: it is not sent until it is enabled again.\n"
     "example: quillory disable \"Weekly report\"\n"},
    {"copy",
     "usage: quillory copy TASK [--file PATH] [--codepage CP]\n"
     "Adds a copy of TASK at the end of the list, named \"Copy of\" its name, with a copy of\n"
     "its template in the task list's folder (beside the original when that is there too).\n"
     "example: quillory copy \"Weekly report\"\n"},
    {"move",
     "usage: quillory move TASK up|down|first|last|to N [--file PATH] [--codepage CP]\n"
     "Moves TASK in the list, which is the order the tasks are sent in within a minute.\n"
     "example: quillory move \"Weekly report\" first\n"},
    {"send-now",
     "usage: quillory send-now TASK [--file PATH] [--codepage CP]\n"
     "Has the running host send one extra message of TASK now, outside its schedule: the\n"
     "count, the last sending and the next sending time stay as they are, and the task's\n"
     "history records it as sent now.\n"
     "Without a running host nothing can be sent: exit status 3.\n"
     "example: quillory send-now \"Weekly report\"\n"},
};

}  // namespace

const char* CCommandHelp::Usage() { return kUsage; }

const char* CCommandHelp::Of(const char* pszCommand) {
    for (const CHelp& help : kHelp)
        if (std::strcmp(help.pszCommand, pszCommand) == 0) return help.pszText;
    return nullptr;
}
