#!/usr/bin/env python3
"""Checks the appointments, tasks, contacts and distribution lists that the
export wrote from the generated sample against expected_items.json and
expected_contacts.json, using the independent readers only.

  pffexport -d: every expected item, in each folder it must be in, field by
                field: message class, subject, start and end (UTC instants;
                all-day items and dates alone at local midnight of their
                date in the zone of TZ), all-day flag, duration, location,
                busy status, sensitivity, reminder set, minutes and signal
                time, categories, attendees; for tasks start, due, status,
                percent complete, importance, owner.
                Every IPM.Contact of a Contacts folder, each field in the
                property it belongs in: names, display name, company, job
                title, phones, file-as text, home and business address and
                their parts, web page, e-mail 1 to 3 (address, address type,
                display name, original display name and the one-off entry
                identifier's name, type and address), birthday and
                anniversary dates, children, sensitivity, categories.
                Every IPM.DistList: its name, sensitivity and its members,
                parsed from the one-off entry identifiers.
  readpst:      every expected appointment in its vCalendar form: summary,
                start, end, location and reminder; every contact's vCard:
                its file-as text and e-mail 1.

expected_items.json has one section per item kind ("appointments", "tasks",
...); each section names its check in SECTIONS, so kinds can be added one by
one. expected_contacts.json has the sections "contacts" and
"distribution_lists", checked by check_contacts and check_lists.
Prints the figures and the first mismatches; exits 1 on any mismatch.

usage: sample_items_check.py SAMPLE_DIR PST [--show N]
"""
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outside_tools import require_readers  # noqa: E402
from sample_export_check import Tally, pff_name, read_item_values, run  # noqa: E402

RECIPIENT_TYPES = {1: "To", 2: "Cc", 3: "Bcc"}
EPOCH_AS_FILETIME = 116444736000000000


# ---------------------------------------------------------------- pffexport

def decode(value):
    if value is None:
        return None
    vtype, raw = value
    if vtype == 0x1F:
        return raw.decode("utf-16-le").rstrip("\0")
    if vtype == 0x1E:
        return raw.decode("cp1252").rstrip("\0")
    if vtype == 0x03:
        return int.from_bytes(raw[:4], "little", signed=True)
    if vtype == 0x0B:
        return bool(raw[0]) if raw else False
    if vtype == 0x05:
        import struct
        return struct.unpack("<d", raw[:8])[0]
    if vtype == 0x40:
        ticks = int.from_bytes(raw[:8], "little")
        return (ticks - EPOCH_AS_FILETIME) // 10_000_000
    if vtype in (0x101F, 0x101E):
        count = int.from_bytes(raw[:4], "little")
        offsets = [int.from_bytes(raw[4 + 4 * i:8 + 4 * i], "little") for i in range(count)] + [len(raw)]
        codec = "utf-16-le" if vtype == 0x101F else "cp1252"
        return [raw[offsets[i]:offsets[i + 1]].decode(codec).rstrip("\0") for i in range(count)]
    return raw


def read_item(directory):
    sets = read_item_values(os.path.join(directory, "ItemValues.txt"))
    item = {tag: decode((vtype, raw)) for (tag, vtype), raw in (sets[0] if sets else {}).items() if raw is not None}
    recipients = []
    for r in read_item_values(os.path.join(directory, "RecipientsItemValues.txt")):
        name = r.get((0x3001, 0x1F)) or r.get((0x3001, 0x1E)) or b""
        name = name.decode("utf-16-le" if (0x3001, 0x1F) in r else "cp1252").rstrip("\0")
        kind = int.from_bytes(r.get((0x0C15, 0x03), b"\0\0\0\0")[:4], "little")
        recipients.append([name, RECIPIENT_TYPES.get(kind, str(kind))])
    item["recipients"] = recipients
    return item


