#pragma once
// Basic vocabulary of the personal folders file: identifiers, byte helpers,
// the per-format sizes, and the error type every layer throws.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace qb::pst {

using Bytes = std::vector<std::uint8_t>;
using Nid = std::uint32_t;
using Bid = std::uint64_t;

enum class PstFormat { Unicode, Ansi };

// Why a file cannot be used, where a caller answers differently (MAPI codes).
// Io: the system refused a read, write or sync (a full disk, a broken one);
// the session writes nothing more.
enum class PstErrorKind { General, InUse, NoAccess, Damaged, Io };

// Every failure of the engine: damaged file, I/O error, limit reached. The
// text is a whole sentence fit for the user.
class PstError : public std::runtime_error {
public:
    explicit PstError(const std::string& what, PstErrorKind kind = PstErrorKind::General)
        : std::runtime_error(what), kind_(kind) {}
    PstErrorKind kind() const { return kind_; }

private:
    PstErrorKind kind_;
};

struct Bref {
    Bid bid = 0;
    std::uint64_t ib = 0;
};

// NID types (low five bits of a node id).
enum NidType : std::uint32_t {
    kNidTypeHid = 0x00,
    kNidTypeInternal = 0x01,
    kNidTypeNormalFolder = 0x02,
    kNidTypeSearchFolder = 0x03,
    kNidTypeNormalMessage = 0x04,
    kNidTypeAttachment = 0x05,
    kNidTypeSearchUpdateQueue = 0x06,
    kNidTypeSearchCriteria = 0x07,
    kNidTypeAssocMessage = 0x08,
    kNidTypeContentsTableIndex = 0x0A,
    kNidTypeReceiveFolderTable = 0x0B,
    kNidTypeOutgoingQueueTable = 0x0C,
    kNidTypeHierarchyTable = 0x0D,
    kNidTypeContentsTable = 0x0E,
    kNidTypeAssocContentsTable = 0x0F,
    kNidTypeSearchContentsTable = 0x10,
    kNidTypeAttachmentTable = 0x11,
    kNidTypeRecipientTable = 0x12,
    kNidTypeSearchTableIndex = 0x13,
    kNidTypeLtp = 0x1F,
};

inline constexpr Nid NidTypeOf(Nid nid) { return nid & 0x1F; }
inline constexpr Nid NidIndexOf(Nid nid) { return nid >> 5; }
inline constexpr Nid MakeNid(std::uint32_t type, std::uint32_t index) { return (index << 5) | type; }

// Well-known node ids of every store.
inline constexpr Nid kNidMessageStore = 0x21;
inline constexpr Nid kNidNameToIdMap = 0x61;
inline constexpr Nid kNidNormalFolderTemplate = 0xA1;
inline constexpr Nid kNidSearchFolderTemplate = 0xC1;
inline constexpr Nid kNidRootFolder = 0x122;
inline constexpr Nid kNidSearchManagementQueue = 0x1E1;
inline constexpr Nid kNidSearchActivityList = 0x201;
inline constexpr Nid kNidHierarchyTableTemplate = 0x60D;
inline constexpr Nid kNidContentsTableTemplate = 0x60E;
inline constexpr Nid kNidAssocContentsTableTemplate = 0x60F;
inline constexpr Nid kNidSearchContentsTableTemplate = 0x610;
inline constexpr Nid kNidAttachmentTable = 0x671;
inline constexpr Nid kNidRecipientTable = 0x692;

// Sizes that differ between the two formats.
struct FormatTraits {
    PstFormat format;
    bool unicode;
    std::size_t idSize;        // BID / IB width on disk: 8 or 4
    std::size_t pageTrailer;   // 16 or 12
    std::size_t blockTrailer;  // 16 or 12
    std::size_t maxBlockData;  // 8176 or 8180
    std::size_t btEntryArea;   // 488 or 496
    std::size_t nbtEntry;      // 32 or 16
    std::size_t bbtEntry;      // 24 or 12
    std::size_t btEntry;       // 24 or 12
    std::size_t slEntry;       // 24 or 12
    std::size_t siEntry;       // 16 or 8
    std::size_t sxHeader;      // 8 or 4 (SLBLOCK / SIBLOCK header)
    std::size_t headerSize;    // 564 or 512

    static const FormatTraits& Of(PstFormat format);
    std::size_t XblockCapacity() const { return (maxBlockData - 8) / idSize; }
    std::size_t SlCapacity() const { return (maxBlockData - sxHeader) / slEntry; }
    std::size_t SiCapacity() const { return (maxBlockData - sxHeader) / siEntry; }
};

inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kMaxBlockSize = 8192;
inline constexpr std::uint64_t kFirstAMapOffset = 0x4400;
inline constexpr std::uint64_t kAMapCoverage = 496ull * 8 * 64;  // 253,952 bytes
inline constexpr std::uint64_t kDListOffset = 0x4200;
inline constexpr std::uint64_t kAnsiSizeLimit = 0x7FFFFFFFull;   // 2 GB

// Little-endian access.
inline std::uint16_t Get16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t Get64(const std::uint8_t* p) { return Get32(p) | (std::uint64_t(Get32(p + 4)) << 32); }
inline void Put16(std::uint8_t* p, std::uint16_t v) { p[0] = std::uint8_t(v); p[1] = std::uint8_t(v >> 8); }
inline void Put32(std::uint8_t* p, std::uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i)); }
inline void Put64(std::uint8_t* p, std::uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i)); }
inline std::uint64_t GetId(const std::uint8_t* p, std::size_t size) { return size == 8 ? Get64(p) : Get32(p); }
inline void PutId(std::uint8_t* p, std::size_t size, std::uint64_t v) {
    if (size == 8) Put64(p, v); else Put32(p, std::uint32_t(v));
}
inline void Append16(Bytes& b, std::uint16_t v) { std::size_t n = b.size(); b.resize(n + 2); Put16(&b[n], v); }
inline void Append32(Bytes& b, std::uint32_t v) { std::size_t n = b.size(); b.resize(n + 4); Put32(&b[n], v); }
inline void Append64(Bytes& b, std::uint64_t v) { std::size_t n = b.size(); b.resize(n + 8); Put64(&b[n], v); }

inline std::uint64_t AlignUp(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }

std::string HexId(std::uint64_t value);

}  // namespace qb::pst
