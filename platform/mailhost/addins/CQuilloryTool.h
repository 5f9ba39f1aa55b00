#pragma once
#include <optional>
#include <string>
#include <vector>

// The add-in's command-line tool, which the host runs to learn about the
// task list: the host cannot read that file itself, the add-in owns its
// format.
namespace CQuilloryTool {
// $QUILLORY_TOOL, beside this program (installed), in the build tree's
// tools folder, or on PATH; "" when none is found.
std::string Find();
// Runs the program with its standard output caught; its standard error
// goes to ours. Gives its exit status, -1 when it could not run.
int RunCaught(const std::vector<std::string>& vecArgs, std::string& strOut);
// How many active tasks have a next sending time (from `quillory list --json`);
// none when the tool is missing or the list cannot be read.
std::optional<int> ActiveTaskCount();
}  // namespace CQuilloryTool
