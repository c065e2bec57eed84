#include "frontend/conversion_log_blocks.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace dravik {
namespace {

std::string Line(std::size_t block, int line) {
    return "block " + std::to_string(block) + " line " + std::to_string(line) + "\r\n";
}

// Conversions write from several threads at once and finish in any order,
// some without any text; the blocks still come out whole and in order, also
// those that waited in temporary files beyond the memory limit.
TEST(ConversionLogBlocks, BlocksComeOutWholeAndInOrderWhateverTheFinishingOrder) {
    constexpr std::size_t kBlocks = 12;
    constexpr int kLines = 40;
    for (std::size_t limit : {std::size_t{1} << 20, std::size_t{300}, std::size_t{0}}) {
        std::string written;
        CConversionLogBlocks blocks(
            kBlocks, [&](std::string_view text) { written += text; }, limit);
        std::vector<std::thread> threads;
        // Thread t converts blocks t, t + 4 and t + 8, the later ones first,
        // so that most blocks wait behind an unfinished one.
        for (std::size_t t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (std::size_t k = t + 8;; k -= 4) {
                    if (k % 5 != 3) {
                        for (int line = 0; line < kLines; ++line) blocks.Append(k, Line(k, line));
                    }
                    blocks.Finish(k);
                    blocks.Finish(k);  // a second end changes nothing
                    if (k < 4) break;
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        blocks.Append(kBlocks, "past the last block\r\n");

        std::string expected;
        for (std::size_t k = 0; k < kBlocks; ++k) {
            if (k % 5 == 3) continue;
            for (int line = 0; line < kLines; ++line) expected += Line(k, line);
        }
        EXPECT_EQ(written, expected) << "memory limit " << limit;
    }
}

// Text of a block that is not yet finished waits for those before it;
// text of the first unfinished block goes out at once.
TEST(ConversionLogBlocks, OnlyTheFirstUnfinishedBlockWritesAtOnce) {
    std::string written;
    CConversionLogBlocks blocks(
        3, [&](std::string_view text) { written += text; }, 0);
    blocks.Append(1, "b1\r\n");
    blocks.Append(2, "b2\r\n");
    EXPECT_EQ(written, "");
    blocks.Append(0, "a\r\n");
    EXPECT_EQ(written, "a\r\n");
    blocks.Finish(2);
    EXPECT_EQ(written, "a\r\n");
    blocks.Finish(0);
    EXPECT_EQ(written, "a\r\nb1\r\n");
    blocks.Append(1, "b1 again\r\n");
    EXPECT_EQ(written, "a\r\nb1\r\nb1 again\r\n");
    blocks.Finish(1);
    EXPECT_EQ(written, "a\r\nb1\r\nb1 again\r\nb2\r\n");
}

}  // namespace
}  // namespace dravik
