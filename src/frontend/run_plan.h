// The plan of a run over several files: every log file with every instrument
// file, the instrument fastest and the log outer, or every log file alone in
// a header conversion. The desktop program's view takes the pairs one at a
// time and names each as it comes (an increasing number advances after every
// conversion); the headless converter names them all before the first one
// starts, and refuses a run that would write one output twice or write over
// one of the files it reads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace dravik {

class CFileNaming;

class CRunPlan {
  public:
    struct CPair {
        std::size_t log = 0;
        std::optional<std::size_t> instrument;  // none: a header conversion
    };
    struct CNamedPair {
        std::size_t index = 0;
        std::string name;  // the output file name, without a folder
    };

    // Paths as the conversions open them. A header run takes no instrument
    // file; an instrument run without one has no pair.
    CRunPlan(NamingKind kind, std::vector<std::string> logs, std::vector<std::string> instruments);

    std::size_t Size() const noexcept { return m_logs.size() * PerLog(); }
    NamingKind Kind() const noexcept { return m_kind; }
    CPair At(std::size_t index) const;
    const std::string& LogPath(std::size_t index) const { return m_logs[At(index).log]; }
    // Empty in a header conversion.
    const std::string& InstrumentPath(std::size_t index) const;
    // "cast1.raw with spr0117.cal", or "cast1.raw" in a header conversion.
    std::string Label(std::size_t index) const;

    // One pair at a time: the first pair at or after `from` that `naming`
    // can name, or nothing when none is left.
    std::optional<CNamedPair> NextNamed(std::size_t from, const CFileNaming& naming) const;

    // Every pair at once, into `directory` (empty, or ending in "/"): the
    // message that refuses the run when two conversions would write one
    // output, an output is one of the log or instrument files, or a log that
    // can be read only once (a pipe, a FIFO) would be read twice; or nothing.
    // A pair that `naming` cannot name has no output.
    std::optional<std::string> NameAll(const CFileNaming& naming, const std::string& directory);
    // The output of a pair named by NameAll; empty when it has none.
    const std::string& OutputPath(std::size_t index) const { return m_outputs[index]; }

    // A key for each pair, the same for the pairs that read one log file,
    // under whatever names it was given.
    std::vector<std::size_t> LogKeys() const;

  private:
    std::size_t PerLog() const noexcept {
        return m_kind == NamingKind::kHeader ? 1 : m_instruments.size();
    }

    NamingKind m_kind;
    std::vector<std::string> m_logs;
    std::vector<std::string> m_instruments;
    std::vector<std::string> m_outputs;
};

}  // namespace dravik
