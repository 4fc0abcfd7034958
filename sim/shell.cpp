// The program's shell commands: the link wraps the standard library's system call, so the
// transcript shows each command line exactly as the program passed it, redirections included.
// The command itself then runs through the real system call and /bin/sh.
#include <cstdlib>

#include "machine.h"

extern "C" int __real_system(const char* command);

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" int __wrap_system(const char* command) {
    // Outside a run (a test that starts the runner, say) it is the plain system call.
    if (sim::TheMachine && command)
        sim::M().Say("shell: " + sim::Escape(command));
    return __real_system(command);
}
