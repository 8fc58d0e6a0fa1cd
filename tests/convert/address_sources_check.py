#!/usr/bin/env python3
"""Where exported addresses and contacts come from, checked on the generated
sample through pffexport only:

  translation  The mailbox exported as it is still has senders or recipients
               in Notes form (the check has something to find). The same
               mailbox exported with the table `translation-table` made from
               its address book has none left for a person the address book
               knows: every such name became the person's Internet address.
  mailbox      With ContactsFormat=1 the Contacts folder holds the mailbox's
               own contacts and none of the address book's.

usage: address_sources_check.py QUILLBOX_CLI WORK_DIR
Prints what it found; exits 1 on any failure.
"""
import configparser
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outside_tools import require_readers  # noqa: E402
from sample_export_check import read_item_values, read_message, run, text_of  # noqa: E402

PST_NAME = "Quillbox Sample.pst"


ENV = dict(os.environ)


def cli(tool, *args, ok=(0,)):
    r = subprocess.run([tool, *args], capture_output=True, text=True, env=ENV)
    if r.returncode not in ok:
        raise SystemExit(f"quillbox-cli {' '.join(args)} exited {r.returncode}:\n{r.stdout}{r.stderr}")
    return r.stdout


def set_options(ini_path, **values):
    """Sets keys of the [Lotus Notes] section, keeping the rest of the file."""
    lines = open(ini_path, encoding="utf-8").read().splitlines()
    section, seen, out = None, set(), []
    for line in lines:
        m = re.match(r"\[(.*)\]", line)
        if m:
            if section == "Lotus Notes":
                out += [f"{k}={v}" for k, v in values.items() if k not in seen]
            section = m.group(1)
        key = line.split("=", 1)[0]
        if section == "Lotus Notes" and key in values:
            out.append(f"{key}={values[key]}")
            seen.add(key)
            continue
        out.append(line)
    if section == "Lotus Notes":
        out += [f"{k}={v}" for k, v in values.items() if k not in seen]
    open(ini_path, "w", encoding="utf-8").write("\n".join(out) + "\n")


def export(tool, sample, ok=(0,)):
    """Exports into the empty store the sample was made with."""
    pst = os.path.join(sample, PST_NAME)
    shutil.copyfile(pst + ".empty", pst)
    cli(tool, "export", "--ini", os.path.join(sample, "Quillbox.ini"), "--yes", ok=ok)
    return pst


def item_dirs(pst, root, kind):
    """Every item directory of the kind ("Message", "Contact") pffexport writes."""
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    target = os.path.join(root, "pff")
    run(["pffexport", "-q", "-m", "items", "-d", "-t", target, pst])
    found = []
    for dirpath, dirs, _ in os.walk(target + ".export"):
        found += [os.path.join(dirpath, d) for d in dirs if re.fullmatch(kind + r"\d+", d)]
    return found


def mail_addresses(pst, root):
    """(where, address) of every sender, principal and recipient address."""
    found = []
    for directory in item_dirs(pst, root, "Message"):
        message = read_message(directory)
        where = message["subject"] or directory
        for role, pair in (("sender", message["sender"]), ("principal", message["principal"])):
            if pair[1]:
                found.append((f"{role} of '{where}'", pair[1]))
        for name, address, kind in message["recipients"]:
            if address:
                found.append((f"{kind} recipient of '{where}'", address))
    return found


def common_name(notes_name):
    first = notes_name.split("@", 1)[0].split("/", 1)[0]
    return re.sub(r"^cn=", "", first, flags=re.I).strip().casefold()


def looks_like_notes_name(address):
    return "/" in address.split("@", 1)[0] or address.casefold().startswith("cn=")


def known_notes_address(address, table_names, known_people):
    folded = address.casefold()
    if folded in table_names:
        return True
    return looks_like_notes_name(address) and common_name(address) in known_people


