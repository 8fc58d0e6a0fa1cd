#pragma once
// A property value with MAPI semantics: a type (PT_* code) and its value.
// Fixed-size values are kept as little-endian bytes, strings as UTF-16LE
// (PT_UNICODE) or 8-bit text (PT_STRING8), multi-valued variable-size values
// as a list of items. Texts cross the API as UTF-8.
//
// A value's bytes up to 16 (every fixed-size value, a GUID) are kept inside
// the value itself: a message carries dozens of them, and each would cost an
// allocation and a free every time it is made, copied or dropped.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/pst/PstTypes.h"

namespace qb::pst {

enum PropType : std::uint16_t {
    kPtUnspecified = 0x0000,
    kPtNull = 0x0001,
    kPtShort = 0x0002,
    kPtLong = 0x0003,
    kPtFloat = 0x0004,
    kPtDouble = 0x0005,
    kPtCurrency = 0x0006,
    kPtAppTime = 0x0007,
    kPtError = 0x000A,
    kPtBoolean = 0x000B,
    kPtObject = 0x000D,
    kPtI8 = 0x0014,
    kPtString8 = 0x001E,
    kPtUnicode = 0x001F,
    kPtSysTime = 0x0040,
    kPtClsid = 0x0048,
    kPtSvrEid = 0x00FB,
    kPtSRestrict = 0x00FD,
    kPtActions = 0x00FE,
    kPtBinary = 0x0102,
    kPtMvFlag = 0x1000,
};

inline constexpr std::uint32_t MakeTag(std::uint16_t id, std::uint16_t type) { return (std::uint32_t(id) << 16) | type; }
inline constexpr std::uint16_t TagId(std::uint32_t tag) { return std::uint16_t(tag >> 16); }
inline constexpr std::uint16_t TagType(std::uint32_t tag) { return std::uint16_t(tag & 0xFFFF); }

// Size of a fixed-size type's value, 0 for variable-size types.
std::size_t FixedSizeOf(std::uint16_t type);
bool IsMultiValued(std::uint16_t type);
bool IsVariableSize(std::uint16_t type);  // strings, binaries, objects and every multi-valued type

// A value's bytes: held inline up to kInline bytes, otherwise in a vector
// (one moved in stays there, so a large binary is never copied). Offers the
// parts of a vector's interface that values use.
class ValueBytes {
public:
    static constexpr std::size_t kInline = 16;
    using value_type = std::uint8_t;
    using size_type = std::size_t;
    using iterator = std::uint8_t*;
    using const_iterator = const std::uint8_t*;

    ValueBytes() noexcept = default;
    ValueBytes(const Bytes& bytes) { assign(bytes.data(), bytes.data() + bytes.size()); }
    ValueBytes(Bytes&& bytes) noexcept { *this = std::move(bytes); }
    ValueBytes(std::initializer_list<std::uint8_t> bytes) { assign(bytes.begin(), bytes.end()); }
    template <class It>
    ValueBytes(It first, It last) { assign(first, last); }
    ValueBytes(const ValueBytes& other) { assign(other.data(), other.data() + other.size()); }
    // Moves are inline and cheap: maps of values shift them on every insertion.
    ValueBytes(ValueBytes&& other) noexcept
        : onHeap_(other.onHeap_), size_(other.size_), inline_(other.inline_), heap_(std::move(other.heap_)) {
        other.onHeap_ = false;
        other.size_ = 0;
    }
    ValueBytes& operator=(const ValueBytes& other) {
        if (this != &other) assign(other.data(), other.data() + other.size());
        return *this;
    }
    ValueBytes& operator=(ValueBytes&& other) noexcept {
        if (this == &other) return *this;
        onHeap_ = other.onHeap_;
        size_ = other.size_;
        inline_ = other.inline_;
        heap_.swap(other.heap_);  // the other keeps this one's buffer, unused, until it is dropped or reused
        other.onHeap_ = false;
        other.size_ = 0;
        return *this;
    }
    ValueBytes& operator=(const Bytes& bytes) {
        assign(bytes.data(), bytes.data() + bytes.size());
        return *this;
    }
    ValueBytes& operator=(Bytes&& bytes) noexcept;
    ValueBytes& operator=(std::initializer_list<std::uint8_t> bytes) {
        assign(bytes.begin(), bytes.end());
        return *this;
    }

