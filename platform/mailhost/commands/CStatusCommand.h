#pragma once
#include <iosfwd>
#include <string>
#include <vector>

// `mailhost status`: whether a host runs on the profile (pid, windows or
// headless, since when), the Outbox (waiting, retrying and failed messages
// with their reasons), and the add-in's active tasks due within the hour,
// through the quillory tool. Gives an EMailhostExit.
class CStatusCommand {
public:
    static int Run(const std::vector<std::string>& vecArgs, std::ostream& out, std::ostream& err);
};
