#include "text/Lzfu.h"

#include "text/Crc32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace qb::text::lzfu {
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

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(std::span<const std::uint8_t> in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) | (static_cast<std::uint32_t>(in[at + 1]) << 8) |
           (static_cast<std::uint32_t>(in[at + 2]) << 16) | (static_cast<std::uint32_t>(in[at + 3]) << 24);
}

void WriteHeader(std::vector<std::uint8_t>& out, std::size_t rawSize, std::uint32_t type, std::uint32_t crc) {
    PutU32(out, 0, static_cast<std::uint32_t>(out.size() - 4));
    PutU32(out, 4, static_cast<std::uint32_t>(rawSize));
    PutU32(out, 8, type);
    PutU32(out, 12, crc);
}

// The encoder's tables: kept per thread and reused, so that a message's
// body does not allocate and clear them again. Only the chain heads a
// compression set are reset for the next one.
template <class Position>
struct EncoderTables {
    static constexpr Position kNone = static_cast<Position>(-1);
    EncoderTables() { head.fill(kNone); }
    std::array<Position, 65536> head{};
    std::array<Position, kDictionarySize> previous{};
    std::vector<std::uint16_t> usedHeads;  // keys whose head is set
    std::vector<std::uint8_t> text;                // the initial dictionary, then the input
};

// Bytes past the text that a match comparison may load (never counted).
constexpr std::size_t kTextPadding = 16;

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// How many bytes at a and b agree, up to limit (at most 24). Reads up to 24
// bytes from each, which the text's padding allows.
std::size_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
    for (std::size_t k = 0; k < limit; k += 8) {
        const std::uint64_t diff = Load64(a + k) ^ Load64(b + k);
        if (diff) {
            // Little-endian: the lowest differing byte is the first.
            const std::size_t same = k + static_cast<std::size_t>(__builtin_ctzll(diff) / 8);
            return std::min(same, limit);
        }
    }
    return limit;
}

// The decoder's dictionary holds, at absolute position p (bytes ever
// written, the initial text occupying 0..206), the initial text's byte or
// the input's byte p - 207; an entry 4096 or more behind the write position
// is overwritten. The encoder therefore works on one contiguous text (the
// initial dictionary followed by the input) by absolute positions: a
// reference that reaches the write position reads the bytes of this same
// match, as the decoder copying byte by byte does. Chains link the
// positions of each two-byte key, newest first. It starts from tables as a
// new one would be: every chain head empty (chain links are written before
// they are read).
template <class Position>
class Encoder {
public:
    Encoder(std::span<const std::uint8_t> input, EncoderTables<Position>& tables)
        : head_(tables.head), previous_(tables.previous), usedHeads_(tables.usedHeads), text_(tables.text) {
        for (const std::uint16_t key : usedHeads_) head_[key] = kNone;
        usedHeads_.clear();
        text_.clear();
        text_.reserve(kInitialDictionary.size() + input.size() + kTextPadding);
        text_.insert(text_.end(), kInitialDictionary.begin(), kInitialDictionary.end());
        text_.insert(text_.end(), input.begin(), input.end());
        end_ = text_.size();
        text_.resize(end_ + kTextPadding, 0);
        written_ = kInitialDictionary.size();
        for (std::size_t s = 0; s + 1 < written_; ++s) Link(s);
    }

    std::vector<std::uint8_t> Run() {
        const std::size_t inputSize = end_ - kInitialDictionary.size();
        std::vector<std::uint8_t> out(kHeaderSize);
        // The most the output can take (every byte a literal, a control byte
        // per eight tokens, the end marker): it never grows while encoding.
        out.reserve(kHeaderSize + inputSize + inputSize / 8 + 4);
        std::size_t controlAt = 0;
        int bit = 8;
        auto nextToken = [&](bool reference) {
            if (bit == 8) {
                controlAt = out.size();
                out.push_back(0);
                bit = 0;
            }
            if (reference) out[controlAt] |= static_cast<std::uint8_t>(1u << bit);
            ++bit;
        };
        while (written_ < end_) {
            std::size_t offset = 0;
            const std::size_t length = LongestMatch(offset);
            if (length >= kMinMatch) {
                nextToken(true);
                const unsigned token = static_cast<unsigned>((offset << 4) | (length - kMinMatch));
                out.push_back(static_cast<std::uint8_t>(token >> 8));
                out.push_back(static_cast<std::uint8_t>(token & 0xFF));
                for (std::size_t k = 0; k < length; ++k) Advance();
            } else {
                nextToken(false);
                out.push_back(text_[written_]);
                Advance();
            }
        }
        // The end marker is a reference to the write position.
        nextToken(true);
        const unsigned token = static_cast<unsigned>((written_ & kDictionaryMask) << 4);
        out.push_back(static_cast<std::uint8_t>(token >> 8));
        out.push_back(static_cast<std::uint8_t>(token & 0xFF));
        const std::uint32_t crc = Crc32(std::span<const std::uint8_t>(out).subspan(kHeaderSize));
        WriteHeader(out, inputSize, kCompressedType, crc);
        return out;
    }

private:
    static constexpr Position kNone = EncoderTables<Position>::kNone;

    unsigned Key(std::size_t s) const { return (static_cast<unsigned>(text_[s]) << 8) | text_[s + 1]; }

    // Enters position s (whose two bytes are both written) into its chain.
    void Link(std::size_t s) {
        const unsigned key = Key(s);
        previous_[s & kDictionaryMask] = head_[key];
        if (head_[key] == kNone) usedHeads_.push_back(static_cast<std::uint16_t>(key));
        head_[key] = static_cast<Position>(s);
    }

    void Advance() {
        ++written_;
        Link(written_ - 2);
    }

