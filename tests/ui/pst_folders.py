#!/usr/bin/env python3
"""Lists the folders of a personal folders file as libpff (pypff) reads them:
one line per folder, its path below the top of the store (levels joined by
"\\") and its number of items, separated by a tab.

usage: pst_folders.py PST
"""
import sys

import pypff


def walk(folder, path, out):
    for i in range(folder.number_of_sub_folders):
        child = folder.get_sub_folder(i)
        name = child.name or ""
        child_path = path + "\\" + name if path else name
        out.append((child_path, child.number_of_sub_messages))
        walk(child, child_path, out)


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    pst = pypff.file()
    pst.open(argv[1])
    folders = []
    walk(pst.get_root_folder(), "", folders)
    pst.close()
    for path, count in folders:
        print(f"{path}\t{count}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
