#include "settings/output_format.h"

#include "platform/text.h"

namespace dravik {

namespace {

struct CFormatNames {
    EOutputFormat format;
    const char* name;
    const char* extension;
};
constexpr CFormatNames kFormats[] = {
    {kOutputText, "text", "dat"},
    {kOutputCsv, "csv", "csv"},
    {kOutputNetcdf, "netcdf", "nc"},
};

}  // namespace

std::optional<EOutputFormat> OutputFormatFromName(std::string_view name) {
    const std::string lower = AsciiLower(name);
    for (const CFormatNames& f : kFormats) {
        if (lower == f.name) return f.format;
    }
    return std::nullopt;
}

EOutputFormat OutputFormatOf(int stored) noexcept {
    for (const CFormatNames& f : kFormats) {
        if (stored == f.format) return f.format;
    }
    return kOutputText;
}

const char* OutputFormatName(EOutputFormat format) noexcept {
    return kFormats[OutputFormatOf(format)].name;
}

const char* OutputFormatExtension(EOutputFormat format) noexcept {
    return kFormats[OutputFormatOf(format)].extension;
}

}  // namespace dravik
