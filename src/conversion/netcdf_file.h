// One NetCDF-4 file being written through the netCDF library, closed on
// every path. Every call remembers the first failure, so a writer makes its
// calls in a row and looks once: after a failure nothing more is done.
// The library's header stays in the source file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dravik {

class CNetcdfFile {
  public:
    enum class EType { kDouble, kInt, kByte, kString };
    static constexpr int kGlobal = -1;  // the file's own attributes

    CNetcdfFile() = default;
    ~CNetcdfFile();
    CNetcdfFile(const CNetcdfFile&) = delete;
    CNetcdfFile& operator=(const CNetcdfFile&) = delete;

    // Creates (or empties) the file, in define mode.
    bool Create(const std::string& path);
    bool IsOpen() const noexcept { return m_id >= 0; }

    // Define mode. Ids are -1 after a failure.
    int Dimension(const std::string& name, std::size_t length);  // 0: unlimited
    int Variable(const std::string& name, EType type, std::span<const int> dimensions);
    // Chunks of these lengths, written whole, so the library keeps no chunk
    // in memory; numbers are shuffled and deflated.
    void Chunks(int variable, std::span<const std::size_t> lengths, bool compress);
    void Text(int variable, const char* name, std::string_view value);
    void Numbers(int variable, const char* name, std::span<const double> values);
    void Bytes(int variable, const char* name, std::span<const signed char> values);
    void Count(int variable, const char* name, std::uint64_t value);
    // Leaves and re-enters define mode.
    bool EndDefine();
    bool Define();

    // Data: `count` values along each dimension from `start`.
    bool Put(int variable, std::span<const std::size_t> start, std::span<const std::size_t> count,
             const double* values);
    bool Put(int variable, std::span<const std::size_t> start, std::span<const std::size_t> count,
             const int* values);
    bool Put(int variable, std::span<const std::size_t> start, std::span<const std::size_t> count,
             const signed char* values);
    bool Put(int variable, std::span<const std::size_t> start, std::span<const std::size_t> count,
             const char** values);

    // Writes everything out and closes; false on a failure.
    bool Close();
    // Closes without caring whether the file is whole.
    void Abandon() noexcept;

    bool Failed() const noexcept { return m_cause != 0; }
    // The first failure: a file error cause (the disk is full, ...), or 1
    // with the library's own text.
    int Cause() const noexcept { return m_cause; }
    const std::string& FailureText() const noexcept { return m_failure_text; }
    // What the system said, when a system call under the library failed.
    const std::string& SystemErrorText() const noexcept { return m_system_text; }

  private:
    // Records the failure of a call; true when it succeeded. `saved_errno` is
    // the error of the system call that failed under the library, if any.
    bool Check(int status, int saved_errno);
    template <class Call>
    bool Run(Call&& call);

    int m_id = -1;
    int m_cause = 0;
    std::string m_failure_text;
    std::string m_system_text;
};

}  // namespace dravik
