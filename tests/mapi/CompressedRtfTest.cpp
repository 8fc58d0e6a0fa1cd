// Compressed RTF: the published examples, round trips, the body of a real
// PST message, the wrapped streams and RTFSync; file streams.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/OutsideTools.h"
#include "support/TempDir.h"
#include "outlook/mapi/CompressedRtf.h"
#include "outlook/mapi/Lzfu.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/mapi/Streams.h"
#include "shell/platform/OutputFile.h"
#include "shell/platform/WrittenFiles.h"

using namespace qb::mapi;

namespace {

std::vector<BYTE> Bytes(std::string_view s) { return {s.begin(), s.end()}; }
std::string Text(const std::vector<BYTE>& b) { return {b.begin(), b.end()}; }

const std::vector<BYTE> kExample1 = {
    0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xf1, 0xc5, 0xc7, 0xa7, 0x03,
    0x00, 0x0a, 0x00, 0x72, 0x63, 0x70, 0x67, 0x31, 0x32, 0x35, 0x42, 0x32, 0x0a, 0xf3, 0x20, 0x68, 0x65,
    0x6c, 0x09, 0x00, 0x20, 0x62, 0x77, 0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f, 0xa0};
const std::string kExample1Text = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";
// A reference that runs past the write position and repeats what it copies.
const std::vector<BYTE> kExample2 = {0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a,
                                     0x46, 0x75, 0xe2, 0xd4, 0x4b, 0x51, 0x41, 0x00, 0x04, 0x20,
                                     0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e, 0xb0};
const std::string kExample2Text = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";

// A message with only the properties RTFSync touches.
class FakeMessage final : public ComObject<IMessage> {
public:
    PropertyBag props;
    MapiPtr<MemoryStream> rtf;

    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* e) override { return MakeMapiError("", "", 0, e); }
    HRESULT SaveChanges(ULONG) override { return S_OK; }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* n, LPSPropValue* v) override {
        return props.GetProps(tags, n, v);
    }
    HRESULT OpenProperty(ULONG tag, LPCIID, ULONG, ULONG flags, LPUNKNOWN* out) override {
        *out = nullptr;
        if (tag != PR_RTF_COMPRESSED) return MAPI_E_NO_SUPPORT;
        if (!rtf && !(flags & MAPI_CREATE)) return MAPI_E_NOT_FOUND;
        if (!rtf) rtf = MemoryStream::Create();
        rtf->AddRef();
        *out = rtf.get();
        return S_OK;
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* p) override { return props.SetProps(n, v, p); }
    HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetAttachmentTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT OpenAttach(ULONG, LPCIID, ULONG, LPATTACH*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetRecipientTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT ModifyRecipients(ULONG, LPADRLIST) override { return MAPI_E_NO_SUPPORT; }
    HRESULT SetReadFlag(ULONG) override { return S_OK; }
};

}  // namespace

TEST(Lzfu, DecodesThePublishedExamples) {
    std::vector<BYTE> raw;
    ASSERT_EQ(lzfu::Decompress(kExample1, raw), S_OK);
    EXPECT_EQ(Text(raw), kExample1Text);
    ASSERT_EQ(lzfu::Decompress(kExample2, raw), S_OK);
    EXPECT_EQ(Text(raw), kExample2Text);
}

TEST(Lzfu, EncodesThePublishedExamplesByteForByte) {
    EXPECT_EQ(lzfu::Compress(Bytes(kExample1Text)), kExample1);
    EXPECT_EQ(lzfu::Compress(Bytes(kExample2Text)), kExample2);
}

TEST(Lzfu, EncodingDoesNotDependOnWhatWasEncodedBefore) {
    // The encoder's tables are reused from one body to the next.
    const std::vector<BYTE> first = lzfu::Compress(Bytes(kExample1Text));
    std::string other;
    for (int i = 0; i < 3000; ++i) other += static_cast<char>('a' + (i * 7919) % 26);
    lzfu::Compress(Bytes(other));
    lzfu::Compress(Bytes(""));
    EXPECT_EQ(lzfu::Compress(Bytes(kExample1Text)), first);
    EXPECT_EQ(lzfu::Compress(Bytes(kExample2Text)), kExample2);
}

