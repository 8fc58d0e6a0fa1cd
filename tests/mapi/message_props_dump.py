"""Prints, through libpff (pypff), every message of a PST file as one JSON
object per line: its subject and the properties a store computes on save
(tag in hex -> integer, or hex bytes for binaries, or text), so that tests
compare what an independent reader sees.

usage: message_props_dump.py PST
"""
import json
import sys

import pypff

TAGS = {
    0x300B: "binary",  # PR_SEARCH_KEY
    0x3008: "int",     # PR_LAST_MODIFICATION_TIME
    0x3FDE: "int",     # PR_INTERNET_CPID
    0x3FFD: "int",     # PR_MESSAGE_CODEPAGE
    0x0064: "text",    # PR_SENT_REPRESENTING_ADDRTYPE
    0x0C1D: "binary",  # PR_SENDER_SEARCH_KEY
    0x003B: "binary",  # PR_SENT_REPRESENTING_SEARCH_KEY
    0x1080: "int",     # PR_ICON_INDEX
    0x0017: "int",     # PR_IMPORTANCE
    0x0026: "int",     # PR_PRIORITY
    0x0036: "int",     # PR_SENSITIVITY
    0x0070: "text",    # PR_CONVERSATION_TOPIC
    0x0E1D: "text",    # PR_NORMALIZED_SUBJECT
    0x0E08: "int",     # PR_MESSAGE_SIZE
}


def value(entry, kind):
    if kind == "int":
        return entry.get_data_as_integer()
    if kind == "text":
        return entry.get_data_as_string()
    return (entry.data or b"").hex()


def walk(folder):
    for i in range(folder.number_of_sub_messages):
        yield folder.get_sub_message(i)
    for i in range(folder.number_of_sub_folders):
        yield from walk(folder.get_sub_folder(i))


def main():
    f = pypff.file()
    f.open(sys.argv[1])
    for message in walk(f.get_root_folder()):
        props = {}
        for s in range(message.number_of_record_sets):
            record_set = message.get_record_set(s)
            for e in range(record_set.number_of_entries):
                entry = record_set.get_entry(e)
                kind = TAGS.get(entry.entry_type)
                if kind:
                    props["%04X" % entry.entry_type] = value(entry, kind)
        print(json.dumps({"subject": message.subject, "props": props}, ensure_ascii=False))


main()