    // The longest match for the bytes at the write position; of equal
    // lengths the one furthest back, as the reference encoder scanning from
    // the oldest entry finds. At most kMaxCandidates chain entries are
    // visited, newest first.
    std::size_t LongestMatch(std::size_t& bestOffset) const {
        const std::size_t limit = std::min(kMaxMatch, end_ - written_);
        if (limit < kMinMatch) return 0;
        const std::uint8_t* const current = text_.data() + written_;
        std::size_t best = 0;
        std::size_t examined = 0;
        for (Position s = head_[Key(written_)]; s != kNone && examined < kMaxCandidates;
             s = previous_[s & kDictionaryMask], ++examined) {
            // Entries 4096 or more behind are overwritten; the distance of
            // exactly 4096 would name the write position, the end marker.
            if (s >= written_ || written_ - s >= kDictionarySize) break;
            const std::uint8_t* const candidate = text_.data() + s;
            // Only a match at least as long as the best counts: a candidate
            // that differs at the best's last byte is passed over unread.
            if (best >= kMinMatch && candidate[best - 1] != current[best - 1]) continue;
            // The chain's key is the first two bytes: they agree.
            const std::size_t length = kMinMatch + CommonLength(candidate + kMinMatch, current + kMinMatch, limit - kMinMatch);
            if (length >= best) {
                best = length;
                bestOffset = s & kDictionaryMask;
            }
        }
        return best;
    }

    std::array<Position, 65536>& head_;
    std::array<Position, kDictionarySize>& previous_;
    std::vector<std::uint16_t>& usedHeads_;
    std::vector<std::uint8_t>& text_;
    std::size_t end_ = 0;      // end of the text (without its padding)
    std::size_t written_ = 0;  // the write position: bytes the decoder has written
};

template <class Position>
std::vector<std::uint8_t> CompressWith(std::span<const std::uint8_t> raw) {
    thread_local std::unique_ptr<EncoderTables<Position>> tables;
    if (!tables) tables = std::make_unique<EncoderTables<Position>>();
    std::vector<std::uint8_t> out = Encoder<Position>(raw, *tables).Run();
    // A very large body does not keep its copy for the rest of the thread's life.
    if (tables->text.capacity() > (std::size_t{16} << 20)) std::vector<std::uint8_t>().swap(tables->text);
    return out;
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc) {
    return text::Crc32(data.data(), data.size(), crc);
}

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> raw) {
    // 32-bit positions keep the tables small; a text of 4 GB or more needs wider ones.
    if (raw.size() < 0xFFFF0000u) return CompressWith<std::uint32_t>(raw);
    return CompressWith<std::size_t>(raw);
}

std::vector<std::uint8_t> StoreUncompressed(std::span<const std::uint8_t> raw) {
    std::vector<std::uint8_t> out(kHeaderSize + raw.size());
    if (!raw.empty()) std::memcpy(out.data() + kHeaderSize, raw.data(), raw.size());
    WriteHeader(out, raw.size(), kUncompressedType, 0);
    return out;
}

bool Decompress(std::span<const std::uint8_t> stored, std::vector<std::uint8_t>& raw) {
    raw.clear();
    if (stored.size() < kHeaderSize) return false;
    const std::uint32_t compSize = GetU32(stored, 0);
    const std::uint32_t rawSize = GetU32(stored, 4);
    const std::uint32_t type = GetU32(stored, 8);
    const std::uint32_t crc = GetU32(stored, 12);
    if (compSize < kHeaderSize - 4 || static_cast<std::size_t>(compSize) + 4 > stored.size())
        return false;
    const std::span<const std::uint8_t> contents = stored.subspan(kHeaderSize, compSize + 4 - kHeaderSize);
    if (type == kUncompressedType) {
        if (contents.size() < rawSize) return false;
        raw.assign(contents.begin(), contents.begin() + rawSize);
        return true;
    }
    if (type != kCompressedType) return false;
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION  // mutated input must reach the decoder
    if (Crc32(contents) != crc) return false;
#else
    (void)crc;
#endif

    std::array<std::uint8_t, kDictionarySize> dictionary{};
    std::memcpy(dictionary.data(), kInitialDictionary.data(), kInitialDictionary.size());
    std::size_t write = kInitialDictionary.size();
    raw.reserve(std::min<std::size_t>(rawSize, contents.size() * 8 + 64));
    std::size_t in = 0;
    while (in < contents.size()) {
        const std::uint8_t control = contents[in++];
        for (int bit = 0; bit < 8; ++bit) {
            if (in >= contents.size()) break;
            if (!(control & (1u << bit))) {
                const std::uint8_t b = contents[in++];
                raw.push_back(b);
                dictionary[write] = b;
                write = (write + 1) & kDictionaryMask;
                continue;
            }
            if (in + 1 >= contents.size()) return false;
            const unsigned token = (static_cast<unsigned>(contents[in]) << 8) | contents[in + 1];
            in += 2;
            std::size_t offset = token >> 4;
            const std::size_t length = (token & 0xF) + kMinMatch;
            if (offset == write) {
                if (raw.size() < rawSize) return false;
                raw.resize(rawSize);
                return true;
            }
            for (std::size_t k = 0; k < length; ++k) {
                const std::uint8_t b = dictionary[offset];
                offset = (offset + 1) & kDictionaryMask;
                raw.push_back(b);
                dictionary[write] = b;
                write = (write + 1) & kDictionaryMask;
            }
            if (raw.size() > static_cast<std::size_t>(rawSize) + kMaxMatch) return false;
        }
    }
    // Data that ends without the marker is accepted once the raw size is reached.
    if (raw.size() < rawSize) return false;
    raw.resize(rawSize);
    return true;
}

}  // namespace qb::text::lzfu
