#pragma once
#include <string>
#include <utility>
#include <vector>

#include "CMailMessage.h"

// What the tool says of a task's message: its subject and each set of
// recipients that is not empty, as labelled lines ("To", "a@x, b@x").
class CMessageSummary {
public:
    static std::vector<std::pair<std::string, std::string>> Lines(const CMailMessage& msg);
};