def pff_items(pst, root):
    """Folder path ("\\" between levels) -> [(kind, item)] for every item directory."""
    os.makedirs(root, exist_ok=True)
    target = os.path.join(root, "pff")
    run(["pffexport", "-q", "-m", "items", "-d", "-t", target, pst])
    base = target + ".export"
    top = os.path.join(base, next(n for n in os.listdir(base) if n.startswith("Top of")))
    folders = {}
    for dirpath, dirs, _ in os.walk(top):
        inner = dirpath[len(top):]
        if re.search(r"/(Message|Appointment|Task|Contact|DistributionList|Attachment)\d+", inner):
            continue
        rel = os.path.relpath(dirpath, top)
        rel = "" if rel == "." else rel.replace(os.sep, "\\")
        for d in sorted(dirs):
            m = re.match(r"(Appointment|Task|Contact|DistributionList)\d+$", d)
            if not m:
                continue
            directory = os.path.join(dirpath, d)
            item = read_item(directory) if m.group(1) in ("Appointment", "Task") else raw_item(directory)
            folders.setdefault(rel, []).append((m.group(1), item))
    return folders


def raw_item(directory):
    """{entry type: (value type, raw bytes)} of the item's first record set; a
    named property keyed as read_item_values maps it."""
    sets = read_item_values(os.path.join(directory, "ItemValues.txt"))
    return {tag: (vtype, raw or b"") for (tag, vtype), raw in (sets[0] if sets else {}).items()}


# ----------------------------------------------------------------- the rules

def utc_text(seconds):
    if seconds is None:
        return None
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def moment_matches(expected, seconds):
    """{"utc": ...} exactly; {"local_date": ...} at local midnight of that date (TZ of this check)."""
    if expected is None:
        return seconds is None, None
    if seconds is None:
        return False, None
    if "utc" in expected:
        return utc_text(seconds) == expected["utc"], utc_text(seconds)
    local = time.localtime(seconds)
    got = time.strftime("%Y-%m-%d %H:%M:%S", local)
    return got == expected["local_date"] + " 00:00:00", got


def expected_moment_text(expected):
    if expected is None:
        return None
    return expected["utc"] if "utc" in expected else expected["local_date"] + " 00:00:00"


def check_moment(t, where, field, expected, seconds):
    ok, got = moment_matches(expected, seconds)
    t.check(where, field, expected_moment_text(expected), got if not ok else expected_moment_text(expected))


def check_common(t, where, exp, got, message_class):
    t.check(where, "message class", message_class, got.get(0x001A))
    t.check(where, "subject", exp["subject"], got.get(0x0037))
    t.check(where, "sensitivity", exp["sensitivity"], got.get(0x0036))
    t.check(where, "reminder set", exp["reminder_set"], got.get(0x8503))
    t.check(where, "categories", exp["categories"], got.get("Keywords"))
    t.check(where, "attendees", exp["attendees"], got["recipients"])


