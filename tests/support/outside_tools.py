"""The python side of OutsideTools.h for the reader checks: a missing outside
reader fails the check, never skips it, so that CI (run with CI=true) cannot
pass without the readers."""
import shutil
import sys


def require_readers(*tools):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        print("FAIL: not installed: " + ", ".join(missing) + " (scripts/deps)")
        sys.exit(1)
