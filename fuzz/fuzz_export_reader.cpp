// Arbitrary bytes as an export file: the reader refuses or accepts without reading past the
// end, and what it accepts the writer writes back so that it reads as the same document.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/ExportDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    velmo::ExportDocument document;
    std::string error;
    if (!velmo::ParseExport(text, document, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    const std::string written = velmo::SerializeExport(document);
    velmo::ExportDocument again;
    if (!velmo::ParseExport(written, again, error) || velmo::SerializeExport(again) != written) std::abort();
    return 0;
}
