"""Writes the stored PR_RTF_COMPRESSED bytes and libpff's decompressed RTF of
the first message of a PST file, for comparison with our own decoder.

usage: extract_rtf_body.py PST COMPRESSED_OUT RTF_OUT
"""
import sys

import pypff


def first_message(folder):
    if folder.number_of_sub_messages:
        return folder.get_sub_message(0)
    for i in range(folder.number_of_sub_folders):
        found = first_message(folder.get_sub_folder(i))
        if found is not None:
            return found
    return None


def main():
    pst, compressed_out, rtf_out = sys.argv[1:4]
    f = pypff.file()
    f.open(pst)
    message = first_message(f.get_root_folder())
    for s in range(message.number_of_record_sets):
        record_set = message.get_record_set(s)
        for e in range(record_set.number_of_entries):
            entry = record_set.get_entry(e)
            if entry.entry_type == 0x1009:
                open(compressed_out, "wb").write(entry.data)
    open(rtf_out, "wb").write(message.rtf_body)


main()
