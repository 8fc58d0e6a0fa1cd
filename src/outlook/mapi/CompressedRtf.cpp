#include "outlook/mapi/CompressedRtf.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "outlook/mapi/Lzfu.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/mapi/Streams.h"
#include "text/LzfuAhead.h"

namespace qb::mapi {
namespace {

HRESULT ReplaceStreamContent(IStream& stream, const std::vector<BYTE>& bytes) {
    LARGE_INTEGER zero{};
    HRESULT hr = stream.Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    ULARGE_INTEGER size{};
    size.QuadPart = 0;
    hr = stream.SetSize(size);
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    hr = stream.Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (FAILED(hr)) return hr;
    if (written != bytes.size()) return STG_E_MEDIUMFULL;
    return stream.Commit(STGC_DEFAULT);
}

// The writable side of a wrapped stream: collects the uncompressed RTF and
// compresses it into the underlying stream when committed.
class CompressingStream final : public ComObject<IStream> {
public:
    CompressingStream(MapiPtr<IStream> target, bool uncompressedForm)
        : target_(std::move(target)), buffer_(MemoryStream::Create()), uncompressedForm_(uncompressedForm) {}
    ~CompressingStream() override {
        // A stream released without Commit still keeps what was written; a
        // failure here has no caller left to hear of it.
        if (dirty_) Flush();
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override { return buffer_->Read(pv, cb, pcbRead); }
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        dirty_ = true;
        return buffer_->Write(pv, cb, pcbWritten);
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        return buffer_->Seek(move, origin, position);
    }
    HRESULT SetSize(ULARGE_INTEGER size) override {
        dirty_ = true;
        return buffer_->SetSize(size);
    }
    HRESULT CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        return buffer_->CopyTo(dest, cb, read, written);
    }
    HRESULT Commit(DWORD) override {
        const HRESULT hr = Flush();
        if (SUCCEEDED(hr)) dirty_ = false;
        return hr;
    }
    HRESULT Stat(STATSTG* statstg, DWORD flags) override { return buffer_->Stat(statstg, flags); }

private:
    HRESULT Flush() {
        const std::vector<BYTE>& raw = buffer_->Data();
        // A body compressed ahead (text/LzfuAhead.h) is taken as it is.
        const std::vector<BYTE> stored =
            uncompressedForm_ ? lzfu::StoreUncompressed(raw) : text::lzfu::CompressTakingAhead(raw);
        return ReplaceStreamContent(*target_, stored);
    }

    MapiPtr<IStream> target_;
    MapiPtr<MemoryStream> buffer_;
    bool uncompressedForm_;
    bool dirty_ = false;
};

bool SkippedDestination(std::string_view word) {
    static constexpr std::string_view kSkipped[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "footer", "headerl",
        "headerr", "footerl", "footerr", "xe", "tc", "listtable", "listoverridetable", "rsidtbl",
        "generator", "themedata", "colorschememapping", "latentstyles", "datastore", "filetbl"};
    for (auto s : kSkipped)
        if (word == s) return true;
    return false;
}

void AppendCodePoint(std::string& out, long cp) {
    if (cp < 0) cp += 65536;
    std::wstring w(1, static_cast<wchar_t>(cp));
    out += WideToUtf8(w);
}

}  // namespace

