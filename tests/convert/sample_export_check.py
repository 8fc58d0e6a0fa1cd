#!/usr/bin/env python3
"""Checks the personal folders file that the export wrote from the generated
sample against what the sample promises, using the independent readers only.

  folders:  every Outlook folder of manifest.json "outlook_folders" must be
            listed by lspst, readpst -D -S and pffexport with its item count
            (lspst and readpst leave tasks out: those of expected_items.json
            are not counted for them).
  fidelity: every message of expected_mail.json, in each folder it must be in,
            read with pffexport -d: subject, sender, sent-representing,
            recipients, message flags, submit/delivery/creation times, plain
            body, RTF body presence, attachment names and sizes, reply-to.

Prints the figures (fields checked, fields equal) and the first mismatches;
exits 1 on any mismatch. "--pending KIND" reports the mismatches of memos
whose body kind (expected_mail.json "body_kind": text, rich, mime, none) is
KIND as pending, a known gap that does not fail the check.

usage: sample_export_check.py SAMPLE_DIR PST [--folders] [--fidelity] [--show N]
                              [--pending KIND]...
       (neither --folders nor --fidelity: both checks)
"""
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
from collections import Counter

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outside_tools import require_readers  # noqa: E402

MSGFLAG_READ, MSGFLAG_UNMODIFIED, MSGFLAG_UNSENT, MSGFLAG_HASATTACH = 0x1, 0x2, 0x8, 0x10
STATE_NAMES = {1: "draft", 2: "sent", 3: "received"}


def run(cmd):
    r = subprocess.run(cmd, capture_output=True)
    if r.returncode != 0:
        raise SystemExit(f"{cmd[0]} failed ({r.returncode}): {r.stderr.decode(errors='replace')}")
    return r.stdout.decode("utf-8", errors="replace")


# ---------------------------------------------------------------- pffexport

def pff_export(pst, root, dump):
    os.makedirs(root, exist_ok=True)
    target = os.path.join(root, "pff")
    run(["pffexport", "-q", "-m", "items"] + (["-d"] if dump else []) + ["-t", target, pst])
    base = target + ".export"
    tops = [n for n in os.listdir(base) if n.startswith("Top of")]
    if len(tops) != 1:
        raise SystemExit(f"pffexport: no single top of the store in {os.listdir(base)}")
    return os.path.join(base, tops[0])


def pff_name(path):
    """The directory path pffexport makes of a folder path: it writes some
    characters of folder names as "_"."""
    return "\\".join(re.sub(r'[\x00-\x1f!$&*;<>?`|~/:"]', "_", part) for part in path.split("\\"))


ITEM_DIRECTORY = r"(Message|Appointment|Task|Contact|DistributionList)\d+"


def pff_folders(top):
    """Folder path ("\\" between levels) -> item directories (messages,
    appointments, tasks, contacts, lists)."""
    folders = {}
    for dirpath, dirs, _ in os.walk(top):
        inner = dirpath[len(top):]
        if re.search(r"/(" + ITEM_DIRECTORY + r"|Attachment\d+)", inner) or inner.endswith("/Attachments"):
            continue
        rel = os.path.relpath(dirpath, top)
        rel = "" if rel == "." else rel.replace(os.sep, "\\")
        folders[rel] = [os.path.join(dirpath, d) for d in sorted(dirs) if re.match(ITEM_DIRECTORY + "$", d)]
    return folders


