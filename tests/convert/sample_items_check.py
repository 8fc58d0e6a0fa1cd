#!/usr/bin/env python3
"""Checks the contacts and distribution lists that the export wrote from the
generated sample against expected_contacts.json, with the independent readers
only, field by field.

  contacts:            pypff (libpff) reads every IPM.Contact of the Contacts
                       folder: names, display name, company, job title,
                       phones, home address parts, birthday and anniversary
                       dates, children, sensitivity, and e-mail 1 to 3 and the
                       file-as text among the item's texts; readpst's vCard of
                       each contact: its name, e-mail 1 and birthday.
  distribution_lists:  every IPM.DistList: its name, sensitivity and its
                       members, parsed from the one-off entry identifiers.

Each section is a function of its own (check_contacts, check_lists), so that
more sections (appointments, tasks) can sit beside them.

usage: sample_items_check.py SAMPLE_DIR PST [--expected FILE] [--show N]
"""
import datetime
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outside_tools import require_readers  # noqa: E402

PR_MESSAGE_CLASS, PR_DISPLAY_NAME, PR_SENSITIVITY = 0x001A, 0x3001, 0x0036
STANDARD_TEXTS = {
    "given_name": 0x3A06, "middle_name": 0x3A44, "surname": 0x3A11, "generation": 0x3A05, "prefix": 0x3A45,
    "company": 0x3A16, "job_title": 0x3A17, "department": 0x3A18, "business_phone": 0x3A08,
    "business_fax": 0x3A24, "mobile_phone": 0x3A1C, "home_phone": 0x3A09, "pager": 0x3A21, "home_fax": 0x3A25,
    "home_street": 0x3A5D, "home_city": 0x3A59, "home_state": 0x3A5C, "home_postal_code": 0x3A5B,
    "home_country": 0x3A5A, "spouse": 0x3A48, "display_name": PR_DISPLAY_NAME,
}
PR_BIRTHDAY, PR_WEDDING_ANNIVERSARY, PR_CHILDRENS_NAMES = 0x3A42, 0x3A41, 0x3A58


class Report:
    def __init__(self):
        self.checked = self.equal = 0
        self.mismatches = []

    def compare(self, where, field, got, want):
        self.checked += 1
        if got == want:
            self.equal += 1
        else:
            self.mismatches.append(f"{where}: {field} is {got!r}, expected {want!r}")


def entries_of(item):
    """{entry type: (value type, raw bytes)} of the item's first record set."""
    props = {}
    for record_set in item.record_sets:
        for entry in record_set.entries:
            try:
                props.setdefault(entry.entry_type, (entry.value_type, entry.data or b""))
            except OSError:
                continue
        break
    return props


def text(props, tag):
    value_type, raw = props.get(tag, (None, None))
    if value_type == 0x1F:
        return raw.decode("utf-16-le", errors="replace").rstrip("\0")
    if value_type == 0x1E:
        return raw.decode("cp1252", errors="replace").rstrip("\0")
    return ""


def multi(raw):
    """The values of a multi-valued variable-size property: count, offsets, data."""
    if len(raw) < 4:
        return []
    count = int.from_bytes(raw[:4], "little")
    offsets = [int.from_bytes(raw[4 + 4 * i:8 + 4 * i], "little") for i in range(count)] + [len(raw)]
    return [raw[offsets[i]:offsets[i + 1]] for i in range(count)]


def texts(props, tag):
    value_type, raw = props.get(tag, (None, None))
    if value_type == 0x101F:
        return [v.decode("utf-16-le").rstrip("\0") for v in multi(raw)]
    if value_type == 0x101E:
        return [v.decode("cp1252").rstrip("\0") for v in multi(raw)]
    return []


def all_texts(props):
    found = set()
    for tag, (value_type, raw) in props.items():
        if value_type in (0x1E, 0x1F):
            found.add(text(props, tag))
    return found


def date_of(props, tag):
    value_type, raw = props.get(tag, (None, None))
    if value_type != 0x40 or len(raw) < 8:
        return ""
    ticks = int.from_bytes(raw[:8], "little")
    when = datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=ticks // 10)
    return when


def date_matches(when, expected):
    """The stored moment is the expected day's midnight in some zone."""
    if not expected or not when:
        return (expected or "") == ("" if not when else when.strftime("%Y-%m-%d"))
    day = datetime.datetime.strptime(expected, "%Y-%m-%d")
    return abs((when - day).total_seconds()) <= 14 * 3600


def one_off(entry):
    if len(entry) < 24:
        return None
    unicode = (entry[22] | entry[23] << 8) & 0x8000
    parts, at = [], 24
    for _ in range(3):
        if unicode:
            end = at
            while end + 1 < len(entry) and (entry[end] or entry[end + 1]):
                end += 2
            parts.append(entry[at:end].decode("utf-16-le"))
            at = end + 2
        else:
            end = entry.index(0, at)
            parts.append(entry[at:end].decode("cp1252"))
            at = end + 1
    return [parts[0], parts[2]]


def contacts_folder_items(pst):
    import pypff
    f = pypff.file()
    f.open(pst)
    root = f.get_root_folder()
    found = []

    def walk(folder, path):
        for i in range(folder.number_of_sub_folders):
            sub = folder.get_sub_folder(i)
            walk(sub, path + [sub.name or ""])
        if path and path[-1] == "Contacts":
            for i in range(folder.number_of_sub_messages):
                found.append(entries_of(folder.get_sub_message(i)))

    walk(root, [])
    return found


