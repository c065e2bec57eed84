#include "telemetry/file_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/log_source.h"

namespace dravik {

void CFileSource::Open(CLogSource* source, std::size_t buffer_size) {
    m_source = source;
    m_buffer_size = buffer_size;
    m_has_length = source->HasLength();
    m_length = source->GetLength();
    m_handed = m_read = 0;
    m_source_ended = false;
    m_ahead.clear();
}

bool CFileSource::IsOpen() const noexcept {
    return m_source != nullptr && m_source->IsOpen();
}

std::size_t CFileSource::ChunkSizeAt(std::uint64_t at) const noexcept {
    if (!m_has_length) return m_buffer_size;
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(m_buffer_size, m_length > at ? m_length - at : 0));
}

std::size_t CFileSource::NextChunkSize() const noexcept {
    if (!m_ahead.empty()) return m_ahead.front().bytes.size();
    return ChunkSizeAt(m_handed);
}

bool CFileSource::AtEnd() const noexcept {
    if (!m_ahead.empty()) return false;
    return m_has_length ? m_handed >= m_length : m_source_ended;
}

CFileSource::Chunk CFileSource::ReadSource(std::uint8_t* dest, std::size_t size) {
    Chunk chunk;
    if (size == 0) {
        chunk.end = true;
        return chunk;
    }
    const CLogSource::CRead read = m_source->Read(dest, size);
    chunk.got = read.got;
    chunk.cause = read.cause;
    m_read += read.got;
    if (m_has_length) {
        if (chunk.cause == 0 && chunk.got < size) chunk.cause = kFileEndOfFile;
        chunk.end = m_read >= m_length;
    } else {
        chunk.end = read.end;
        if (chunk.cause == 0 && (chunk.end || chunk.got == 0)) m_source_ended = true;
    }
    return chunk;
}

CFileSource::Chunk CFileSource::Read(std::uint8_t* dest) {
    if (m_ahead.empty()) return ReadSource(dest, NextChunkSize());
    Ahead& ahead = m_ahead.front();
    if (!ahead.bytes.empty()) std::memcpy(dest, ahead.bytes.data(), ahead.chunk.got);
    const Chunk chunk = ahead.chunk;
    m_ahead.pop_front();
    return chunk;
}

int CFileSource::Peek(std::uint8_t* out, std::size_t want, std::size_t& got) {
    got = 0;
    if (!IsOpen()) return kFileInvalid;
    // After a failed read nothing is read until the failure has been reported.
    if (error_cause != 0) return error_cause;
    for (const Ahead& ahead : m_ahead) {
        if (ahead.chunk.cause != 0) return ahead.chunk.cause;
        const std::size_t n = std::min(want - got, ahead.chunk.got);
        std::memcpy(out + got, ahead.bytes.data(), n);
        got += n;
        if (got == want || EndsData(ahead.chunk)) return 0;
    }
    while (got < want) {
        const std::size_t size = ChunkSizeAt(m_read);
        if (size == 0 || (!m_has_length && m_source_ended)) break;
        Ahead ahead;
        ahead.bytes.resize(size);
        ahead.chunk = ReadSource(ahead.bytes.data(), size);
        const Chunk chunk = ahead.chunk;
        m_ahead.push_back(std::move(ahead));
        if (chunk.cause != 0) return chunk.cause;
        const std::size_t n = std::min(want - got, chunk.got);
        std::memcpy(out + got, m_ahead.back().bytes.data(), n);
        got += n;
        if (EndsData(chunk)) break;
    }
    return 0;
}

int CFileSource::TakeEndOfFile() noexcept {
    return std::exchange(end_of_file, 0);
}

int CFileSource::TakeErrorCause() noexcept {
    return std::exchange(error_cause, 0);
}

}  // namespace dravik
