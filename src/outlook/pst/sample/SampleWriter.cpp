#include "outlook/pst/sample/SampleWriter.h"

#include <cstdio>
#include <random>
#include <vector>

#include "outlook/pst/PstTags.h"

namespace qb::pst {
namespace {
constexpr std::uint32_t kBody = 0x1000001F;
constexpr std::uint32_t kHtml = 0x10130102;
constexpr std::uint32_t kSenderName = 0x0C1A001F;
constexpr std::uint32_t kSenderEmail = 0x0C1F001F;
constexpr std::uint32_t kSentRepresentingName = 0x0042001F;
constexpr std::uint32_t kDisplayTo = 0x0E04001F;
constexpr std::uint32_t kDisplayCc = 0x0E03001F;
constexpr std::uint32_t kConversationTopic = 0x0070001F;
constexpr std::uint32_t kSensitivity = 0x00360003;
constexpr std::uint32_t kReadReceipt = 0x0029000B;
constexpr std::uint32_t kInternetCodepage = 0x3FDE0003;
constexpr std::uint32_t kSmtpAddress = 0x39FE001F;
constexpr std::uint32_t kAttachMimeTag = 0x370E001F;
constexpr std::uint32_t kAttachExtension = 0x3703001F;

const char* const kFolderPaths[] = {"Inbox", "Inbox\\Projects", "Inbox\\Projects\\2009", "Sent Items",
                                    "Archive", "Archive\\Ünïcödé Ordner", "Deleted Items"};

std::string Text(std::mt19937& rng, std::size_t size) {
    static const char* const words[] = {"meeting", "budget", "Grüße", "review", "Notes", "Outlook", "naïve", "café",
                                        "schedule", "日本語", "report", "quarterly", "Ελληνικά", "draft", "memo"};
    std::string out;
    while (out.size() < size) {
        out += words[rng() % (sizeof words / sizeof *words)];
        out += (rng() % 12 == 0) ? "\r\n" : " ";
    }
    return out;
}

std::size_t AttachmentSize(std::size_t index, std::size_t n, std::mt19937& rng) {
    // Every size class appears in the first ten messages.
    static const std::size_t first[] = {0, 100, 3000, 9000, 9 * 1024 * 1024, 100000, 600000, 3 * 1024 * 1024, 20000, 5000};
    if (index < 10) return first[index];
    if (index % 5000 == 4) return 9 * 1024 * 1024;
    if (index % 1000 == 7) return 3 * 1024 * 1024;
    if (index % 100 == 3) return 200000;
    (void)n;
    return rng() % 30000;
}
constexpr std::size_t kBenchBodies = 64;
constexpr std::size_t kBenchBodySize = 5000;
constexpr std::size_t kBenchAttachmentSize = 100 * 1024;
constexpr std::size_t kBenchDataSize = 1024 * 1024 + kBenchAttachmentSize;

void FillRandom(std::mt19937& rng, std::uint8_t* out, std::size_t n) {
    for (std::size_t k = 0; k < n; k += 4) {
        std::uint32_t v = std::uint32_t(rng());
        for (std::size_t b = 0; b < 4 && k + b < n; ++b) out[k + b] = std::uint8_t(v >> (8 * b));
    }
}
}  // namespace

BenchContent PrepareBenchContent(std::uint32_t seed) {
    std::mt19937 rng(seed);
    BenchContent content;
    for (std::size_t i = 0; i < kBenchBodies; ++i) content.bodies.push_back(Text(rng, kBenchBodySize));
    content.data.resize(kBenchDataSize);
    FillRandom(rng, content.data.data(), content.data.size());
    return content;
}

std::string SampleSubject(std::size_t index) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Sample %06zu", index);
    return std::string(buf) + (index % 3 == 0 ? " — Grüße aus Köln ✓" : " status report");
}

