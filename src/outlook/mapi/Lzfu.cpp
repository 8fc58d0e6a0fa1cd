#include "outlook/mapi/Lzfu.h"

#include "text/Crc32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace qb::mapi::lzfu {
namespace {

constexpr std::string_view kInitialDictionary =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
    "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
    "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kInitialDictionary.size() == 207);

constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kDictionaryMask = kDictionarySize - 1;
constexpr std::size_t kMaxMatch = 17;  // 4-bit length + 2
constexpr std::size_t kMinMatch = 2;
// Candidates examined per position; enough for real text, bounded for runs.
constexpr std::size_t kMaxCandidates = 1024;

void PutU32(std::vector<BYTE>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<BYTE>(v >> (8 * i));
}

std::uint32_t GetU32(std::span<const BYTE> in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) | (static_cast<std::uint32_t>(in[at + 1]) << 8) |
           (static_cast<std::uint32_t>(in[at + 2]) << 16) | (static_cast<std::uint32_t>(in[at + 3]) << 24);
}

void WriteHeader(std::vector<BYTE>& out, std::size_t rawSize, std::uint32_t type, std::uint32_t crc) {
    PutU32(out, 0, static_cast<std::uint32_t>(out.size() - 4));
    PutU32(out, 4, static_cast<std::uint32_t>(rawSize));
    PutU32(out, 8, type);
    PutU32(out, 12, crc);
}

// The encoder's tables, half a megabyte: kept per thread and reused, so that
// a message's body does not allocate and clear them again. Only the chain
// heads a compression set are reset for the next one.
struct EncoderTables {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    EncoderTables() { head.fill(kNone); }
    std::array<BYTE, kDictionarySize> dictionary{};
    std::array<std::size_t, 65536> head{};
    std::array<std::size_t, kDictionarySize> previous{};
    std::vector<std::uint16_t> usedHeads;  // keys whose head is set
};

// The encoder mirrors the decoder's dictionary exactly. Positions are kept as
// absolute counts of bytes ever written (the initial text occupies 0..206),
// so a chain entry is still valid while it lies less than 4096 bytes behind
// the write position. It starts from tables as a new one would be: every
// chain head empty (the dictionary and chain links are written before they
// are read).
class Encoder {
public:
    Encoder(std::span<const BYTE> input, EncoderTables& tables)
        : input_(input), dictionary_(tables.dictionary), head_(tables.head), previous_(tables.previous),
          usedHeads_(tables.usedHeads) {
        for (const std::uint16_t key : usedHeads_) head_[key] = kNone;
        usedHeads_.clear();
        std::memcpy(dictionary_.data(), kInitialDictionary.data(), kInitialDictionary.size());
        written_ = kInitialDictionary.size();
        for (std::size_t s = 0; s + 1 < written_; ++s) Link(s);
    }

    std::vector<BYTE> Run() {
        std::vector<BYTE> out(kHeaderSize);
        // The most the output can take (every byte a literal, a control byte
        // per eight tokens, the end marker): it never grows while encoding.
        out.reserve(kHeaderSize + input_.size() + input_.size() / 8 + 4);
        std::size_t controlAt = 0;
        int bit = 8;
        auto nextToken = [&](bool reference) {
            if (bit == 8) {
                controlAt = out.size();
                out.push_back(0);
                bit = 0;
            }
            if (reference) out[controlAt] |= static_cast<BYTE>(1u << bit);
            ++bit;
        };
        std::size_t at = 0;
        while (at < input_.size()) {
            std::size_t offset = 0;
            const std::size_t length = LongestMatch(at, offset);
            if (length >= kMinMatch) {
                nextToken(true);
                const unsigned token = static_cast<unsigned>((offset << 4) | (length - kMinMatch));
                out.push_back(static_cast<BYTE>(token >> 8));
                out.push_back(static_cast<BYTE>(token & 0xFF));
                for (std::size_t k = 0; k < length; ++k) Append(input_[at + k]);
                at += length;
            } else {
                nextToken(false);
                out.push_back(input_[at]);
                Append(input_[at]);
                ++at;
            }
        }
        // The end marker is a reference to the write position.
        nextToken(true);
        const unsigned token = static_cast<unsigned>((written_ & kDictionaryMask) << 4);
        out.push_back(static_cast<BYTE>(token >> 8));
        out.push_back(static_cast<BYTE>(token & 0xFF));
        const std::uint32_t crc = Crc32(std::span<const BYTE>(out).subspan(kHeaderSize));
        WriteHeader(out, input_.size(), kCompressedType, crc);
        return out;
    }

private:
    static constexpr std::size_t kNone = EncoderTables::kNone;

    static unsigned Key(BYTE a, BYTE b) { return (static_cast<unsigned>(a) << 8) | b; }

    // Enters position s (whose two bytes are both written) into its chain.
    void Link(std::size_t s) {
        const unsigned key = Key(dictionary_[s & kDictionaryMask], dictionary_[(s + 1) & kDictionaryMask]);
        previous_[s & kDictionaryMask] = head_[key];
        if (head_[key] == kNone) usedHeads_.push_back(static_cast<std::uint16_t>(key));
        head_[key] = s;
    }

    void Append(BYTE b) {
        dictionary_[written_ & kDictionaryMask] = b;
        ++written_;
        Link(written_ - 2);
    }

    // The byte a reference starting at absolute position s would produce as
    // its k-th byte: the decoder copies byte by byte, so reading at or past
    // the write position sees the bytes of this same match.
    BYTE MatchByte(std::size_t s, std::size_t k, std::size_t at) const {
        const std::size_t p = s + k;
        if (p >= written_) return input_[at + (p - written_)];
        return dictionary_[p & kDictionaryMask];
    }

