#!/usr/bin/env python3
"""Completes the help2man include file of strbatch-cli with the options of
each command, as the program itself prints them, so that the manual page
never drifts from the program.

    man_include.py PROGRAM TEMPLATE OUTPUT
    man_include.py --exit-status PAGE

The second form moves the exit statuses, which help2man renders from the
end of the program's --help among the options, into the page's EXIT STATUS
section, so that the page states them once and as the program does.
"""
import re
import subprocess
import sys

MARK = '.\\" The options of each command follow, as the program prints them.'
EXIT_MARK = '.\\" The exit statuses follow, as the program prints them.'


def move_exit_status(page):
    with open(page, encoding="utf-8") as f:
        text = f.read()
    found = re.search(r'^\.SS "Exit status, ([^"]*):"\n(.*?)(?=^\.S[HS] )', text,
                      re.M | re.S)
    if not found or EXIT_MARK not in text:
        sys.exit(f"{page}: no exit statuses to move")
    body = found.group(1)[0].upper() + found.group(1)[1:] + ":\n" + found.group(2)
    text = text[:found.start()] + text[found.end():]
    with open(page, "w", encoding="utf-8") as f:
        f.write(text.replace(EXIT_MARK, body.rstrip("\n")))


if sys.argv[1] == "--exit-status":
    move_exit_status(sys.argv[2])
    sys.exit(0)

program, template, output = sys.argv[1:4]


def run(*args):
    return subprocess.run([program, *args], check=True, capture_output=True,
                          text=True).stdout


def roff(text):
    lines = []
    for line in text.splitlines():
        line = line.replace("\\", "\\e")
        if line.startswith((".", "'")):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


top = run("--help")
block = top.split("Subcommands:", 1)[1].split("\n\n", 1)[0]
commands = re.findall(r"^  ([a-z][a-z-]*) ", block, re.M)
sections = []
for command in commands:
    text = run(command, "--help")
    # The footer repeats the program's own; the description is its first line.
    text = text.split("\n\nDefinitions:", 1)[0]
    sections.append(f".SS {command}\n.nf\n{roff(text)}\n.fi")
with open(template, encoding="utf-8") as f:
    content = f.read()
if MARK not in content:
    sys.exit(f"{template}: no place for the commands")
with open(output, "w", encoding="utf-8") as f:
    f.write(content.replace(MARK, "\n".join(sections)))
