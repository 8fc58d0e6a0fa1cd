#!/usr/bin/env python3
"""Checks a personal folders file written through MAPI with the independent
readers: readpst (pst-utils) and pffexport (pff-tools). EXPECTED.json names the
store's display name, the message count of every folder below the top of the
store (paths with "\\"), and per message its folder, subject, sender name and
address, body text, recipients [name, address, type] and attachments [file
name, size], and optionally its RTF body ("rtf"), which readpst decompresses.
Both readers must show all of it.

usage: pst_readers_check.py FILE.pst EXPECTED.json
"""
import email.header
import email.utils
import json
import mailbox
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outside_tools import require_readers  # noqa: E402

failures = []


def fail(msg):
    failures.append(msg)


def decode(value):
    parts = []
    for text, charset in email.header.decode_header(str(value or "")):
        if isinstance(text, str):
            parts.append(text)
            continue
        for cs in (charset, "utf-8", "cp1252"):
            try:
                parts.append(text.decode(cs or "ascii"))
                break
            except (UnicodeDecodeError, LookupError):
                continue
    return "".join(parts)


def part_text(part):
    payload = part.get_payload(decode=True) or b""
    for cs in (part.get_content_charset(), "utf-8", "cp1252"):
        try:
            return payload.decode(cs or "ascii")
        except (UnicodeDecodeError, LookupError):
            continue
    return payload.decode("latin-1")


def check_readpst(pst, expected, root):
    out = os.path.join(root, "readpst")
    os.makedirs(out)
    r = subprocess.run(["readpst", "-j", "0", "-D", "-r", "-o", out, pst], capture_output=True)
    if r.returncode != 0:
        fail("readpst failed: " + r.stderr.decode(errors="replace"))
        return
    base = os.path.join(out, expected["displayName"])
    messages = {}
    for dirpath, _, files in os.walk(base):
        rel = os.path.relpath(dirpath, base)
        rel = "" if rel == "." else rel.replace("/", "\\")
        for f in files:
            for msg in mailbox.mbox(os.path.join(dirpath, f)):
                messages.setdefault(rel, []).append(msg)
    for folder, count in expected["folders"].items():
        got = len(messages.get(folder, []))
        if got != count:
            fail(f"readpst: folder '{folder}' holds {got} messages, expected {count}")
    for m in expected["messages"]:
        found = [x for x in messages.get(m["folder"], []) if decode(x["Subject"]) == m["subject"]]
        if len(found) != 1:
            fail(f"readpst: '{m['subject']}' found {len(found)} times in '{m['folder']}'")
            continue
        msg = found[0]
        name, address = email.utils.parseaddr(decode(msg["From"]))
        if not m["senderAddress"] and address == "MAILER-DAEMON":
            address = ""  # readpst's stand-in for a message without a sender
        if name != m["senderName"] or address != m["senderAddress"]:
            fail(f"readpst: sender of '{m['subject']}' is {name!r} <{address}>")
        for rname, raddress, rtype in m["recipients"]:
            if rtype not in (1, 2):
                continue  # readpst writes no Bcc header
            header = decode(msg["To"] if rtype == 1 else msg["Cc"])
            if rname not in header:
                fail(f"readpst: {'To' if rtype == 1 else 'Cc'} of '{m['subject']}' lacks {rname!r}: {header!r}")
        bodies, attachments, rtf = [], [], None
        for part in msg.walk():
            disposition = str(part.get("Content-Disposition") or "").lower()
            if disposition.startswith("attachment") and decode(part.get_filename()) == "rtf-body.rtf":
                # readpst decompresses PR_RTF_COMPRESSED into this part.
                rtf = (part.get_payload(decode=True) or b"").decode("latin-1")
            elif disposition.startswith("attachment"):
                attachments.append([decode(part.get_filename()), len(part.get_payload(decode=True) or b"")])
            elif part.get_content_type() == "text/plain":
                bodies.append(part_text(part))
        if m["body"].strip() not in "\n".join(bodies).replace("\r\n", "\n"):
            fail(f"readpst: body of '{m['subject']}' is {bodies!r}")
        if m.get("rtf") is not None and (rtf or "").rstrip("\0") != m["rtf"]:
            fail(f"readpst: RTF body of '{m['subject']}' is {rtf!r}, expected {m['rtf']!r}")
        if sorted(attachments) != sorted(m["attachments"]):
            fail(f"readpst: attachments of '{m['subject']}' are {attachments}, expected {m['attachments']}")