std::string RtfToPlainText(std::string_view rtf) {
    struct Group {
        bool skip;
        int unicodeSkip;
    };
    std::vector<Group> groups{{false, 1}};
    std::string out;
    int pendingSkip = 0;  // fallback characters still to drop after \uN
    std::size_t i = 0;
    auto emit = [&](std::string_view text) {
        if (groups.back().skip) return;
        out += text;
    };
    while (i < rtf.size()) {
        const char c = rtf[i];
        if (c == '{') {
            groups.push_back(groups.back());
            ++i;
            continue;
        }
        if (c == '}') {
            if (groups.size() > 1) groups.pop_back();
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            if (pendingSkip > 0) --pendingSkip;
            else emit(std::string_view(&rtf[i], 1));
            ++i;
            continue;
        }
        // A control symbol or word.
        ++i;
        if (i >= rtf.size()) break;
        const char s = rtf[i];
        if (!std::isalpha(static_cast<unsigned char>(s))) {
            ++i;
            if (s == '\'' && i + 1 < rtf.size()) {
                const std::string hex(rtf.substr(i, 2));
                i += 2;
                if (pendingSkip > 0) {
                    --pendingSkip;
                    continue;
                }
                const char byte = static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
                emit(Cp1252ToUtf8(std::string_view(&byte, 1)));
            } else if (s == '*') {
                groups.back().skip = true;
            } else if (s == '~') {
                emit("\xC2\xA0");
            } else if (s == '\\' || s == '{' || s == '}') {
                emit(std::string_view(&rtf[i - 1], 1));
            } else if (s == '\r' || s == '\n') {
                emit("\r\n");
            }
            continue;
        }
        const std::size_t wordStart = i;
        while (i < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i]))) ++i;
        const std::string_view word = rtf.substr(wordStart, i - wordStart);
        bool hasParam = false;
        long param = 0;
        const std::size_t paramStart = i;
        if (i < rtf.size() && (rtf[i] == '-' || std::isdigit(static_cast<unsigned char>(rtf[i])))) {
            ++i;
            while (i < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[i]))) ++i;
            param = std::strtol(std::string(rtf.substr(paramStart, i - paramStart)).c_str(), nullptr, 10);
            hasParam = true;
        }
        if (i < rtf.size() && rtf[i] == ' ') ++i;
        if (word == "par" || word == "line") emit("\r\n");
        else if (word == "tab") emit("\t");
        else if (word == "uc" && hasParam) groups.back().unicodeSkip = static_cast<int>(param);
        else if (word == "u" && hasParam) {
            if (!groups.back().skip) AppendCodePoint(out, param);
            pendingSkip = groups.back().unicodeSkip;
        } else if (SkippedDestination(word)) {
            groups.back().skip = true;
        }
    }
    return out;
}

std::string PlainTextToRtf(std::string_view text) {
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20 ";
    const std::wstring wide = Utf8ToWide(text);
    for (std::size_t k = 0; k < wide.size(); ++k) {
        const wchar_t w = wide[k];
        if (w == L'\r') continue;
        if (w == L'\n') rtf += "\\par\r\n";
        else if (w == L'\t') rtf += "\\tab ";
        else if (w == L'\\' || w == L'{' || w == L'}') {
            rtf += '\\';
            rtf += static_cast<char>(w);
        } else if (w < 0x80) {
            rtf += static_cast<char>(w);
        } else {
            const long cp = static_cast<long>(w);
            if (cp > 0xFFFF) {
                // Surrogate pair, each half signed 16-bit as RTF writes it.
                const long v = cp - 0x10000;
                rtf += "\\u" + std::to_string(static_cast<short>(0xD800 + (v >> 10))) + "?";
                rtf += "\\u" + std::to_string(static_cast<short>(0xDC00 + (v & 0x3FF))) + "?";
            } else {
                rtf += "\\u" + std::to_string(static_cast<short>(cp)) + "?";
            }
        }
    }
    rtf += "}";
    return rtf;
}

}  // namespace qb::mapi

using namespace qb::mapi;

HRESULT WrapCompressedRTFStream(LPSTREAM lpCompressedRTFStream, ULONG ulFlags, LPSTREAM* lpUncompressedRTFStream) {
    if (!lpCompressedRTFStream || !lpUncompressedRTFStream) return MAPI_E_INVALID_PARAMETER;
    *lpUncompressedRTFStream = nullptr;
    MapiPtr<IStream> target = MapiPtr<IStream>::Retain(lpCompressedRTFStream);
    if (ulFlags & MAPI_MODIFY) {
        *lpUncompressedRTFStream = new CompressingStream(std::move(target), (ulFlags & STORE_UNCOMPRESSED_RTF) != 0);
        return S_OK;
    }
    std::vector<BYTE> stored;
    HRESULT hr = ReadWholeStream(*target, stored);
    if (FAILED(hr)) return hr;
    std::vector<BYTE> raw;
    if (!stored.empty()) {
        hr = lzfu::Decompress(stored, raw);
        if (FAILED(hr)) return hr;
    }
    MapiPtr<MemoryStream> plain = MemoryStream::Create(std::move(raw));
    plain->SetReadOnly(true);
    *lpUncompressedRTFStream = plain.Detach();
    return S_OK;
}

