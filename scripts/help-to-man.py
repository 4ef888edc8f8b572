#!/usr/bin/env python3
"""Makes vorlend-batch's manual page from its own help, so the page says what the tool says.

    scripts/help-to-man.py PROGRAM OUTPUT

Runs PROGRAM --help, PROGRAM --version and PROGRAM help COMMAND for each command the help lists,
and writes the page (man(7), UTF-8) to OUTPUT. The help's shape is read as the tool prints it:

    NAME: one line that says what the tool does.
    Použití: the usage line
    paragraphs of the description, an indented block keeps its lines
    Heading:                        a list: "  entry   text" with the text's lines
      entry  text                   aligned under its first line; in the commands
             more text              an entry's first lines that begin with "[" or "-"
      a note that is no entry       are its synopsis
    Heading: text                   a section of its own

The date on the page is SOURCE_DATE_EPOCH's when that is set, otherwise today's.
"""
import datetime
import os
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][A-Za-z0-9-]*)")
INLINE_HEADING = re.compile(r"^(\w+(?: \w+)?): (.*)$")
LIST_HEADING = re.compile(r"^(\w+):$")


def run(program, *args):
    result = subprocess.run([program, *args], stdout=subprocess.PIPE, check=True)
    return result.stdout.decode("utf-8")


def escape(text):
    """Text for roff: backslashes and hyphens escaped, options in bold."""
    out = []
    for i, piece in enumerate(OPTION.split(text)):
        piece = piece.replace("\\", "\\e").replace("-", "\\-")
        out.append("\\fB" + piece + "\\fR" if i % 2 else piece)
    line = "".join(out)
    return "\\&" + line if line.startswith((".", "'")) else line


def escape_lines(lines):
    return "\n".join(escape(line.strip()) for line in lines)


def synopsis_line(text):
    """A usage line with the program and the command, the words before the first placeholder, in
    bold."""
    words = text.split(" ")
    n = next((i for i, w in enumerate(words) if w != w.lower()), len(words))
    literal = escape(" ".join(words[:n]))
    rest = escape(" ".join(words[n:]))
    return (f"\\fB{literal}\\fR " + rest).strip() if literal else rest


def indent(line):
    return len(line) - len(line.lstrip(" "))


def paragraphs(lines):
    """Runs of lines between blank lines."""
    run_ = []
    for line in lines:
        if line.strip():
            run_.append(line)
        elif run_:
            yield run_
            run_ = []
    if run_:
        yield run_


def text_block(lines):
    """Paragraphs of prose; indented lines that follow prose keep their lines."""
    out = []
    for para in paragraphs(lines):
        out.append(".PP")
        prose, block = [], []
        for line in para:
            if indent(line) == 0 and not block:
                prose.append(line)
            elif indent(line) == 0:
                out += [escape_lines(prose), ".RS", ".nf", escape_lines(block), ".fi", ".RE", ".PP"]
                prose, block = [line], []
            else:
                block.append(line)
        if prose:
            out.append(escape_lines(prose))
        if block:
            out += [".RS", ".nf", escape_lines(block), ".fi", ".RE"]
    return out


def list_entries(lines):
    """The entries of a list section: (tag, first line's text, further lines) or (None, note lines),
    the lines at its end that are no longer indented, and the column the entries' text begins at."""
    continued = [indent(l) for l in lines if indent(l) > 2]
    column = min(continued) if continued else 0
    entries, tail = [], []
    for line in lines:
        if tail or (line.strip() and indent(line) == 0):
            tail.append(line)
        elif not line.strip():
            continue
        elif indent(line) == 2:
            is_entry = column and len(line) > column - 1 and line[column - 1] == " " and line[2] != " "
            if is_entry:
                entries.append([line[2:column].strip(), line[column:].strip(), []])
            else:
                entries.append([None, line.strip(), []])
        elif entries:
            entries[-1][2].append(line.strip())
        else:
            raise SystemExit(f"help-to-man.py: an indented line before any entry: {line!r}")
    return entries, tail, column


