#include "cli/each_table.h"

#include <algorithm>

#include "frontend/run_plan.h"
#include "platform/text.h"

namespace dravik {

const char* OutcomeText(const CEachResult& result, bool named) {
    if (!result.started) return "not started";
    if (!named) return "no output name";
    switch (result.outcome) {
        case EConversionOutcome::kComplete:
            return "complete";
        case EConversionOutcome::kSkipped:
            return "skipped: output exists";
        case EConversionOutcome::kAborted:
            return "cancelled: incomplete";
        case EConversionOutcome::kFailed:
            break;
    }
    if (result.status.not_found && result.status.done) return "failed: not found";
    if (result.status.buffer_overrun) return "failed: buffer overrun";
    return "failed";
}

bool HasCounts(const CEachResult& result, bool named) {
    return result.started && named && result.outcome != EConversionOutcome::kSkipped;
}

namespace {

using Row = std::vector<std::string>;

Row TableRow(const CRunPlan& plan, const CEachResult& r, std::size_t index) {
    const std::string& output = plan.OutputPath(index);
    const bool counts = HasCounts(r, !output.empty());
    auto count = [&](bool shown, unsigned value) {
        return counts && shown ? std::to_string(value) : std::string("-");
    };
    const std::string& instrument = plan.InstrumentPath(index);
    return {NamePart(plan.LogPath(index)),
            plan.Kind() == NamingKind::kInstrument ? NamePart(instrument) : "(header)",
            output.empty() ? std::string("-") : NamePart(output),
            count(true, r.status.frames_processed),
            count(true, r.status.resynchronizations),
            count(r.counter_sensor, r.status.frame_counter_errors),
            count(r.check_sum_sensor, r.status.check_sum_errors),
            OutcomeText(r, !output.empty())};
}

}  // namespace

bool IsComplete(const CRunPlan& plan, const std::vector<CEachResult>& results, std::size_t index) {
    const CEachResult& r = results[index];
    return r.started && !plan.OutputPath(index).empty() &&
           r.outcome == EConversionOutcome::kComplete;
}

std::string FormatEachTable(const CRunPlan& plan, const std::vector<CEachResult>& results) {
    const Row heads = {"Log",     "Instrument",     "Output",           "Frames",
                       "Resyncs", "Counter errors", "Check sum errors", "Outcome"};
    std::vector<Row> rows;
    for (std::size_t i = 0; i < results.size(); ++i) rows.push_back(TableRow(plan, results[i], i));
    std::vector<std::size_t> widths;
    for (const std::string& head : heads) widths.push_back(head.size());
    for (const Row& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    std::string table;
    auto line = [&](const Row& row) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            // Names on the left, counts on the right; the last column unpadded.
            const std::size_t pad = widths[c] - row[c].size();
            const bool number = c >= 3 && c <= 6;
            if (number) table.append(pad, ' ');
            table += row[c];
            if (c + 1 < row.size()) {
                if (!number) table.append(pad, ' ');
                table += "  ";
            }
        }
        table += '\n';
    };
    line(heads);
    for (const Row& row : rows) line(row);
    return table;
}

}  // namespace dravik
