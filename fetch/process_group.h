#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

// What the program asks of a process group it started (the browser of a render and
// every process that browser starts), read from /proc.

namespace vela {

// The memory the group's processes hold: the sum of their resident sizes. Pages
// shared between them count once for each, so this is an upper bound.
std::size_t GroupResidentBytes(pid_t group);

// How many processes of the group are still running (zombies, which hold no
// memory and run nothing, are not counted).
int GroupLiveProcesses(pid_t group);

// How many running processes have `marker` in their command line: a test's way of
// finding what is left of a render it could not see the group of.
int LiveProcessesWith(std::string_view marker);

// The path of the executable `name` as the shell would find it in PATH (`name`
// itself when it holds a "/"); empty when there is none that may be executed.
std::string FindProgram(const std::string& name);

}  // namespace vela
