#!/usr/bin/env python3
"""Writes sample stores with quillbox-cli pst-sample (Unicode and ANSI) and
reads them back with the independent readers: lspst and readpst (pst-utils),
pffexport (pff-tools). Every reader must list every folder of OUT.pst.json
with its message count and the attachments; subjects, bodies and non-ASCII
text must survive. It also runs pst-check on each file.

usage: reader_interop.py QUILLBOX_CLI [--messages N] [--keep DIR]
"""
import email
import email.header
import json
import mailbox
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outside_tools import require_readers  # noqa: E402

MARK = "Grüße aus Köln ✓"


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, **kw)


def fail(msg):
    print("FAIL:", msg)
    sys.exit(1)


def decode_subject(msg):
    raw = msg.get_all("Subject") or [""]
    parts = []
    for value, charset in email.header.decode_header(str(raw[0])):
        if isinstance(value, str):
            value = value.encode("latin-1", errors="replace")
        for cs in (charset, "utf-8", "cp1252"):
            try:
                parts.append(value.decode(cs or "ascii"))
                break
            except (UnicodeDecodeError, LookupError):
                continue
    return "".join(parts)


def readpst_counts(pst, root, display_name):
    """readpst -D -r: one mbox per folder; counts messages and attachments and
    collects decoded subjects and bodies."""
    out = os.path.join(root, "readpst")
    os.makedirs(out)
    r = run(["readpst", "-j", "0", "-D", "-r", "-o", out, pst])
    if r.returncode != 0:
        fail("readpst failed: " + r.stderr.decode(errors="replace"))
    folders, attachments, texts = {}, 0, []
    base = os.path.join(out, display_name)
    for dirpath, _, files in os.walk(base):
        rel = os.path.relpath(dirpath, base)
        rel = "" if rel == "." else rel.replace("/", "\\")
        for f in files:
            for msg in mailbox.mbox(os.path.join(dirpath, f)):
                folders[rel] = folders.get(rel, 0) + 1
                texts.append(decode_subject(msg))
                for part in msg.walk():
                    disposition = str(part.get("Content-Disposition") or "").lower()
                    if disposition.startswith("attachment"):
                        attachments += 1
                    if part.get_content_type() == "text/plain":
                        payload = part.get_payload(decode=True) or b""
                        charset = part.get_content_charset() or "utf-8"
                        texts.append(payload.decode(charset, errors="replace"))
    return folders, attachments, "\n".join(texts)


def lspst_counts(pst):
    """lspst prints folders depth first, each folder's items after its subfolders."""
    r = run(["lspst", pst])
    if r.returncode != 0:
        fail("lspst failed")
    text = r.stdout.decode("utf-8", errors="replace")
    return len(re.findall(r"^Folder ", text, re.M)), len(re.findall(r"^Email\t", text, re.M)), text


def pffexport_counts(pst, root):
    target = os.path.join(root, "pff")
    r = run(["pffexport", "-m", "items", "-t", target, pst])
    log = r.stdout.decode("utf-8", errors="replace")
    base = target + ".export"
    top = None
    for name in os.listdir(base):
        if name.startswith("Top of"):
            top = os.path.join(base, name)
    if top is None:
        fail("pffexport wrote no mail root")
    folders, texts = {}, []
    for dirpath, dirs, _ in os.walk(top):
        if "/Message" in dirpath[len(top):] or "/Attachment" in dirpath[len(top):]:
            continue
        rel = os.path.relpath(dirpath, top)
        rel = "" if rel == "." else rel.replace("/", "\\")
        messages = [d for d in dirs if re.match(r"Message\d+$", d)]
        folders[rel] = len(messages)
        for m in messages:
            for name in ("Message.txt", "OutlookHeaders.txt"):
                p = os.path.join(dirpath, m, name)
                if os.path.exists(p):
                    texts.append(open(p, "rb").read().decode("utf-8", errors="replace"))
    # pffexport logs "attachment i out of n" per attachment; count each message's n once.
    per_message = re.findall(r"Exporting attachment (\d+) out of (\d+)\.", log)
    attachments = sum(int(total) for index, total in per_message if index == "1")
    return folders, attachments, "\n".join(texts)


def compare(reader, expected, got):
    for path, count in expected.items():
        if got.get(path, 0) != count:
            fail(f"{reader}: folder '{path}' has {got.get(path, 0)} messages, expected {count} (got {got})")


def check_store(cli, fmt, messages, root):
    pst = os.path.join(root, f"sample-{fmt}.pst")
    r = run([cli, "pst-sample", pst, "--format", fmt, "--messages", str(messages), "--seed", "7"])
    if r.returncode != 0:
        fail("pst-sample failed: " + r.stderr.decode(errors="replace"))
    summary = json.load(open(pst + ".json", encoding="utf-8"))
    r = run([cli, "pst-check", pst])
    if r.returncode != 0:
        fail("pst-check: " + r.stdout.decode(errors="replace")[-3000:])
    expected = summary["folders"]
    total = sum(expected.values())

    folders, emails, text = lspst_counts(pst)
    if emails != total:
        fail(f"lspst lists {emails} messages, expected {total}")
    if folders < len(expected):
        fail(f"lspst lists {folders} folders, expected at least {len(expected)}")

    got, atts, rtext = readpst_counts(pst, root + "/" + fmt, "Quillbox sample")
    compare("readpst", expected, got)
    # readpst leaves out attachments without data and puts embedded messages inline.
    want = summary["attachments"] - summary["emptyAttachments"] - summary["embeddedMessages"]
    if atts != want:
        fail(f"readpst shows {atts} attachments, expected {want}")
    for needle in ["Sample 000003", "Body of message 3.", "Inner message of 6", "Grüße, naïve café."]:
        if needle not in rtext:
            fail(f"readpst output lacks '{needle}'")
    if fmt == "unicode" and MARK not in rtext:
        fail("readpst output lacks the non-ASCII subject")
    if fmt == "ansi" and "Grüße aus Köln" not in rtext:
        fail("readpst output lacks the Windows-1252 subject")

    got, atts, ptext = pffexport_counts(pst, root + "/" + fmt)
    compare("pffexport", expected, got)
    if atts != summary["attachments"]:
        fail(f"pffexport shows {atts} attachments, expected {summary['attachments']}")
    for needle in ["Sample 000003", "Jürgen Müller", "Body of message 3.", "Grüße, naïve café."]:
        if needle not in ptext:
            fail(f"pffexport output lacks '{needle}'")
    if (MARK if fmt == "unicode" else "Grüße aus Köln") not in ptext:
        fail("pffexport output lacks the non-ASCII subject")
    print(f"{fmt}: {total} messages in {len(expected)} folders, {summary['attachments']} attachments: "
          "lspst, readpst and pffexport agree")



def main():
    if len(sys.argv) < 2:
        print(__doc__)
        sys.exit(2)
    require_readers("lspst", "readpst", "pffexport")
    cli = sys.argv[1]
    messages = 10
    keep = None
    args = sys.argv[2:]
    while args:
        a = args.pop(0)
        if a == "--messages":
            messages = int(args.pop(0))
        elif a == "--keep":
            keep = args.pop(0)
    root = keep or tempfile.mkdtemp(prefix="pst-interop-")
    os.makedirs(root, exist_ok=True)
    for fmt in ("unicode", "ansi"):
        check_store(cli, fmt, messages, root)
    if not keep:
        subprocess.run(["rm", "-rf", root])


if __name__ == "__main__":
    main()
