#pragma once
#include <string>

// The tool's help: the list of commands, and each command's own text with
// an example.
class CCommandHelp {
public:
    static const char* Usage();
    // Null for a command that does not exist.
    static const char* Of(const char* pszCommand);
    static const char* Of(const std::string& strCommand) { return Of(strCommand.c_str()); }
};
