// A whole conversion with an instrument file, a small log and options all
// drawn from the input, through the conversion document with a recording
// front end, in a private scratch folder. The input is three parts separated
// by "\n====\n": options (one a line), the instrument file, the log. Without
// an instrument part the log goes through a header conversion.
//
// The conversion must end (libFuzzer's time-out catches a hang), report an
// outcome, and leave the log file as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "conversion/dravik_doc.h"
#include "fuzz_support.h"
#include "instrument/instrument.h"
#include "conversion/recording_front_end.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravik;
    const auto parts = fuzz::Split(fuzz::AsText(data, size), "\n====\n", 3);
    if (parts.size() < 2) return 0;
    const std::string_view log_bytes = parts.back();
    const std::string log = fuzz::WriteScratch("log.raw", log_bytes);
    const std::string output = (fuzz::ScratchDir() / "out.txt").string();
    const std::string conversion_log = (fuzz::ScratchDir() / "conversion.log").string();
    std::string instrument;
    if (parts.size() == 3) instrument = fuzz::WriteScratch("instrument.cal", parts[1]);

    CRecordingFrontEnd front_end;
    {
        CDravikDoc doc(front_end);
        doc.SetProgramDirectory(DRAVIK_EXAMPLES_DIR "/");
        CDravikParameters& params = doc.GetParameters();
        for (std::string_view option : fuzz::Split(parts[0], "\n", 32))
            params.ParseOption(option);
        // Files stay in the scratch folder whatever the options name.
        params.has_conversion_log_option = 1;
        params.conversion_log_option_file = conversion_log;
        doc.SetLogFilePath(log);
        doc.SetOutputFilePath(output);
        doc.SetInstrumentFilePath(instrument);
        const EConversionOutcome outcome = doc.RunConversion();
        if (outcome == EConversionOutcome::kSkipped) __builtin_trap();
    }
    std::error_code ec;
    if (fuzz::fs::file_size(log, ec) != log_bytes.size()) __builtin_trap();
    fuzz::fs::remove(output, ec);
    return 0;
}
