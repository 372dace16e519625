"""The setup's exit codes, read from their one table in report/exit_code.h.

Each line of kExitCodeMeanings carries a comment "// deployment: <what a
deployment tool should make of it>", and for a code a silent installation
can give that winget must be told of, " | winget: <ReturnResponse>".
scripts/docs writes docs/usage.md's table from these, and
tools/winget_manifests.py the installer manifest's ExpectedReturnCodes.
"""
import re
import sys
from typing import NamedTuple, Optional


class ExitCode(NamedTuple):
    code: int
    name: str
    words: str
    deployment: str
    winget: Optional[str]


def read(header):
    text = open(header, encoding="utf-8").read()
    values = dict(re.findall(r"^\s*(kExit\w+) = (\d+),", text, re.M))
    rows = re.findall(r'^\s*\{(kExit\w+), L"([^"]*)"\},\s*// deployment: (.*?)(?: \| winget: (\w+))?$',
                      text, re.M)
    if not rows or len(rows) != len(values):
        sys.exit(f"{header}: {len(rows)} table lines with a deployment comment for {len(values)} codes")
    return [ExitCode(int(values[name]), name, words, deployment, winget or None)
            for name, words, deployment, winget in rows]