TEST(Lzfu, RoundTripsRandomAndRepetitiveData) {
    std::mt19937 random(42);
    for (std::size_t size : {0u, 1u, 2u, 17u, 4095u, 4096u, 4097u, 70000u}) {
        std::vector<BYTE> noise(size), runs(size);
        for (auto& b : noise) b = static_cast<BYTE>(random());
        for (std::size_t i = 0; i < size; ++i) runs[i] = static_cast<BYTE>("\\par {\\b bold} text "[i % 21]);
        for (const auto* input : {&noise, &runs}) {
            std::vector<BYTE> back;
            ASSERT_EQ(lzfu::Decompress(lzfu::Compress(*input), back), S_OK) << size;
            ASSERT_EQ(back, *input) << size;
        }
    }
    // Text compresses to a fraction; the dictionary really is used.
    std::vector<BYTE> text(20000);
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<BYTE>("{\\rtf1 Quillbox \\par}"[i % 21]);
    EXPECT_LT(lzfu::Compress(text).size(), text.size() / 5);
}

TEST(Lzfu, UncompressedFormAndCorruption) {
    const std::vector<BYTE> stored = lzfu::StoreUncompressed(Bytes("{\\rtf1 x}"));
    EXPECT_EQ(Text(std::vector<BYTE>(stored.begin() + 8, stored.begin() + 12)), "MELA");
    std::vector<BYTE> raw;
    ASSERT_EQ(lzfu::Decompress(stored, raw), S_OK);
    EXPECT_EQ(Text(raw), "{\\rtf1 x}");

    std::vector<BYTE> damaged = kExample1;
    damaged[20] ^= 0x01;
    EXPECT_EQ(lzfu::Decompress(damaged, raw), MAPI_E_CORRUPT_DATA);
    std::vector<BYTE> truncated(kExample1.begin(), kExample1.begin() + 30);
    EXPECT_EQ(lzfu::Decompress(truncated, raw), MAPI_E_CORRUPT_DATA);
    std::vector<BYTE> unknownType = kExample1;
    unknownType[8] = 'X';
    EXPECT_EQ(lzfu::Decompress(unknownType, raw), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(lzfu::Crc32(std::vector<BYTE>{}), 0u);
}

// The body of a PST written by the mail client, read through libpff.
TEST(Lzfu, DecodesTheBodyOfARealPstMessage) {
    qb::test::TempDir dir;
    const std::string pst = qb::test::TestDataDir() + "/pst/32-bit.pst";
    ASSERT_TRUE(std::filesystem::exists(pst)) << pst;
    QB_REQUIRE_TOOL("pypff");
    const std::string script = std::string(QUILLBOX_SOURCE_DIR) + "/tests/mapi/extract_rtf_body.py";
    const std::string command =
        "/usr/bin/python3 '" + script + "' '" + pst + "' '" + dir.File("stored") + "' '" + dir.File("rtf") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string stored = qb::test::ReadFile(dir.File("stored"));
    std::string expected = qb::test::ReadFile(dir.File("rtf"));
    // libpff hands the body out with a terminating zero of its own.
    ASSERT_FALSE(expected.empty());
    expected.pop_back();
    std::vector<BYTE> raw;
    ASSERT_EQ(lzfu::Decompress(Bytes(stored), raw), S_OK);
    EXPECT_EQ(Text(raw), expected);
    EXPECT_EQ(Text(raw).rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(RtfToPlainText(Text(raw)).find("Patty will provide Olympus training"), std::string::npos);
    std::vector<BYTE> again;
    ASSERT_EQ(lzfu::Decompress(lzfu::Compress(raw), again), S_OK);
    EXPECT_EQ(again, raw);
}

TEST(WrappedRtfStream, WritesCompressedAndReadsBack) {
    MapiPtr<MemoryStream> compressed = MemoryStream::Create(Bytes("old content"));
    MapiPtr<IStream> plain;
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), MAPI_MODIFY, plain.Put()), S_OK);
    const std::string rtf = "{\\rtf1\\ansi Hello \\b world\\b0\\par}";
    ULONG written = 0;
    ASSERT_EQ(plain->Write(rtf.data(), static_cast<ULONG>(rtf.size()), &written), S_OK);
    ASSERT_EQ(plain->Commit(0), S_OK);
    plain.Reset();
    EXPECT_EQ(Text(std::vector<BYTE>(compressed->Data().begin() + 8, compressed->Data().begin() + 12)), "LZFu");

    MapiPtr<IStream> reader;
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), 0, reader.Put()), S_OK);
    std::vector<BYTE> back;
    ASSERT_EQ(ReadWholeStream(*reader, back), S_OK);
    EXPECT_EQ(Text(back), rtf);
    EXPECT_EQ(reader->Write("x", 1, nullptr), STG_E_ACCESSDENIED);

    // STORE_UNCOMPRESSED_RTF writes the uncompressed form; a release without
    // Commit still keeps what was written.
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), MAPI_MODIFY | STORE_UNCOMPRESSED_RTF, plain.Put()), S_OK);
    ASSERT_EQ(plain->Write(rtf.data(), static_cast<ULONG>(rtf.size()), &written), S_OK);
    plain.Reset();
    EXPECT_EQ(Text(std::vector<BYTE>(compressed->Data().begin() + 8, compressed->Data().begin() + 12)), "MELA");
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), 0, reader.Put()), S_OK);
    ASSERT_EQ(ReadWholeStream(*reader, back), S_OK);
    EXPECT_EQ(Text(back), rtf);

    MapiPtr<MemoryStream> corrupt = MemoryStream::Create(Bytes("0123456789abcdefXYZ"));
    EXPECT_EQ(WrapCompressedRTFStream(corrupt.get(), 0, reader.Put()), MAPI_E_CORRUPT_DATA);
}

