// Fuzzes the compressed RTF of PR_RTF_COMPRESSED: the input is the stored
// form, read through lzfu::Decompress and through WrapCompressedRTFStream
// (the two must agree), and the RTF it gives goes to RtfToPlainText. The
// input's bytes as raw RTF then make a round trip: compressed and stored
// uncompressed, both must decode to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "outlook/mapi/CompressedRtf.h"
#include "outlook/mapi/Lzfu.h"
#include "outlook/mapi/Streams.h"

namespace {
using namespace qb::mapi;

void Require(bool condition) {
    if (!condition) std::abort();
}

void ReadStored(std::span<const BYTE> stored) {
    std::vector<BYTE> raw;
    const HRESULT direct = lzfu::Decompress(stored, raw);
    auto source = MemoryStream::Create(std::vector<BYTE>(stored.begin(), stored.end()));
    LPSTREAM wrapped = nullptr;
    const HRESULT viaStream = WrapCompressedRTFStream(source.get(), 0, &wrapped);
    // An empty stream is an empty RTF body; otherwise both read the same.
    Require(stored.empty() ? SUCCEEDED(viaStream) : SUCCEEDED(direct) == SUCCEEDED(viaStream));
    if (wrapped) {
        std::vector<BYTE> read;
        Require(SUCCEEDED(ReadWholeStream(*wrapped, read)));
        Require(read == raw);
        wrapped->Release();
    }
    if (SUCCEEDED(direct))
        RtfToPlainText(std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()));
}

void RoundTrip(std::span<const BYTE> raw) {
    std::vector<BYTE> back;
    Require(lzfu::Decompress(lzfu::Compress(raw), back) == S_OK);
    Require(std::equal(back.begin(), back.end(), raw.begin(), raw.end()));
    Require(lzfu::Decompress(lzfu::StoreUncompressed(raw), back) == S_OK);
    Require(std::equal(back.begin(), back.end(), raw.begin(), raw.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const BYTE> input(data, size);
    ReadStored(input);
    RoundTrip(input);
    return 0;
}