def tag_roff(tag):
    return escape(tag) if tag != "--" else "\\fB\\-\\-\\fR"


def options_of(command_help):
    """The heading of the options `help COMMAND` lists and their names, without those of the help
    and the end of options."""
    heading, names = None, []
    for line in command_help.splitlines():
        list_heading = LIST_HEADING.match(line)
        if list_heading:
            heading = list_heading.group(1)
        elif heading and line.startswith("  -"):
            for word in re.split(r"[ ,]+", line[2:].split("  ")[0]):
                if word.startswith("-") and word not in ("-h", "--help", "--") and word not in names:
                    names.append(word)
        elif heading and indent(line) == 0:
            break
    return heading, names


def main():
    if len(sys.argv) != 3:
        raise SystemExit("usage: help-to-man.py PROGRAM OUTPUT")
    program, output = sys.argv[1], sys.argv[2]
    help_text = run(program, "--help")
    version = run(program, "--version").strip()
    lines = help_text.splitlines()

    first = re.match(r"^(\S+): (.*?)\.?$", lines[0])
    if not first:
        raise SystemExit("help-to-man.py: the help's first line does not name the tool: " + lines[0])
    name, purpose = first.groups()

    # The help cut into sections: (heading, kind, lines).
    sections = [["POPIS", "text", []]]
    usage = None
    for line in lines[1:]:
        inline = INLINE_HEADING.match(line)
        heading = LIST_HEADING.match(line)
        if heading:
            sections.append([heading.group(1).upper(), "list", []])
        elif inline and usage is None:
            usage = inline.group(2)
            usage_heading = inline.group(1).upper()
        elif inline and sections[-1][2] and not sections[-1][2][-1].strip():
            sections.append([inline.group(1).upper(), "text", [inline.group(2)]])
        else:
            sections[-1][2].append(line)
    if usage is None:
        raise SystemExit("help-to-man.py: the help has no usage line")

    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    date = (datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).date() if epoch
            else datetime.date.today()).isoformat()
    out = [
        "'\\\" -*- coding: UTF-8 -*-",
        f'.\\" Made by scripts/help-to-man.py from "{name} --help": edit the help, not this page.',
        f'.TH {name.upper()} 1 "{date}" "{version}" ""',
        ".nh",
        ".ad l",
        ".SH JMÉNO",
        f"{escape(name)} \\- {escape(purpose)}",
        f".SH {usage_heading}",
        synopsis_line(usage),
    ]

    commands = []
    body = []
    for heading, kind, section_lines in sections:
        if not any(l.strip() for l in section_lines):
            continue
        body.append(f'.SH "{heading}"')
        if kind == "text":
            body += text_block(section_lines)
            continue
        entries, tail, column = list_entries(section_lines)
        for tag, text, more in entries:
            if tag is None:
                body += [".PP", escape_lines([text] + more)]
            elif re.fullmatch(r"[a-z]+", tag):
                # A command: its synopsis, what it does, and the options it accepts.
                commands.append(tag)
                synopsis = [text]
                while more and more[0].startswith(("[", "-")):
                    synopsis.append(more.pop(0))
                body += [f".TP {column - 2}", f"\\fB{escape(tag)}\\fR", escape(" ".join(synopsis)), ".br",
                         escape_lines(more)]
                options_heading, options = options_of(run(program, "help", tag))
                if options:
                    body += [".br", f"{options_heading}: " + ", ".join(escape(o) for o in options) + "."]
            else:
                body += [".TP", tag_roff(tag), escape_lines([text] + more)]
        if tail:
            body += text_block(tail)

    # Each command's own usage line, as `help COMMAND` begins.
    for command in commands:
        first_line = run(program, "help", command).splitlines()[0]
        command_usage = INLINE_HEADING.match(first_line)
        if command_usage:
            out += [".br", synopsis_line(command_usage.group(2))]

    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(line for line in out + body if line) + "\n")


if __name__ == "__main__":
    main()
