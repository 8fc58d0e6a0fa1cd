#!/usr/bin/env python3
"""Kills a real `quillbox-cli export` of the generated sample again and again
and resumes it each time; then the personal folders file must hold every
expected mail item exactly once per folder and nothing else.

  kill_resume.py CLI [--messages N] [--kills K] [--seed S] [--work DIR]

Each round starts `export --yes --resume` (the first one `--restart`) and
sends SIGKILL after a random number of newly exported documents (read from
the export log) plus a random few milliseconds, so the kill lands anywhere:
inside a save, between the save and the journal, inside a journal write.
The store commits in batches and the journal records only what is durable
(a batch once the next commit synced), so a kill loses the uncommitted batch
and the resume writes it again, and finds the committed but unrecorded ones
among the folder's last items: every
round picks the program's own batch size or, at random, a small one
(QUILLBOX_COMMIT_BATCH) that puts commit boundaries all through the sample.
After every kill `pst-check` must find the file sound. One round is ended by
SIGINT (exit 3) and one by a full disk injected into the .pst file layer
(exit 1). Then the export is resumed to its end (exit 0, or 4 while calendar
entries and tasks are not converted) and the file is compared, with
pffexport, with the sample's expected_mail.json.

Exit 0 when every check passed; the reasons otherwise.
"""
import argparse
import collections
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "convert"))
import sample_export_check as check  # noqa: E402

EXIT_DONE = (0, 4)  # 4: finished with documents left out (calendar entries, tasks)
ROUND_SECONDS = 600


def fail(text):
    print("FAIL:", text)
    sys.exit(1)


class Sample:
    def __init__(self, cli, work, messages, seed):
        self.cli = cli
        self.dir = os.path.join(work, "sample")
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), TMPDIR=os.path.join(work, "tmp"),
                        XDG_STATE_HOME=os.path.join(work, "state"))
        os.makedirs(self.env["TMPDIR"], exist_ok=True)
        made = subprocess.run([cli, "sample", "--out", self.dir, "--messages", str(messages), "--seed", str(seed)],
                              env=self.env, capture_output=True, text=True)
        if made.returncode != 0:
            fail(f"sample: {made.stdout}{made.stderr}")
        self.ini = os.path.join(self.dir, "Quillbox.ini")
        self.pst = os.path.join(self.dir, "Quillbox Sample.pst")
        self.log = os.path.join(self.env["TMPDIR"], f"quillbox-{os.getuid()}", "exportlog.txt")
        self.found_saved = 0  # documents a resume found saved but unrecorded
        text = open(self.ini, encoding="utf-8").read()
        if not re.search(r"(?m)^LogExport=1$", text):
            fail(f"{self.ini} does not switch the export log on: the kills are timed by it")
        text = re.sub(r"(?m)^RecoveryInfo=.*\n", "", text)
        text = text.replace("[Lotus Notes]\n", "[Lotus Notes]\nRecoveryInfo=1\n", 1)
        open(self.ini, "w", encoding="utf-8").write(text)

    def start(self, option, extra_env=None, rng=None):
        # Every round counts its own documents: the log of the last one goes.
        if os.path.exists(self.log):
            self.found_saved += open(self.log, "rb").read().count(b"was saved before the interruption")
            os.remove(self.log)
        out = open(os.path.join(os.path.dirname(self.dir), "export-output.txt"), "w")
        env = dict(self.env, **(extra_env or {}))
        if rng is not None and rng.random() < 0.5:
            env["QUILLBOX_COMMIT_BATCH"] = str(rng.randint(2, 16))
        return subprocess.Popen([self.cli, "export", "--ini", self.ini, "--yes", option], env=env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)

    def documents_in_log(self):
        try:
            return open(self.log, "rb").read().count(b"....About to export document")
        except OSError:
            return 0

    def pst_check(self, after):
        r = subprocess.run([self.cli, "pst-check", self.pst], env=self.env, capture_output=True, text=True)
        if r.returncode != 0:
            fail(f"pst-check after {after}: {r.stdout}{r.stderr}")


def interrupt(sample, proc, documents, sig, rng):
    """Waits for `documents` new documents in the log, then sends `sig`.
    Returns the exit status, or None when the export ended first."""
    deadline = time.time() + ROUND_SECONDS
    while proc.poll() is None and sample.documents_in_log() < documents:
        if time.time() > deadline:
            proc.kill()
            fail("an export round made no progress")
        time.sleep(0.005)
    time.sleep(rng.uniform(0, 0.02))
    if proc.poll() is not None:
        return None
    proc.send_signal(sig)
    return proc.wait()


