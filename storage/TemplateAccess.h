#pragma once
#include <cstddef>
#include <string>

// Paths this long are refused, as the platform's own file calls refuse them.
constexpr size_t kMaxPath = 260;

// Whether a template file can be opened for reading with no one else
// holding it locked (too long a path counts as not). The sender asks before
// it sends, the Email Manager before it opens a task's message.
bool CanOpenTemplate(const std::string& strPath);
