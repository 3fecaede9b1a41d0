#include <cstdlib>
#include <new>

#include "device/Mapi.h"

// Every block carries a header in front of the caller's bytes; a root block heads the
// list of the blocks allocated "more" for it, so one MAPIFreeBuffer frees them all.

namespace {

constexpr std::uint32_t kRootMagic = 0x4D415052;  // "MAPR"
constexpr std::uint32_t kMoreMagic = 0x4D41504D;  // "MAPM"

struct alignas(std::max_align_t) BlockHeader {
    BlockHeader* next;
    std::uint32_t magic;
};

BlockHeader* NewBlock(ULONG size, std::uint32_t magic) {
    void* raw = std::malloc(sizeof(BlockHeader) + size);
    if (raw == nullptr) return nullptr;
    return new (raw) BlockHeader{nullptr, magic};
}

BlockHeader* HeaderOf(void* buffer) { return static_cast<BlockHeader*>(buffer) - 1; }

}  // namespace

extern "C" {

SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer) {
    if (lppBuffer == nullptr) return MAPI_E_INVALID_PARAMETER;
    BlockHeader* block = NewBlock(cbSize, kRootMagic);
    *lppBuffer = block != nullptr ? block + 1 : nullptr;
    return block != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer) {
    if (lppBuffer == nullptr || lpObject == nullptr || HeaderOf(lpObject)->magic != kRootMagic) {
        return MAPI_E_INVALID_PARAMETER;
    }
    BlockHeader* root = HeaderOf(lpObject);
    BlockHeader* block = NewBlock(cbSize, kMoreMagic);
    if (block == nullptr) {
        *lppBuffer = nullptr;
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    block->next = root->next;
    root->next = block;
    *lppBuffer = block + 1;
    return S_OK;
}

ULONG MAPIFreeBuffer(LPVOID lpBuffer) {
    if (lpBuffer == nullptr) return S_OK;
    BlockHeader* block = HeaderOf(lpBuffer);
    if (block->magic != kRootMagic) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
    while (block != nullptr) {
        BlockHeader* next = block->next;
        block->magic = 0;
        std::free(block);
        block = next;
    }
    return S_OK;
}

}  // extern "C"
