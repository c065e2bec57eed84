#include "conversion/frame_loop.h"

#include <algorithm>

#include "conversion/conversion_output.h"
#include "platform/disk_file.h"
#include "platform/frame_data.h"
#include "platform/log_source.h"
#include "telemetry/oxa_telemetry_doc.h"

namespace dravik {

CFrameLoop::CFrameLoop(COxaTelemetryDoc& control, std::vector<CNotice>& notices)
    : m_control(control), m_notices(notices) {}

void CFrameLoop::Reset() {
    m_setup = CFrameLoopSetup{};
    m_checks.Start(nullptr, nullptr, nullptr);
    m_written = false;
    m_abort = false;
    m_end_of_data = false;
    m_buffer_overrun = false;
    m_output_failed = false;
    m_frame_selected = true;
    m_depth_counter = 0;
    m_last_frame_length = 0;
    m_frames_processed = 0;
    m_resynchronizations = 0;
    m_bytes_consumed = 0;
    m_discarded_since_frame = 0;
}

void CFrameLoop::Start(CFrameLoopSetup setup) {
    m_setup = std::move(setup);
    m_checks.Start(m_setup.frame_counter_sensor, m_setup.check_sum_sensor,
                   [this](const std::string& text) { m_control.ReportMessage(text, 0); });
}

CConversionStatus CFrameLoop::GetStatus() const {
    CConversionStatus s;
    s.frame_counter_errors = m_checks.GetCounterErrors();
    s.check_sum_errors = m_checks.GetCheckSumErrors();
    s.frames_processed = m_frames_processed;
    s.bytes_consumed = m_bytes_consumed;
    s.resynchronizations = m_resynchronizations;
    s.not_found = m_written ? 0 : 1;
    s.aborted = m_abort ? 1 : 0;
    s.buffer_overrun = m_buffer_overrun ? 1 : 0;
    s.end_of_data = m_end_of_data ? 1 : 0;
    return s;
}

void CFrameLoop::OnFileStatus(int cause, bool end_of_file, bool file_open, bool quiet) {
    if (cause != 0 && !m_abort && !quiet) {
        // The resource logs each failed read; the user hears of the first.
        // A log that ends before the length it had when the conversion began
        // was cut short underneath: what was converted is not the whole log.
        // A compressed log says itself what was wrong with it, in place of
        // the cause; otherwise the system's words follow the message.
        const std::string detail = m_setup.log->GetFailureDetail();
        const bool shorter = cause == kFileEndOfFile && detail.empty();
        const std::string why =
            detail.empty() ? FileErrorText(cause, FileErrorWording::kConversion) : detail;
        m_notices.push_back(
            {"An error occured reading the log file\r\n\"" + m_setup.log_full + "\".\r\n" +
                 (shorter ? std::string("It became shorter while it was being converted.") : why),
             shorter || !detail.empty() ? std::string() : m_setup.log->GetSystemErrorText()});
        m_control.ReportMessage("An error occured reading the log file.\r\n\t" + why + "\r\n", 0);
    }
    if (cause != 0 || !file_open) m_abort = true;
    if (end_of_file) m_end_of_data = true;
}

ELoopStep CFrameLoop::OnNoFrame() {
    // An answer without a frame after a request that dropped bytes is
    // progress through junk: the bytes are counted and the search goes on.
    // Once the end of the file has been read, an answer that dropped nothing
    // means the data is exhausted (what is left is a partial frame). After an
    // abort (a read error, a cancel) nothing more is asked.
    const std::uint64_t discarded = TakeDiscarded();
    Account(discarded, false);
    const bool exhausted = m_end_of_data && discarded == 0;
    if (!exhausted && !m_abort) return ELoopStep::kRequestNext;
    if (m_setup.header_conversion) {
        // The instrument frames that follow the header records are skipped
        // on purpose: no overrun there, and the records end with the data.
        m_end_of_data = true;
    } else if (exhausted && m_discarded_since_frame >= m_setup.buffer) {
        m_buffer_overrun = true;
    }
    return ELoopStep::kDone;
}

ELoopStep CFrameLoop::OnFrame(const CFrameData& frame) {
    if (m_abort) return ELoopStep::kDone;
    if (m_setup.header_conversion) return WriteHeaderRecord(frame);
    const int index = frame.GetFrameCounter();
    if (m_setup.process_limit > 0 && index > m_setup.process_limit) {
        m_end_of_data = true;
        return ELoopStep::kDone;
    }
    m_frames_processed = static_cast<unsigned>(index);
    m_last_frame_length = frame.GetFrameLength();
    // A frame whose check field cannot be read is written or skipped as the
    // frame before it was.
    if (m_checks.Check(frame, static_cast<unsigned>(index))) {
        m_frame_selected = ++m_depth_counter >= m_setup.process_depth;
        if (m_frame_selected) m_depth_counter = 0;
    }
    if (!m_frame_selected) {
        // A skipped frame still moves the log position on, so that the next
        // written frame reads its own time tag.
        Account(TakeDiscarded(), true);
        return ELoopStep::kRequestNext;
    }
    return WriteFrame(frame);
}

ELoopStep CFrameLoop::WriteFrame(const CFrameData& frame) {
    // The frame counts as consumed only once it is written; a frame that
    // could not be written leaves the counts as they were.
    const std::uint64_t discarded = TakeDiscarded();
    CFrameRecord record{frame, m_checks.GetResidual(), m_checks.CounterErrorInFrame(),
                        m_checks.CheckSumErrorInFrame(), {}, false};
    // The time tag is the record that follows the frame in the log: the
    // frame brings those bytes along, read ahead where needed, so a log that
    // can be read only once (a pipe, a compressed log) needs no second look.
    int read_cause = 0;
    if (m_setup.time_tags) {
        const std::uint64_t at =
            m_bytes_consumed + static_cast<std::uint64_t>(std::max(m_last_frame_length, 0)) +
            discarded;
        if (!frame.GetFollowingBytes(at, record.time_tag)) {
            // The read behind the frame failed; a frame that knows its
            // following bytes only at another offset was not accounted as it
            // was cut, which no read could put right.
            read_cause = frame.GetFollowingReadError();
            if (read_cause == 0) read_cause = kFileBadSeek;
            record.time_tag = {};
            record.time_tag_unreadable = true;
        }
    }
    const COutputResult result = m_setup.output->WriteFrame(record);
    if (!result.frame_written) return Fail(result.cause, true);
    m_written = true;
    if (m_side != nullptr) m_side->WriteFrame(record);
    Account(discarded, true);
    if (read_cause != 0) return Fail(read_cause, false);
    if (result.cause != 0) return Fail(result.cause, true);
    return ELoopStep::kRequestNext;
}

ELoopStep CFrameLoop::WriteHeaderRecord(const CFrameData& frame) {
    m_frames_processed = static_cast<unsigned>(frame.GetFrameCounter());
    m_last_frame_length = frame.GetFrameLength();
    const int cause = m_setup.output->WriteHeaderRecord(frame);
    if (cause != 0) return Fail(cause, true);
    m_written = true;
    Account(TakeDiscarded(), true);
    return ELoopStep::kRequestNext;
}

std::uint64_t CFrameLoop::TakeDiscarded() {
    std::int64_t count = 0;
    m_control.GetBytesDiscarded(count, 0);
    m_control.ResetBytesDiscarded(0);
    return static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0));
}