    std::size_t LongestMatch(std::size_t at, std::size_t& bestOffset) const {
        const std::size_t limit = std::min(kMaxMatch, input_.size() - at);
        if (limit < kMinMatch) return 0;
        std::size_t best = 0;
        std::size_t examined = 0;
        for (std::size_t s = head_[Key(input_[at], input_[at + 1])]; s != kNone && examined < kMaxCandidates;
             s = previous_[s & kDictionaryMask], ++examined) {
            // Entries 4096 or more behind are overwritten; the distance of
            // exactly 4096 would name the write position, the end marker.
            if (s >= written_ || written_ - s >= kDictionarySize) break;
            // Only a match at least as long as the best counts: a candidate
            // that differs at the best's last byte is passed over unread.
            if (best >= kMinMatch && MatchByte(s, best - 1, at) != input_[at + best - 1]) continue;
            std::size_t length = 0;
            while (length < limit && MatchByte(s, length, at) == input_[at + length]) ++length;
            // Newest first; an equal length further back wins, as the
            // reference encoder scans from the oldest entry.
            if (length >= best && length >= kMinMatch) {
                best = length;
                bestOffset = s & kDictionaryMask;
            }
        }
        return best;
    }

    std::span<const BYTE> input_;
    std::array<BYTE, kDictionarySize>& dictionary_;
    std::array<std::size_t, 65536>& head_;
    std::array<std::size_t, kDictionarySize>& previous_;
    std::vector<std::uint16_t>& usedHeads_;
    std::size_t written_ = 0;
};

}  // namespace

std::uint32_t Crc32(std::span<const BYTE> data, std::uint32_t crc) {
    return text::Crc32(data.data(), data.size(), crc);
}

std::vector<BYTE> Compress(std::span<const BYTE> raw) {
    thread_local std::unique_ptr<EncoderTables> tables;
    if (!tables) tables = std::make_unique<EncoderTables>();
    return Encoder(raw, *tables).Run();
}

std::vector<BYTE> StoreUncompressed(std::span<const BYTE> raw) {
    std::vector<BYTE> out(kHeaderSize + raw.size());
    if (!raw.empty()) std::memcpy(out.data() + kHeaderSize, raw.data(), raw.size());
    WriteHeader(out, raw.size(), kUncompressedType, 0);
    return out;
}

HRESULT Decompress(std::span<const BYTE> stored, std::vector<BYTE>& raw) {
    raw.clear();
    if (stored.size() < kHeaderSize) return MAPI_E_CORRUPT_DATA;
    const std::uint32_t compSize = GetU32(stored, 0);
    const std::uint32_t rawSize = GetU32(stored, 4);
    const std::uint32_t type = GetU32(stored, 8);
    const std::uint32_t crc = GetU32(stored, 12);
    if (compSize < kHeaderSize - 4 || static_cast<std::size_t>(compSize) + 4 > stored.size())
        return MAPI_E_CORRUPT_DATA;
    const std::span<const BYTE> contents = stored.subspan(kHeaderSize, compSize + 4 - kHeaderSize);
    if (type == kUncompressedType) {
        if (contents.size() < rawSize) return MAPI_E_CORRUPT_DATA;
        raw.assign(contents.begin(), contents.begin() + rawSize);
        return S_OK;
    }
    if (type != kCompressedType) return MAPI_E_CORRUPT_DATA;
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION  // mutated input must reach the decoder
    if (Crc32(contents) != crc) return MAPI_E_CORRUPT_DATA;
#else
    (void)crc;
#endif

    std::array<BYTE, kDictionarySize> dictionary{};
    std::memcpy(dictionary.data(), kInitialDictionary.data(), kInitialDictionary.size());
    std::size_t write = kInitialDictionary.size();
    raw.reserve(std::min<std::size_t>(rawSize, contents.size() * 8 + 64));
    std::size_t in = 0;
    while (in < contents.size()) {
        const BYTE control = contents[in++];
        for (int bit = 0; bit < 8; ++bit) {
            if (in >= contents.size()) break;
            if (!(control & (1u << bit))) {
                const BYTE b = contents[in++];
                raw.push_back(b);
                dictionary[write] = b;
                write = (write + 1) & kDictionaryMask;
                continue;
            }
            if (in + 1 >= contents.size()) return MAPI_E_CORRUPT_DATA;
            const unsigned token = (static_cast<unsigned>(contents[in]) << 8) | contents[in + 1];
            in += 2;
            std::size_t offset = token >> 4;
            const std::size_t length = (token & 0xF) + kMinMatch;
            if (offset == write) {
                if (raw.size() < rawSize) return MAPI_E_CORRUPT_DATA;
                raw.resize(rawSize);
                return S_OK;
            }
            for (std::size_t k = 0; k < length; ++k) {
                const BYTE b = dictionary[offset];
                offset = (offset + 1) & kDictionaryMask;
                raw.push_back(b);
                dictionary[write] = b;
                write = (write + 1) & kDictionaryMask;
            }
            if (raw.size() > static_cast<std::size_t>(rawSize) + kMaxMatch) return MAPI_E_CORRUPT_DATA;
        }
    }
    // Data that ends without the marker is accepted once the raw size is reached.
    if (raw.size() < rawSize) return MAPI_E_CORRUPT_DATA;
    raw.resize(rawSize);
    return S_OK;
}

}  // namespace qb::mapi::lzfu