TEST(WrappedRtfStream, CopiesAFileAndAnEmptyFileGivesAnEmptyBody) {
    qb::test::TempDir dir;
    for (const std::string& content : {std::string("{\\rtf1 from a file}"), std::string()}) {
        const std::string path = dir.Write("body.rtf", content);
        MapiPtr<IStream> file;
        ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, path.c_str(), nullptr, file.Put()),
                  S_OK);
        MapiPtr<MemoryStream> compressed = MemoryStream::Create();
        MapiPtr<IStream> plain;
        ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), MAPI_MODIFY, plain.Put()), S_OK);
        ULARGE_INTEGER all{};
        all.QuadPart = ~0ULL;
        ULARGE_INTEGER read{}, written{};
        ASSERT_EQ(file->CopyTo(plain.get(), all, &read, &written), S_OK);
        EXPECT_EQ(read.QuadPart, content.size());
        ASSERT_EQ(plain->Commit(1), S_OK);
        std::vector<BYTE> raw;
        ASSERT_EQ(lzfu::Decompress(compressed->Data(), raw), S_OK);
        EXPECT_EQ(Text(raw), content);
    }
}

TEST(FileStream, MissingFileAndStatAndWriting) {
    qb::test::TempDir dir;
    MapiPtr<IStream> stream;
    const std::string missing = dir.File("missing.rtf");
    EXPECT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, missing.c_str(), nullptr, stream.Put()),
              MAPI_E_NOT_FOUND);
    const std::string path = dir.Write("a.bin", "0123456789");
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, path.c_str(), nullptr, stream.Put()),
              S_OK);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 10u);
    EXPECT_NE(stat.mtime.dwHighDateTime, 0u);
    EXPECT_EQ(stream->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
    LARGE_INTEGER move{};
    move.QuadPart = 7;
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), S_OK);
    char tail[8] = {};
    ULONG got = 0;
    ASSERT_EQ(stream->Read(tail, sizeof tail, &got), S_OK);
    EXPECT_EQ(std::string(tail, got), "789");

    const std::string created = dir.File("new.bin");
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READWRITE | STGM_CREATE, created.c_str(),
                               nullptr, stream.Put()),
              S_OK);
    ASSERT_EQ(stream->Write("abc", 3, nullptr), S_OK);
    // The status seen at the opening gives way to the file's own once the
    // stream wrote to it.
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 3u);
    ASSERT_EQ(stream->Commit(0), S_OK);
    stream.Reset();
    EXPECT_EQ(qb::test::ReadFile(created), "abc");
}

