#!/usr/bin/env python3
"""Completes the help2man include file of strbatch-cli with the options of
each command, as the program itself prints them, so that the manual page
never drifts from the program; and finishes a page help2man made.

    man_include.py PROGRAM TEMPLATE OUTPUT
    man_include.py --finish PAGE PROGRAM [HEADINGS]

The program speaks the language its environment chooses (STRBATCH_CONFIG).
The second form moves the exit statuses, which help2man renders from the
end of the program's --help among the options, into the page's EXIT STATUS
section, so that the page states them once and as the program does; and,
given a HEADINGS file of "ENGLISH=TRANSLATED" lines, names the page's
sections in the page's language.
"""
import os
import re
import subprocess
import sys

MARK = '.\\" The options of each command follow, as the program prints them.'
EXIT_MARK = '.\\" The exit statuses follow, as the program prints them.'


def run(program, *args):
    return subprocess.run([program, *args], check=True, capture_output=True,
                          text=True).stdout


def exit_heading(program):
    """The line that opens the exit-status table of the program's --help,
    without its colon: the line before the row of status 0."""
    lines = run(program, "--help").splitlines()
    for before, line in zip(lines, lines[1:]):
        if line.startswith("  0  "):
            return before.rstrip(":")
    return None


def finish(page, program, headings):
    with open(page, encoding="utf-8") as f:
        text = f.read()
    heading = exit_heading(program)
    if heading is not None:
        found = re.search(r'^\.SS "' + re.escape(heading) + r':"\n(.*?)(?=^\.S[HS] )', text,
                          re.M | re.S)
        if not found or EXIT_MARK not in text:
            sys.exit(f"{page}: no exit statuses to move")
        # "Exit status, the same for every command" states its scope under
        # the section's own heading: "The same for every command:".
        scope = re.split(r"[,\uff0c]\s*", heading, maxsplit=1)[-1]
        body = scope[0].upper() + scope[1:] + ":\n" + found.group(1)
        text = text[:found.start()] + text[found.end():]
        text = text.replace(EXIT_MARK, body.rstrip("\n"))
    if headings:
        # Chinese has no spaces to stretch: lines are left ragged, not
        # justified with gaps between the characters.
        text = re.sub(r"^(\.TH .*\n)", r"\1.ad l\n", text, count=1, flags=re.M)
        names = {}
        with open(headings, encoding="utf-8") as f:
            for line in f:
                english, _, translated = line.rstrip("\n").partition("=")
                names[english] = translated
                text = re.sub(r'^\.SH "?' + re.escape(english) + r'"?$',
                              f'.SH "{translated}"', text, flags=re.M)
                # help2man knows the English headings of --help only: a
                # translated one ("选项:") is left as a subsection.
                text = re.sub(r'^\.SS "' + re.escape(translated) + r'[:\uff1a]"$',
                              f'.SH "{translated}"', text, flags=re.M)
        text = translate_title(text, names)
        text = add_synopsis(text, names, os.path.basename(program))
    with open(page, "w", encoding="utf-8") as f:
        f.write(text)


def translate_title(text, names):
    """The manual's name in the header line, as the page's language says it."""
    manual = names.get("User Commands")
    if manual is None:
        return text
    return re.sub(r'^(\.TH .*)"User Commands"$', lambda m: f'{m.group(1)}"{manual}"', text,
                  count=1, flags=re.M)


def add_synopsis(text, names, program):
    """A SYNOPSIS section made from the usage line of a translated --help,
    which help2man recognises in English only and leaves in the description.
    The line stays where it is too, as it does on the English page."""
    heading = names.get("SYNOPSIS")
    if heading is None or f'.SH "{heading}"' in text:
        return text
    usage = re.search(r"^\S+[:\uff1a] *(" + re.escape(program.replace("-", "\\-")) + r") (.+)$",
                      text, re.M)
    name_section = re.search(r'^\.SH "' + re.escape(names.get("NAME", "NAME")) +
                             r'"\n(?:[^.].*\n)+', text, re.M)
    if not usage or not name_section:
        sys.exit("no usage line for the synopsis")
    # Placeholders in italics, as help2man sets the English ones.
    placeholders = re.sub(r"[^\s\[\]|.]+", lambda m: f"\\fI{m.group(0)}\\fR",
                          usage.group(2))
    synopsis = f'.SH "{heading}"\n.B {usage.group(1)}\n{placeholders}\n'
    return text[:name_section.end()] + synopsis + text[name_section.end():]


def roff(text):
    lines = []
    for line in text.splitlines():
        line = line.replace("\\", "\\e")
        if line.startswith((".", "'")):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


def include(program, template, output):
    # The names of the commands, from the help that is always English.
    top = run(program, "--lang", "en", "--help")
    block = top.split("Subcommands:", 1)[1].split("\n\n", 1)[0]
    commands = re.findall(r"^  ([a-z][a-z-]*) ", block, re.M)
    sections = []
    for command in commands:
        # The description is the first line; the footer is the command's own.
        text = run(program, command, "--help").rstrip("\n")
        sections.append(f".SS {command}\n.nf\n{roff(text)}\n.fi")
    with open(template, encoding="utf-8") as f:
        content = f.read()
    if MARK not in content:
        sys.exit(f"{template}: no place for the commands")
    with open(output, "w", encoding="utf-8") as f:
        f.write(content.replace(MARK, "\n".join(sections)))


if sys.argv[1] == "--finish":
    finish(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else None)
else:
    include(*sys.argv[1:4])