def read_item_values(path):
    """pffexport -d ItemValues file -> list of sets, each {(entry type, value type): bytes}.
    A named property is keyed by what libpff maps it to: its own identifier
    ("Maps to entry type") or its name ("Maps to entry")."""
    sets = {}
    if not os.path.exists(path):
        return []
    current_set, key, data, in_value = 0, None, None, False

    def finish():
        if key is not None:
            sets.setdefault(current_set, {})[key] = bytes(data) if data is not None else None

    lines = open(path, "rb").read().decode("utf-8", errors="replace").splitlines()
    entry_type = None
    for line in lines:
        if line.startswith("Set:"):
            finish()
            key, data, in_value = None, None, False
            current_set = int(line.split(":", 1)[1])
        elif line.startswith("Entry type:"):
            entry_type = int(line.split(":", 1)[1], 16)
        elif line.startswith("Maps to entry"):
            value = line.split(":", 1)[1].strip()
            entry_type = int(value, 16) if line.startswith("Maps to entry type:") else value
            if key is not None:
                key = (entry_type, key[1])
        elif line.startswith("Value type:"):
            key = (entry_type, int(line.split(":", 1)[1], 16))
        elif line.startswith("Value:"):
            data, in_value = bytearray(), True
        elif in_value and line.startswith("0x") and len(line) > 12 and line[10] == ":":
            data.extend(int(h, 16) for h in line[12:61].split())
        elif not line.strip():
            in_value = False
    finish()
    return [sets[k] for k in sorted(sets)]


def text_of(props, tag):
    for value_type, codec in ((0x1F, "utf-16-le"), (0x1E, "cp1252")):
        raw = props.get((tag, value_type))
        if raw is not None:
            text = raw.decode(codec, errors="replace")
            return text.rstrip("\0")
    return None


def long_of(props, tag):
    raw = props.get((tag, 0x03))
    return int.from_bytes(raw[:4], "little") if raw and len(raw) >= 4 else None


def time_of(props, tag):
    raw = props.get((tag, 0x40))
    if not raw or len(raw) < 8:
        return None
    ticks = int.from_bytes(raw[:8], "little")
    when = datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=ticks // 10)
    return when.strftime("%Y-%m-%dT%H:%M:%SZ")


def one_off_addresses(flat_list):
    """(display name, address) of each one-off entry of a FLATENTRYLIST."""
    if not flat_list or len(flat_list) < 8:
        return None
    count, entries, at = int.from_bytes(flat_list[:4], "little"), [], 8
    for _ in range(count):
        size = int.from_bytes(flat_list[at:at + 4], "little")
        entry = flat_list[at + 4:at + 4 + size]
        at += 4 + (size + 3) // 4 * 4
        unicode = len(entry) > 24 and entry[22] | entry[23] << 8 & 0x8000
        codec, zero = ("utf-16-le", b"\0\0") if unicode else ("cp1252", b"\0")
        texts, pos = [], 24
        for _ in range(3):
            end = pos
            while end < len(entry) and entry[end:end + len(zero)] != zero:
                end += len(zero)
            texts.append(entry[pos:end].decode(codec, errors="replace"))
            pos = end + len(zero)
        entries.append((texts[0], texts[2]))
    return entries


def read_message(directory):
    sets = read_item_values(os.path.join(directory, "ItemValues.txt"))
    props = sets[0] if sets else {}
    recipients = []
    for r in read_item_values(os.path.join(directory, "RecipientsItemValues.txt")):
        kind = {1: "To", 2: "Cc", 3: "Bcc"}.get(long_of(r, 0x0C15), str(long_of(r, 0x0C15)))
        recipients.append((text_of(r, 0x3001) or "", text_of(r, 0x3003) or "", kind))
    files = {}
    adir = os.path.join(directory, "Attachments")
    if os.path.isdir(adir):
        for name in os.listdir(adir):
            m = re.match(r"(\d+)_", name)
            if m and os.path.isfile(os.path.join(adir, name)):
                files[int(m.group(1))] = os.path.getsize(os.path.join(adir, name))
    attachments = []
    for i, a in enumerate(read_item_values(os.path.join(adir, "ItemValues.txt")), 1):
        attachments.append((text_of(a, 0x3707) or text_of(a, 0x3704) or "", files.get(i)))
    rtf = props.get((0x1009, 0x102))
    reply_entries = one_off_addresses(props.get((0x004F, 0x102)))
    return {
        "subject": text_of(props, 0x0037),
        "sender": (text_of(props, 0x0C1A), text_of(props, 0x0C1F)),
        "principal": (text_of(props, 0x0042), text_of(props, 0x0065)),
        "reply_names": text_of(props, 0x0050),
        "reply_entries": reply_entries,
        "flags": long_of(props, 0x0E07),
        "submitted": time_of(props, 0x0039),
        "delivered": time_of(props, 0x0E06),
        "created": time_of(props, 0x3007),
        "body": text_of(props, 0x1000),
        "rtf": bool(rtf),
        "recipients": recipients,
        "attachments": attachments,
    }


