#include "frontend/conversion_log_blocks.h"

namespace dravik {

CConversionLogBlocks::CConversionLogBlocks(std::size_t count, Writer writer,
                                           std::size_t memory_limit)
    : m_blocks(count), m_memory_limit(memory_limit), m_writer(std::move(writer)) {}

void CConversionLogBlocks::Append(std::size_t index, std::string_view text) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (index >= m_blocks.size() || text.empty()) return;
    if (index == m_head) {
        m_writer(text);
    } else {
        Keep(m_blocks[index], text);
    }
}

void CConversionLogBlocks::Keep(Block& block, std::string_view text) {
    if (!block.spill && m_in_memory + text.size() > m_memory_limit) {
        // A temporary file that cannot be made leaves the text in memory:
        // holding it costs memory, losing it would cost the record.
        block.spill.reset(std::tmpfile());
        if (block.spill) {
            std::fwrite(block.text.data(), 1, block.text.size(), block.spill.get());
            m_in_memory -= block.text.size();
            std::string().swap(block.text);
        }
    }
    if (block.spill) {
        std::fwrite(text.data(), 1, text.size(), block.spill.get());
    } else {
        block.text.append(text);
        m_in_memory += text.size();
    }
}

void CConversionLogBlocks::WriteOut(Block& block) {
    if (block.spill) {
        std::FILE* file = block.spill.get();
        std::rewind(file);
        std::vector<char> chunk(64 * 1024);
        for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) {
            m_writer(std::string_view(chunk.data(), got));
        }
        block.spill.reset();
    }
    if (!block.text.empty()) {
        m_writer(block.text);
        m_in_memory -= block.text.size();
        std::string().swap(block.text);
    }
}

void CConversionLogBlocks::Finish(std::size_t index) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (index >= m_blocks.size() || m_blocks[index].finished) return;
    m_blocks[index].finished = true;
    // Every finished block at the head goes out, and the next unfinished one
    // becomes the head: what it kept so far goes out, the rest as it comes.
    while (m_head < m_blocks.size() && m_blocks[m_head].finished) {
        if (++m_head < m_blocks.size()) WriteOut(m_blocks[m_head]);
    }
}

}  // namespace dravik
