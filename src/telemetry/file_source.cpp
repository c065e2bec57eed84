#include "telemetry/file_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/disk_file.h"

namespace dravik {

std::string FileResourceErrorText(int cause) {
    const char* text = FileErrorCauseText(cause);
    return text != nullptr ? text : "An unknown file error occured.\r\n";
}

int CFileSource::Open(CDiskFile* file, std::size_t buffer_size) {
    m_file = file;
    std::uint64_t saved = 0;
    std::uint64_t length = 0;
    int cause = file->GetPosition(saved);
    if (cause == 0) cause = file->SeekToEnd(length);
    if (cause == 0) cause = file->Seek(saved);
    if (cause != 0) return cause;
    m_length = length;
    m_origin = saved;
    m_buffer_size = buffer_size;
    return 0;
}

bool CFileSource::IsOpen() const noexcept {
    return m_file != nullptr && m_file->IsOpen();
}

std::size_t CFileSource::NextChunkSize() const noexcept {
    if (!m_ahead.empty()) return m_ahead.front().bytes.size();
    const std::uint64_t at = m_origin + m_handed;
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(m_buffer_size, m_length > at ? m_length - at : 0));
}

CFileSource::Chunk CFileSource::ReadFile(std::uint8_t* dest, std::size_t size) {
    Chunk chunk;
    chunk.cause = size == 0 ? 0 : m_file->Read(dest, size, chunk.got);
    if (chunk.cause == 0 && chunk.got < size) chunk.cause = kFileEndOfFile;
    if (chunk.cause == 0) chunk.cause = m_file->GetPosition(chunk.position);
    return chunk;
}

CFileSource::Chunk CFileSource::Read(std::uint8_t* dest) {
    if (m_ahead.empty()) return ReadFile(dest, NextChunkSize());
    Ahead& ahead = m_ahead.front();
    if (!ahead.bytes.empty()) std::memcpy(dest, ahead.bytes.data(), ahead.bytes.size());
    const Chunk chunk = ahead.chunk;
    m_ahead.pop_front();
    return chunk;
}

int CFileSource::Peek(std::uint8_t* out, std::size_t want, std::size_t& got) {
    got = 0;
    if (!IsOpen()) return kFileInvalid;
    // After a failed read nothing is read until the failure has been reported.
    if (error_cause != 0) return error_cause;
    std::uint64_t at = m_origin + m_handed;
    for (const Ahead& ahead : m_ahead) {
        if (ahead.chunk.cause != 0) return ahead.chunk.cause;
        const std::size_t n = std::min(want - got, ahead.chunk.got);
        std::memcpy(out + got, ahead.bytes.data(), n);
        got += n;
        at += ahead.chunk.got;
        if (got == want || EndsData(ahead.chunk)) return 0;
    }
    while (got < want && at < m_length) {
        Ahead ahead;
        ahead.bytes.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(m_buffer_size, m_length - at)));
        ahead.chunk = ReadFile(ahead.bytes.data(), ahead.bytes.size());
        const Chunk chunk = ahead.chunk;
        m_ahead.push_back(std::move(ahead));
        if (chunk.cause != 0) return chunk.cause;
        const std::size_t n = std::min(want - got, chunk.got);
        std::memcpy(out + got, m_ahead.back().bytes.data(), n);
        got += n;
        at += chunk.got;
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