# ------------------------------------------------------------- folder counts

def tree_of(paths):
    children = {"": set()}
    for path in paths:
        parts = path.split("\\")
        for i in range(len(parts)):
            parent, me = "\\".join(parts[:i]), "\\".join(parts[:i + 1])
            children.setdefault(parent, set()).add(parts[i])
            children.setdefault(me, set())
    return children


def lspst_problems(pst, expected, known_folders):
    """lspst prints folders depth first without their depth, each folder's
    items after its subfolders, and leaves out folders with nothing below
    them; so the items of a last subfolder and of its parent run together.
    The listing is rebuilt from outlook_folders in lspst's own folder order
    and compared run by run."""
    lines = [l for l in run(["lspst", pst]).splitlines()
             if l.startswith("Folder ") or l.split("\t")[0] in ("Email", "Appointment", "Contact")]
    children = tree_of(known_folders)
    order, pos = {}, 0

    def walk(path):
        nonlocal pos
        order[path] = []
        remaining = set(children.get(path, ()))
        while True:
            while pos < len(lines) and not lines[pos].startswith("Folder "):
                pos += 1
            if pos >= len(lines):
                return
            name = lines[pos][len('Folder "'):-1]
            if name not in remaining:
                return
            remaining.discard(name)
            pos += 1
            child = path + "\\" + name if path else name
            order[path].append(child)
            walk(child)

    walk("")

    def compress(tokens):
        out = []
        for kind, value in tokens:
            if kind == "Email" and out and out[-1][0] == "Email":
                out[-1] = ("Email", out[-1][1] + value)
            elif kind != "Email" or value:
                out.append((kind, value))
        return out

    # Appointments and contacts are items like mail here.
    actual = compress([("Folder", l[len('Folder "'):-1]) if l.startswith("Folder ") else ("Email", 1) for l in lines])
    wanted = []

    def emit(path):
        for child in order.get(path, []):
            wanted.append(("Folder", child.split("\\")[-1]))
            emit(child)
        wanted.append(("Email", expected.get(path, 0)))

    emit("")
    wanted = compress(wanted)
    problems = [f"lspst: no folder '{f}' holding {n} items" for f, n in expected.items() if n and f not in order]
    if actual != wanted:
        at = next((i for i, (a, w) in enumerate(zip(actual, wanted)) if a != w), min(len(actual), len(wanted)))
        problems.append(f"lspst: listing differs at entry {at}: got {actual[max(0, at - 2):at + 3]}, "
                        f"expected {wanted[max(0, at - 2):at + 3]}")
    return problems


def readpst_counts(pst, root):
    out = os.path.join(root, "readpst")
    os.makedirs(out, exist_ok=True)
    # readpst's parallel jobs now and then lose the last item of a folder
    run(["readpst", "-j", "0", "-q", "-D", "-S", "-o", out, pst])
    stores = os.listdir(out)
    if len(stores) != 1:
        raise SystemExit(f"readpst: no single store folder in {stores}")
    base = os.path.join(out, stores[0])
    counts = {}
    for dirpath, _, files in os.walk(base):
        rel = os.path.relpath(dirpath, base)
        rel = "" if rel == "." else rel.replace(os.sep, "\\")
        counts[rel] = sum(1 for f in files if f.isdigit())
    return counts


def tasks_by_folder(sample_dir, manifest):
    """Folder -> number of tasks expected there (expected_items.json)."""
    counts = Counter()
    if "expected_items" not in manifest:
        return counts
    items = json.load(open(os.path.join(sample_dir, manifest["expected_items"]["file"]), encoding="utf-8"))
    for task in items.get("tasks", []):
        counts.update(task["folders"])
    return counts


