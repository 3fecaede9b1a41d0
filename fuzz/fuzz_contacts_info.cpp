// Arbitrary bytes as ContactsInfo.dat: the handler's open and look-ups, and the
// application's rebuild scan, must neither crash nor read past the end of the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ContactStateFile.h"
#include "common/Types.h"
#include "device/Text.h"

namespace {

// One file for the whole run, removed at exit.
struct ScratchFile {
    std::filesystem::path dir;
    std::u16string path;

    ScratchFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmo-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern;
        path = velmo::device::ToUtf16((dir / "ContactsInfo.dat").string());
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

const ScratchFile& Scratch() {
    static const ScratchFile scratch;
    return scratch;
}

void Write(const std::u16string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(velmo::device::ToUtf8(path).c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
}

// Every entry a reader may touch must lie inside the file.
void CheckBounds(const velmo::ContactStateFile& contacts, std::size_t size) {
    using velmo::ContactStateFile;
    auto count = static_cast<std::size_t>(contacts.Count());
    if (contacts.Count() < 0 || ContactStateFile::kHeaderSize + count * ContactStateFile::kRecordSize > size) {
        std::abort();
    }
}

void Exercise(const std::uint8_t* data, std::size_t size) {
    const auto& path = Scratch().path;
    Write(path, data, size);
    // A key that occurs in the input when it holds a first entry, so that Find can hit.
    std::int32_t present = 0;
    if (size >= 136) std::memcpy(&present, data + 132, sizeof present);

    velmo::ContactStateFile handler;
    handler.SetPath(path);
    if (handler.OpenForReading()) {
        CheckBounds(handler, size);
        velmo::ContactRecord record;
        for (std::int32_t key : {velmo::UnknownSenderKey, velmo::UndefinedSenderKey, 0, present}) {
            handler.Find(key, record);
        }
        handler.GetAt(handler.Count() - 1, record);
    }
    handler.Close();

    velmo::ContactStateFile app;
    app.SetPath(path);
    if (app.BeginRebuild(2)) CheckBounds(app, size);
    app.Add(velmo::UnknownSenderKey, velmo::Accept);
    app.Add(present, velmo::Dismiss);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Exercise(data, size);
    // The same bytes behind a valid magic and version, so that random counts and entries
    // get past the header check too.
    if (size >= 44) {
        static constexpr char kMagic[] = "WM_CI_FILTER";
        std::vector<std::uint8_t> valid(data, data + size);
        std::memset(valid.data(), 0, 40);
        for (std::size_t i = 0; i < 12; ++i) valid[2 * i] = static_cast<std::uint8_t>(kMagic[i]);
        const std::uint8_t version[] = {0x01, 0x00, 0x01, 0x00};
        std::memcpy(valid.data() + 40, version, sizeof version);
        Exercise(valid.data(), valid.size());
    }
    return 0;
}
