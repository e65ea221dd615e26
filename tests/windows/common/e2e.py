"""What the end-to-end scripts under Wine share: their checks and summary,
Windows paths of Unix files, and the virtual controller's log."""
import difflib
import os
import sys

_failures = []
_checks = 0


def check(condition, message):
    """Records one check; a failed one is printed at once."""
    global _checks
    _checks += 1
    if not condition:
        _failures.append(message)
        print("FAIL:", message)


def check_same(actual, expected, message):
    """check(actual == expected) for two texts; a mismatch prints the lines
    that differ, so a failure on another machine can be read off its log."""
    check(actual == expected, message)
    if actual != expected:
        print("".join(difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                           "expected", "actual")))


def finish():
    """Prints the tally and ends the script: status 1 if any check failed."""
    print("%d passed, %d failed" % (_checks - len(_failures), len(_failures)))
    sys.exit(1 if _failures else 0)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def vctl_messages(log_path, offset, kinds=("LEVEL", "FRAMING")):
    """(kind, fields) of the log's messages of these kinds from `offset` on;
    the fields include "t", the controller's time in ms."""
    with open(log_path) as log:
        log.seek(offset)
        lines = log.read().splitlines()
    out = []
    for line in lines:
        parts = line.split()
        if len(parts) > 1 and parts[1] in kinds:
            fields = dict(p.split("=", 1) for p in parts[2:] if "=" in p)
            fields["t"] = float(parts[0])
            out.append((parts[1], fields))
    return out
