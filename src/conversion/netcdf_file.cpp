#include "conversion/netcdf_file.h"

#include <hdf5.h>
#include <netcdf.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "platform/disk_file.h"

namespace dravik {

namespace {

nc_type TypeOf(CNetcdfFile::EType type) {
    switch (type) {
        case CNetcdfFile::EType::kDouble:
            return NC_DOUBLE;
        case CNetcdfFile::EType::kInt:
            return NC_INT;
        case CNetcdfFile::EType::kByte:
            return NC_BYTE;
        case CNetcdfFile::EType::kString:
            break;
    }
    return NC_STRING;
}

// Failures of the file system under the library keep their own cause, so
// that a full disk reads "The disk is full." as it does for a text output.
bool IsFileSystemError(int err) {
    switch (err) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
        case EIO:
        case EACCES:
        case EPERM:
        case EROFS:
        case ENOENT:
        case ENOTDIR:
            return true;
        default:
            return false;
    }
}

}  // namespace

CNetcdfFile::~CNetcdfFile() {
    Abandon();
}

bool CNetcdfFile::Check(int status, int saved_errno) {
    if (status == NC_NOERR) return true;
    if (m_cause != 0) return false;
    if (IsFileSystemError(saved_errno)) {
        m_cause = FileErrorCauseFromErrno(saved_errno);
        m_system_text = std::generic_category().message(saved_errno) + ".";
    } else {
        m_cause = kFileGeneric;
        m_failure_text = std::string("The NetCDF library failed: ") + nc_strerror(status) + ".";
    }
    return false;
}

namespace {

// The HDF5 library under netCDF prints its error stack to standard error on
// every thread that has not asked it not to; a failure is reported once, by
// the conversion.
void QuietLibraryErrors() {
    thread_local bool quiet = false;
    if (quiet) return;
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    quiet = true;
}

}  // namespace

template <class Call>
bool CNetcdfFile::Run(Call&& call) {
    if (m_cause != 0 || m_id < 0) return false;
    QuietLibraryErrors();
    errno = 0;
    const int status = call();
    return Check(status, errno);
}

bool CNetcdfFile::Create(const std::string& path) {
    Abandon();
    // A file given up after a failure (Abandon) must not be closed at the
    // exit either: the library's exit handler would crash on it. Only takes
    // effect before the library's first use; every file is closed by then.
    H5dont_atexit();
    QuietLibraryErrors();
    m_cause = 0;
    m_failure_text.clear();
    m_system_text.clear();
    // The library keeps no chunk of its own: every chunk is written whole.
    nc_set_chunk_cache(0, 0, 0.0f);
    errno = 0;
    int id = -1;
    const int status = nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id);
    if (!Check(status, errno)) return false;
    m_id = id;
    return true;
}

int CNetcdfFile::Dimension(const std::string& name, std::size_t length) {
    int id = -1;
    Run([&] { return nc_def_dim(m_id, name.c_str(), length == 0 ? NC_UNLIMITED : length, &id); });
    return id;
}

int CNetcdfFile::Variable(const std::string& name, EType type, std::span<const int> dimensions) {
    int id = -1;
    Run([&] {
        return nc_def_var(m_id, name.c_str(), TypeOf(type), static_cast<int>(dimensions.size()),
                          dimensions.data(), &id);
    });
    return id;
}

void CNetcdfFile::Chunks(int variable, std::span<const std::size_t> lengths, bool compress) {
    Run([&] { return nc_def_var_chunking(m_id, variable, NC_CHUNKED, lengths.data()); });
    Run([&] { return nc_set_var_chunk_cache(m_id, variable, 0, 0, 0.0f); });
    if (compress) Run([&] { return nc_def_var_deflate(m_id, variable, 1, 1, 1); });
}

void CNetcdfFile::Text(int variable, const char* name, std::string_view value) {
    Run([&] { return nc_put_att_text(m_id, variable, name, value.size(), value.data()); });
}

void CNetcdfFile::Numbers(int variable, const char* name, std::span<const double> values) {
    Run([&] {
        return nc_put_att_double(m_id, variable, name, NC_DOUBLE, values.size(), values.data());
    });
}

void CNetcdfFile::Bytes(int variable, const char* name, std::span<const signed char> values) {
    Run([&] {
        return nc_put_att_schar(m_id, variable, name, NC_BYTE, values.size(), values.data());
    });
}

void CNetcdfFile::Count(int variable, const char* name, std::uint64_t value) {
    const auto count = static_cast<unsigned long long>(value);
    Run([&] { return nc_put_att_ulonglong(m_id, variable, name, NC_UINT64, 1, &count); });
}

bool CNetcdfFile::EndDefine() {
    return Run([&] { return nc_enddef(m_id); });
}

bool CNetcdfFile::Define() {
    return Run([&] { return nc_redef(m_id); });
}

bool CNetcdfFile::Put(int variable, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, const double* values) {
    return Run([&] { return nc_put_vara_double(m_id, variable, start.data(), count.data(), values); });
}

bool CNetcdfFile::Put(int variable, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, const int* values) {
    return Run([&] { return nc_put_vara_int(m_id, variable, start.data(), count.data(), values); });
}

bool CNetcdfFile::Put(int variable, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, const signed char* values) {
    return Run([&] { return nc_put_vara_schar(m_id, variable, start.data(), count.data(), values); });
}

bool CNetcdfFile::Put(int variable, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, const char** values) {
    return Run([&] { return nc_put_vara_string(m_id, variable, start.data(), count.data(), values); });
}

bool CNetcdfFile::Close() {
    if (m_id < 0) return m_cause == 0;
    if (m_cause != 0) {
        Abandon();
        return false;
    }
    QuietLibraryErrors();
    errno = 0;
    const int status = nc_close(m_id);
    const int err = errno;
    m_id = -1;
    return Check(status, err) && m_cause == 0;
}

void CNetcdfFile::Abandon() noexcept {
    if (m_id < 0) return;
    // The netCDF library of Debian 12 crashes when it closes or aborts a file
    // after a failed call (a full disk, a file size limit): such a file is
    // given up, its handle left open until the process ends, and the caller
    // removes the file by its name.
    if (m_cause == 0) nc_abort(m_id);
    m_id = -1;
}

}  // namespace dravik
