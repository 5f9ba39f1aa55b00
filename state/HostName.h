#pragma once
#include <string>

// The name of the program the add-in runs in, as that program gives it
// (Application.Name), for the texts that name it:
// "Send overdue email messages on Mail Host startup". "the mail host" when
// no host is connected or it gives no name.
std::string HostName();
