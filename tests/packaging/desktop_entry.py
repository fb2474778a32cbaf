#!/usr/bin/env python3
"""desktop_entry.py FILE: reads the launcher entry the way a desktop does (string
unescaping, then Exec quoting) and runs the "New Local Terminal" command with
`tarvik -e` taken off, so faults in the quoting show up as a wrong shell call."""

import os
import stat
import subprocess
import sys
import tempfile

RESERVED = set(" \t\n\"'\\><~|&;$*?#()`")


def groups(path):
    result, current = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                current = result.setdefault(line[1:-1], {})
            else:
                key, _, value = line.partition("=")
                current[key] = value
    return result


def unescape(value):
    out, i = [], 0
    table = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in table:
            out.append(table[value[i + 1]])
            i += 2
        else:
            out.append(value[i])
            i += 1
    return "".join(out)


def split_exec(text):
    args, current, quoted, started, i = [], [], False, False, 0
    while i < len(text):
        c = text[i]
        if quoted:
            if c == "\\":
                nxt = text[i + 1] if i + 1 < len(text) else ""
                if nxt not in '"`$\\':
                    raise ValueError(f"stray backslash in quotes at {i}")
                current.append(nxt)
                i += 1
            elif c == '"':
                quoted = False
            else:
                current.append(c)
        elif c == '"':
            quoted = started = True
        elif c == " ":
            if started:
                args.append("".join(current))
                current, started = [], False
        elif c in RESERVED:
            raise ValueError(f"reserved character {c!r} outside quotes at {i}")
        else:
            current.append(c)
            started = True
        i += 1
    if quoted:
        raise ValueError("unterminated quote")
    if started:
        args.append("".join(current))
    return args


def main():
    entry = groups(sys.argv[1])
    main_group = entry["Desktop Entry"]
    failures = []

    def expect(name, wanted, got):
        if wanted != got:
            failures.append(f"{name}: expected {wanted!r}, got {got!r}")

    expect("Exec", ["tarvik"], split_exec(unescape(main_group["Exec"])))
    expect("GenericName", "Terminal", main_group.get("GenericName"))
    expect("Categories", {"System", "TerminalEmulator"}, set(filter(None, main_group["Categories"].split(";"))))
    expect("Actions", ["new-local-terminal"], list(filter(None, main_group.get("Actions", "").split(";"))))

    action = entry["Desktop Action new-local-terminal"]
    expect("action Name", "New Local Terminal", action.get("Name"))
    argv = split_exec(unescape(action["Exec"]))
    expect("action starts tarvik -e", ["tarvik", "-e"], argv[:2])

    with tempfile.TemporaryDirectory() as tmp:
        shell = os.path.join(tmp, "login shell")  # a space tests the quoting of $SHELL
        with open(shell, "w") as f:
            f.write('#!/bin/sh\necho "started with: $*"\n')
        os.chmod(shell, stat.S_IRWXU)
        run = subprocess.run(argv[2:], env={"SHELL": shell, "PATH": "/usr/bin:/bin"},
                             capture_output=True, text=True, timeout=20)
        expect("the user's shell is started as a login shell", "started with: -l", run.stdout.strip())
        # Without SHELL the command falls back to /bin/sh as a login shell.
        run = subprocess.run(argv[2:], env={"PATH": "/usr/bin:/bin", "HOME": tmp}, input="echo fallback\n",
                             capture_output=True, text=True, timeout=20)
        expect("fallback to /bin/sh", "fallback", run.stdout.strip())

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