def read_fields(path):
    fields = {}
    if os.path.exists(path):
        for line in open(path, "rb").read().decode("utf-8", errors="replace").splitlines():
            if ":" in line:
                key, _, value = line.partition(":")
                fields.setdefault(key.strip(), value.strip())
    return fields


def read_recipients(path):
    people, current = [], {}
    if os.path.exists(path):
        for line in open(path, "rb").read().decode("utf-8", errors="replace").splitlines() + [""]:
            if not line.strip():
                if current:
                    people.append(current)
                current = {}
                continue
            key, _, value = line.partition(":")
            current[key.strip()] = value.strip()
    return people


def check_pffexport(pst, expected, root):
    target = os.path.join(root, "pff")
    r = subprocess.run(["pffexport", "-m", "items", "-t", target, pst], capture_output=True)
    if r.returncode != 0:
        fail("pffexport failed: " + r.stderr.decode(errors="replace"))
        return
    base = target + ".export"
    tops = [n for n in os.listdir(base) if n.startswith("Top of")]
    if len(tops) != 1:
        fail(f"pffexport: no single top of the store in {os.listdir(base)}")
        return
    top = os.path.join(base, tops[0])
    folders = {}
    for dirpath, dirs, _ in os.walk(top):
        inner = dirpath[len(top):]
        if re.search(r"/(Message|Attachment)\d+", inner) or inner.endswith("/Attachments"):
            continue
        rel = os.path.relpath(dirpath, top)
        rel = "" if rel == "." else rel.replace("/", "\\")
        folders[rel] = [os.path.join(dirpath, d) for d in sorted(dirs) if re.match(r"Message\d+$", d)]
    for folder, count in expected["folders"].items():
        if folder not in folders:
            fail(f"pffexport: no folder '{folder}' (has {sorted(folders)})")
        elif len(folders[folder]) != count:
            fail(f"pffexport: folder '{folder}' holds {len(folders[folder])} messages, expected {count}")
    for m in expected["messages"]:
        found = [d for d in folders.get(m["folder"], [])
                 if read_fields(os.path.join(d, "OutlookHeaders.txt")).get("Subject") == m["subject"]]
        if len(found) != 1:
            fail(f"pffexport: '{m['subject']}' found {len(found)} times in '{m['folder']}'")
            continue
        d = found[0]
        headers = read_fields(os.path.join(d, "OutlookHeaders.txt"))
        if headers.get("Sender name", "") != m["senderName"] or headers.get("Sender email address", "") != m["senderAddress"]:
            fail(f"pffexport: sender of '{m['subject']}' is {headers.get('Sender name')!r} "
                 f"<{headers.get('Sender email address')}>")
        people = read_recipients(os.path.join(d, "Recipients.txt"))
        got = sorted([p.get("Display name"), p.get("Email address"), p.get("Recipient type")] for p in people)
        want = sorted([n, a, {1: "To", 2: "CC", 3: "BCC"}[t]] for n, a, t in m["recipients"])
        if [[g[0], g[1], (g[2] or "").upper()] for g in got] != [[w[0], w[1], w[2].upper()] for w in want]:
            fail(f"pffexport: recipients of '{m['subject']}' are {got}, expected {want}")
        body_path = os.path.join(d, "Message.txt")
        body = open(body_path, "rb").read().decode("utf-8", errors="replace") if os.path.exists(body_path) else ""
        if m["body"].strip() not in body.replace("\r\n", "\n"):
            fail(f"pffexport: body of '{m['subject']}' is {body!r}")
        attachments = []
        adir = os.path.join(d, "Attachments")
        if os.path.isdir(adir):
            for name in os.listdir(adir):
                attachments.append([re.sub(r"^\d+_", "", name), os.path.getsize(os.path.join(adir, name))])
        if sorted(attachments) != sorted(m["attachments"]):
            fail(f"pffexport: attachments of '{m['subject']}' are {attachments}, expected {m['attachments']}")



def main():
    if len(sys.argv) != 3:
        print(__doc__)
        sys.exit(2)
    require_readers("readpst", "pffexport")
    pst, expected_path = sys.argv[1], sys.argv[2]
    expected = json.load(open(expected_path, encoding="utf-8"))
    with tempfile.TemporaryDirectory(prefix="pst-readers-") as root:
        check_readpst(pst, expected, root)
        check_pffexport(pst, expected, root)
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print(f"readpst and pffexport agree on {len(expected['messages'])} messages in {len(expected['folders'])} folders")


if __name__ == "__main__":
    main()
