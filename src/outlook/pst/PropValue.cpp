#include "outlook/pst/PropValue.h"

#include <cstdio>
#include <cstring>

#include "text/Cp1252.h"
#include "text/Utf16.h"

namespace qb::pst {

ValueBytes& ValueBytes::operator=(Bytes&& bytes) noexcept {
    if (bytes.size() <= kInline) {
        // Kept inline: a small vector given up here frees its buffer now.
        heap_.clear();
        onHeap_ = false;
        size_ = static_cast<std::uint8_t>(bytes.size());
        if (size_) std::memcpy(inline_.data(), bytes.data(), size_);
        Bytes().swap(bytes);
        return *this;
    }
    heap_ = std::move(bytes);
    onHeap_ = true;
    return *this;
}

void ValueBytes::clear() noexcept {
    // A heap buffer is kept for reuse only while the value stays on the heap.
    if (onHeap_) heap_.clear();
    onHeap_ = false;
    size_ = 0;
}

void ValueBytes::assign(const std::uint8_t* first, const std::uint8_t* last) {
    const std::size_t n = static_cast<std::size_t>(last - first);
    if (n <= kInline) {
        onHeap_ = false;
        heap_.clear();
        size_ = static_cast<std::uint8_t>(n);
        if (n) std::memcpy(inline_.data(), first, n);
        return;
    }
    heap_.assign(first, last);
    onHeap_ = true;
}

void ValueBytes::resize(std::size_t n) {
    if (onHeap_) {
        heap_.resize(n);
        return;
    }
    if (n <= kInline) {
        if (n > size_) std::memset(inline_.data() + size_, 0, n - size_);
        size_ = static_cast<std::uint8_t>(n);
        return;
    }
    heap_.assign(inline_.data(), inline_.data() + size_);
    heap_.resize(n);
    onHeap_ = true;
}

void ValueBytes::Append(const std::uint8_t* bytes, std::size_t n) {
    if (!onHeap_ && size_ + n <= kInline) {
        if (n) std::memcpy(inline_.data() + size_, bytes, n);
        size_ = static_cast<std::uint8_t>(size_ + n);
        return;
    }
    if (!onHeap_) {
        heap_.assign(inline_.data(), inline_.data() + size_);
        onHeap_ = true;
    }
    heap_.insert(heap_.end(), bytes, bytes + n);
}

bool ValueBytes::Equal(const ValueBytes& a, const std::uint8_t* b, std::size_t n) {
    return a.size() == n && (n == 0 || std::memcmp(a.data(), b, n) == 0);
}

namespace {
template <class T>
PropValue FixedValue(std::uint16_t type, T v) {
    PropValue p;
    p.type = type;
    p.data.resize(sizeof(T));
    std::memcpy(p.data.data(), &v, sizeof(T));
    return p;
}

template <class T>
PropValue FixedMulti(std::uint16_t type, const std::vector<T>& v) {
    PropValue p;
    p.type = type | kPtMvFlag;
    p.data.resize(v.size() * sizeof(T));
    if (!v.empty()) std::memcpy(p.data.data(), v.data(), p.data.size());
    return p;
}

template <class Buffer>
std::string TextOf(std::uint16_t baseType, const Buffer& b) {
    return baseType == kPtUnicode ? Utf16ToUtf8(b.data(), b.size()) : Cp1252ToUtf8(b.data(), b.size());
}
}  // namespace

Bytes Utf8ToUtf16(std::string_view utf8) {
    Bytes out;
    text::AppendUtf16Le(out, utf8);
    return out;
}

std::string Utf16ToUtf8(const std::uint8_t* data, std::size_t size) { return text::Utf16LeToUtf8(data, size); }

Bytes Utf8ToCp1252(std::string_view utf8) {
    const std::string ansi = text::Utf8ToCp1252(utf8);
    return Bytes(ansi.begin(), ansi.end());
}

std::string Cp1252ToUtf8(const std::uint8_t* data, std::size_t size) {
    return text::Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
}

std::size_t FixedSizeOf(std::uint16_t type) {
    switch (type & ~kPtMvFlag) {
        case kPtShort: return 2;
        case kPtLong: case kPtFloat: case kPtError: return 4;
        case kPtBoolean: return type & kPtMvFlag ? 0 : 1;
        case kPtDouble: case kPtCurrency: case kPtAppTime: case kPtI8: case kPtSysTime: return 8;
        case kPtClsid: return 16;
        default: return 0;
    }
}

bool IsMultiValued(std::uint16_t type) { return (type & kPtMvFlag) != 0; }
bool IsVariableSize(std::uint16_t type) {
    return IsMultiValued(type) || type == kPtString8 || type == kPtUnicode || type == kPtBinary || type == kPtObject ||
           type == kPtSvrEid || type == kPtSRestrict || type == kPtActions || type == kPtClsid;
}

PropValue PropValue::Short(std::int16_t v) { return FixedValue(kPtShort, v); }
PropValue PropValue::Long(std::int32_t v) { return FixedValue(kPtLong, v); }
PropValue PropValue::Float(float v) { return FixedValue(kPtFloat, v); }
PropValue PropValue::Double(double v) { return FixedValue(kPtDouble, v); }
PropValue PropValue::Currency(std::int64_t v) { return FixedValue(kPtCurrency, v); }
PropValue PropValue::AppTime(double v) { return FixedValue(kPtAppTime, v); }
PropValue PropValue::Error(std::uint32_t code) { return FixedValue(kPtError, code); }
PropValue PropValue::Boolean(bool v) { return FixedValue(kPtBoolean, std::uint8_t(v ? 1 : 0)); }
PropValue PropValue::I8(std::int64_t v) { return FixedValue(kPtI8, v); }
PropValue PropValue::SysTime(std::uint64_t fileTime) { return FixedValue(kPtSysTime, fileTime); }
PropValue PropValue::Unicode(std::string_view utf8) { PropValue p; p.type = kPtUnicode; p.data = Utf8ToUtf16(utf8); return p; }
PropValue PropValue::String8(std::string_view utf8) { PropValue p; p.type = kPtString8; p.data = Utf8ToCp1252(utf8); return p; }
PropValue PropValue::Binary(Bytes bytes) { PropValue p; p.type = kPtBinary; p.data = std::move(bytes); return p; }
PropValue PropValue::Clsid(const Bytes& guid16) { PropValue p; p.type = kPtClsid; p.data = guid16; p.data.resize(16); return p; }
PropValue PropValue::MvShort(const std::vector<std::int16_t>& v) { return FixedMulti(kPtShort, v); }
PropValue PropValue::MvLong(const std::vector<std::int32_t>& v) { return FixedMulti(kPtLong, v); }
PropValue PropValue::MvDouble(const std::vector<double>& v) { return FixedMulti(kPtDouble, v); }
PropValue PropValue::MvI8(const std::vector<std::int64_t>& v) { return FixedMulti(kPtI8, v); }
PropValue PropValue::MvSysTime(const std::vector<std::uint64_t>& v) { return FixedMulti(kPtSysTime, v); }
PropValue PropValue::MvClsid(const std::vector<Bytes>& v) {
    PropValue p;
    p.type = kPtClsid | kPtMvFlag;
    for (Bytes g : v) { g.resize(16); p.data.Append(g.data(), g.size()); }
    return p;
}
PropValue PropValue::MvUnicode(const std::vector<std::string>& utf8) {
    PropValue p;
    p.type = kPtUnicode | kPtMvFlag;
    for (const auto& s : utf8) p.items.push_back(Utf8ToUtf16(s));
    return p;
}
PropValue PropValue::MvString8(const std::vector<std::string>& utf8) {
    PropValue p;
    p.type = kPtString8 | kPtMvFlag;
    for (const auto& s : utf8) p.items.push_back(Utf8ToCp1252(s));
    return p;
}
PropValue PropValue::MvBinary(std::vector<Bytes> v) {
    PropValue p;
    p.type = kPtBinary | kPtMvFlag;
    p.items = std::move(v);
    return p;
}

std::int64_t PropValue::AsInt() const {
    switch (type) {
        case kPtShort: return data.size() >= 2 ? std::int16_t(Get16(data.data())) : 0;
        case kPtLong: case kPtError: return data.size() >= 4 ? std::int32_t(Get32(data.data())) : 0;
        case kPtBoolean: return !data.empty() && data[0] != 0;
        case kPtI8: case kPtCurrency: case kPtSysTime: return data.size() >= 8 ? std::int64_t(Get64(data.data())) : 0;
        default: return 0;
    }
}

double PropValue::AsDouble() const {
    if (type == kPtFloat && data.size() >= 4) { float f; std::memcpy(&f, data.data(), 4); return f; }
    if ((type == kPtDouble || type == kPtAppTime) && data.size() >= 8) { double d; std::memcpy(&d, data.data(), 8); return d; }
    return double(AsInt());
}

std::string PropValue::AsString() const {
    if (type == kPtUnicode || type == kPtString8) return TextOf(type, data);
    return {};
}

std::vector<std::string> PropValue::AsStrings() const {
    std::vector<std::string> out;
    std::uint16_t base = type & ~kPtMvFlag;
    if (IsMultiValued(type) && (base == kPtUnicode || base == kPtString8))
        for (const Bytes& b : items) out.push_back(TextOf(base, b));
    return out;
}

std::size_t PropValue::Count() const {
    if (!IsMultiValued(type)) return 1;
    std::size_t fixed = FixedSizeOf(type);
    return fixed ? data.size() / fixed : items.size();
}

bool PropValue::EncodesAsData() const { return !IsMultiValued(type) || FixedSizeOf(type) != 0; }

std::size_t PropValue::EncodedSize() const {
    if (EncodesAsData()) return data.size();
    std::size_t size = 4 + 4 * items.size();
    for (const Bytes& item : items) size += item.size();
    return size;
}

Bytes PropValue::Encode() const {
    if (EncodesAsData()) return data.ToBytes();
    Bytes out;
    Append32(out, std::uint32_t(items.size()));
    std::uint32_t offset = std::uint32_t(4 + 4 * items.size());
    for (const Bytes& item : items) {
        Append32(out, offset);
        offset += std::uint32_t(item.size());
    }
    for (const Bytes& item : items) out.insert(out.end(), item.begin(), item.end());
    return out;
}

PropValue PropValue::Decode(std::uint16_t type, const std::uint8_t* data, std::size_t size) {
    PropValue p;
    p.type = type;
    if (!IsMultiValued(type) || FixedSizeOf(type) != 0) {
        p.data.assign(data, data + size);
        return p;
    }
    if (size < 4) return p;
    std::uint32_t count = Get32(data);
    if (count > (size - 4) / 4) throw PstError("multi-valued property with a bad count");
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t begin = Get32(data + 4 + 4 * i);
        std::uint32_t end = i + 1 < count ? Get32(data + 8 + 4 * i) : std::uint32_t(size);
        if (begin > end || end > size) throw PstError("multi-valued property with a bad offset");
        p.items.emplace_back(data + begin, data + end);
    }
    return p;
}

