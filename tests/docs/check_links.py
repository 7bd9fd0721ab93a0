"""Every relative link and picture of the project's Markdown pages resolves: the file exists
and, for a link to a section (page.md#section), the page has a heading of that anchor."""

import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
pages = [root / "README.md", *sorted(root.glob("docs/**/*.md")), *sorted(root.glob("src/**/README.md"))]
link = re.compile(r"\]\(([^)\s]+)\)")


def prose(page):
    """The page's lines outside code blocks, with code spans taken out."""
    fenced = False
    for number, line in enumerate(page.read_text(encoding="utf-8").splitlines(), 1):
        if re.match(r"\s*(```|~~~)", line):
            fenced = not fenced
        elif not fenced:
            yield number, re.sub(r"`[^`]*`", "", line)


def anchors(page):
    """GitHub's anchors of the page's headings: lower case, punctuation dropped, blanks as -."""
    return {re.sub(r"[^\w\- ]", "", line.lstrip("#").strip().lower()).replace(" ", "-")
            for _, line in prose(page) if re.match(r"#{1,6} ", line)}


faults = []
for page in pages:
    for number, line in prose(page):
        for target in link.findall(line):
            if re.match(r"[a-z]+:", target):
                continue  # a web address
            path, _, anchor = target.partition("#")
            resolved = (page.parent / path).resolve() if path else page
            if not resolved.exists():
                faults.append(f"{page.relative_to(root)}:{number}: {target}: no such file")
            elif anchor and (resolved.suffix != ".md" or anchor not in anchors(resolved)):
                faults.append(f"{page.relative_to(root)}:{number}: {target}: no such section")
print("\n".join(faults) or f"{len(pages)} pages, every link resolves")
sys.exit(1 if faults else 0)
