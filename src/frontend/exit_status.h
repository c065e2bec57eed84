// The exit statuses of the programs, which tell scripts how a run ended: the
// headless converter, its runs over several files, the live logger and the
// desktop program's one-conversion start all answer with these.
#pragma once

namespace dravik {

enum EExitStatus : int {
    kExitComplete = 0,            // every conversion complete (a recording stopped)
    kExitFailed = 1,              // a conversion aborted, failed or skipped; a file error
    kExitInvalidCommandLine = 2,  // nothing was started
};

constexpr EExitStatus ExitStatusOf(bool complete) noexcept {
    return complete ? kExitComplete : kExitFailed;
}

}  // namespace dravik
