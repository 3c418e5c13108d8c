// Preloaded into the show by the end-to-end tests: an exit with a status
// other than 0, which those tests never expect, becomes an abort, so that the
// process leaves a core file and a backtrace of where it chose to end.
// Covers exit() and _exit() called from anywhere, and main returning. Only
// the show's own process: a child it forks (libdbus forks one to start a
// session bus where none is set, which ends with _exit(1) when it cannot)
// exits as it asks, and programs it starts do not load the trap.
#include <dlfcn.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void abortInstead(const char *how, int status)
{
    std::fprintf(stderr, "exittrap: %s %d, aborting for a core file\n", how, status);
    std::abort();
}

int (*realMain)(int, char **, char **) = nullptr;
pid_t showProcess = 0;

bool trapped(int status)
{
    return status != 0 && getpid() == showProcess;
}

int trappedMain(int argc, char **argv, char **environment)
{
    showProcess = getpid();
    unsetenv("LD_PRELOAD");
    const int status = realMain(argc, argv, environment);
    if (status != 0)
        abortInstead("main returned", status);
    return status;
}

} // namespace

extern "C" {

void exit(int status) noexcept
{
    if (trapped(status))
        abortInstead("exit called with", status);
    auto real = reinterpret_cast<void (*)(int)>(dlsym(RTLD_NEXT, "exit"));
    real(status);
    std::abort();  // not reached: exit does not return
}

void _exit(int status) noexcept
{
    if (trapped(status))
        abortInstead("_exit called with", status);
    auto real = reinterpret_cast<void (*)(int)>(dlsym(RTLD_NEXT, "_exit"));
    real(status);
    std::abort();
}

using StartMain = int (*)(int (*)(int, char **, char **), int, char **, void (*)(), void (*)(), void (*)(),
                          void *);

int __libc_start_main(int (*main)(int, char **, char **), int argc, char **argv, void (*init)(),
                      void (*fini)(), void (*rtldFini)(), void *stackEnd)
{
    realMain = main;
    auto real = reinterpret_cast<StartMain>(dlsym(RTLD_NEXT, "__libc_start_main"));
    return real(trappedMain, argc, argv, init, fini, rtldFini, stackEnd);
}

} // extern "C"