def check_appointment(t, where, exp, got):
    check_common(t, where, exp, got, "IPM.Appointment")
    t.check(where, "all day", exp["all_day"], got.get(0x8215))
    check_moment(t, where, "start", exp["start"], got.get(0x820D))
    check_moment(t, where, "end", exp["end"], got.get(0x820E))
    t.check(where, "start copies", [got.get(0x820D)] * 3, [got.get(0x8516), got.get(0x0060), got.get(0x8235)])
    t.check(where, "end copies", [got.get(0x820E)] * 3, [got.get(0x8517), got.get(0x0061), got.get(0x8236)])
    if exp["all_day"]:
        t.check(where, "duration", 1440, got.get(0x8213))
    elif got.get(0x820D) is not None and got.get(0x820E) is not None:
        t.check(where, "duration", (got[0x820E] - got[0x820D]) // 60, got.get(0x8213))
    # An empty text may be stored as no property at all.
    t.check(where, "location", exp["location"], got.get(0x8208) or "")
    t.check(where, "busy status", exp["busy_status"], got.get(0x8205))
    if exp["reminder_set"]:
        t.check(where, "reminder minutes", exp["reminder_minutes"], got.get(0x8501))
        start = got.get(0x820D)
        t.check(where, "reminder signal time", utc_text(start - 60 * exp["reminder_minutes"]) if start else None,
                utc_text(got.get(0x8560)))


def check_task(t, where, exp, got):
    check_common(t, where, exp, got, "IPM.Task")
    check_moment(t, where, "start", exp["start"], got.get(0x8104))
    check_moment(t, where, "due", exp["due"], got.get(0x8105))
    t.check(where, "status", exp["status"], got.get(0x8101))
    t.check(where, "percent complete", exp["percent_complete"], got.get(0x8102))
    t.check(where, "importance", exp["importance"], got.get(0x0017))
    t.check(where, "owner", exp["owner"], got.get(0x811F))
    if exp["reminder_set"]:
        t.check(where, "reminder has a time", True, got.get(0x8560) is not None and got.get(0x8560) > 0)


# section -> (pffexport item kind, the start field of an expected item and
# the property of its start, check)
SECTIONS = {
    "appointments": ("Appointment", "start", 0x820D, check_appointment),
    "tasks": ("Task", "start", 0x8104, check_task),
}


def order_key(moment):
    return "" if moment is None else expected_moment_text(moment)


def check_pff(expected, items, show):
    t = Tally(show)
    places = {}
    for section, (kind, start_field, start_tag, check) in SECTIONS.items():
        wanted = {}
        for exp in expected.get(section, []):
            for folder in exp["folders"]:
                wanted.setdefault((folder, exp["subject"]), []).append(exp)
        for (folder, subject), exps in wanted.items():
            found = [item for k, item in items.get(pff_name(folder), []) if k == kind and item.get(0x0037) == subject]
            where = f"[{folder}] {kind} '{subject}'"
            places[section] = places.get(section, 0) + len(exps)
            if len(found) != len(exps):
                t.check(where, "items present", len(exps), len(found))
                continue
            exps = sorted(exps, key=lambda e: order_key(e[start_field]))
            found = sorted(found, key=lambda g: g.get(start_tag) or 0)
            for i, (exp, got) in enumerate(zip(exps, found)):
                check(t, where + (f" #{i + 1}" if len(exps) > 1 else ""), exp, got)
    print("pffexport: " + ", ".join(f"{len(expected.get(s, []))} {s} in {places.get(s, 0)} folder places"
                                    for s in SECTIONS)
          + f"; {t.checked} fields checked, {t.equal} equal")
    return t


# ------------------------------------------------ contacts and lists

PR_MESSAGE_CLASS, PR_DISPLAY_NAME, PR_SENSITIVITY = 0x001A, 0x3001, 0x0036
STANDARD_TEXTS = {
    "given_name": 0x3A06, "middle_name": 0x3A44, "surname": 0x3A11, "generation": 0x3A05, "prefix": 0x3A45,
    "company": 0x3A16, "job_title": 0x3A17, "department": 0x3A18, "business_phone": 0x3A08,
    "business_fax": 0x3A24, "mobile_phone": 0x3A1C, "home_phone": 0x3A09, "pager": 0x3A21, "home_fax": 0x3A25,
    "home_street": 0x3A5D, "home_city": 0x3A59, "home_state": 0x3A5C, "home_postal_code": 0x3A5B,
    "home_country": 0x3A5A, "spouse": 0x3A48, "display_name": PR_DISPLAY_NAME,
}
# Named properties of PSETID_Address, by the long ID that pffexport gives as
# "Maps to entry type" ([MS-OXOCNTC] 2.2.1).
NAMED_TEXTS = {
    "file_as": 0x8005,  # PidLidFileUnder
    "home_address": 0x801A,  # PidLidHomeAddress
    "business_address": 0x801B,  # PidLidWorkAddress
    "business_street": 0x8045,  # PidLidWorkAddressStreet
    "business_city": 0x8046,  # PidLidWorkAddressCity
    "business_state": 0x8047,  # PidLidWorkAddressState
    "business_postal_code": 0x8048,  # PidLidWorkAddressPostalCode
    "business_country": 0x8049,  # PidLidWorkAddressCountry
    "web_page": 0x802B,  # PidLidHtml
}
# E-mail 1 to 3: PidLidEmailNEmailAddress, AddressType, DisplayName,
# OriginalDisplayName, OriginalEntryId.
EMAIL_SLOTS = {
    "email1": (0x8083, 0x8082, 0x8080, 0x8084, 0x8085),
    "email2": (0x8093, 0x8092, 0x8090, 0x8094, 0x8095),
    "email3": (0x80A3, 0x80A2, 0x80A0, 0x80A4, 0x80A5),
}
PR_BIRTHDAY, PR_WEDDING_ANNIVERSARY, PR_CHILDRENS_NAMES = 0x3A42, 0x3A41, 0x3A58
ONE_OFF_PROVIDER = bytes.fromhex("812B1FA4BEA310199D6E00DD010F5402")


def compare(t, where, field, got, want):
    t.check(where, field, want, got)


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


def one_off_parts(entry):
    """Display name, address type and address of a one-off entry identifier
    (UTF-16 when its Unicode flag is set); None for anything else."""
    if len(entry) < 24 or entry[4:20] != ONE_OFF_PROVIDER:
        return None
    unicode = (entry[22] | entry[23] << 8) & 0x8000
    parts, at = [], 24
    for _ in range(3):
        if unicode:
            end = at
            while end + 1 < len(entry) and (entry[end] or entry[end + 1]):
                end += 2
            if end + 1 >= len(entry):
                return None
            parts.append(entry[at:end].decode("utf-16-le", errors="replace"))
            at = end + 2
        else:
            end = entry.find(0, at)
            if end < 0:
                return None
            parts.append(entry[at:end].decode("cp1252", errors="replace"))
            at = end + 1
    return parts


def one_off(entry):
    parts = one_off_parts(entry)
    return None if parts is None else [parts[0], parts[2]]


def check_emails(report, where, props, want):
    """E-mail 1 to 3, each part in its own property, so that an address in
    the slot of another does not pass. The display name of e-mail N is
    "emailN_display_name" when the expectations give one, else the contact's
    display name with the address in brackets, or the address alone for a
    contact without a display name."""
    for field, (address, kind, name, original, entry_id) in EMAIL_SLOTS.items():
        wanted = want[field]
        shown = "" if not wanted else f"{want['display_name']} ({wanted})" if want["display_name"] else wanted
        shown = want.get(field + "_display_name", shown)
        compare(report, where, field, text(props, address), wanted)
        compare(report, where, field + " address type", text(props, kind), "SMTP" if wanted else "")
        compare(report, where, field + " display name", text(props, name), shown)
        compare(report, where, field + " original display name", text(props, original), wanted)
        vtype, raw = props.get(entry_id, (None, b""))
        compare(report, where, field + " entry id", one_off_parts(raw) if vtype == 0x102 else None,
                [want["display_name"], "SMTP", wanted] if wanted else None)


def check_contacts(expected, items, report):
    by_name = {}
    for props in items:
        if text(props, PR_MESSAGE_CLASS) == "IPM.Contact":
            by_name.setdefault((text(props, PR_DISPLAY_NAME), text(props, 0x3A08)), []).append(props)
    compare(report, "Contacts", "contact count", sum(len(v) for v in by_name.values()), len(expected))
    for want in expected:
        key = (want["display_name"], want["business_phone"])
        candidates = by_name.get(key, [])
        where = f"contact {want['display_name'] or want['file_as']!r}"
        if not candidates:
            compare(report, where, "present", False, True)
            continue
        props = candidates.pop(0)
        for field, tag in STANDARD_TEXTS.items():
            compare(report, where, field, text(props, tag), want[field])
        for field, tag in NAMED_TEXTS.items():
            compare(report, where, field, text(props, tag), want[field])
        check_emails(report, where, props, want)
        compare(report, where, "birthday", date_matches(date_of(props, PR_BIRTHDAY), want["birthday"]), True)
        compare(report, where, "anniversary", date_matches(date_of(props, PR_WEDDING_ANNIVERSARY), want["anniversary"]),
                       True)
        compare(report, where, "children", texts(props, PR_CHILDRENS_NAMES), want["children"])
        sensitivity = props.get(PR_SENSITIVITY, (None, b"\0\0\0\0"))[1]
        compare(report, where, "sensitivity", int.from_bytes(sensitivity[:4], "little"), 2 if want["private"] else 0)
        if want["categories"]:
            compare(report, where, "categories", texts(props, "Keywords"), want["categories"])


def check_lists(expected, items, report):
    lists = {}
    for props in items:
        if text(props, PR_MESSAGE_CLASS) == "IPM.DistList":
            lists.setdefault(text(props, PR_DISPLAY_NAME), []).append(props)
    compare(report, "Contacts", "list count", sum(len(v) for v in lists.values()), len(expected))
    for want in expected:
        where = f"list {want['name']!r}"
        candidates = lists.get(want["name"], [])
        if not candidates:
            compare(report, where, "present", False, True)
            continue
        props = candidates.pop(0)
        member_lists = [[one_off(v) for v in multi(raw)] for tag, (vt, raw) in props.items() if vt == 0x1102]
        want_members = [list(m) for m in want["members"]]
        if want_members:
            compare(report, where, "member and one-off member lists", len(member_lists), 2)
            for members in member_lists:
                compare(report, where, "members", members, want_members)
        else:
            compare(report, where, "members", member_lists, [])
        sensitivity = props.get(PR_SENSITIVITY, (None, b"\0\0\0\0"))[1]
        compare(report, where, "sensitivity", int.from_bytes(sensitivity[:4], "little"), 2 if want["private"] else 0)


def check_vcards(pst, expected, report):
    """readpst's vCards of the Contacts folder: name, e-mail 1 and birthday."""
    with tempfile.TemporaryDirectory(prefix="readpst-vcard-") as out:
        r = subprocess.run(["readpst", "-j", "0", "-D", "-r", "-cv", "-o", out, pst], capture_output=True)
        if r.returncode != 0:
            compare(report, "readpst", "exit status", r.returncode, 0)
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
    # readpst writes some distribution lists as vCards too (a name and an
    # organisation of other items): at least one card per contact.
    compare(report, "readpst", "vCards for every contact", len(cards) >= len(expected), True)
    emails = {c.get("EMAIL", "") for c in cards}
    # readpst's FN is the contact's file-as text (libpst reads it from the
    # file-under property), not its display name.
    names = {c.get("FN", "").replace("\\,", ",") for c in cards}
    for want in expected:
        where = f"vCard {want['display_name'] or want['file_as']!r}"
        if want["email1"]:
            compare(report, where, "EMAIL", want["email1"] in emails, True)
        if want["file_as"]:
            compare(report, where, "FN", want["file_as"] in names, True)


def contacts_folder_items(items):
    """The raw property sets of the contacts and lists of every Contacts folder."""
    return [item for folder, found in items.items() if folder.split("\\")[-1] == "Contacts"
            for kind, item in found if kind in ("Contact", "DistributionList")]


def check_address_book(expected, items, pst, show):
    t = Tally(show)
    found = contacts_folder_items(items)
    check_contacts(expected["contacts"], found, t)
    check_lists(expected["distribution_lists"], found, t)
    check_vcards(pst, expected["contacts"], t)
    print(f"contacts and lists: {len(expected['contacts'])} contacts, {len(expected['distribution_lists'])} lists "
          f"expected, {len(found)} items in Contacts folders; {t.checked} fields checked, {t.equal} equal")
    return t


# ------------------------------------------------------------------- readpst

def readpst_events(pst, root):
    """Folder path -> [vevent fields] from readpst's vCalendar output."""
    out = os.path.join(root, "readpst")
    os.makedirs(out, exist_ok=True)
    run(["readpst", "-j", "0", "-q", "-D", "-S", "-o", out, pst])
    base = os.path.join(out, os.listdir(out)[0])
    events = {}
    for dirpath, _, files in os.walk(base):
        rel = os.path.relpath(dirpath, base)
        rel = "" if rel == "." else rel.replace(os.sep, "\\")
        for f in files:
            if not f.isdigit():
                continue
            text = open(os.path.join(dirpath, f), "rb").read().decode("utf-8", errors="replace")
            if "BEGIN:VEVENT" not in text:
                continue
            fields = {}
            for line in text.replace("\r\n", "\n").split("\n"):
                name, _, value = line.partition(":")
                key = name.split(";")[0]
                if key in ("SUMMARY", "DTSTART", "DTEND", "LOCATION", "TRIGGER") and key not in fields:
                    fields[key] = value.replace("\\,", ",").replace("\\;", ";").replace("\\n", "\n")
            events.setdefault(rel, []).append(fields)
    return events


def vcal_seconds(value):
    if not value:
        return None
    for form in ("%Y%m%dT%H%M%SZ", "%Y%m%d"):
        try:
            return int(datetime.datetime.strptime(value, form).replace(tzinfo=datetime.timezone.utc).timestamp())
        except ValueError:
            pass
    return None


def check_readpst(expected, events, show):
    t = Tally(show)
    wanted = {}
    for exp in expected.get("appointments", []):
        for folder in exp["folders"]:
            wanted.setdefault((folder, exp["subject"]), []).append(exp)
    for (folder, subject), exps in wanted.items():
        found = [e for e in events.get(folder, []) if e.get("SUMMARY") == subject]
        where = f"[{folder}] vCalendar '{subject}'"
        if len(found) != len(exps):
            t.check(where, "events present", len(exps), len(found))
            continue
        exps = sorted(exps, key=lambda e: order_key(e["start"]))
        found = sorted(found, key=lambda e: vcal_seconds(e.get("DTSTART")) or 0)
        for i, (exp, got) in enumerate(zip(exps, found)):
            w = where + (f" #{i + 1}" if len(exps) > 1 else "")
            check_moment(t, w, "DTSTART", exp["start"], vcal_seconds(got.get("DTSTART")))
            check_moment(t, w, "DTEND", exp["end"], vcal_seconds(got.get("DTEND")))
            t.check(w, "LOCATION", exp["location"] or None, got.get("LOCATION"))
            t.check(w, "VALARM TRIGGER", f"-PT{exp['reminder_minutes']}M" if exp["reminder_set"] else None,
                    got.get("TRIGGER"))
    print(f"readpst: {sum(len(v) for v in wanted.values())} appointments as vCalendar events; "
          f"{t.checked} fields checked, {t.equal} equal")
    return t


def main():
    args = sys.argv[1:]
    show = 20
    if "--show" in args:
        i = args.index("--show")
        show = int(args[i + 1])
        del args[i:i + 2]
    if len(args) != 2:
        print(__doc__)
        sys.exit(2)
    require_readers("readpst", "pffexport")
    sample_dir, pst = args
    manifest = json.load(open(os.path.join(sample_dir, "manifest.json"), encoding="utf-8"))
    expected = json.load(open(os.path.join(sample_dir, manifest["expected_items"]["file"]), encoding="utf-8"))
    contacts = json.load(open(os.path.join(sample_dir, "expected_contacts.json"), encoding="utf-8"))
    ok = True
    with tempfile.TemporaryDirectory(prefix="sample-items-check-") as root:
        items = pff_items(pst, os.path.join(root, "p"))
        for t in (check_pff(expected, items, show),
                  check_readpst(expected, readpst_events(pst, os.path.join(root, "r")), show),
                  check_address_book(contacts, items, pst, show)):
            if t.by_field:
                print("mismatches by field: " + ", ".join(f"{f} {n}" for f, n in t.by_field.most_common()))
            for m in t.mismatches:
                print("MISMATCH:", m)
            ok &= t.checked == t.equal
    print("all agree" if ok else "items differ")
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