namespace {

HRESULT ReadCompressedRtf(IMessage& message, std::vector<BYTE>& rtf, bool& present) {
    present = false;
    MapiPtr<IStream> stream;
    HRESULT hr = message.OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, stream.PutUnknown());
    if (hr == MAPI_E_NOT_FOUND) return S_OK;
    if (FAILED(hr)) return hr;
    std::vector<BYTE> stored;
    hr = ReadWholeStream(*stream, stored);
    if (FAILED(hr)) return hr;
    if (stored.empty()) return S_OK;
    present = true;
    return lzfu::Decompress(stored, rtf);
}

HRESULT WriteCompressedRtf(IMessage& message, std::string_view rtf) {
    MapiPtr<IStream> stream;
    HRESULT hr = message.OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                      stream.PutUnknown());
    if (FAILED(hr)) return hr;
    const std::vector<BYTE> stored =
        lzfu::Compress(std::span<const BYTE>(reinterpret_cast<const BYTE*>(rtf.data()), rtf.size()));
    return ReplaceStreamContent(*stream, stored);
}

HRESULT SetInSync(IMessage& message) {
    SPropValue inSync{};
    inSync.ulPropTag = PR_RTF_IN_SYNC;
    inSync.Value.b = 1;
    return HrSetOneProp(&message, &inSync);
}

}  // namespace

HRESULT RTFSync(LPMESSAGE lpMessage, ULONG ulFlags, BOOL* lpfMessageUpdated) {
    if (!lpMessage || !lpfMessageUpdated) return MAPI_E_INVALID_PARAMETER;
    *lpfMessageUpdated = FALSE;
    if (ulFlags & ~(RTF_SYNC_RTF_CHANGED | RTF_SYNC_BODY_CHANGED)) return MAPI_E_UNKNOWN_FLAGS;

    if (ulFlags & RTF_SYNC_RTF_CHANGED) {
        std::vector<BYTE> rtf;
        bool present = false;
        HRESULT hr = ReadCompressedRtf(*lpMessage, rtf, present);
        if (FAILED(hr)) return hr;
        if (present) {
            LPSPropValue body = nullptr;
            hr = HrGetOneProp(lpMessage, PR_BODY, &body);
            MapiBuffer<SPropValue> bodyHolder(body);
            if (hr == MAPI_E_NOT_FOUND) {
                std::string text = RtfToPlainText(std::string_view(reinterpret_cast<const char*>(rtf.data()), rtf.size()));
                SPropValue value{};
                value.ulPropTag = PR_BODY;
                value.Value.lpszA = text.data();
                hr = HrSetOneProp(lpMessage, &value);
            }
            if (FAILED(hr)) return hr;
            hr = SetInSync(*lpMessage);
            if (FAILED(hr)) return hr;
            *lpfMessageUpdated = TRUE;
        }
    }
    if (ulFlags & RTF_SYNC_BODY_CHANGED) {
        LPSPropValue body = nullptr;
        HRESULT hr = HrGetOneProp(lpMessage, PR_BODY, &body);
        MapiBuffer<SPropValue> bodyHolder(body);
        if (hr == MAPI_E_NOT_FOUND) return S_OK;
        if (FAILED(hr)) return hr;
        hr = WriteCompressedRtf(*lpMessage, PlainTextToRtf(body->Value.lpszA ? body->Value.lpszA : ""));
        if (FAILED(hr)) return hr;
        hr = SetInSync(*lpMessage);
        if (FAILED(hr)) return hr;
        *lpfMessageUpdated = TRUE;
    }
    return S_OK;
}