SampleSummary WriteSampleStore(const std::string& path, const SampleOptions& options) {
    std::mt19937 rng(options.seed);
    auto store = PstStore::Create(path, options.format, "Quillbox sample");
    store->SetCommitPolicy(options.policy);
    SampleSummary summary;
    std::map<std::string, Nid> folders;
    const Nid top = store->IpmSubtree();
    for (const char* p : kFolderPaths) {
        std::string path(p);
        std::size_t cut = path.rfind('\\');
        Nid parent = cut == std::string::npos ? top : folders.at(path.substr(0, cut));
        std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
        Nid existing = store->FindSubfolder(parent, name);
        folders[path] = existing ? existing : store->CreateFolder(parent, name, "IPF.Note");
        summary.folders[path] = 0;
    }
    const NamedProperty keywords{kPsPublicStrings, true, 0, "Keywords"};
    const NamedProperty percent{ParseGuid("{00062003-0000-0000-C000-000000000046}"), false, 0x8102, ""};
    const NamedProperty codes{ParseGuid("{6ED8DA90-450B-101B-98DA-00AA003F1305}"), false, 0x0003, ""};
    const NamedProperty blobs{ParseGuid("{6ED8DA90-450B-101B-98DA-00AA003F1305}"), true, 0, "QuillboxBlobs"};
    const NamedProperty counter{ParseGuid("{6ED8DA90-450B-101B-98DA-00AA003F1305}"), true, 0, "QuillboxCounter"};
    const std::uint16_t idKeywords = store->GetIdFromName(keywords, true);
    const std::uint16_t idPercent = store->GetIdFromName(percent, true);
    const std::uint16_t idCodes = store->GetIdFromName(codes, true);
    const std::uint16_t idBlobs = store->GetIdFromName(blobs, true);
    const std::uint16_t idCounter = store->GetIdFromName(counter, true);
    const std::uint64_t baseTime = 128800000000000000ull;  // 2009
    std::vector<std::uint8_t> chunk(64 * 1024);
    const std::size_t folderCount = sizeof kFolderPaths / sizeof *kFolderPaths;
    BenchContent ownContent;
    const BenchContent* bench = options.benchContent;
    if (options.benchShape && !bench) {
        ownContent = PrepareBenchContent(options.seed);
        bench = &ownContent;
    }

    for (std::size_t i = 0; i < options.messages; ++i) {
        std::string folderPath = kFolderPaths[i % folderCount];
        auto m = store->CreateMessage(folders.at(folderPath));
        std::uint64_t when = baseTime + std::uint64_t(i) * 36000000000ull;
        m->SetProperty(tags::kMessageClass, PropValue::Unicode("IPM.Note"));
        m->SetProperty(tags::kSubject, PropValue::Unicode(SampleSubject(i)));
        m->SetProperty(kConversationTopic, PropValue::Unicode(SampleSubject(i)));
        std::string body = "Body of message " + std::to_string(i) + ". Grüße, naïve café. ";
        if (bench) body += bench->bodies[i % bench->bodies.size()];
        else body += Text(rng, i % 50 == 1 ? 20000 : i % 500 == 2 ? 600000 : 200 + rng() % 2000);
        summary.bodyBytes += body.size();
        m->SetProperty(kBody, PropValue::Unicode(body));
        if (i % 4 == 1 && !options.benchShape) m->SetProperty(kHtml, PropValue::Binary(Bytes(body.begin(), body.begin() + long(std::min<std::size_t>(body.size(), 5000)))));
        m->SetProperty(kSenderName, PropValue::Unicode("Jürgen Müller"));
        m->SetProperty(kSenderEmail, PropValue::Unicode("juergen.mueller@example.com"));
        m->SetProperty(kSentRepresentingName, PropValue::Unicode("Jürgen Müller"));
        m->SetProperty(tags::kClientSubmitTime, PropValue::SysTime(when));
        m->SetProperty(tags::kMessageDeliveryTime, PropValue::SysTime(when + 600000000));
        m->SetProperty(tags::kCreationTime, PropValue::SysTime(when));
        m->SetProperty(tags::kLastModificationTime, PropValue::SysTime(when + 600000000));
        m->SetProperty(tags::kImportance, PropValue::Long(std::int32_t(i % 3)));
        m->SetProperty(kSensitivity, PropValue::Long(0));
        m->SetProperty(tags::kMessageFlags, PropValue::Long(i % 2 ? tags::kMsgFlagRead : 0));
        m->SetProperty(kReadReceipt, PropValue::Boolean(i % 5 == 0));
        m->SetProperty(kInternetCodepage, PropValue::Long(options.format == PstFormat::Unicode ? 65001 : 1252));
        m->SetProperty(MakeTag(idKeywords, kPtUnicode | kPtMvFlag), PropValue::MvUnicode({"Notes", "Export", "Ärger"}));
        m->SetProperty(MakeTag(idPercent, kPtDouble), PropValue::Double(double(i % 100) / 100.0));
        m->SetProperty(MakeTag(idCodes, kPtLong | kPtMvFlag), PropValue::MvLong({1, 2, std::int32_t(i)}));
        m->SetProperty(MakeTag(idBlobs, kPtBinary | kPtMvFlag), PropValue::MvBinary({Bytes{1, 2, 3}, Bytes(40, 0xAB)}));
        m->SetProperty(MakeTag(idCounter, kPtI8), PropValue::I8(std::int64_t(i) * 1000000007ll));
        // Recipients of three classes.
        std::string to, cc;
        std::size_t count = options.benchShape ? 2 : 1 + i % 3;
        for (std::size_t r = 0; r < count; ++r) {
            std::int32_t type = std::int32_t(r % 3 + 1);
            std::string name = r == 0 ? "Zoë Åberg" : "Person " + std::to_string(r);
            std::string address = "person" + std::to_string(r) + "@example.com";
            Properties row;
            row[TagId(tags::kRecipientType)] = PropValue::Long(type);
            row[TagId(tags::kDisplayName)] = PropValue::Unicode(name);
            row[TagId(tags::kAddrType)] = PropValue::Unicode("SMTP");
            row[TagId(tags::kEmailAddress)] = PropValue::Unicode(address);
            row[TagId(kSmtpAddress)] = PropValue::Unicode(address);
            row[TagId(tags::kObjectType)] = PropValue::Long(6);
            row[TagId(tags::kDisplayType)] = PropValue::Long(0);
            m->AddRecipient(row);
            if (type == 1) to += (to.empty() ? "" : "; ") + name;
            if (type == 2) cc += (cc.empty() ? "" : "; ") + name;
        }
        m->SetProperty(kDisplayTo, PropValue::Unicode(to));
        if (!cc.empty()) m->SetProperty(kDisplayCc, PropValue::Unicode(cc));
        // Attachments.
        std::size_t attachments = options.benchShape ? (i % 10 == 0 ? 1 : 0) : (i < 10 ? 1 : (rng() % 5 == 0 ? 1 + rng() % 2 : 0));
        for (std::size_t a = 0; a < attachments; ++a) {
            AttachmentBuilder& att = m->AddAttachment();
            std::size_t size = bench ? kBenchAttachmentSize : AttachmentSize(i, options.messages, rng);
            std::string name = (i % 3 == 0 ? "Bericht-Ü" : "report") + std::to_string(i) + "-" + std::to_string(a) + ".bin";
            att.SetProperty(tags::kAttachFilename, PropValue::Unicode(name));
            att.SetProperty(tags::kAttachLongFilename, PropValue::Unicode(name));
            att.SetProperty(tags::kDisplayName, PropValue::Unicode(name));
            att.SetProperty(kAttachExtension, PropValue::Unicode(".bin"));
            att.SetProperty(kAttachMimeTag, PropValue::Unicode("application/octet-stream"));
            att.SetProperty(tags::kAttachMethod, PropValue::Long(tags::kAttachByValue));
            if (bench) {
                // A different slice for each attachment (offsets in steps of 4 KB + 64 bytes).
                std::size_t offset = (i / 10 * 4160) % (bench->data.size() - size + 1);
                const std::uint8_t* data = bench->data.data() + offset;
                for (std::size_t done = 0; done < size;) {
                    std::size_t n = std::min(chunk.size(), size - done);
                    att.Write(data + done, n);
                    done += n;
                }
            }
            for (std::size_t done = 0; !bench && done < size;) {
                std::size_t n = std::min(chunk.size(), size - done);
                FillRandom(rng, chunk.data(), n);
                att.Write(chunk.data(), n);
                done += n;
            }
            summary.attachmentBytes += size;
            ++summary.attachments;
            if (size == 0) ++summary.emptyAttachments;
        }
        if (!options.benchShape && i % 7 == 6) {
            AttachmentBuilder& att = m->AddAttachment();
            att.SetProperty(tags::kDisplayName, PropValue::Unicode("Forwarded: " + SampleSubject(i)));
            MessageBuilder& inner = att.EmbeddedMessage();
            inner.SetProperty(tags::kMessageClass, PropValue::Unicode("IPM.Note"));
            inner.SetProperty(tags::kSubject, PropValue::Unicode("Inner message of " + std::to_string(i)));
            inner.SetProperty(kBody, PropValue::Unicode("Embedded body — ünïcödé"));
            inner.SetProperty(tags::kMessageFlags, PropValue::Long(tags::kMsgFlagRead));
            ++summary.attachments;
            ++summary.embeddedMessages;
        }
        m->Save();
        ++summary.folders[folderPath];
        ++summary.messages;
    }
    store->Close();
    return summary;
}

std::string SampleSummaryJson(const SampleSummary& summary, const SampleOptions& options) {
    auto escape = [](const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c == '\\' || c == '"') out += '\\';
            out += c;
        }
        return out;
    };
    std::string json = "{\n  \"format\": \"";
    json += options.format == PstFormat::Unicode ? "unicode" : "ansi";
    json += "\",\n  \"messages\": " + std::to_string(summary.messages) + ",\n  \"attachments\": " +
            std::to_string(summary.attachments) + ",\n  \"emptyAttachments\": " + std::to_string(summary.emptyAttachments) +
            ",\n  \"embeddedMessages\": " + std::to_string(summary.embeddedMessages) + ",\n  \"folders\": {";
    bool first = true;
    for (const auto& [path, count] : summary.folders) {
        json += first ? "\n" : ",\n";
        first = false;
        json += "    \"" + escape(path) + "\": " + std::to_string(count);
    }
    json += "\n  }\n}\n";
    return json;
}

}  // namespace qb::pst
