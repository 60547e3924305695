// app/cli/exit_status.h: the exit statuses of `kalvo`, shared by the dispatcher and every command.
#pragma once

namespace kalvo {

inline constexpr int kExitSuccess = 0;  // every run of the batch succeeded
inline constexpr int kExitRefused = 1;  // at least one run was refused
inline constexpr int kExitUsage = 2;    // bad arguments, or no number of runs to do

}  // namespace kalvo
