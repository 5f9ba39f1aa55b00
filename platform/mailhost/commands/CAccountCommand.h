#pragma once
#include <iosfwd>
#include <string>
#include <vector>

// `mailhost account show|set|test`: the Accounts dialog without windows.
// set writes accounts.ini and the password file with the dialog's checks
// (nothing is written unless the whole account is valid); test asks the
// configured servers as the dialog's Test does. Gives an EMailhostExit.
class CAccountCommand {
public:
    static int Run(const std::vector<std::string>& vecArgs, std::istream& in, std::ostream& out, std::ostream& err);
};
