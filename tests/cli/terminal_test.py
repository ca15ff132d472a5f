#!/usr/bin/env python3
"""vellumo-cli on a terminal of its own (a pseudo-terminal): the key prompt,
asked twice for a new key and once to decrypt, refusing a mismatch and an
empty key; the progress line that shows by itself; and Ctrl-C, which stops a
run (an encryption or an upgrade) between two buffers, leaves the file in hand
as it was, and ends with a summary and exit status 130.

    terminal_test.py --cli PATH

Exit status 0 when every check held, 1 otherwise.
"""
import argparse
import os
import pty
import select
import shutil
import signal
import sys
import tempfile
import time

PROMPTS = ("Key: ", "Key again: ")
HEADER = 64
SEALED_MAGIC = bytes.fromhex("89564c4d0d0a1a0a")


class Terminal:
    """Runs the program with a pseudo-terminal as its controlling terminal,
    standard input and outputs, as a shell in a terminal window would."""

    def __init__(self, cli, env):
        self.cli = cli
        self.env = env

    def run(self, args, answers=(), interrupt_when=None, timeout=300):
        """Answers each prompt with the next of `answers` (then with nothing
        more), presses Ctrl-C once when interrupt_when(output) holds.
        Returns (exit status, output, number of prompts, interrupted)."""
        pid, fd = pty.fork()
        if pid == 0:
            try:
                os.execve(self.cli, [self.cli] + args, self.env)
            finally:
                os._exit(127)
        output = b""
        answered = 0
        interrupted = False
        deadline = time.monotonic() + timeout
        while True:
            ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                os.kill(pid, signal.SIGKILL)
                break
            try:
                data = os.read(fd, 4096)
            except OSError:  # the other side is closed: the program has ended
                break
            if not data:
                break
            output += data
            text = output.decode("utf-8", "replace")
            # A prompt at the end of the output: the program waits for the key.
            if text.endswith(PROMPTS) and answered < len(answers):
                os.write(fd, answers[answered].encode("utf-8") + b"\n")
                answered += 1
            if interrupt_when and not interrupted and interrupt_when(text):
                os.write(fd, b"\x03")  # the terminal turns it into SIGINT
                interrupted = True
        _, status = os.waitpid(pid, 0)
        os.close(fd)
        code = os.WEXITSTATUS(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)
        text = output.decode("utf-8", "replace")
        return code, text, sum(text.count(p) for p in PROMPTS), interrupted