void CFrameLoop::Account(std::uint64_t discarded, bool with_frame) {
    // An empty answer consumed no frame: only what was discarded moves on.
    if (with_frame && m_last_frame_length > 0) m_bytes_consumed += m_last_frame_length;
    m_bytes_consumed += discarded;
    m_discarded_since_frame += discarded;
    if (with_frame) {
        // A frame after the first that had to be searched for (bytes were
        // dropped since the frame before it, over any number of requests) is
        // one resynchronization. So the count depends neither on the buffer
        // size nor on where the chunks of the log end, and the bytes after
        // the last frame count for nothing.
        if (m_frames_processed >= 2 && m_discarded_since_frame > 0) ++m_resynchronizations;
        m_discarded_since_frame = 0;
    }
}

ELoopStep CFrameLoop::Fail(int cause, bool writing) {
    const std::string& path = writing ? m_setup.output_full : m_setup.log_full;
    const char* what = writing ? "writing to the output file" : "reading the log file";
    const std::string detail = writing ? std::string() : m_setup.log->GetFailureDetail();
    const std::string text = writing          ? m_setup.output->GetFailureText(cause)
                             : detail.empty() ? FileErrorText(cause, FileErrorWording::kConversion)
                                              : detail;
    m_notices.push_back(
        {std::string("An error occured ") + what + "\r\n\"" + path + "\".",
         writing ? m_setup.output->GetSystemErrorText() : m_setup.log->GetSystemErrorText()});
    m_control.ReportMessage(std::string("An error occured ") + what + ".\r\n\t" + text + "\r\n", 0);
    if (writing) m_output_failed = true;
    m_abort = true;
    return ELoopStep::kDone;
}

}  // namespace dravik
