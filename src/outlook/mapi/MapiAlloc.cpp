#include "outlook/mapi/MapiAlloc.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Every buffer is preceded by this header. A first buffer keeps the list of
// buffers chained to it; a chained buffer points at its first buffer.
struct alignas(std::max_align_t) BlockHeader {
    std::uint32_t magic;
    BlockHeader* root;       // null for a first buffer
    BlockHeader* nextChild;  // next in the root's chain
    BlockHeader* children;   // first of the chain (roots only)
};

constexpr std::uint32_t kMagic = 0x4D415049;  // "MAPI"
constexpr ULONG kMaxBuffer = 0x7FFFFF00;

BlockHeader* HeaderOf(LPVOID buffer) { return static_cast<BlockHeader*>(buffer) - 1; }

BlockHeader* NewBlock(ULONG cbSize) {
    if (cbSize > kMaxBuffer) return nullptr;
    void* raw = std::calloc(1, sizeof(BlockHeader) + cbSize);
    if (!raw) return nullptr;
    auto* header = new (raw) BlockHeader{kMagic, nullptr, nullptr, nullptr};
    return header;
}

void FreeBlock(BlockHeader* header) {
    header->magic = 0;
    header->~BlockHeader();
    std::free(header);
}

}  // namespace

SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer) {
    if (!lppBuffer) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    BlockHeader* header = NewBlock(cbSize);
    if (!header) return MAPI_E_NOT_ENOUGH_MEMORY;
    *lppBuffer = header + 1;
    return S_OK;
}

SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer) {
    if (!lppBuffer) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    if (!lpObject) return MAPI_E_INVALID_PARAMETER;
    BlockHeader* parent = HeaderOf(lpObject);
    if (parent->magic != kMagic) return MAPI_E_INVALID_PARAMETER;
    BlockHeader* root = parent->root ? parent->root : parent;
    BlockHeader* header = NewBlock(cbSize);
    if (!header) return MAPI_E_NOT_ENOUGH_MEMORY;
    header->root = root;
    header->nextChild = root->children;
    root->children = header;
    *lppBuffer = header + 1;
    return S_OK;
}

ULONG MAPIFreeBuffer(LPVOID lpBuffer) {
    if (!lpBuffer) return 0;
    BlockHeader* header = HeaderOf(lpBuffer);
    if (header->magic != kMagic || header->root) return 0;
    BlockHeader* child = header->children;
    while (child) {
        BlockHeader* next = child->nextChild;
        FreeBlock(child);
        child = next;
    }
    FreeBlock(header);
    return 0;
}

void FreeProws(LPSRowSet lpRows) {
    if (!lpRows) return;
    for (ULONG i = 0; i < lpRows->cRows; ++i) MAPIFreeBuffer(lpRows->aRow[i].lpProps);
    MAPIFreeBuffer(lpRows);
}

void FreePadrlist(LPADRLIST lpAdrList) {
    if (!lpAdrList) return;
    for (ULONG i = 0; i < lpAdrList->cEntries; ++i) MAPIFreeBuffer(lpAdrList->aEntries[i].rgPropVals);
    MAPIFreeBuffer(lpAdrList);
}
