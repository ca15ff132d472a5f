#!/usr/bin/env python3
"""Runs the shell examples of the user guides as a reader would type them, so
that a guide that changes is tested as it now reads.

Every ```sh block of a guide, in order, runs in one bash (set -e: the first
command that fails fails the guide) on a terminal of its own, in a fresh home
folder whose current folder holds what a reader would have: the downloaded
Linux tarball (made from this build by scripts/pack-linux-cli) with its
SHA256SUMS, and the files the examples name. The key prompts are answered as
a user would (the same key twice). The tarball is unpacked by the guide's own
commands, so the examples run the installed program, find its man page, and
the paths the guide's table lists must be there afterwards.

    guide_examples_test.py --cli PATH --man DIR --version V --pack SCRIPT GUIDE...

Exit status 0 when every guide ran to its end, 1 otherwise.
"""
import argparse
import hashlib
import os
import pty
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

# A key prompt in either language at the end of what was written: the
# program waits for the key (man page text also holds "密钥：").
PROMPT = re.compile(r"(?:Key(?: again)?: |密钥：)$")
TYPED_KEY = "guide-example-key-1"
BLOCK = re.compile(r"^```sh\n(.*?)^```$", re.S | re.M)
TABLE_PATH = re.compile(r"^\| `((?:bin|share)/[^`]+)` \|", re.M)
# What the examples name as the reader's own files.
FIXTURES = {
    "report.doc": b"quarterly report\n" * 50,
    "photos/a.jpg": os.urandom(3000),
    "photos/b.jpg": os.urandom(5000),
    "project/plan.txt": b"the plan\n",
    "project/notes/todo.txt": b"todo\n",
    "key.txt": "project key 2024\n".encode(),
    "报告.doc": "季度报告\n".encode() * 50,
    "照片/a.jpg": os.urandom(3000),
    "项目/计划.txt": "计划\n".encode(),
}


def language_of(guide):
    return "zh_CN.UTF-8" if "zh" in os.path.basename(guide) else "C.UTF-8"


def man_page_name_line(language):
    """The NAME line of the man page a reader of that language should get."""
    return "以 Vellumo 的格式加密" if language.startswith("zh") else "encrypt and decrypt files, folders"


def run_on_terminal(script, cwd, env, timeout=300):
    """bash script on a pseudo-terminal; returns (exit status, transcript, prompts answered)."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execve("/bin/bash", ["bash", "--noprofile", "--norc", "-c", script], env)
    transcript = b""
    answered = 0
    deadline = time.monotonic() + timeout
    while True:
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            os.kill(pid, signal.SIGKILL)
            transcript += b"\n[timed out]"
            break
        try:
            data = os.read(fd, 4096)
        except OSError:
            break
        if not data:
            break
        transcript += data
        if PROMPT.search(transcript.decode("utf-8", "replace")):
            os.write(fd, TYPED_KEY.encode() + b"\n")
            answered += 1
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    code = os.WEXITSTATUS(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)
    return code, transcript.decode("utf-8", "replace"), answered


def run_guide(guide, args):
    with open(guide, encoding="utf-8") as f:
        text = f.read()
    blocks = BLOCK.findall(text)
    if not blocks:
        return [f"{guide}: no ```sh examples found"]
    problems = []
    with tempfile.TemporaryDirectory(prefix="vellumo-guide.") as sandbox:
        home = os.path.join(sandbox, "home")
        cwd = os.path.join(home, "Downloads")
        os.makedirs(cwd)
        tarball = f"vellumo-cli-{args.version}-linux-x86_64.tar.gz"
        subprocess.run([args.pack, args.version, "0", args.cli, args.man, os.path.join(cwd, tarball)], check=True)
        with open(os.path.join(cwd, tarball), "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        with open(os.path.join(cwd, "SHA256SUMS"), "w") as f:
            # The other release files are listed but not downloaded.
            f.write(f"{'0' * 64}  Vellumo-Setup-{args.version}.exe\n{digest}  {tarball}\n")
        for name, data in FIXTURES.items():
            path = os.path.join(cwd, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        env = {"HOME": home, "PATH": "/usr/local/bin:/usr/bin:/bin", "LC_ALL": language_of(guide),
               "TERM": "dumb", "MANPAGER": "cat", "PAGER": "cat", "MANWIDTH": "80"}
        script = "set -ex\n" + "\n".join(blocks)
        code, transcript, answered = run_on_terminal(script, cwd, env)
        if code != 0:
            problems.append(f"{guide}: the examples stopped with exit status {code}:\n{transcript[-3000:]}")
        if answered != 2:
            problems.append(f"{guide}: {answered} key prompts, expected 2 (keys add asks twice)")
        for path in TABLE_PATH.findall(text):
            if not os.path.exists(os.path.join(home, ".local", path)):
                problems.append(f"{guide}: {path}, listed in the tarball's table, was not unpacked")
        if "VELLUMO-CLI(1)" not in transcript or man_page_name_line(env["LC_ALL"]) not in transcript:
            problems.append(f"{guide}: man vellumo-cli did not show the manual page in the reader's language")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--man", required=True, help="the build's cli/man folder")
    parser.add_argument("--version", required=True)
    parser.add_argument("--pack", required=True, help="scripts/pack-linux-cli")
    parser.add_argument("guides", nargs="+")
    args = parser.parse_args()
    args.cli = os.path.abspath(args.cli)
    problems = []
    for guide in args.guides:
        found = run_guide(guide, args)
        print(f"{guide}: {'FAIL' if found else 'ok'}", flush=True)
        problems += found
    for problem in problems:
        print(f"FAIL: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