TEST(FileStream, ReadsAFileWholeAndThenHearsItsEnd) {
    qb::test::TempDir dir;
    std::string content(70000, 'r');
    content.replace(69990, 10, "0123456789");
    const std::string path = dir.Write("RTF1.rtf", content);
    MapiPtr<IStream> stream;
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, path.c_str(), nullptr, stream.Put()),
              S_OK);
    std::vector<char> buffer(100000);
    ULONG got = 0;
    ASSERT_EQ(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got), S_OK);
    EXPECT_EQ(std::string(buffer.data(), got), content) << "a short read at the end, the whole file before it";
    ASSERT_EQ(stream->Read(buffer.data(), 10, &got), S_OK);
    EXPECT_EQ(got, 0u);

    // A copy of everything runs to the end, and ReadWholeStream too.
    MapiPtr<MemoryStream> copy = MemoryStream::Create();
    LARGE_INTEGER zero{};
    ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    ULARGE_INTEGER all{}, read{}, written{};
    all.QuadPart = ~0ULL;
    ASSERT_EQ(stream->CopyTo(copy.get(), all, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, content.size());
    EXPECT_EQ(std::string(copy->Data().begin(), copy->Data().end()), content);
    std::vector<BYTE> whole;
    ASSERT_EQ(qb::mapi::ReadWholeStream(*stream, whole), S_OK);
    EXPECT_EQ(whole.size(), content.size());
}

namespace {

// What a reader sees of a file through a read-only stream: bytes by small
// reads and by a copy, a seek from the end, the status, and refusals.
struct StreamView {
    std::string readBytes, copiedBytes, tail;
    ULONGLONG size = 0;
    FILETIME mtime{}, ctime{};
    HRESULT write = S_OK, setSize = S_OK;
};

StreamView ViewThroughStream(const std::string& path) {
    StreamView view;
    MapiPtr<IStream> stream;
    EXPECT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, path.c_str(), nullptr, stream.Put()),
              S_OK);
    if (!stream) return view;
    char chunk[7];
    for (ULONG got = 1; got != 0;) {
        EXPECT_EQ(stream->Read(chunk, sizeof chunk, &got), S_OK);
        view.readBytes.append(chunk, got);
    }
    LARGE_INTEGER move{};
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), S_OK);
    MapiPtr<MemoryStream> copy = MemoryStream::Create();
    ULARGE_INTEGER all{}, read{}, written{};
    all.QuadPart = ~0ULL;
    EXPECT_EQ(stream->CopyTo(copy.get(), all, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, written.QuadPart);
    view.copiedBytes.assign(copy->Data().begin(), copy->Data().end());
    move.QuadPart = -3;
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_END, nullptr), S_OK);
    ULONG got = 0;
    EXPECT_EQ(stream->Read(chunk, sizeof chunk, &got), S_OK);
    view.tail.assign(chunk, got);
    STATSTG stat{};
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    view.size = stat.cbSize.QuadPart;
    view.mtime = stat.mtime;
    view.ctime = stat.ctime;
    view.write = stream->Write("x", 1, nullptr);
    view.setSize = stream->SetSize(ULARGE_INTEGER{});
    return view;
}

}  // namespace