def check_contacts(expected, items, report):
    by_name = {}
    for props in items:
        if text(props, PR_MESSAGE_CLASS) == "IPM.Contact":
            by_name.setdefault((text(props, PR_DISPLAY_NAME), text(props, 0x3A08)), []).append(props)
    report.compare("Contacts", "contact count", sum(len(v) for v in by_name.values()), len(expected))
    for want in expected:
        key = (want["display_name"], want["business_phone"])
        candidates = by_name.get(key, [])
        where = f"contact {want['display_name'] or want['file_as']!r}"
        if not candidates:
            report.compare(where, "present", False, True)
            continue
        props = candidates.pop(0)
        for field, tag in STANDARD_TEXTS.items():
            report.compare(where, field, text(props, tag), want[field])
        strings = all_texts(props)
        for field in ("email1", "email2", "email3", "file_as", "home_address", "business_address", "web_page"):
            if want[field]:
                report.compare(where, field, want[field] in strings, True)
        report.compare(where, "birthday", date_matches(date_of(props, PR_BIRTHDAY), want["birthday"]), True)
        report.compare(where, "anniversary", date_matches(date_of(props, PR_WEDDING_ANNIVERSARY), want["anniversary"]),
                       True)
        report.compare(where, "children", texts(props, PR_CHILDRENS_NAMES), want["children"])
        sensitivity = props.get(PR_SENSITIVITY, (None, b"\0\0\0\0"))[1]
        report.compare(where, "sensitivity", int.from_bytes(sensitivity[:4], "little"), 2 if want["private"] else 0)
        if want["categories"]:
            keywords = [texts(props, tag) for tag, (vt, _) in props.items() if vt in (0x101E, 0x101F) and tag >= 0x8000]
            report.compare(where, "categories", want["categories"] in keywords, True)


def check_lists(expected, items, report):
    lists = {}
    for props in items:
        if text(props, PR_MESSAGE_CLASS) == "IPM.DistList":
            lists.setdefault(text(props, PR_DISPLAY_NAME), []).append(props)
    report.compare("Contacts", "list count", sum(len(v) for v in lists.values()), len(expected))
    for want in expected:
        where = f"list {want['name']!r}"
        candidates = lists.get(want["name"], [])
        if not candidates:
            report.compare(where, "present", False, True)
            continue
        props = candidates.pop(0)
        member_lists = [[one_off(v) for v in multi(raw)] for tag, (vt, raw) in props.items() if vt == 0x1102]
        want_members = [list(m) for m in want["members"]]
        if want_members:
            report.compare(where, "member and one-off member lists", len(member_lists), 2)
            for members in member_lists:
                report.compare(where, "members", members, want_members)
        else:
            report.compare(where, "members", member_lists, [])
        sensitivity = props.get(PR_SENSITIVITY, (None, b"\0\0\0\0"))[1]
        report.compare(where, "sensitivity", int.from_bytes(sensitivity[:4], "little"), 2 if want["private"] else 0)


def check_vcards(pst, expected, report):
    """readpst's vCards of the Contacts folder: name, e-mail 1 and birthday."""
    with tempfile.TemporaryDirectory(prefix="readpst-vcard-") as out:
        r = subprocess.run(["readpst", "-D", "-r", "-cv", "-o", out, pst], capture_output=True)
        if r.returncode != 0:
            report.compare("readpst", "exit status", r.returncode, 0)
            return
        cards = []
        for dirpath, _, files in os.walk(out):
            if os.path.basename(dirpath) != "Contacts":
                continue
            for name in files:
                content = open(os.path.join(dirpath, name), "rb").read().decode("utf-8", errors="replace")
                for block in content.split("BEGIN:VCARD")[1:]:
                    card = {}
                    for line in block.replace("\r\n", "\n").split("\n"):
                        key, _, value = line.partition(":")
                        card.setdefault(key.split(";")[0].upper(), value)
                    cards.append(card)
    report.compare("readpst", "vCard count", len(cards), len(expected))
    emails = {c.get("EMAIL", "") for c in cards}
    names = {c.get("FN", "").replace("\\,", ",") for c in cards}
    for want in expected:
        where = f"vCard {want['display_name'] or want['file_as']!r}"
        if want["email1"]:
            report.compare(where, "EMAIL", want["email1"] in emails, True)
        if want["display_name"]:
            report.compare(where, "FN", want["display_name"] in names, True)


def main():
    args = sys.argv[1:]
    show = 20
    expected_path = None
    if "--show" in args:
        i = args.index("--show")
        show = int(args[i + 1])
        del args[i:i + 2]
    if "--expected" in args:
        i = args.index("--expected")
        expected_path = args[i + 1]
        del args[i:i + 2]
    if len(args) != 2:
        print(__doc__)
        sys.exit(2)
    require_readers("readpst")
    sample_dir, pst = args
    expected = json.load(open(expected_path or os.path.join(sample_dir, "expected_contacts.json"), encoding="utf-8"))
    report = Report()
    items = contacts_folder_items(pst)
    check_contacts(expected["contacts"], items, report)
    check_lists(expected["distribution_lists"], items, report)
    check_vcards(pst, expected["contacts"], report)
    print(f"contacts and lists: {report.checked} fields checked, {report.equal} equal")
    for line in report.mismatches[:show]:
        print("MISMATCH:", line)
    sys.exit(1 if report.mismatches else 0)


if __name__ == "__main__":
    main()
