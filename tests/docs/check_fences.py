"""Every code fence in the project's Markdown pages is closed: an unclosed one turns the
rest of the page into code and drops its headings. A fence that opens with an info string
(```sh) while another is open means the one before was never closed."""

import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
pages = [root / "README.md", *sorted(root.glob("docs/**/*.md")), *sorted(root.glob("src/**/README.md"))]
fence = re.compile(r"^\s*(`{3,}|~{3,})(.*)$")
faults = []
for page in pages:
    opened = None  # (line number, fence characters)
    for number, line in enumerate(page.read_text(encoding="utf-8").splitlines(), 1):
        match = fence.match(line)
        if not match:
            continue
        marks, info = match.group(1), match.group(2).strip()
        if opened is None:
            opened = (number, marks)
        elif info:
            faults.append(f"{page.relative_to(root)}:{opened[0]}: fence not closed before line {number}")
            opened = (number, marks)
        elif marks.startswith(opened[1]):
            opened = None
    if opened:
        faults.append(f"{page.relative_to(root)}:{opened[0]}: fence never closed")
print("\n".join(faults) or f"{len(pages)} pages, every fence closed")
sys.exit(1 if faults else 0)
