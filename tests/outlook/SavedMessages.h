#pragma once
// Reading back what a test saved into an Outlook folder.

#include <gtest/gtest.h>

#include "outlook/mapi/MapiApi.h"

namespace qb::test {

// The one message of a folder, opened for reading; a failed expectation when
// the folder does not hold exactly one.
inline mapi::MapiPtr<IMessage> OnlyMessage(IMAPIFolder* folder) {
    using namespace qb::mapi;
    MapiPtr<IMAPITable> contents;
    EXPECT_EQ(folder->GetContentsTable(0, contents.Put()), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    RowSetHolder rows;
    EXPECT_EQ(
        HrQueryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()),
        S_OK);
    MapiPtr<IMessage> message;
    EXPECT_EQ(rows->cRows, 1u);
    if (rows->cRows != 1) return message;
    const SBinary& id = rows->aRow[0].lpProps[0].Value.bin;
    ULONG type = 0;
    EXPECT_EQ(folder->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, message.PutUnknown()),
              S_OK);
    return message;
}

}  // namespace qb::test
