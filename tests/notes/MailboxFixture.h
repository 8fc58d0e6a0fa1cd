#pragma once
// A small mailbox in formatted DXL: views, folders, memos, a calendar entry,
// a task, a response and a document with every value form.

#include <string>

namespace qb::test {

inline constexpr const char* kInboxUnid = "0F0F0F0F0F0F0F0F852500000000A001";
inline constexpr const char* kAlphaUnid = "0F0F0F0F0F0F0F0F852500000000A002";
inline constexpr const char* kMemo1Unid = "AAAAAAAA11111111852500000000B001";
// "Hello, world!" in base64, and the attachment's name.
inline constexpr const char* kAttachmentBase64 = "SGVsbG8s\n IHdvcmxkIQ==";
inline constexpr const char* kAttachmentText = "Hello, world!";

inline std::string MailboxDxl(const std::string& extraDocuments = "") {
    std::string dxl = R"(<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE database>
<database xmlns='http://www.lotus.com/dxl' version='9.0' title='Mail of User One' replicaid='85257A1B0046C1A2'>
<acl><aclentry name='-Default-' default='true' level='editor'/><aclentry name='CN=User One/O=Org' level='manager'/></acl>
<view name='($All)'><noteinfo noteid='10' unid='0F0F0F0F0F0F0F0F852500000000A010'/>
<code event='selection'><formula>SELECT @All</formula></code>
<column sort='descending' itemname='PostedDate'><columnheader title='Date'/></column></view>
<view name='Meetings|($Calendar)' calendar='true'><noteinfo noteid='14' unid='0F0F0F0F0F0F0F0F852500000000A014'/>
<code event='selection'><formula>SELECT Form = "Appointment"</formula></code>
<column sort='ascending' itemname='CalendarDateTime'/></view>
<view name='Broken'><noteinfo noteid='18' unid='0F0F0F0F0F0F0F0F852500000000A018'/>
<code event='selection'><formula>SELECT @Now &gt; 1</formula></code></view>
<folder name='($Inbox)'><noteinfo noteid='1c' unid=')" + std::string(kInboxUnid) + R"('/></folder>
<folder name='Projects\Alpha'><noteinfo noteid='20' unid=')" + std::string(kAlphaUnid) + R"('/></folder>
<document form='Memo'><noteinfo noteid='100' unid=')" + std::string(kMemo1Unid) + R"('>
<created><datetime>20090512T101530,12+02</datetime></created>
<modified><datetime dst='true'>20090513T080000,00+02</datetime></modified></noteinfo>
<item name='Subject'><text>First memo</text></item>
<item name='From' names='true'><text>CN=User Two/OU=Sales/O=Org</text></item>
<item name='SendTo' names='true'><textlist><text>CN=User One/O=Org</text><text>someone@example.com</text></textlist></item>
<item name='PostedDate'><datetime>20090512T101530,12+02</datetime></item>
<item name='$FolderRefs'><textlist><text>)" + std::string(kInboxUnid) + R"(</text><text>)" + kAlphaUnid + R"(</text></textlist></item>
<item name='Body'><richtext><pardef id='1' align='center'/><par def='1'><run><font style='bold' size='12pt' name='Arial'/>Hello</run> plain<break/>next line</par>
<par def='1'>Second paragraph<attachmentref name='note.txt' displayname='note.txt'/></par></richtext></item>
<item name='$FILE' summary='true'><object><file hosttype='msdos' compression='none' name='note.txt' size='13'>
<created><datetime>20090512T101530,00+02</datetime></created><filedata>)" + std::string(kAttachmentBase64) + R"(</filedata></file></object></item>
</document>
<document form='Memo'><noteinfo noteid='104' unid='AAAAAAAA11111111852500000000B002'/>
<item name='Subject'><text>Second memo</text></item>
<item name='PostedDate'><datetime>20100101T120000,00Z</datetime></item>
<item name='$FolderRefs'><textlist><text>)" + std::string(kInboxUnid) + R"(</text><text>0123456789ABCDEF0123456789ABCDEF</text></textlist></item>
<item name='Body'><textlist><text>a</text><text>b</text></textlist></item>
</document>
<document form='Appointment'><noteinfo noteid='108' unid='AAAAAAAA11111111852500000000B003'/>
<item name='Subject'><text>Meeting</text></item>
<item name='CalendarDateTime'><datetimelist><datetime dst='true'>20090601T090000,00+02</datetime><datetime dst='true'>20090602T090000,00+02</datetime></datetimelist></item>
<item name='PostedDate'><datetime>20090401T120000,00Z</datetime></item>
</document>
<document form='Task'><noteinfo noteid='10c' unid='AAAAAAAA11111111852500000000B004'/>
<item name='Subject'><text>A task</text></item>
<item name='DueDateTime'><datetimelist><datetime>20090610</datetime></datetimelist></item>
</document>
<document form='Reply' parent=')" + std::string(kMemo1Unid) + R"('><noteinfo noteid='110' unid='AAAAAAAA11111111852500000000B005'/>
<item name='Subject'><text>Re: First memo</text></item>
</document>
<document form='Values'><noteinfo noteid='114' unid='AAAAAAAA11111111852500000000B006'/>
<item name='One'><number>42.5</number></item>
<item name='Many'><numberlist><number>1</number><number>2</number><number>3</number></numberlist></item>
<item name='Range'><datetimelist><datetimepair><datetime>20090101</datetime><datetime>20090105</datetime></datetimepair></datetimelist></item>
<item name='Multi'><text>line one<break/>line two</text></item>
<item name='Readers' readers='true' names='true'><textlist><text>[Admin]</text></textlist></item>
<item name='Calc'><formula>Form = "Memo"</formula></item>
</document>
)" + extraDocuments + R"(</database>
)";
    return dxl;
}

}  // namespace qb::test