    std::uint8_t* data() { return onHeap_ ? heap_.data() : inline_.data(); }
    const std::uint8_t* data() const { return onHeap_ ? heap_.data() : inline_.data(); }
    std::size_t size() const { return onHeap_ ? heap_.size() : size_; }
    bool empty() const { return size() == 0; }
    iterator begin() { return data(); }
    iterator end() { return data() + size(); }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size(); }
    std::uint8_t& operator[](std::size_t i) { return data()[i]; }
    const std::uint8_t& operator[](std::size_t i) const { return data()[i]; }
    // True when the bytes are held in the value itself.
    bool IsInline() const { return !onHeap_; }

    void clear() noexcept;
    void resize(std::size_t n);
    void push_back(std::uint8_t b) { Append(&b, 1); }
    template <class It>
    void assign(It first, It last) {
        clear();
        for (; first != last; ++first) push_back(static_cast<std::uint8_t>(*first));
    }
    void assign(const std::uint8_t* first, const std::uint8_t* last);
    void Append(const std::uint8_t* bytes, std::size_t n);
    Bytes ToBytes() const { return Bytes(begin(), end()); }

    friend bool operator==(const ValueBytes& a, const ValueBytes& b) { return Equal(a, b.data(), b.size()); }
    friend bool operator==(const ValueBytes& a, const Bytes& b) { return Equal(a, b.data(), b.size()); }

private:
    static bool Equal(const ValueBytes& a, const std::uint8_t* b, std::size_t n);

    // onHeap_: the bytes are heap_ (of any size); otherwise the first size_ of
    // inline_, and heap_ is unused (it may hold a buffer kept for reuse).
    bool onHeap_ = false;
    std::uint8_t size_ = 0;
    std::array<std::uint8_t, kInline> inline_{};
    Bytes heap_;
};

struct PropValue {
    std::uint16_t type = kPtNull;
    ValueBytes data;                // fixed value, string bytes, binary, or concatenated fixed multi-values
    std::vector<Bytes> items;  // multi-valued strings and binaries

    static PropValue Short(std::int16_t v);
    static PropValue Long(std::int32_t v);
    static PropValue Float(float v);
    static PropValue Double(double v);
    static PropValue Currency(std::int64_t v);
    static PropValue AppTime(double v);
    static PropValue Error(std::uint32_t code);
    static PropValue Boolean(bool v);
    static PropValue I8(std::int64_t v);
    static PropValue SysTime(std::uint64_t fileTime);
    static PropValue Unicode(std::string_view utf8);
    static PropValue String8(std::string_view utf8);  // stored as Windows-1252
    static PropValue Binary(Bytes bytes);
    static PropValue Clsid(const Bytes& guid16);
    static PropValue MvShort(const std::vector<std::int16_t>& v);
    static PropValue MvLong(const std::vector<std::int32_t>& v);
    static PropValue MvDouble(const std::vector<double>& v);
    static PropValue MvI8(const std::vector<std::int64_t>& v);
    static PropValue MvSysTime(const std::vector<std::uint64_t>& v);
    static PropValue MvClsid(const std::vector<Bytes>& v);
    static PropValue MvUnicode(const std::vector<std::string>& utf8);
    static PropValue MvString8(const std::vector<std::string>& utf8);
    static PropValue MvBinary(std::vector<Bytes> v);

    std::int64_t AsInt() const;        // short, long, boolean, I8, currency, error, systime
    double AsDouble() const;           // float, double, apptime
    bool AsBool() const { return AsInt() != 0; }
    std::string AsString() const;      // UTF-8 of PT_UNICODE / PT_STRING8
    std::vector<std::string> AsStrings() const;  // multi-valued strings as UTF-8
    std::size_t Count() const;         // values of a multi-valued property
    bool operator==(const PropValue& other) const { return type == other.type && data == other.data && items == other.items; }

    // The encoding a property context or table stores (MV layout with counts and offsets).
    Bytes Encode() const;
    // The size of Encode()'s result, without building it.
    std::size_t EncodedSize() const;
    // True when Encode() gives `data` as it is (every type but variable-size multi-values).
    bool EncodesAsData() const;
    static PropValue Decode(std::uint16_t type, const std::uint8_t* data, std::size_t size);
    // Readable rendering for dumps (texts as UTF-8, binaries as hex).
    std::string Describe() const;
};

// Text conversions used throughout the engine.
Bytes Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(const std::uint8_t* data, std::size_t size);
Bytes Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(const std::uint8_t* data, std::size_t size);

}  // namespace qb::pst