def lists_by_folder(sample_dir):
    """Folder -> number of distribution lists expected there
    (expected_contacts.json; contacts and lists share the Contacts folder)."""
    counts = Counter()
    path = os.path.join(sample_dir, "expected_contacts.json")
    if os.path.exists(path):
        counts["Contacts"] = len(json.load(open(path, encoding="utf-8")).get("distribution_lists", []))
    return counts


def check_folders(sample_dir, manifest, pst, root):
    expected = manifest["outlook_folders"]
    tasks = tasks_by_folder(sample_dir, manifest)
    lists = lists_by_folder(sample_dir)
    # lspst and readpst show neither tasks nor distribution lists.
    without_tasks = {folder: count - tasks[folder] - lists[folder] for folder, count in expected.items()}
    pff = {k: len(v) for k, v in pff_folders(pff_export(pst, root, dump=False)).items()}
    readers = {"pffexport": pff, "readpst": readpst_counts(pst, root)}
    problems = lspst_problems(pst, without_tasks, set(pff) | set(expected))
    for reader, counts in readers.items():
        for folder, count in (expected if reader == "pffexport" else without_tasks).items():
            got = counts.get(pff_name(folder) if reader == "pffexport" else folder)
            # lspst and readpst leave out folders without any item below them
            if got is None and reader != "pffexport" and count == 0:
                continue
            if got != count:
                problems.append(f"{reader}: folder '{folder}' holds {got} items, expected {count}")
        listed = {pff_name(f) if reader == "pffexport" else f for f in expected}
        extra = {f: n for f, n in counts.items() if f not in listed and n}
        if extra:
            problems.append(f"{reader}: items in folders outside outlook_folders: {extra}")
    total = sum(expected.values())
    print(f"folders: {len(expected)} Outlook folders, {total} items expected; "
          f"checked with pffexport, readpst and lspst: {'all agree' if not problems else f'{len(problems)} mismatches'}")
    for p in problems:
        print("FOLDER MISMATCH:", p)
    return not problems


# ------------------------------------------------------------------ fidelity

def words(text):
    return " ".join((text or "").split())


class Tally:
    def __init__(self, show):
        self.checked = self.equal = self.pending = 0
        self.by_field = Counter()
        self.mismatches = []
        self.show = show
        self.pending_kind = False  # mismatches of the current memo are known gaps

    def check(self, where, field, expected, got):
        self.checked += 1
        if expected == got:
            self.equal += 1
            return
        if self.pending_kind:
            self.pending += 1
            field += " (pending)"
        self.by_field[field] += 1
        if len(self.mismatches) < self.show:
            self.mismatches.append(f"{where}: {field}: expected {expected!r}, got {got!r}")

    def multiset(self, where, field, expected, got):
        """One field per expected entry, plus one per entry nobody expected."""
        left = list(got)
        for item in expected:
            if item in left:
                left.remove(item)
                self.check(where, field, item, item)
            else:
                self.check(where, field, item, None)
        for item in left:
            self.check(where, field, None, item)


def expected_attachment(name, size):
    return (name, size)


