#pragma once
// Property tags the engine itself reads or fills (a store's own needs).

#include <cstdint>

namespace qb::pst::tags {

inline constexpr std::uint32_t kImportance = 0x00170003;
inline constexpr std::uint32_t kMessageClass = 0x001A001F;
inline constexpr std::uint32_t kSubject = 0x0037001F;
inline constexpr std::uint32_t kClientSubmitTime = 0x00390040;
inline constexpr std::uint32_t kMessageDeliveryTime = 0x0E060040;
inline constexpr std::uint32_t kMessageFlags = 0x0E070003;
inline constexpr std::uint32_t kMessageSize = 0x0E080003;
inline constexpr std::uint32_t kHasAttach = 0x0E1B000B;
inline constexpr std::uint32_t kRecipientType = 0x0C150003;
inline constexpr std::uint32_t kRecordKey = 0x0FF90102;
inline constexpr std::uint32_t kObjectType = 0x0FFE0003;
inline constexpr std::uint32_t kEntryId = 0x0FFF0102;
inline constexpr std::uint32_t kRowId = 0x30000003;
inline constexpr std::uint32_t kDisplayName = 0x3001001F;
inline constexpr std::uint32_t kAddrType = 0x3002001F;
inline constexpr std::uint32_t kEmailAddress = 0x3003001F;
inline constexpr std::uint32_t kCreationTime = 0x30070040;
inline constexpr std::uint32_t kLastModificationTime = 0x30080040;
inline constexpr std::uint32_t kValidFolderMask = 0x35DF0003;
inline constexpr std::uint32_t kIpmSubtreeEntryId = 0x35E00102;
inline constexpr std::uint32_t kIpmWastebasketEntryId = 0x35E30102;
inline constexpr std::uint32_t kCommonViewsEntryId = 0x35E60102;
inline constexpr std::uint32_t kFinderEntryId = 0x35E70102;
inline constexpr std::uint32_t kContentCount = 0x36020003;
inline constexpr std::uint32_t kContentUnread = 0x36030003;
inline constexpr std::uint32_t kSubfolders = 0x360A000B;
inline constexpr std::uint32_t kContainerClass = 0x3613001F;
inline constexpr std::uint32_t kAssocContentCount = 0x36170003;
inline constexpr std::uint32_t kAttachSize = 0x0E200003;
inline constexpr std::uint32_t kAttachDataBin = 0x37010102;
inline constexpr std::uint32_t kAttachDataObj = 0x3701000D;
inline constexpr std::uint32_t kAttachFilename = 0x3704001F;
inline constexpr std::uint32_t kAttachMethod = 0x37050003;
inline constexpr std::uint32_t kAttachLongFilename = 0x3707001F;
inline constexpr std::uint32_t kRenderingPosition = 0x370B0003;
inline constexpr std::uint32_t kDisplayType = 0x39000003;
inline constexpr std::uint32_t kPstLrNoRestrictions = 0x6633000B;
inline constexpr std::uint32_t kPstPassword = 0x67FF0003;

inline constexpr std::int32_t kMsgFlagRead = 0x0001;
inline constexpr std::int32_t kMsgFlagHasAttach = 0x0010;
inline constexpr std::int32_t kAttachByValue = 1;
inline constexpr std::int32_t kAttachEmbeddedMsg = 5;

}  // namespace qb::pst::tags
