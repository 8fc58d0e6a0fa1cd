// The LZFu encoder against a plain one that keeps the decoder's ring
// dictionary and compares byte by byte: the stored bodies must not change
// with how the encoder finds its matches. Inputs cover literals only, long
// runs (chains past the candidate limit), text repeating at and around the
// dictionary's size, RTF as the writers produce it and random mixtures.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/mapi/CompressedRtf.h"
#include "outlook/mapi/Lzfu.h"

using namespace qb::mapi;

namespace {

// The plain encoder: the dictionary as the decoder keeps it, chains of
// positions by their first two bytes, newest first, at most 1024
// candidates; the longest match wins, of equal lengths the one further back.
std::vector<BYTE> PlainCompress(std::span<const BYTE> input) {
    constexpr std::string_view kInitial =
        "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
        "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
        "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
    constexpr std::size_t kSize = 4096, kMask = kSize - 1, kNone = static_cast<std::size_t>(-1);
    std::array<BYTE, kSize> dictionary{};
    std::vector<std::size_t> head(65536, kNone), previous(kSize, kNone);
    std::memcpy(dictionary.data(), kInitial.data(), kInitial.size());
    std::size_t written = kInitial.size();
    auto link = [&](std::size_t s) {
        const unsigned key = (unsigned(dictionary[s & kMask]) << 8) | dictionary[(s + 1) & kMask];
        previous[s & kMask] = head[key];
        head[key] = s;
    };
    for (std::size_t s = 0; s + 1 < written; ++s) link(s);
    auto append = [&](BYTE b) {
        dictionary[written & kMask] = b;
        ++written;
        link(written - 2);
    };
    std::vector<BYTE> out(16);
    std::size_t controlAt = 0;
    int bit = 8;
    auto token = [&](bool reference) {
        if (bit == 8) {
            controlAt = out.size();
            out.push_back(0);
            bit = 0;
        }
        if (reference) out[controlAt] |= BYTE(1u << bit);
        ++bit;
    };
    std::size_t at = 0;
    while (at < input.size()) {
        const std::size_t limit = std::min<std::size_t>(17, input.size() - at);
        std::size_t best = 0, bestOffset = 0, examined = 0;
        if (limit >= 2) {
            auto byteAt = [&](std::size_t s, std::size_t k) {
                const std::size_t p = s + k;
                return p >= written ? input[at + (p - written)] : dictionary[p & kMask];
            };
            for (std::size_t s = head[(unsigned(input[at]) << 8) | input[at + 1]]; s != kNone && examined < 1024;
                 s = previous[s & kMask], ++examined) {
                if (s >= written || written - s >= kSize) break;
                std::size_t length = 0;
                while (length < limit && byteAt(s, length) == input[at + length]) ++length;
                if (length >= best && length >= 2) {
                    best = length;
                    bestOffset = s & kMask;
                }
            }
        }
        if (best >= 2) {
            token(true);
            const unsigned t = unsigned((bestOffset << 4) | (best - 2));
            out.push_back(BYTE(t >> 8));
            out.push_back(BYTE(t & 0xFF));
            for (std::size_t k = 0; k < best; ++k) append(input[at + k]);
            at += best;
        } else {
            token(false);
            out.push_back(input[at]);
            append(input[at]);
            ++at;
        }
    }
    token(true);
    const unsigned t = unsigned((written & kMask) << 4);
    out.push_back(BYTE(t >> 8));
    out.push_back(BYTE(t & 0xFF));
    const std::uint32_t crc = lzfu::Crc32(std::span<const BYTE>(out).subspan(16));
    const std::uint32_t header[4] = {std::uint32_t(out.size() - 4), std::uint32_t(input.size()), lzfu::kCompressedType, crc};
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b) out[4 * i + b] = BYTE(header[i] >> (8 * b));
    return out;
}

std::vector<BYTE> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

void ExpectSameAsPlain(const std::vector<BYTE>& input, const std::string& what) {
    const std::vector<BYTE> stored = lzfu::Compress(input);
    ASSERT_EQ(stored, PlainCompress(input)) << what << " (" << input.size() << " bytes)";
    std::vector<BYTE> back;
    ASSERT_EQ(lzfu::Decompress(stored, back), S_OK) << what;
    EXPECT_EQ(back, input) << what;
}