def compare(sample, work):
    manifest = json.load(open(os.path.join(sample.dir, "manifest.json"), encoding="utf-8"))
    expected = json.load(open(os.path.join(sample.dir, manifest["expected_mail"]["file"]), encoding="utf-8"))
    want = collections.defaultdict(collections.Counter)
    for message in expected["messages"]:
        for folder in message["folders"]:
            want[check.pff_name(folder)][message["subject"]] += 1
    # Appointments and tasks, in their own folders and in mail folders.
    if "expected_items" in manifest:
        items = json.load(open(os.path.join(sample.dir, manifest["expected_items"]["file"]), encoding="utf-8"))
        for section in items.values():
            for item in section:
                for folder in item["folders"]:
                    want[check.pff_name(folder)][item["subject"]] += 1
    folders = check.pff_folders(check.pff_export(sample.pst, os.path.join(work, "pff"), dump=True))
    problems = []
    for folder, dirs in folders.items():
        got = collections.Counter(check.read_message(d)["subject"] for d in dirs)
        if folder in want:
            if got != want[folder]:
                missing = want[folder] - got
                extra = got - want[folder]
                problems.append(f"'{folder}': {sum(missing.values())} missing, {sum(extra.values())} extra "
                                f"(e.g. {list((missing + extra).items())[:3]})")
        elif dirs and len(dirs) > manifest["outlook_folders"].get(folder.replace(os.sep, "\\"), 0):
            problems.append(f"'{folder}': {len(dirs)} items where no mail is expected")
    for folder in want:
        if folder not in folders:
            problems.append(f"'{folder}': missing")
    total = sum(sum(c.values()) for c in want.values())
    print(f"compare: {len(want)} folders, {total} items expected: "
          f"{'every one present exactly once, nothing else' if not problems else f'{len(problems)} folders differ'}")
    for p in problems:
        print("DIFFERS:", p)
    return not problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--messages", type=int, default=3000)
    parser.add_argument("--kills", type=int, default=20)
    parser.add_argument("--seed", type=int, default=11)
    parser.add_argument("--work")
    args = parser.parse_args()
    check.require_readers("pffexport")
    rng = random.Random(args.seed)
    work = args.work or tempfile.mkdtemp(prefix="kill-resume-")
    started = time.time()
    try:
        sample = Sample(os.path.abspath(args.cli), work, args.messages, args.seed)
        # Documents per round: the kills spread over about the first three
        # quarters of the export, so every round makes progress.
        step = max(2, (3 * args.messages) // (4 * max(1, args.kills)))
        kills = 0
        option = "--restart"
        for round_number in range(args.kills):
            proc = sample.start(option, rng=rng)
            option = "--resume"
            status = interrupt(sample, proc, rng.randint(1, 2 * step), signal.SIGKILL, rng)
            if status is None:
                print(f"round {round_number + 1}: the export ended before the kill")
                break
            kills += 1
            sample.pst_check(f"kill {kills}")
        status = interrupt(sample, sample.start(option), rng.randint(1, step), signal.SIGINT, rng)
        option = "--resume"
        if status not in (None, 3):
            fail(f"SIGINT: exit {status}, expected 3")
        sample.pst_check("SIGINT")
        # A full disk under the .pst file some writes into the round.
        proc = sample.start(option, {"QUILLBOX_FAULT_PST": f"write:{rng.randint(50, 400)}:ENOSPC"})
        status = proc.wait(timeout=ROUND_SECONDS)
        if status not in (1,) + EXIT_DONE:
            fail(f"full disk: exit {status}, expected 1")
        sample.pst_check("the full disk")
        for _ in range(3):
            status = sample.start(option).wait(timeout=ROUND_SECONDS * 4)
            if status in EXIT_DONE:
                break
        else:
            fail(f"the last resume ended with {status}")
        sample.pst_check("the last resume")
        again = sample.start("--resume").wait(timeout=ROUND_SECONDS)
        if again != 0:
            fail(f"a resume after the completed export: exit {again}, expected 0 (already exported)")
        print(f"{kills} kills with SIGKILL, one SIGINT, one full disk, {time.time() - started:.0f} s; "
              f"{sample.found_saved} document(s) found saved after the journal's last entry and not written again")
        if not compare(sample, work):
            sys.exit(1)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
