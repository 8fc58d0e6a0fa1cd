#!/usr/bin/env python3
"""The batch export end to end, on real files and with the outside readers:

  1. `sample --mailboxes 3`, `batch add --server Hub/Acme --dir mail`, `batch
     run`: three .pst files, each sound for `pst-check` and equal to its own
     mailbox's manifest through pffexport, readpst and lspst
     (sample_export_check.py); the list marks all three done; a second run
     exports nothing.
  2. One mailbox made unreadable: the batch goes on, that item fails with its
     reason in the list and its log, the exit status is 1. A mailbox that
     loses an attachment is done, and the batch ends with status 4.
  3. The README's GNU parallel form with 2 shards, then `batch merge`: the
     same list and the same files as the one run of 1; a run after the merge
     exports nothing; no temporary profile is left behind.
  4. A list with two items writing one file (a .pst, or one's .pst at the
     other's log), and a shard out of range, are refused before anything is
     done.
  5. Ctrl-C during the second mailbox: exit 3, that mailbox cancelled (2000)
     and not done, the first done, no temporary profile left.

  batch_export.py CLI [--messages N] [--work DIR]
Exit 0 when every check passed; the reasons otherwise.
"""
import argparse
import csv
import io
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "convert", "sample_export_check.py")
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from outside_tools import require_readers  # noqa: E402

MAILBOXES = ["staff01", "staff02", "staff03"]
problems = []


def fail(text):
    problems.append(text)
    print("FAIL:", text)


class Batch:
    def __init__(self, cli, work, env):
        self.cli, self.work, self.env = cli, work, env

    def run(self, *args, stdin=subprocess.DEVNULL):
        r = subprocess.run([self.cli] + list(args), env=self.env, stdin=stdin, capture_output=True, text=True,
                           timeout=1800)
        return r.returncode, r.stdout + r.stderr


def read_list(path):
    with open(path, newline="", encoding="utf-8") as f:
        return [row for row in csv.reader(io.StringIO(f.read())) if row]


def fresh_copy(b, ini, listing, name):
    """A copy of the list with its flags reset, and an empty folder for its files."""
    copy = os.path.join(b.work, name + ".csv")
    shutil.copy(listing, copy)
    b.run("batch", "reset", "--ini", ini, "--list", copy)
    folder = os.path.join(b.work, "out-" + name)
    os.makedirs(folder)
    return copy, folder


def item_lines(output):
    return [line for line in output.splitlines() if line.startswith("[")]


