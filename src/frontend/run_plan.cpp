#include "frontend/run_plan.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "frontend/file_naming.h"
#include "platform/text.h"

namespace dravik {

namespace {

using FileIdentity = std::pair<dev_t, ino_t>;

// The file a path leads to, through any links; nothing when it cannot be
// reached.
std::optional<FileIdentity> Identity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity(st.st_dev, st.st_ino);
}

}  // namespace

CRunPlan::CRunPlan(NamingKind kind, std::vector<std::string> logs,
                   std::vector<std::string> instruments)
    : m_kind(kind), m_logs(std::move(logs)) {
    if (kind == NamingKind::kInstrument) m_instruments = std::move(instruments);
}

CRunPlan::CPair CRunPlan::At(std::size_t index) const {
    CPair pair;
    pair.log = index / PerLog();
    if (m_kind == NamingKind::kInstrument) pair.instrument = index % PerLog();
    return pair;
}

const std::string& CRunPlan::InstrumentPath(std::size_t index) const {
    static const std::string kNone;
    const CPair pair = At(index);
    return pair.instrument ? m_instruments[*pair.instrument] : kNone;
}

std::string CRunPlan::Label(std::size_t index) const {
    std::string label = NamePart(LogPath(index));
    if (m_kind == NamingKind::kInstrument) label += " with " + NamePart(InstrumentPath(index));
    return label;
}

std::optional<CRunPlan::CNamedPair> CRunPlan::NextNamed(std::size_t from,
                                                        const CFileNaming& naming) const {
    for (std::size_t i = from; i < Size(); ++i) {
        if (auto name = naming.GenerateName(LogPath(i), InstrumentPath(i))) {
            return CNamedPair{i, std::move(*name)};
        }
    }
    return std::nullopt;
}

std::optional<std::string> CRunPlan::NameAll(const CFileNaming& naming,
                                             const std::string& directory) {
    // A pipe or a FIFO gives its bytes once: a second conversion of it would
    // find it empty and report the instrument not found.
    std::set<FileIdentity> streams;
    for (const std::string& log : m_logs) {
        struct stat st {};
        if (::stat(log.c_str(), &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
            continue;
        }
        if (PerLog() > 1 || !streams.emplace(st.st_dev, st.st_ino).second) {
            return "The log file \"" + log +
                   "\" is a pipe, which can be read only once: it cannot be converted " +
                   (PerLog() > 1 ? "with several instruments." : "twice.");
        }
    }
    // The files read by the run: none of them may be an output.
    std::set<FileIdentity> inputs;
    for (const auto* list : {&m_logs, &m_instruments}) {
        for (const std::string& path : *list) {
            if (auto id = Identity(path)) inputs.insert(*id);
        }
    }
    m_outputs.assign(Size(), std::string());
    std::map<std::string, std::size_t> written;  // normalized path -> pair
    for (std::size_t i = 0; i < Size(); ++i) {
        const auto name = naming.GenerateName(LogPath(i), InstrumentPath(i));
        if (!name) continue;
        const std::string output = directory + *name;
        std::error_code ec;
        const auto [first, fresh] =
            written.emplace(std::filesystem::absolute(output, ec).lexically_normal().string(), i);
        if (!fresh) {
            return "The conversions of " + Label(first->second) + " and of " + Label(i) +
                   " would both write \"" + output + "\".";
        }
        const auto id = Identity(output);
        if (id && inputs.count(*id) != 0) {
            return "The output file \"" + output +
                   "\" is one of the files to convert or an instrument file.";
        }
        m_outputs[i] = output;
    }
    return std::nullopt;
}

std::vector<std::size_t> CRunPlan::LogKeys() const {
    // The key of a log is the index of the first log that is the same file.
    std::map<FileIdentity, std::size_t> first;
    std::vector<std::size_t> log_key(m_logs.size());
    for (std::size_t log = 0; log < m_logs.size(); ++log) {
        log_key[log] = log;
        if (auto id = Identity(m_logs[log])) log_key[log] = first.emplace(*id, log).first->second;
    }
    std::vector<std::size_t> keys(Size());
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = log_key[At(i).log];
    return keys;
}

}  // namespace dravik