def check_translation(tool, sample, work):
    table = os.path.join(work, "names.csv")
    print(cli(tool, "translation-table", "--address-book", os.path.join(sample, "data", "names.dxl"),
              "--notes-ini", os.path.join(sample, "notes.ini"), "--out", table).strip())
    rows = [line.split(",", 1) for line in open(table, encoding="utf-8").read().splitlines() if line]
    table_names = {name.casefold() for name, _ in rows}
    known_people = {common_name(name) for name, _ in rows if "/" in name}
    internet = {address.casefold() for _, address in rows}

    failures = []
    before = [a for a in mail_addresses(export(tool, sample), os.path.join(work, "plain"))
              if known_notes_address(a[1], table_names, known_people)]
    print(f"without the table: {len(before)} Notes-form addresses of people the address book knows")
    if not before:
        failures.append("the mailbox exported without the table has no Notes-form address to translate")

    set_options(os.path.join(sample, "Quillbox.ini"), TranslateEmailAddresses="1", TranslationFilePath=table)
    after = mail_addresses(export(tool, sample), os.path.join(work, "translated"))
    left = [a for a in after if known_notes_address(a[1], table_names, known_people)]
    replyable = [a for a in after if a[1].casefold() in internet]
    print(f"with the table: {len(left)} left, {len(replyable)} addresses of those people as Internet addresses")
    failures += [f"{where}: '{address}' not translated" for where, address in left[:10]]
    if len(replyable) < len(before):
        failures.append(f"only {len(replyable)} Internet addresses for {len(before)} Notes names")
    set_options(os.path.join(sample, "Quillbox.ini"), TranslateEmailAddresses="0", TranslationFilePath="")
    return failures


MAILBOX_CONTACTS = [("Quentin", "Mailbox", "quentin@mailbox.example"), ("Rhea", "Private", "rhea@mailbox.example")]


def add_mailbox_contacts(mailbox):
    documents = ""
    for number, (first, last, address) in enumerate(MAILBOX_CONTACTS, 1):
        documents += (
            f"<document form='Person'><noteinfo noteid='{0x7F00 + 4 * number:x}' "
            f"unid='ABCDEF0123456789ABCDEF01234567{number:02X}'/>"
            f"<item name='Form'><text>Person</text></item>"
            f"<item name='FirstName'><text>{first}</text></item>"
            f"<item name='LastName'><text>{last}</text></item>"
            f"<item name='MailAddress'><text>{address}</text></item></document>\n")
    text = open(mailbox, encoding="utf-8").read()
    at = text.rindex("</database>")
    open(mailbox, "w", encoding="utf-8").write(text[:at] + documents + text[at:])


def check_mailbox_contacts(tool, sample, work):
    mailbox = os.path.join(sample, "data", "mail", "jdoe.dxl")
    add_mailbox_contacts(mailbox)
    set_options(os.path.join(sample, "Quillbox.ini"), ContactsFormat="1", Components="Contacts,")
    pst = export(tool, sample)
    names = []
    for directory in item_dirs(pst, os.path.join(work, "contacts"), "Contact"):
        sets = read_item_values(os.path.join(directory, "ItemValues.txt"))
        props = sets[0] if sets else {}
        names.append((text_of(props, 0x3A06) or "", text_of(props, 0x3A11) or ""))
    expected = sorted((first, last) for first, last, _ in MAILBOX_CONTACTS)
    print(f"ContactsFormat=1: {len(names)} contacts: {sorted(names)}")
    if sorted(names) != expected:
        return [f"ContactsFormat=1 exported {sorted(names)}, expected the mailbox's {expected}"]
    return []


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    tool, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    require_readers("pffexport")
    # A profile and temporary folder of its own, whatever else runs beside it.
    shutil.rmtree(work, ignore_errors=True)
    for folder in ("config", "tmp"):
        os.makedirs(os.path.join(work, folder))
    ENV.update(XDG_CONFIG_HOME=os.path.join(work, "config"), TMPDIR=os.path.join(work, "tmp"))
    sample = os.path.join(work, "sample")
    cli(tool, "sample", "--out", sample, "--messages", "80", "--seed", "11")
    shutil.copyfile(os.path.join(sample, PST_NAME), os.path.join(sample, PST_NAME) + ".empty")
    failures = check_translation(tool, sample, work)
    failures += check_mailbox_contacts(tool, sample, work)
    for failure in failures:
        print("FAIL", failure)
    print("all agree" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
