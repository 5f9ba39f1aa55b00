#pragma once
#include <string>
#include <utility>
#include <vector>

#include "CMailMessage.h"

// What the tool says of a task's message, as labelled lines: its From (the
// account's address when it names none), its subject, each set of
// recipients that is not empty ("To", "a@x, b@x") and each file embedded
// in it ("Embedded", "summary.pdf (1834 bytes)").
class CMessageSummary {
public:
    static std::vector<std::pair<std::string, std::string>> Lines(const CMailMessage& msg);
};