// A file this process has just written is read back from memory; the reader
// sees exactly what a file stream over it gives, and a file changed since is
// read from disk.
TEST(FileStream, AJustWrittenFileReadsBackAsTheFileOnDisk) {
    qb::test::TempDir dir;
    const std::string path = dir.File("RTF7.rtf");
    const std::string content = "{\\rtf1 a body of some length}" + std::string(70000, 'b') + "end";
    std::string error;
    qb::platform::WrittenFiles::ForceEnabled(true);
    ASSERT_TRUE(qb::platform::WriteWholeFile(path, content, &error)) << error;
    ASSERT_TRUE(qb::platform::WrittenFiles::Shared().Recall(path, nullptr)) << "read back from memory";
    const StreamView remembered = ViewThroughStream(path);
    qb::platform::WrittenFiles::ForceEnabled(false);
    const StreamView fromDisk = ViewThroughStream(path);
    qb::platform::WrittenFiles::ForceEnabled(std::nullopt);

    EXPECT_EQ(remembered.readBytes, content);
    EXPECT_EQ(fromDisk.readBytes, content);
    EXPECT_EQ(remembered.copiedBytes, content);
    EXPECT_EQ(remembered.tail, "end");
    EXPECT_EQ(fromDisk.tail, "end");
    EXPECT_EQ(remembered.size, fromDisk.size);
    EXPECT_EQ(remembered.mtime.dwLowDateTime, fromDisk.mtime.dwLowDateTime);
    EXPECT_EQ(remembered.mtime.dwHighDateTime, fromDisk.mtime.dwHighDateTime);
    EXPECT_EQ(remembered.ctime.dwLowDateTime, fromDisk.ctime.dwLowDateTime);
    EXPECT_EQ(remembered.write, fromDisk.write);
    EXPECT_EQ(remembered.write, STG_E_ACCESSDENIED);
    EXPECT_EQ(remembered.setSize, fromDisk.setSize);

    // Rewritten through a writable stream, the file is read from disk again.
    qb::platform::WrittenFiles::ForceEnabled(true);
    ASSERT_TRUE(qb::platform::WriteWholeFile(path, "old", &error)) << error;
    MapiPtr<IStream> writer;
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READWRITE, path.c_str(), nullptr,
                               writer.Put()),
              S_OK);
    ASSERT_EQ(writer->Write("new", 3, nullptr), S_OK);
    writer.Reset();
    EXPECT_EQ(ViewThroughStream(path).readBytes, "new");
    qb::platform::WrittenFiles::ForceEnabled(std::nullopt);
}

TEST(RtfSync, RtfChangedFillsAMissingBodyAndMarksInSync) {
    MapiPtr<FakeMessage> message = MakeObject<FakeMessage>();
    message->rtf = MemoryStream::Create(lzfu::Compress(Bytes(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\*\\generator x;}Caf\\'e9 \\u8364?\\par next\\tab line}")));
    BOOL updated = FALSE;
    ASSERT_EQ(RTFSync(message.get(), RTF_SYNC_RTF_CHANGED, &updated), S_OK);
    EXPECT_TRUE(updated);
    EXPECT_EQ(message->props.GetString(PR_BODY), "Caf\xC3\xA9 \xE2\x82\xAC\r\nnext\tline");
    EXPECT_EQ(message->props.GetBool(PR_RTF_IN_SYNC), true);

    // A body that is there already is kept.
    message->props.SetString(PR_BODY, "mine");
    ASSERT_EQ(RTFSync(message.get(), RTF_SYNC_RTF_CHANGED, &updated), S_OK);
    EXPECT_EQ(message->props.GetString(PR_BODY), "mine");
}

TEST(RtfSync, BodyChangedWritesRtfOnlyWhenThereIsABody) {
    MapiPtr<FakeMessage> message = MakeObject<FakeMessage>();
    BOOL updated = TRUE;
    ASSERT_EQ(RTFSync(message.get(), RTF_SYNC_BODY_CHANGED, &updated), S_OK);
    EXPECT_FALSE(updated);
    EXPECT_FALSE(message->rtf);

    message->props.SetString(PR_BODY, "a {b}\nc");
    ASSERT_EQ(RTFSync(message.get(), RTF_SYNC_BODY_CHANGED, &updated), S_OK);
    EXPECT_TRUE(updated);
    ASSERT_TRUE(message->rtf);
    std::vector<BYTE> raw;
    ASSERT_EQ(lzfu::Decompress(message->rtf->Data(), raw), S_OK);
    EXPECT_EQ(RtfToPlainText(Text(raw)), "a {b}\r\nc");
    EXPECT_EQ(RTFSync(message.get(), 0x80, &updated), MAPI_E_UNKNOWN_FLAGS);
}
