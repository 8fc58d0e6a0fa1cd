#!/usr/bin/env python3
"""Checks the appointments and tasks that the export wrote from the generated
sample against expected_items.json, using the independent readers only.

  pffexport -d: every expected item, in each folder it must be in, field by
                field: message class, subject, start and end (UTC instants;
                all-day items and dates alone at local midnight of their
                date in the zone of TZ), all-day flag, duration, location,
                busy status, sensitivity, reminder set, minutes and signal
                time, categories, attendees; for tasks start, due, status,
                percent complete, importance, owner.
  readpst:      every expected appointment in its vCalendar form: summary,
                start, end, location and reminder.

The file has one section per item kind ("appointments", "tasks", ...); each
section names its check in SECTIONS, so kinds can be added one by one.
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
            m = re.match(r"(Appointment|Task)\d+$", d)
            if m:
                folders.setdefault(rel, []).append((m.group(1), read_item(os.path.join(dirpath, d))))
    return folders


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
    ok = True
    with tempfile.TemporaryDirectory(prefix="sample-items-check-") as root:
        for t in (check_pff(expected, pff_items(pst, os.path.join(root, "p")), show),
                  check_readpst(expected, readpst_events(pst, os.path.join(root, "r")), show)):
            if t.by_field:
                print("mismatches by field: " + ", ".join(f"{f} {n}" for f, n in t.by_field.most_common()))
            for m in t.mismatches:
                print("MISMATCH:", m)
            ok &= t.checked == t.equal
    print("all agree" if ok else "items differ")
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
