#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes a manual page or a bash completion script from a program's --help text.

The help text has this shape: "Usage:" lines, a description, then sections whose heading ends
in ':' at the start of a line; in a section, each entry is a term indented by two columns (a
long term goes on at four) and its text indented by six. Sections named Environment and
Examples become the ENVIRONMENT and EXAMPLES of the manual page. Run at build time, so a command added to the program appears in its
manual page and its completion without further work.
"""
import argparse
import re
import subprocess
import sys

SECTION_NAMES = {"Options of every command": "OPTIONS"}


def read_help(program):
    result = subprocess.run([program, "--help"], check=True, capture_output=True, text=True)
    return result.stdout


def parse(text):
    """Returns (synopsis lines, description paragraphs, [(heading, [(term, text) or (None, text)])])."""
    lines = text.splitlines()
    synopsis = []
    i = 0
    while i < len(lines) and lines[i].strip():
        synopsis.append(re.sub(r"^(Usage:)?\s*", "", lines[i]))
        i += 1
    description, paragraph = [], []
    sections = []
    entries = None
    while i < len(lines):
        line = lines[i]
        i += 1
        heading = re.match(r"^(\S[^:]*):$", line)
        if heading:
            entries = []
            sections.append((heading.group(1), entries))
            continue
        if entries is None:
            if line.strip():
                paragraph.append(line.strip())
            elif paragraph:
                description.append(" ".join(paragraph))
                paragraph = []
            continue
        if line.startswith("      "):
            term, body = entries[-1]
            entries[-1] = (term, (body + " " + line.strip()).strip())
        elif line.startswith("    ") and entries and entries[-1][0] is not None and not entries[-1][1]:
            # A term too long for one line goes on at four columns.
            entries[-1] = (entries[-1][0] + " " + line.strip(), "")
        elif line.startswith("  "):
            entries.append((line.strip(), ""))
        elif line.strip():
            entries.append((None, line.strip()))
    if paragraph:
        description.append(" ".join(paragraph))
    return synopsis, description, sections


def roff_text(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def roff_term(term, program):
    """Options and the program's name in bold, placeholders (upper case) in italics."""
    words = []
    for word in term.split(" "):
        bare = word.strip("[]|,")
        if bare.startswith("-") or bare == program or re.fullmatch(r"[a-z][a-z0-9-]*", bare):
            style = "\\fB"
        elif re.search(r"[A-Z]", bare):
            style = "\\fI"
        else:
            style = ""
        words.append(style + roff_text(word) + ("\\fR" if style else ""))
    return " ".join(words)


def man_page(text, args):
    synopsis, description, sections = parse(text)
    out = [
        '.\\" Made from "%s --help" at build time.' % args.name,
        '.TH %s %s "%s" "Zelt %s" "User Commands"' % (args.name.upper().replace("-", "\\-"), args.section,
                                                      args.date, args.version),
        ".SH NAME",
        "%s \\- %s" % (roff_text(args.name), roff_text(args.summary)),
        ".SH SYNOPSIS",
    ]
    for n, line in enumerate(synopsis):
        if n:
            out.append(".br")
        out.append(roff_term(line, args.name))
    out.append(".SH DESCRIPTION")
    for n, paragraph in enumerate(description):
        if n:
            out.append(".PP")
        out.append(roff_text(paragraph))
    for heading, entries in sections:
        out.append(".SH " + SECTION_NAMES.get(heading, heading.upper()))
        for term, body in entries:
            if term is None:
                out.append(".PP")
                out.append(roff_text(body))
            else:
                out.append(".TP")
                out.append(roff_term(term, args.name))
                out.append(roff_text(body))
    if args.see_also:
        out.append(".SH SEE ALSO")
        out.append(", ".join("\\fB%s\\fR(1)" % roff_text(name) for name in args.see_also))
    return "\n".join(out) + "\n"


def bash_completion(text, args):
    _, _, sections = parse(text)
    found = dict(sections)
    commands = []
    for term, _ in found.get("Commands", []):
        if term is None:
            continue
        tokens = term.split()
        options, choices = [], {}
        for n, token in enumerate(tokens):
            name = token.lstrip("[")
            if not name.startswith("--"):
                continue
            name = name.split("]")[0]
            options.append(name)
            after = tokens[n + 1] if n + 1 < len(tokens) and "]" not in token else "|"
            if after == "|" or after.startswith("[") or after.startswith("--"):
                continue
            value = after.strip("[]")
            # A placeholder value (NAME, ROW:HEIGHT) completes to nothing rather than to files.
            choices[name] = value.split("|") if "|" in value else []
        commands.append((tokens[0], options, choices))
    common = sorted({word for term, _ in found.get("Options of every command", []) if term
                     for word in re.findall(r"--[a-z0-9-]+", term)} - {"--version"})
    # The field names a --field NAME completes to, from the help's list of fields.
    fields = [term for term, _ in found.get("Fields of a traverse table", []) if term]
    names = " ".join(name for name, _, _ in commands)
    function = "_" + re.sub(r"\W", "_", args.name)
    out = [
        "# bash completion for %s, made from its --help at build time.  -*- shell-script -*-" % args.name,
        "%s()" % function,
        "{",
        "    local cur prev words cword",
        "    _init_completion || return",
        '    local commands="%s"' % names,
        '    local fields="%s"' % " ".join(fields),
        "    # -q and --quiet may come before the command.",
        "    local first=1",
        "    while [[ $first -lt $cword && ( ${words[first]} == -q || ${words[first]} == --quiet ) ]]; do",
        "        first=$((first + 1))",
        "    done",
        "    if [[ $cword -eq $first ]]; then",
        '        COMPREPLY=($(compgen -W "$commands help --help --version -q --quiet" -- "$cur"))',
        "        return",
        "    fi",
        '    local options="%s"' % " ".join(common),
        "    case $prev in",
        "        --locale) return ;;",
        "        --figures | --layout) _filedir; return ;;",
        "    esac",
        "    case ${words[first]} in",
        '        help) [[ $cword -eq $((first + 1)) ]] && COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;',
    ]
    for name, options, choices in commands:
        out.append("        %s)" % name)
        for option, values in sorted(choices.items()):
            if option in ("--figures", "--layout"):
                continue
            words = " ".join(values) if values or option != "--field" else "$fields"
            out.append('            [[ $prev == %s ]] && { COMPREPLY=($(compgen -W "%s" -- "$cur")); return; }'
                       % (option, words))
        own = [o for o in options if o not in common]
        out.append('            options+="%s" ;;' % "".join(" " + o for o in own))
    out += [
        "    esac",
        "    if [[ $cur == -* ]]; then",
        '        COMPREPLY=($(compgen -W "$options" -- "$cur"))',
        "    else",
        "        _filedir",
        "    fi",
        "}",
        "complete -F %s %s" % (function, args.name),
    ]
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kind", choices=["man", "bash-completion"])
    parser.add_argument("program", help="the program to run with --help")
    parser.add_argument("output")
    parser.add_argument("--name", required=True)
    parser.add_argument("--section", default="1")
    parser.add_argument("--summary", default="")
    parser.add_argument("--version", default="")
    parser.add_argument("--date", default="")
    parser.add_argument("--see-also", nargs="*", default=[])
    args = parser.parse_args()
    text = read_help(args.program)
    page = man_page(text, args) if args.kind == "man" else bash_completion(text, args)
    with open(args.output, "w", encoding="utf-8") as out:
        out.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main())
