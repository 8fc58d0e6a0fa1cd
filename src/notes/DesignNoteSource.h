#pragma once
// What the view and folder catalogue needs of a Notes database: the design
// notes that the "@All" searches return, and their $Flags and $Title items.
// NotesDesignNoteSource adapts an open LNDatabase; tests use fakes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb {

// The note-type codes of the three design searches, in search order.
inline constexpr std::uint32_t kDesignSearchNoteTypes[] = {0xE8008, 0xE0008, 0xE1008};

struct DesignNoteItems {
    // First text values of the items, nullopt when the item is missing.
    std::optional<std::string> flags;
    std::optional<std::string> title;
};

struct DesignSearchResult {
    std::vector<std::uint32_t> noteIds;
    std::string errorText;  // a Notes error text when the search failed
};

struct DesignNoteResult {
    std::optional<DesignNoteItems> items;  // nullopt when the note could not be read
    std::string errorText;                 // the Notes error text, if one was raised
};

class DesignNoteSource {
public:
    virtual ~DesignNoteSource() = default;
    virtual bool IsOpen() const = 0;
    virtual DesignSearchResult SearchDesignNotes(std::uint32_t noteType) = 0;
    virtual DesignNoteResult ReadDesignNote(std::uint32_t noteId) = 0;
};

}  // namespace qb
