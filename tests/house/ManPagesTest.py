#!/usr/bin/env python3
"""Every command, option and exit code a program's --help lists is in its manual page.

    ManPagesTest.py PAGE PROGRAM

The help text is read for what it lists: every --option (and -h) anywhere in it,
and the entries of its lists (lines indented by two spaces under a heading that
ends in ':'): a word there is a command, a number an exit code. The page is set
with groff into plain text with bold kept; each option and command must appear
there in bold (as a page sets what is typed), each exit code in bold under EXIT
STATUS. The check is then run once on the help text with an invented option,
command and exit code added, and must find all three missing.
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*|-h)(?![\w-])")
# An entry: the first word, then two spaces, the end, or an argument (FILE, [..], on|off, -x).
ENTRY = re.compile(r"^  (\S+)(?:\s{2,}|$| (?=[A-Z\[<-]|\S*\|))")


def listed(help_text, program):
    options, commands, codes = set(OPTION.findall(help_text)), set(), set()
    in_list = False
    for line in help_text.splitlines():
        if line and not line[0].isspace():
            in_list = line.rstrip().endswith(":")
            continue
        m = ENTRY.match(line) if in_list else None
        if not m or m.group(1).startswith("-") or m.group(1) == program:
            continue
        word = m.group(1).rstrip(",")
        if word.isdigit():
            codes.add(word)
        elif re.fullmatch(r"[a-z][a-z-]*", word):
            commands.add(word)
    return options, commands, codes


def bold_lines(page):
    """The page set as text: for each line, its plain text and its bold words."""
    out = subprocess.run(
        ["groff", "-man", "-Tascii", "-P-c", "-rLL=400n", "-rHY=0", "-Wall", page],
        check=True, capture_output=True, text=True, env={"LC_ALL": "C", "PATH": "/usr/bin:/bin"}).stdout
    result = []
    for raw in out.splitlines():
        plain, bold, i = [], [], 0
        while i < len(raw):
            if i + 2 < len(raw) and raw[i + 1] == "\b":
                plain.append(raw[i + 2])
                bold.append(raw[i] == raw[i + 2] and raw[i] != "_")
                i += 3
            else:
                plain.append(raw[i])
                bold.append(False)
                i += 1
        text = "".join(plain)
        runs = "".join(c if b else " " for c, b in zip(text, bold))
        result.append((text, set(re.findall(r"[\w][\w.-]*|--?[\w][\w-]*", runs))))
    return result


def missing(page, help_text, program):
    options, commands, codes = listed(help_text, program)
    lines = bold_lines(page)
    everywhere = set().union(*(words for _, words in lines))
    exit_status, section = set(), None
    for text, words in lines:
        if text and not text[0].isspace():
            section = text.strip()
        elif section == "EXIT STATUS":
            exit_status |= words
    gaps = ["option " + o for o in sorted(options) if o not in everywhere]
    gaps += ["command " + c for c in sorted(commands) if c not in everywhere]
    gaps += ["exit code " + c for c in sorted(codes) if c not in exit_status]
    count = len(options) + len(commands) + len(codes)
    if count == 0:  # a help text of another shape: nothing checked is no pass
        gaps.append("nothing this test can read")
    return gaps, count


def main():
    page, program_path = sys.argv[1], sys.argv[2]
    program = program_path.rsplit("/", 1)[-1]
    help_text = subprocess.run([program_path, "--help"], check=True, capture_output=True, text=True,
                               timeout=30).stdout
    gaps, count = missing(page, help_text, program)
    for g in gaps:
        print(f"{page}: {program} --help lists {g}, the manual page does not")
    # The check itself: what it must find missing.
    invented = help_text + "\nCommands:\n  frobnicate FILE  x\n  --no-such-option  x\nExit codes:\n  99  x\n"
    found = set(missing(page, invented, program)[0]) | set(missing(page, "Usage: x\n", program)[0])
    expected = {"option --no-such-option", "command frobnicate", "exit code 99", "nothing this test can read"}
    if not expected <= found:
        print(f"the check does not find what is missing: {sorted(expected - found)}")
        return 1
    if not gaps:
        print(f"{page}: all {count} commands, options and exit codes of {program} --help are there")
    return 1 if gaps else 0


if __name__ == "__main__":
    sys.exit(main())
