// dravik: the desktop program.
//
//   dravik                              the main window
//   dravik LOG OUTPUT [INSTRUMENT or PACKAGE.zpk] [options]
//                                       one conversion with only its progress
//                                       window; exit status 0 complete,
//                                       1 aborted or failed, 2 invalid command line
#include <csignal>

#include "dravik_app.h"

int main(int argc, char** argv) {
    // A file size limit (ulimit -f) ends a conversion with the write error of
    // the file concerned instead of killing the window with its settings.
    std::signal(SIGXFSZ, SIG_IGN);
    dravik::CDravikApp app(argc, argv);
    return app.Run();
}
