#include "outlook/mapi/PropertyStream.h"

#include <cstring>
#include <string>
#include <vector>

#include "outlook/mapi/Streams.h"

namespace qb::mapi {
namespace {

// A property opened as a stream over a bag value: every write goes to the
// value at once. Compressed RTF bodies and other small binaries use it.
class BagStream final : public ComObject<IStream> {
public:
    BagStream(IUnknown* owner, PropertyBag* bag, ULONG tag, std::vector<BYTE> initial, bool writable)
        : owner_(MapiPtr<IUnknown>::Retain(owner)), bag_(bag), tag_(tag), data_(MemoryStream::Create(std::move(initial))) {
        data_->SetReadOnly(!writable);
    }
    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override { return data_->Read(pv, cb, pcbRead); }
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        const HRESULT hr = data_->Write(pv, cb, pcbWritten);
        return FAILED(hr) ? hr : Store();
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        return data_->Seek(move, origin, position);
    }
    HRESULT SetSize(ULARGE_INTEGER size) override {
        const HRESULT hr = data_->SetSize(size);
        return FAILED(hr) ? hr : Store();
    }
    HRESULT CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        return data_->CopyTo(dest, cb, read, written);
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* statstg, DWORD flags) override { return data_->Stat(statstg, flags); }

private:
    HRESULT Store() {
        const auto& bytes = data_->Data();
        if (PROP_TYPE(tag_) == PT_BINARY) return bag_->SetBinary(tag_, bytes.data(), static_cast<ULONG>(bytes.size()));
        return bag_->SetString(tag_, std::string(bytes.begin(), bytes.end()));
    }
    MapiPtr<IUnknown> owner_;
    PropertyBag* bag_;
    ULONG tag_;
    MapiPtr<MemoryStream> data_;
};

}  // namespace

HRESULT OpenPropertyStream(IUnknown* owner, PropertyBag& bag, ULONG tag, LPCIID iid, ULONG flags, bool writable,
                      LPUNKNOWN* out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (!iid || !(*iid == IID_IStream)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if (PROP_TYPE(tag) != PT_BINARY && PROP_TYPE(tag) != PT_STRING8) return MAPI_E_NO_SUPPORT;
    if ((flags & (MAPI_CREATE | MAPI_MODIFY)) && !writable) return MAPI_E_NO_ACCESS;
    std::vector<BYTE> initial;
    if (const SPropValue* v = bag.Find(tag)) {
        if (PROP_TYPE(tag) == PT_BINARY) initial.assign(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
        else if (v->Value.lpszA) initial.assign(v->Value.lpszA, v->Value.lpszA + std::strlen(v->Value.lpszA));
    } else if (!(flags & MAPI_CREATE)) {
        return MAPI_E_NOT_FOUND;
    }
    if (flags & MAPI_CREATE) initial.clear();
    *out = new BagStream(owner, &bag, tag, std::move(initial), (flags & MAPI_MODIFY) != 0);
    return S_OK;
}

}  // namespace qb::mapi