std::string PropValue::Describe() const {
    auto hex = [](const auto& b) {
        std::string s;
        char buf[4];
        for (std::size_t i = 0; i < b.size() && i < 64; ++i) { std::snprintf(buf, sizeof buf, "%02X", b[i]); s += buf; }
        if (b.size() > 64) s += "...(" + std::to_string(b.size()) + " bytes)";
        return s;
    };
    std::uint16_t base = type & ~kPtMvFlag;
    if (IsMultiValued(type)) {
        std::string s = "[";
        std::size_t n = Count();
        std::size_t fixed = FixedSizeOf(type);
        for (std::size_t i = 0; i < n; ++i) {
            if (i) s += ", ";
            if (fixed) s += PropValue::Decode(base, data.data() + i * fixed, fixed).Describe();
            else if (base == kPtUnicode || base == kPtString8) s.append(1, '"').append(TextOf(base, items[i])).append(1, '"');
            else s += hex(items[i]);
        }
        return s + "]";
    }
    char buf[64];
    switch (type) {
        case kPtUnicode: case kPtString8: return std::string(1, '"').append(AsString()).append(1, '"');
        case kPtBoolean: return AsBool() ? "true" : "false";
        case kPtFloat: case kPtDouble: case kPtAppTime: std::snprintf(buf, sizeof buf, "%g", AsDouble()); return buf;
        case kPtShort: case kPtLong: case kPtI8: case kPtCurrency: case kPtSysTime:
            return std::to_string(AsInt());
        case kPtError: std::snprintf(buf, sizeof buf, "error 0x%08X", unsigned(AsInt())); return buf;
        default: return hex(data);
    }
}

}  // namespace qb::pst
