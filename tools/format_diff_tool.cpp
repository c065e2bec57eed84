// dravik-format-diff [count [seed]]: compares the fast floating-point formatter with
// the C library's printf formats over count generated values (every form, every
// precision up to 17, widths in turn). Exit status 1 on any mismatch, 2 on bad arguments.
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "format_diff.h"

namespace {

bool ParseCount(const char* text, std::uint64_t& value) {
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t count = 10'000'000;
    std::uint64_t seed = 1;
    if (argc > 3 || (argc > 1 && !ParseCount(argv[1], count)) ||
        (argc > 2 && !ParseCount(argv[2], seed))) {
        std::fprintf(stderr, "usage: dravik-format-diff [count [seed]]\n");
        return 2;
    }
    const dravik::format_diff::Stats stats = dravik::format_diff::Run(count, seed, stdout);
    std::printf("%" PRIu64 " values, %" PRIu64 " texts compared, %" PRIu64
                " mismatches (seed %" PRIu64 ")\n",
                stats.values, stats.checks, stats.mismatches, seed);
    std::printf("%" PRIu64
                " texts where the C library's \"%%#g\" dropped the trailing zeros the standard "
                "keeps (compared with the standard's text)\n",
                stats.clib_general_defects);
    return stats.mismatches == 0 ? 0 : 1;
}
