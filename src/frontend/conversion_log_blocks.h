// The conversion log of a run in which several conversions go on at once:
// every conversion's text becomes one block, and the blocks reach the writer
// in the order of the conversions, whatever order they finish in.
//
// The first conversion not yet finished writes its text as it comes; the text
// of later ones waits until every conversion before them has finished. Text
// that waits is held in memory up to a limit for the whole run and beyond it
// in temporary files, so that a long first conversion behind which hundreds
// of damaged logs report an error per frame costs disk, not memory.
// Every operation may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

class CConversionLogBlocks {
  public:
    using Writer = std::function<void(std::string_view text)>;
    static constexpr std::size_t kDefaultMemoryLimit = 8u << 20;

    // `count` conversions, numbered from 0. The writer is called under the
    // object's lock, one call at a time, and must not call back into it.
    CConversionLogBlocks(std::size_t count, Writer writer,
                         std::size_t memory_limit = kDefaultMemoryLimit);

    // Text of conversion `index`.
    void Append(std::size_t index, std::string_view text);
    // Conversion `index` has ended (or will never start): its block is
    // complete. Finishing a conversion twice does nothing.
    void Finish(std::size_t index);

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    struct Block {
        std::string text;  // waiting text in memory
        // Once a block has spilled, all of its waiting text is in this file.
        std::unique_ptr<std::FILE, FileCloser> spill;
        bool finished = false;
    };

    void Keep(Block& block, std::string_view text);
    void WriteOut(Block& block);

    std::mutex m_lock;
    std::vector<Block> m_blocks;
    std::size_t m_head = 0;  // the first conversion not yet finished
    std::size_t m_in_memory = 0;
    std::size_t m_memory_limit;
    Writer m_writer;
};

}  // namespace dravik