def check_files(b, sample, out, names, full=True):
    for name in names:
        pst = os.path.join(out, name + ".pst")
        if not os.path.exists(pst):
            fail(f"{pst} was not written")
            continue
        code, text = b.run("pst-check", pst)
        if code != 0:
            fail(f"pst-check {pst}: {text}")
        args = [sys.executable, CHECK, os.path.join(sample, "mailboxes", name), pst] + ([] if full else ["--folders"])
        r = subprocess.run(args, capture_output=True, text=True)
        if r.returncode != 0:
            fail(f"{pst} does not match its manifest:\n{r.stdout}{r.stderr}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--messages", type=int, default=40)
    parser.add_argument("--work")
    args = parser.parse_args()
    require_readers("pffexport", "readpst", "lspst", "parallel")
    work = args.work or tempfile.mkdtemp(prefix="quillbox-batch-")
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), TMPDIR=os.path.join(work, "tmp"))
    os.makedirs(env["TMPDIR"], exist_ok=True)
    b = Batch(args.cli, work, env)
    sample = os.path.join(work, "sample")
    code, text = b.run("sample", "--out", sample, "--messages", str(args.messages), "--mailboxes", "3")
    if code != 0:
        fail(f"sample: {text}")
        return 1
    ini = os.path.join(sample, "Quillbox.ini")

    # 1. One run of three mailboxes.
    listing = os.path.join(sample, "QuillboxM.csv")
    code, text = b.run("batch", "add", "--ini", ini, "--server", "Hub/Acme", "--dir", "mail")
    if code != 0 or text.count("added ") != 3:
        fail(f"batch add: {code} {text}")
    out = os.path.join(work, "out")
    os.makedirs(out)
    run_args = ["--ini", ini, "--pst-dir", out, "--format", "unicode", "--yes"]
    code, text = b.run("batch", "run", *run_args)
    print(text)
    if code != 0 or len(item_lines(text)) != 3:
        fail(f"batch run: exit {code}, expected 0 with a line per mailbox:\n{text}")
    rows = read_list(listing)
    if [(r[4], r[5], r[8], r[9]) for r in rows] != [(n + ".pst", "1", "OK", "0") for n in MAILBOXES]:
        fail(f"the list does not mark the three mailboxes done: {rows}")
    check_files(b, sample, out, MAILBOXES)
    for name in MAILBOXES:
        if not os.path.exists(os.path.join(out, name + ".log")):
            fail(f"no log beside {name}.pst")
    stamps = {n: os.stat(os.path.join(out, n + ".pst")).st_mtime_ns for n in MAILBOXES}
    code, text = b.run("batch", "run", *run_args)
    if code != 0 or item_lines(text):
        fail(f"a second run must export nothing: exit {code}\n{text}")
    if any(os.stat(os.path.join(out, n + ".pst")).st_mtime_ns != stamps[n] for n in MAILBOXES):
        fail("a second run changed a finished file")
    if read_list(listing) != rows:
        fail("a second run changed the list")

    # 2. An unreadable mailbox fails alone.
    broken_list, out2 = fresh_copy(b, ini, listing, "broken")
    staff02 = os.path.join(sample, "server", "mail", "staff02.dxl")
    saved = open(staff02, "rb").read()
    open(staff02, "wb").write(b"<?xml version='1.0'?><database><document form='Memo'><item name='Subject'>")
    code, text = b.run("batch", "run", "--ini", ini, "--list", broken_list, "--pst-dir", out2, "--yes")
    open(staff02, "wb").write(saved)
    rows2 = read_list(broken_list)
    if code != 1:
        fail(f"a failed mailbox must give exit 1, not {code}:\n{text}")
    if [r[5] for r in rows2] != ["1", "0", "1"] or rows2[1][9] in ("", "0") or not rows2[1][8] or rows2[1][8] == "OK":
        fail(f"only staff02 must be marked failed, with its reason: {rows2}")
    else:
        print(f"unreadable mailbox: result {rows2[1][9]}, \"{rows2[1][8]}\"")
        # Its own log says why, too: it is what an administrator reads afterwards.
        log2 = open(os.path.join(out2, "staff02.log"), encoding="utf-8", errors="replace").read()
        if "~#>ERROR " + rows2[1][8] not in log2:
            fail(f"staff02.log must give the reason \"{rows2[1][8]}\":\n{log2}")

    # 2b. A mailbox that loses an attachment is exported and done, and the
    # batch says so with exit 4, never 0.
    lossy_list, out2b = fresh_copy(b, ini, listing, "lossy")
    with open(lossy_list, newline="", encoding="utf-8") as f:
        staff03_row = f.read().splitlines(keepends=True)[2]
    open(lossy_list, "w", newline="", encoding="utf-8").write(staff03_row)
    staff03 = os.path.join(sample, "server", "mail", "staff03.dxl")
    saved = open(staff03, "rb").read()
    data = saved.find(b"<filedata>")
    if data < 0:
        fail("staff03 has no attachment to damage")
    else:
        open(staff03, "wb").write(saved[:data] + b"<filedata>\n!!!! not base64 @@@@\n" +
                                  saved[saved.find(b"</filedata>", data):])
        code, text = b.run("batch", "run", "--ini", ini, "--list", lossy_list, "--pst-dir", out2b, "--yes")
        open(staff03, "wb").write(saved)
        if code != 4 or [r[5] for r in read_list(lossy_list)] != ["1"] or "documents left out" not in text:
            fail(f"a mailbox that lost an attachment must be done, with exit 4: {code}\n{text}")

    # 3. The same batch over two processes with GNU parallel, then merged.
    shard_list, out3 = fresh_copy(b, ini, listing, "sharded")
    r = subprocess.run(["parallel", "--will-cite", args.cli, "batch", "run", "--ini", ini, "--list", shard_list,
                        "--pst-dir", out3, "--format", "unicode", "--yes", "--shard", "{}/2", ":::", "0", "1"],
                       env=env, capture_output=True, text=True, timeout=1800)
    print(r.stdout + r.stderr)
    if r.returncode != 0:
        fail(f"parallel: exit {r.returncode}")
    shards = [os.path.join(work, f"sharded.shard-{i}-of-2.csv") for i in (0, 1)]
    code, text = b.run("batch", "merge", "--ini", ini, "--list", shard_list, *shards)
    if code != 0:
        fail(f"batch merge: {code} {text}")
    merged = read_list(shard_list)
    if merged != rows:
        fail(f"the merged list differs from the one run's:\n{merged}\n{rows}")
    if sorted(f for f in os.listdir(out3) if f.endswith(".pst")) != [n + ".pst" for n in MAILBOXES]:
        fail(f"the shards wrote {sorted(os.listdir(out3))}")
    check_files(b, sample, out3, MAILBOXES)
    code, text = b.run("batch", "run", "--ini", ini, "--list", shard_list, "--pst-dir", out3, "--yes")
    if code != 0 or item_lines(text):
        fail(f"a run after the merge must export nothing: exit {code}\n{text}")
    # 4. Per-item choices given to add, and lists and options refused before a run starts.
    chosen = os.path.join(work, "chosen.csv")
    code, text = b.run("batch", "add", "--ini", ini, "--list", chosen, "--pst-name", "Boss Mail.pst",
                       "--output-folder", "Boss (Notes)", "--address-book", "names.nsf",
                       "--address-book-server", "Hub/Acme", "mail/staff01.dxl")
    rows4 = read_list(chosen) if code == 0 else []
    if [(r[3], r[4], r[10], r[11]) for r in rows4] != [("Boss (Notes)", "Boss Mail.pst", "Hub/Acme", "names.nsf")]:
        fail(f"batch add must keep the item's choices: {code} {text} {rows4}")
    for bad in (["--pst-name", "x.pst", "--server", "Hub/Acme", "--dir", "mail"],
                ["--pst-name", "../x.pst", "mail/staff02.dxl"],
                ["--address-book-server", "Hub/Acme", "mail/staff02.dxl"]):
        code, text = b.run("batch", "add", "--ini", ini, "--list", chosen, *bad)
        if code != 2:
            fail(f"batch add {bad} must be refused (exit 2): {code} {text}")
    if len(read_list(chosen)) != 1:
        fail("a refused add changed the list")
    twice = os.path.join(work, "twice.csv")
    with open(listing, newline="", encoding="utf-8") as f:
        first = f.read().splitlines(keepends=True)[0]
    open(twice, "w", newline="", encoding="utf-8").write(first + first.replace("mail\\staff01.dxl", "mail\\other.dxl"))
    code, text = b.run("batch", "run", "--ini", ini, "--list", twice, "--pst-dir", out3, "--yes")
    if code != 2 or "both write staff01.pst" not in text:
        fail(f"two items writing one file must be refused (exit 2): {code} {text}")
    # One item's .pst at the other's log would be taken for an earlier attempt's file.
    row = first.rstrip("\r\n").split(",")
    row[4] = '"staff01.log"'
    open(twice, "w", newline="", encoding="utf-8").write(first + ",".join(row).replace("mail\\staff01.dxl", "mail\\other.dxl") + "\r\n")
    code, text = b.run("batch", "run", "--ini", ini, "--list", twice, "--pst-dir", out3, "--yes")
    if code != 2 or "both write staff01.log" not in text:
        fail(f"an item writing another's log must be refused (exit 2): {code} {text}")
    code, text = b.run("batch", "run", "--ini", ini, "--shard", "2/2", "--yes")
    if code != 2:
        fail(f"--shard 2/2 must be refused (exit 2): {code} {text}")

    # 5. Ctrl-C while the second mailbox is exported: exit 3, the first done,
    # the rest not, the temporary profile removed.
    cancel_list, out5 = fresh_copy(b, ini, listing, "cancelled")
    proc = subprocess.Popen([args.cli, "batch", "run", "--ini", ini, "--list", cancel_list, "--pst-dir", out5,
                             "--yes"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    seen = []
    for line in proc.stdout:
        seen.append(line)
        if line.startswith("[0]"):
            break
    # The second mailbox's run is under way once its log names a document.
    log2 = os.path.join(out5, "staff02.log")
    for _ in range(3000):
        if os.path.exists(log2) and b"About to export document" in open(log2, "rb").read():
            break
        time.sleep(0.02)
    proc.send_signal(signal.SIGINT)
    seen += proc.stdout.readlines()
    code = proc.wait(timeout=600)
    rows5 = read_list(cancel_list)
    if code != 3 or rows5[0][5] != "1" or "0" not in [r[5] for r in rows5[1:]]:
        fail(f"a cancelled batch must exit 3 with the first mailbox done and a later one not: {code} {rows5}\n"
             + "".join(seen))
    elif not any(r[9] == "2000" for r in rows5):
        fail(f"the cancelled mailbox must carry result 2000: {rows5}")

    code, text = b.run("profiles")
    if "Multi-Export" in text:
        fail(f"a temporary profile was left behind:\n{text}")

    if problems:
        print(f"{len(problems)} problem(s)")
        return 1
    print("batch export: every check passed")
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
