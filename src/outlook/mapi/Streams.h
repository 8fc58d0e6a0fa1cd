#pragma once
// IStream objects: one over memory and one over a file (OpenStreamOnFile).

#include <string>
#include <vector>

#include "outlook/mapi/MapiInterfaces.h"

// A stream over a file. ulFlags: STGM_READ (0), STGM_WRITE, STGM_READWRITE,
// STGM_CREATE (create or truncate), STGM_DELETEONRELEASE, and
// SOF_UNIQUEFILENAME (lpszFileName is then a folder in which a new file with
// the prefix is created). The allocator pair is accepted for compatibility;
// the stream keeps its own memory. A missing file gives MAPI_E_NOT_FOUND.
HRESULT OpenStreamOnFile(LPALLOCATEBUFFER lpAllocateBuffer, LPFREEBUFFER lpFreeBuffer, ULONG ulFlags,
                         LPCTSTR lpszFileName, LPCTSTR lpszPrefix, LPSTREAM* lppStream);

namespace qb::mapi {

// Copies up to cb bytes from the current position of source into dest in
// chunks; the counts say how much was read and written.
HRESULT CopyStream(IStream& source, IStream& dest, ULONGLONG cb, ULONGLONG* read, ULONGLONG* written);

// Reads the whole stream from its start.
HRESULT ReadWholeStream(IStream& stream, std::vector<BYTE>& out);

// A growable stream over memory; the bytes are the stream's own.
class MemoryStream final : public ComObject<IStream> {
public:
    static MapiPtr<MemoryStream> Create(std::vector<BYTE> initial = {});

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    HRESULT SetSize(ULARGE_INTEGER libNewSize) override;
    HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
    HRESULT Commit(DWORD grfCommitFlags) override;
    HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;

    const std::vector<BYTE>& Data() const { return data_; }
    std::vector<BYTE>& Data() { return data_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

private:
    explicit MemoryStream(std::vector<BYTE> initial) : data_(std::move(initial)) {}
    std::vector<BYTE> data_;
    std::size_t position_ = 0;
    bool readOnly_ = false;
};

}  // namespace qb::mapi