def check_message(t, where, exp, got):
    state = exp["state"]
    t.check(where, "subject", exp["subject"], got["subject"])
    sent = state in (2, 3)
    # The writer sets the sending identities and the submit time only for
    # messages that went out or came in; a draft has none yet.
    t.check(where, "sender name", exp["sender"][0] if sent else None, got["sender"][0])
    t.check(where, "sender address", exp["sender"][1] if sent else None, got["sender"][1])
    t.check(where, "sent-representing name", exp["principal"][0] if sent else None, got["principal"][0])
    t.check(where, "sent-representing address", exp["principal"][1] if sent else None, got["principal"][1])
    # The reply-to goes out only with both its parts; its names property
    # carries the address.
    reply = exp.get("reply_to")
    has_reply = sent and reply is not None and all(reply)
    t.check(where, "reply-to names", reply[1] if has_reply else None, got["reply_names"])
    t.check(where, "reply-to entry", [tuple(reply)] if has_reply else None, got["reply_entries"])
    t.multiset(where, "recipient", [tuple(r) for r in exp["recipients"]], got["recipients"])
    want_flags = (MSGFLAG_UNSENT | MSGFLAG_READ) if state == 1 else (MSGFLAG_READ | MSGFLAG_UNMODIFIED)
    if exp["attachments"]:
        want_flags |= MSGFLAG_HASATTACH  # the store's own flag
    got_flags = got["flags"] & 0x1F if got["flags"] is not None else None
    t.check(where, f"message flags ({STATE_NAMES[state]})", want_flags, got_flags)
    submitted = (exp["posted"] or exp["created"]) if sent else None
    t.check(where, "submit time", submitted, got["submitted"])
    t.check(where, "delivery time", exp["delivered"], got["delivered"])
    t.check(where, "creation time", exp["created"], got["created"])
    # How Notes turns a MIME text part into paragraphs is its own choice:
    # there only the words and their order count.
    if exp.get("body_kind") == "mime":
        t.check(where, "plain body", words(exp["body"]), words(got["body"]))
    else:
        t.check(where, "plain body", exp["body"], (got["body"] or "").replace("\r\n", "\n"))
    t.check(where, "RTF body present", exp["rtf"], got["rtf"])
    # A picture's TIFF size is the encoder's: only its name is promised.
    got_attachments = [(n, None if re.match(r"_IMAGE\d+\.tif$", n) and s else s) for n, s in got["attachments"]]
    t.multiset(where, "attachment", [tuple(a) for a in exp["attachments"]], got_attachments)


def check_fidelity(sample_dir, manifest, pst, root, show, pending_kinds):
    expected = json.load(open(os.path.join(sample_dir, manifest["expected_mail"]["file"]), encoding="utf-8"))
    folders = pff_folders(pff_export(pst, root, dump=True))
    index = {}
    for folder, dirs in folders.items():
        for d in dirs:
            msg = read_message(d)
            index.setdefault((folder, msg["subject"]), []).append(msg)
    t = Tally(show)
    instances = 0
    for exp in expected["messages"]:
        for folder in exp["folders"]:
            instances += 1
            where = f"[{folder}] '{exp['subject']}'"
            t.pending_kind = exp.get("body_kind") in pending_kinds
            found = index.get((pff_name(folder), exp["subject"]), [])
            if len(found) != 1:
                t.check(where, "message present once", 1, len(found))
                continue
            check_message(t, where, exp, found[0])
    print(f"fidelity: {len(expected['messages'])} memos in {instances} folder places; "
          f"{t.checked} fields checked, {t.equal} equal"
          + (f" ({t.pending} mismatches in {'/'.join(sorted(pending_kinds))} bodies pending)" if t.pending else ""))
    if t.by_field:
        print("mismatches by field: " + ", ".join(f"{f} {n}" for f, n in t.by_field.most_common()))
    for m in t.mismatches:
        print("MISMATCH:", m)
    return t.checked == t.equal + t.pending



def main():
    args = [a for a in sys.argv[1:]]
    show, pending = 20, set()
    while "--show" in args or "--pending" in args:
        i = args.index("--show") if "--show" in args else args.index("--pending")
        if i + 1 >= len(args):
            print(__doc__)
            sys.exit(2)
        if args[i] == "--show":
            show = int(args[i + 1])
        else:
            pending.add(args[i + 1])
        del args[i:i + 2]
    flags = {a for a in args if a.startswith("--")}
    paths = [a for a in args if not a.startswith("--")]
    if len(paths) != 2 or flags - {"--folders", "--fidelity"}:
        print(__doc__)
        sys.exit(2)
    require_readers("lspst", "readpst", "pffexport")
    sample_dir, pst = paths
    manifest = json.load(open(os.path.join(sample_dir, "manifest.json"), encoding="utf-8"))
    both = not flags
    ok = True
    with tempfile.TemporaryDirectory(prefix="sample-export-check-") as root:
        if both or "--folders" in flags:
            ok &= check_folders(sample_dir, manifest, pst, os.path.join(root, "f"))
        if both or "--fidelity" in flags:
            ok &= check_fidelity(sample_dir, manifest, pst, os.path.join(root, "m"), show, pending)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
