// Loads each instrument file named on the command line and prints its load
// message; exits 0 when every file loads, 1 otherwise.
#include <cstdio>
#include <string>

#include "instrument/instrument.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s INSTRUMENT_FILE...\n", argv[0]);
        return 1;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        dravik::CInstrument instrument;
        int result = instrument.Load(argv[i]);
        // The message's CR LF line ends are meant for log files; a terminal wants LF.
        const std::string text = dravik::UnixLineEnds(instrument.GetMessage());
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (result != 0) {
            std::printf("Result: 0x%08X\n", static_cast<unsigned>(result));
            status = 1;
        }
        if (i + 1 < argc) std::printf("\n");
    }
    return status;
}