// RTF as a body writer produces it: a header, paragraphs of words with
// formatting, escaped characters and Unicode, tables.
std::string SomeRtf(std::mt19937& random, std::size_t paragraphs) {
    static const char* const kWords[] = {"the", "meeting", "agenda", "Quarterly", "report", "\\b", "\\b0", "\\i",
                                         "\\i0", "\\'e9t\\'e9", "\\u8364?", "{\\field{\\*\\fldinst HYPERLINK}}",
                                         "\\cell", "\\row", "\\tab", "\\line", "2026-12-08", "{\\f1 Arial}"};
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
                      "{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    for (std::size_t p = 0; p < paragraphs; ++p) {
        const std::size_t words = random() % 60;
        for (std::size_t w = 0; w < words; ++w) {
            rtf += kWords[random() % std::size(kWords)];
            rtf += ' ';
        }
        rtf += "\\par\r\n";
    }
    return rtf + "}";
}

TEST(LzfuEncoder, EmptyTinyAndLiteralOnlyInputs) {
    ExpectSameAsPlain({}, "empty");
    ExpectSameAsPlain(Bytes("a"), "one byte");
    ExpectSameAsPlain(Bytes("ab"), "two bytes");
    ExpectSameAsPlain(Bytes("{\\rtf1"), "initial text");
    std::vector<BYTE> distinct;
    for (int i = 0; i < 256; ++i) distinct.push_back(BYTE(i));
    ExpectSameAsPlain(distinct, "every byte once");
}

TEST(LzfuEncoder, LongRunsPassTheCandidateLimit) {
    for (std::size_t size : {16u, 17u, 18u, 35u, 1000u, 4095u, 4096u, 4097u, 9000u, 30000u})
        ExpectSameAsPlain(std::vector<BYTE>(size, ' '), "spaces");
    std::vector<BYTE> twoByte;
    for (std::size_t i = 0; i < 20000; ++i) twoByte.push_back(i % 2 ? '\r' : '\n');
    ExpectSameAsPlain(twoByte, "alternating bytes");
    // Runs broken now and then: long chains whose candidates differ late.
    std::mt19937 random(7);
    std::vector<BYTE> broken;
    for (std::size_t i = 0; i < 40000; ++i) broken.push_back(random() % 97 == 0 ? BYTE('x') : BYTE('0'));
    ExpectSameAsPlain(broken, "broken runs");
}

TEST(LzfuEncoder, RepetitionAtAndAroundTheDictionarySize) {
    std::mt19937 random(11);
    for (std::size_t period : {4080u, 4088u, 4089u, 4090u, 4095u, 4096u, 4097u, 4100u, 8192u}) {
        std::vector<BYTE> block(period);
        for (BYTE& b : block) b = BYTE('a' + random() % 4);
        std::vector<BYTE> input;
        for (int k = 0; k < 3; ++k) input.insert(input.end(), block.begin(), block.end());
        ExpectSameAsPlain(input, "period " + std::to_string(period));
    }
}

TEST(LzfuEncoder, RtfAsTheWritersProduceIt) {
    std::mt19937 random(2026);
    for (std::size_t paragraphs : {0u, 1u, 3u, 20u, 150u, 900u})
        ExpectSameAsPlain(Bytes(SomeRtf(random, paragraphs)), "rtf of " + std::to_string(paragraphs) + " paragraphs");
    ExpectSameAsPlain(Bytes(PlainTextToRtf("Hello\nworld \xE2\x82\xAC {braces} \\ backslash\n\tTabbed\n")), "plain text");
    std::string letter;
    for (int i = 0; i < 300; ++i) letter += "Dear colleague,\nthe minutes of meeting " + std::to_string(i) + " follow.\n";
    ExpectSameAsPlain(Bytes(PlainTextToRtf(letter)), "letters");
}

TEST(LzfuEncoder, RandomMixturesOfTextRunsAndNoise) {
    std::mt19937 random(5);
    for (int round = 0; round < 60; ++round) {
        std::vector<BYTE> input;
        const std::size_t pieces = 1 + random() % 40;
        for (std::size_t p = 0; p < pieces; ++p) {
            switch (random() % 4) {
                case 0: {  // noise from a small or a full alphabet
                    const unsigned alphabet = random() % 2 ? 4 : 256;
                    for (std::size_t n = random() % 700; n > 0; --n) input.push_back(BYTE(random() % alphabet));
                    break;
                }
                case 1: input.insert(input.end(), random() % 300, BYTE(random())); break;
                case 2: {  // a copy of something earlier, near or far
                    if (input.empty()) break;
                    const std::size_t from = random() % input.size();
                    const std::size_t n = std::min<std::size_t>(random() % 200, input.size() - from);
                    input.insert(input.end(), input.begin() + long(from), input.begin() + long(from + n));
                    break;
                }
                default: {
                    const std::string rtf = SomeRtf(random, random() % 5);
                    input.insert(input.end(), rtf.begin(), rtf.end());
                }
            }
        }
        ExpectSameAsPlain(input, "mixture " + std::to_string(round));
    }
}

}  // namespace