class Checks:
    def __init__(self):
        self.failures = 0
        self.count = 0

    def __call__(self, what, condition, detail=""):
        self.count += 1
        if not condition:
            self.failures += 1
            print(f"FAIL: {what}" + (f"\n    {detail}" if detail else ""), flush=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    check = Checks()
    with tempfile.TemporaryDirectory(prefix="vellumo-tty.") as work:
        env = {"PATH": "/usr/bin:/bin", "LC_ALL": "C.UTF-8", "HOME": work, "TERM": "xterm"}
        term = Terminal(cli, env)
        plain = b"a letter for the terminal test\n" * 40
        for name in ("typed.txt", "typo.txt", "empty.txt"):
            write(os.path.join(work, name), plain)

        # A new key is asked for twice and used when both agree.
        typed = os.path.join(work, "typed.txt")
        code, out, prompts, _ = term.run(["encrypt", typed], ["lucky-key-42", "lucky-key-42"])
        check("encrypt from the prompt: exit 0", code == 0, out)
        check("encrypt from the prompt: asked twice", prompts == 2, out)
        check("encrypt from the prompt: the key is not echoed", "lucky-key-42" not in out, out)
        check("encrypt from the prompt: encrypted in the sealed format", read(typed)[:8] == SEALED_MAGIC)
        # Decrypting asks once.
        code, out, prompts, _ = term.run(["decrypt", typed], ["lucky-key-42"])
        check("decrypt from the prompt: exit 0, asked once", code == 0 and prompts == 1, out)
        check("decrypt from the prompt: restored", read(typed) == plain)
        # So does an upgrade: the legacy file's key check catches a typo.
        code, out, _, _ = term.run(["encrypt", "--cipher", "aes", "--key", "lucky-key-42", typed])
        code, out, prompts, _ = term.run(["upgrade", typed], ["lucky-key-42"])
        check("upgrade from the prompt: exit 0, asked once", code == 0 and prompts == 1, out)
        check("upgrade from the prompt: sealed", read(typed)[:8] == SEALED_MAGIC)
        code, out, _, _ = term.run(["decrypt", "--key", "lucky-key-42", typed])
        check("upgrade from the prompt: the same key opens it", code == 0 and read(typed) == plain, out)

        # A typo in the second entry stops everything.
        typo = os.path.join(work, "typo.txt")
        code, out, prompts, _ = term.run(["encrypt", typo], ["typo1", "typo2"])
        check("mismatch: exit 2", code == 2, out)
        check("mismatch: told", "differ" in out, out)
        check("mismatch: the file is untouched", read(typo) == plain)

        # An empty key is refused at once.
        empty = os.path.join(work, "empty.txt")
        code, out, prompts, _ = term.run(["encrypt", empty], ["", ""])
        check("empty key: exit 2, asked once", code == 2 and prompts == 1, out)
        check("empty key: told", "empty" in out, out)
        check("empty key: the file is untouched", read(empty) == plain)

        # keys add asks twice too.
        db = os.path.join(work, "keys", "docset.dat")
        code, out, prompts, _ = term.run(["keys", "add", "work", "--db", db], ["s3cret-key", "s3cret-key"])
        check("keys add from the prompt: exit 0, asked twice", code == 0 and prompts == 2, out)
        code, out, _, _ = term.run(["encrypt", "--key-name", "work", "--db", db, typed])
        check("keys add from the prompt: the key is stored", code == 0, out)
        code, out, _, _ = term.run(["decrypt", "--key", "s3cret-key", typed])
        check("keys add from the prompt: the stored key is the typed one", code == 0 and read(typed) == plain, out)

        # On a terminal the progress line shows by itself, at once for a run
        # over this much data (DES keeps it going long enough for redraws).
        run = os.path.join(work, "run")
        os.makedirs(run)
        small = os.urandom(10000)
        large = os.urandom(64 * 1024 * 1024)
        write(os.path.join(run, "alone.bin"), large)
        code, out, _, _ = term.run(["encrypt", "--cipher", "des", "--key", "k", os.path.join(run, "alone.bin")])
        check("progress by itself: exit 0", code == 0, out)
        check("progress by itself: percent, rate, time left and the file",
              "%" in out and "MiB/s" in out and "ETA" in out and "alone.bin" in out, out)
        os.remove(os.path.join(run, "alone.bin"))

        # Ctrl-C in the middle of the second of three files: pressed as soon
        # as --verbose names it.
        for name, data in (("1-small.bin", small), ("2-large.bin", large), ("3-later.bin", small)):
            write(os.path.join(run, name), data)
        paths = [os.path.join(run, n) for n in ("1-small.bin", "2-large.bin", "3-later.bin")]
        code, out, _, interrupted = term.run(
            ["encrypt", "--verbose", "--cipher", "des", "--key", "k"] + paths,
            interrupt_when=lambda text: "encrypting " + paths[1] in text)
        check("Ctrl-C: pressed while the second file was in hand", interrupted, out)
        check("Ctrl-C: exit 130", code == 130, out)
        check("Ctrl-C: a summary", "1 encrypted" in out and "stopped, 1 not started" in out, out)
        check("Ctrl-C: the finished file keeps its new form", len(read(paths[0])) == len(small) + HEADER)
        check("Ctrl-C: the file in hand is as it was", read(paths[1]) == large)
        check("Ctrl-C: the later file is untouched", read(paths[2]) == small)
        check("Ctrl-C: no temporary file is left", sorted(os.listdir(run)) == ["1-small.bin", "2-large.bin", "3-later.bin"],
              str(os.listdir(run)))

        # The same for an upgrade of those legacy files: the first is sealed,
        # the one in hand and the later one keep their legacy form.
        code, out, _, _ = term.run(["encrypt", "--cipher", "des", "--key", "k"] + paths[1:])
        check("legacy files to upgrade", code == 0, out)
        legacy = [read(p) for p in paths]
        code, out, _, interrupted = term.run(
            ["upgrade", "--verbose", "--key", "k"] + paths,
            interrupt_when=lambda text: "upgrading " + paths[1] in text)
        check("Ctrl-C in an upgrade: pressed while the second file was in hand", interrupted, out)
        check("Ctrl-C in an upgrade: exit 130", code == 130, out)
        check("Ctrl-C in an upgrade: a summary", "1 upgraded" in out and "stopped, 1 not started" in out, out)
        check("Ctrl-C in an upgrade: the finished file is sealed", read(paths[0])[:8] == SEALED_MAGIC)
        check("Ctrl-C in an upgrade: the file in hand is as it was", read(paths[1]) == legacy[1])
        check("Ctrl-C in an upgrade: the later file is untouched", read(paths[2]) == legacy[2])
        check("Ctrl-C in an upgrade: no temporary file is left",
              sorted(os.listdir(run)) == ["1-small.bin", "2-large.bin", "3-later.bin"], str(os.listdir(run)))
        shutil.rmtree(run)
    print(f"{check.count} checks, {check.failures} failed")
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
