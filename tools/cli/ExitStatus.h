#pragma once

// The tool's exit statuses, the same for every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitData = 2;
inline constexpr int kExitHost = 3;  // the running host refused the change or could not be reached
