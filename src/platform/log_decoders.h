// The decoders of compressed logs. gzip is inflated with zlib, which checks
// every member's CRC-32 and length, so a damaged gzip log is an error rather
// than plausible wrong bytes (the archive library's gzip filter checks
// neither); bzip2, xz and zstd go through the archive library's filters with
// its raw format, and each checks its own check sums there.
#pragma once

#include <memory>
#include <string>

#include "platform/log_source.h"

namespace dravik {

// A decoder of `compression` reading its compressed bytes from `raw`; null,
// with the reason in `why`, when it cannot be started (the data is not what
// its first bytes said, or this build cannot read it).
std::unique_ptr<CDecoder> MakeDecoder(ECompression compression, CRawInput& raw, std::string& why);

}  // namespace dravik
