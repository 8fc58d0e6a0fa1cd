#pragma once
// The MAPI allocator: a buffer from MAPIAllocateBuffer may carry further
// buffers allocated with MAPIAllocateMore against it, and one MAPIFreeBuffer
// of the first frees them all. MapiBuffer holds such a buffer for our own
// callers.

#include <utility>

#include "outlook/mapi/MapiTypes.h"

SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer);
// lpObject is a buffer of MAPIAllocateBuffer or of MAPIAllocateMore; the new
// buffer is freed together with the first buffer of that chain.
SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
// Frees a buffer of MAPIAllocateBuffer with every buffer chained to it. A
// null pointer is ignored; a chained buffer is freed only with its chain.
ULONG MAPIFreeBuffer(LPVOID lpBuffer);

// Frees a row set: each row's property array, then the set.
void FreeProws(LPSRowSet lpRows);
// Frees an address list: each entry's property array, then the list.
void FreePadrlist(LPADRLIST lpAdrList);

namespace qb::mapi {

// Owns one MAPI buffer (with its chain) and frees it with MAPIFreeBuffer.
template <class T>
class MapiBuffer {
public:
    MapiBuffer() = default;
    explicit MapiBuffer(T* adopt) : p_(adopt) {}
    MapiBuffer(const MapiBuffer&) = delete;
    MapiBuffer& operator=(const MapiBuffer&) = delete;
    MapiBuffer(MapiBuffer&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    MapiBuffer& operator=(MapiBuffer&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ~MapiBuffer() { Reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset() {
        if (p_) MAPIFreeBuffer(std::exchange(p_, nullptr));
    }
    T* Detach() { return std::exchange(p_, nullptr); }
    T** Put() {
        Reset();
        return &p_;
    }
    LPVOID* PutVoid() { return reinterpret_cast<LPVOID*>(Put()); }

private:
    T* p_ = nullptr;
};

// Owns a row set and frees it with FreeProws.
class RowSetHolder {
public:
    RowSetHolder() = default;
    RowSetHolder(const RowSetHolder&) = delete;
    RowSetHolder& operator=(const RowSetHolder&) = delete;
    ~RowSetHolder() { Reset(); }
    LPSRowSet get() const { return rows_; }
    LPSRowSet operator->() const { return rows_; }
    explicit operator bool() const { return rows_ != nullptr; }
    void Reset() {
        if (rows_) FreeProws(std::exchange(rows_, nullptr));
    }
    LPSRowSet* Put() {
        Reset();
        return &rows_;
    }

private:
    LPSRowSet rows_ = nullptr;
};

}  // namespace qb::mapi
