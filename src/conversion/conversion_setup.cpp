// The set-up of a conversion (PrepareConversion): the conversion log, the
// names, the begin text, the log file as the control's file resource, the
// instrument, the check sensors, and acquisition started.
#include "conversion/conversion_setup.h"

#include <algorithm>
#include <string_view>

#include "conversion/dravik_doc.h"
#include "instrument/instrument.h"
#include "platform/disk_file.h"
#include "platform/text.h"
#include "settings/program_dir.h"

namespace dravik {

namespace {

// The heading block names a file by what follows the last "/" or "\" in its
// path, as it always has, though a "\" may be part of a name here.
std::string HeadingName(const std::string& path) {
    const std::string name = NamePart(path);
    return name.substr(name.find_last_of('\\') + 1);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Why the instrument file was not read, for the line after the message: the
// system's words when the file could not be opened or read, else the
// loader's reason ("The file format is invalid or corrupted."), if it gave one.
std::string InstrumentFailureDetail(int result, const std::string& path) {
    if (result == kInstrumentOpenFailed || result == kInstrumentReadFailed) {
        CDiskFile file;
        char byte = 0;
        std::size_t got = 0;
        if (file.Open(path, CDiskFile::Mode::kRead, false) != 0 || file.Read(&byte, 1, got) != 0) {
            return file.GetSystemErrorText();
        }
        return {};
    }
    if (result == kInstrumentNoInstrumentLine) {
        return "The INSTRUMENT definition line was not found.";
    }
    if ((result & 0xf0000000) != 0x30000000) return {};
    std::string_view reason = CInstrument::GetCodeText(result);
    reason = reason.substr(0, reason.find("\r\n"));
    if (reason.starts_with('\t')) reason.remove_prefix(1);
    return std::string(reason);
}

}  // namespace

std::string FullPath(const std::string& path, const std::string& directory) {
    if (path.empty() || path.front() == '/') return path;
    return WithTrailingSlash(directory) + path;
}

CPreparedConversion NameConversion(const CConversionPaths& paths,
                                   const std::string& startup_directory,
                                   const std::string& program_directory) {
    CPreparedConversion names;
    names.log_name = HeadingName(paths.log);
    names.log_full = IsStandardStream(paths.log) ? "standard input"
                                                 : FullPath(paths.log, startup_directory);
    names.output_full = IsStandardStream(paths.output) ? "standard output"
                                                       : FullPath(paths.output, startup_directory);
    names.header_conversion = paths.instrument.empty();
    if (names.header_conversion) {
        names.instrument_name = kHeaderDefinitionFile;
        names.instrument_full = program_directory + kHeaderDefinitionFile;
    } else {
        names.instrument_name = HeadingName(paths.instrument);
        names.instrument_full = FullPath(paths.instrument, startup_directory);
    }
    return names;
}

std::string BeginText(const CPreparedConversion& names, const CDravikParameters& params) {
    if (names.header_conversion) {
        return "Begin header conversion.\r\n\tLog File: " + Quoted(names.log_full) +
               "\r\n\tOutput File: " + Quoted(names.output_full) + "\r\n";
    }
    std::string text = "Begin instrument conversion.\r\n\tLog File: " + Quoted(names.log_full) +
                       "\r\n\tOutput File: " + Quoted(names.output_full) +
                       "\r\n\tInstrument File: " + Quoted(names.instrument_full);
    const CSensorFormat& f = params.format;
    if (f.apply_fit) {
        text += "\r\n\tCalibration coefficients applied.";
        if (params.immersed) text += "\r\n\tImmersion coefficients applied.";
    } else if (f.hex_format && !params.suppress_strings) {
        text += "\r\n\tHexadecimal integer output enabled.";
    }
    if (params.time_tags) text += "\r\n\tTime Tag output enabled.";
    if (params.frame_counter_checking) text += "\r\n\tFrame error checking enabled.";
    if (params.check_sum_checking) text += "\r\n\tCheck Sum error checking enabled.";
    if (params.suppress_strings) text += "\r\n\tNon numerical output suppression enabled.";
    return text + "\r\n";
}

bool CDravikDoc::PrepareConversion() {
    // A conversion left running is ended before another one begins.
    if (InProgress()) EndConversion(true);
    m_settings.ApplyCommandLineOverrides(m_params);
    // The conversion works on its own copy: the parameters may be edited
    // while it runs, for the next one.
    m_run = m_params;
    OpenConversionLog();
    ResetConversionState();
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        m_log.Close();
        m_output.reset();
    }
    // Names are made absolute against the directory the program started in,
    // and the header definition is taken from the program's own directory,
    // whatever the current directory is now. The process's current directory
    // is never changed: other threads may be resolving paths.
    m_prepared = NameConversion(m_paths, m_startup_directory, m_program_directory);
    // The control gathers its own texts until its thread delivers them, while
    // each resource queues its texts separately. Waiting for delivery at the
    // points where both speak keeps the conversion log in the order things
    // happened.
    SendAndWait(BeginText(m_prepared, m_run));
    if (!SetUp()) return false;
    std::lock_guard<std::timed_mutex> lock(m_lock);
    m_phase = EConversionPhase::kPrepared;
    return true;
}

bool CDravikDoc::SetUp() {
    CPreparedConversion& p = m_prepared;
    const int cause = m_log.Open(PathToOpen(m_paths.log, p.log_full), true);
    if (cause != 0) {
        // A log that cannot be read as one (a terminal, a device, a damaged
        // compressed log) says why in place of the cause.
        const std::string& why = m_log.GetFailureDetail();
        Show({"An error occured opening the log file\r\n" + Quoted(p.log_full) +
                  ".\r\nConversion aborted.",
              m_log.GetSystemErrorText()});
        ReportMessage(
            "An error occured opening the log file.\r\n\t" +
                (why.empty() ? FileErrorText(cause, FileErrorWording::kConversion) : why) + "\r\n",
            0);
        SendAndWait("Conversion aborted.\r\n");
        return false;
    }
    p.log_length_known = m_log.HasLength();
    p.log_file_length = m_log.GetLength();

    const int buffer = p.header_conversion ? kHeaderBufferSize : EffectiveBuffer();
    if (AddCommResource(&m_log, buffer) != 0) {
        m_front_end.ShowMessage("An error occured creating the file resource for " + p.log_full +
                                ".\r\nConversion aborted.");
        m_log.Close();
        SendAndWait("Conversion aborted.\r\n");
        return false;
    }
    GetCommResourceId(p.resource_name, 0);

    const int result = AddInstrument(p.instrument_full);
    FlushMessages();
    if (result == 0 || result == kControlInstrumentLineErrors) {
        // A file with no INSTRUMENT line (an archive, a spreadsheet, any text
        // given by mistake) loads with an empty header. No header can be
        // searched for, and every byte of the log would become a frame.
        GetInstrumentHeader(p.instrument_header, 0);
        if (p.instrument_header.empty()) {
            m_front_end.ShowMessage("The instrument file\r\n" + Quoted(p.instrument_full) +
                                    "\r\ndefines no instrument header (no INSTRUMENT line).\r\n"
                                    "Conversion aborted.");
            ReportMessage("The instrument file defines no instrument header.\r\n", 0);
            return AbortSetUp(true);
        }
    }
    if (result == kControlInstrumentLineErrors) {
        if (!m_front_end.AskYesNo(
                "Errors found in the following Calibration\\Telemetry Definition File:\r\n" +
                Quoted(p.instrument_full) +
                "\r\nSee the conversion log for details.\r\n\r\nDo you wish to continue the "
                "conversion?")) {
            return AbortSetUp(true);
        }
    } else if (result != 0) {
        Show({"An error occured reading the instrument file" + Quoted(p.instrument_full) +
                  ".\r\nConversion aborted.",
              InstrumentFailureDetail(result, p.instrument_full)});
        return AbortSetUp(false);
    }
    if (!p.header_conversion) FindCheckSensors();

    std::string error;
    if (AttachInstrument(p.instrument_header, p.resource_name, 0) != 0) {
        error = "An error occured attaching " + p.instrument_header + " to " + p.resource_name +
                ".\r\nConversion aborted.";
    } else if (StartAcquisition(0) != 0) {
        error = "An error occured enabling " + p.instrument_header + ".\r\nConversion aborted.";
    }
    if (error.empty()) return true;
    m_front_end.ShowMessage(error);
    return AbortSetUp(true);
}

bool CDravikDoc::AbortSetUp(bool instrument) {
    bool failed = false;
    RemoveResourceAndInstrument(false, instrument, failed);
    SendAndWait("Conversion aborted.\r\n");
    return false;
}

void CDravikDoc::RemoveResourceAndInstrument(bool at_end, bool instrument, bool& failed) {
    // A removal answers "pending" while the processing thread has not yet
    // deleted an earlier resource, which it does at the end of its batch.
    int result = RemoveCommResource(m_prepared.resource_name);
    if (result == kControlRemovalPending) {
        WaitForQueuedCommands();
        result = RemoveCommResource(m_prepared.resource_name);
    }
    if (result != 0) {
        m_front_end.ShowMessage(
            std::string(at_end ? "An error occured removing the file resource for "
                               : "An error occured removing the file resource for\r\n") +
            m_prepared.resource_name + ".");
        failed = true;
    }
    if (instrument && RemoveInstrument(m_prepared.instrument_header) != 0) {
        m_front_end.ShowMessage("An error occured removing " + m_prepared.instrument_header + ".");
        failed = true;
    }
    std::lock_guard<std::timed_mutex> lock(m_lock);
    m_log.Close();
}

void CDravikDoc::FindCheckSensors() {
    std::string file_type;
    auto warn = [&](const char* sensor, const char* check) {
        GetInstrumentFileType(0, file_type);
        m_front_end.ShowMessage(std::string("No valid ") + sensor + " sensor found in the " +
                                file_type + " for " + m_prepared.instrument_header + ". No " +
                                check + " error checking will occur for the instrument.");
    };
    if (m_run.frame_counter_checking) {
        m_prepared.frame_counter_sensor = FindFrameCounterSensor(0);
        if (m_prepared.frame_counter_sensor == -1) warn("FRAME COUNTER", "frame counter");
    }
    if (m_run.check_sum_checking) {
        m_prepared.check_sum_sensor = FindChecksumSensor(0);
        if (m_prepared.check_sum_sensor == -1) warn("CHECK SUM", "check sum");
    }
}

int CDravikDoc::EffectiveBuffer() const {
    // The stored value is taken unchecked; a chunk of nothing (or of a
    // gigabyte) is no way to read a file.
    return std::clamp(m_run.buffer, kHeaderBufferSize, 1 << 24);
}

}  // namespace dravik
