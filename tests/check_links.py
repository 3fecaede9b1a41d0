#!/usr/bin/env python3
"""Every link of the README and the manual (docs/*.md) leads to a file of the tree and, when it
names one, to a heading of that file, as GitHub numbers its headings' anchors. Prints each
broken link with its file and line and exits 1 when there is one.

Usage: check_links.py [TOP]   (TOP defaults to the folder above this script's)
"""

import os
import re
import sys

FENCE = re.compile(r"^\s*(```|~~~)")
LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
HTML = re.compile(r"<(?:img|a)\b[^>]*?\b(?:src|href)=\"([^\"]+)\"", re.IGNORECASE)
HEADING = re.compile(r"^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$")


def prose_lines(text):
    """The lines outside fenced blocks, with inline code taken out, and their numbers."""
    fenced = False
    for number, line in enumerate(text.split("\n"), 1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, re.sub(r"`[^`]*`", "", line)


def anchor(heading):
    """GitHub's anchor of a heading: lower case, punctuation dropped, spaces as hyphens."""
    text = re.sub(r"<[^>]+>", "", heading)
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = text.strip().lower()
    text = "".join(c for c in text if c.isalnum() or c in " -_")
    return text.replace(" ", "-")


def anchors(path):
    found, seen = set(), {}
    with open(path, encoding="utf-8") as f:
        text = f.read()
    fenced = False
    for line in text.split("\n"):
        if FENCE.match(line):
            fenced = not fenced
            continue
        match = None if fenced else HEADING.match(line)
        if match:
            name = anchor(match.group(2))
            count = seen.get(name, 0)
            seen[name] = count + 1
            found.add(name if count == 0 else f"{name}-{count}")
    return found


def broken_links(top, page):
    path = os.path.join(top, page)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for number, line in prose_lines(text):
        for target in LINK.findall(line) + HTML.findall(line):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.IGNORECASE):
                continue  # a web address or mail: not the tree's to check
            file_part, _, fragment = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
            where = f"{page}:{number}: {target}"
            if os.path.relpath(resolved, top).startswith(".."):
                yield f"{where}: leads out of the tree"
            elif not os.path.exists(resolved):
                yield f"{where}: no file {os.path.relpath(resolved, top)}"
            elif fragment and (not resolved.endswith(".md") or fragment not in anchors(resolved)):
                yield f"{where}: no heading #{fragment} in {os.path.relpath(resolved, top)}"


def main():
    top = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    docs = os.path.join(top, "docs")
    pages = ["README.md"] + sorted(
        os.path.join("docs", name) for name in os.listdir(docs) if name.endswith(".md"))
    broken = [problem for page in pages for problem in broken_links(top, page)]
    for problem in broken:
        print(problem)
    print(f"{len(pages)} pages, {len(broken)} broken links")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
