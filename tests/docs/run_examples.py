"""Runs the shell examples of the Markdown pages and compares what they print with the page.

An example is a ```console block. A line starting with "$ " is a command (with the lines of
its here-document, of a quote still open, or after a trailing backslash); the lines up to the
next command are what it prints, standard output and error together as a terminal shows them.
In those lines "…" stands for any text, and a line of only "…" for any number of lines. A
command ending in " &" runs in the background: the lines under it are its first lines of
output, and it is stopped when the block ends. Each block runs in a fresh temporary folder
with the programs of the build first on PATH; a command without shell syntax runs directly,
others with bash. Examples that cannot run here (a real board, installing) are ```sh blocks.

usage: run_examples.py SOURCE_DIR PROGRAM_DIR
"""

import difflib
import os
import pathlib
import re
import shlex
import signal
import subprocess
import sys
import tempfile
import threading

TIMEOUT = 120  # seconds a command may take; sanitized builds on a loaded machine are slow
root, programs = pathlib.Path(sys.argv[1]), str(pathlib.Path(sys.argv[2]).resolve())
SHELL_SYNTAX = re.compile(r"[|&;<>$`*~]|^\w+=")
HEREDOC = re.compile(r"<<-?\s*['\"]?(\w+)")

# The examples use the fixed ports a reader would (5025, 5555): where the system allows it,
# they run in a network namespace of their own, so as not to meet another program's.
if "TQ_EXAMPLES_NETNS" not in os.environ and subprocess.run(
        ["unshare", "-rn", "ip", "link", "set", "lo", "up"], capture_output=True).returncode == 0:
    os.environ["TQ_EXAMPLES_NETNS"] = "1"
    os.execvp("unshare", ["unshare", "-rn", "sh", "-c", 'ip link set lo up && exec "$0" "$@"',
                          sys.executable, *sys.argv])


def blocks(page):
    """Each console block of the page: (line number of its first line, its lines)."""
    lines, block, start = page.read_text(encoding="utf-8").splitlines(), None, 0
    for number, line in enumerate(lines, 1):
        if block is None and line.strip() == "```console":
            block, start = [], number + 1
        elif block is not None and line.strip() == "```":
            yield start, block
            block = None
        elif block is not None:
            block.append(line)


def steps(page, start, lines):
    """The block's commands: (line number, command, expected lines)."""
    k = 0
    while k < len(lines):
        if not lines[k].startswith("$ "):
            raise SystemExit(f"{page}:{start + k}: a line before the first command")
        number, command = start + k, lines[k][2:]
        k += 1
        heredoc = HEREDOC.search(command)
        while k < len(lines) and (heredoc or command.endswith("\\") or not complete(command)):
            command += "\n" + lines[k]
            k += 1
            if heredoc and lines[k - 1].strip() == heredoc.group(1):
                break
        expected = []
        while k < len(lines) and not lines[k].startswith("$ "):
            expected.append(lines[k])
            k += 1
        yield number, command, expected


def complete(command):
    try:
        shlex.split(command)
        return True
    except ValueError:  # a quote still open
        return False


def start(command, folder):
    # The build's programs, then this interpreter (the system's, with PyVISA) as python3.
    path = os.pathsep.join([programs, os.path.dirname(sys.executable), os.environ["PATH"]])
    environment = {**os.environ, "PATH": path, "HOME": folder, "XDG_RUNTIME_DIR": folder}
    words = ["bash", "-c", command] if SHELL_SYNTAX.search(command) else shlex.split(command)
    return subprocess.Popen(words, cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            encoding="utf-8", start_new_session=True)


def stop(process):
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass


def matches(expected, actual):
    pattern = "".join(r"(?:.*\n)*" if line == "…" else
                      ".*".join(map(re.escape, line.split("…"))) + r"\n" for line in expected)
    return re.fullmatch(pattern, "".join(line + "\n" for line in actual)) is not None


faults = ran = 0
pages = [root / "README.md", *sorted(root.glob("docs/**/*.md"))]
for page in pages:
    for first, lines in blocks(page):
        background = []
        with tempfile.TemporaryDirectory() as folder:
            for number, command, expected in steps(page, first, lines):
                process = start(command.removesuffix(" &"), folder)
                timer = threading.Timer(TIMEOUT, stop, [process])
                timer.start()
                if command.endswith(" &"):
                    background.append(process)
                    actual = [process.stdout.readline().rstrip("\n") for _ in expected]
                else:
                    actual = process.communicate()[0].splitlines()
                timer.cancel()
                ran += 1
                if not matches(expected, actual):
                    faults += 1
                    where = f"{page.relative_to(root)}:{number}"
                    print(f"{where}: the output differs from the page\n$ {command}")
                    sys.stdout.writelines(difflib.unified_diff(
                        [line + "\n" for line in expected], [line + "\n" for line in actual],
                        where, "printed"))
            for process in background:
                stop(process)
                process.communicate()
print(f"{ran} commands on {len(pages)} pages, {faults} printed other than shown")
sys.exit(1 if faults or not ran else 0)
