#!/usr/bin/env python3
"""Kills vellumo-cli (SIGKILL) at random moments while it encrypts or decrypts a
folder tree, and checks that nothing is lost:

- every file holds either its bytes before the run or its complete transformed
  form, never a mixture or a truncation;
- the only other thing that may lie in the tree is one temporary file
  ("<name>writebyqmr") beside a file of the tree;
- running the same command again with --skip-done finishes the job quietly
  (exit status 0): every file transformed, no temporary file left.

    crash_test.py --cli PATH [--runs 20] [--seed N] [--size-kib 2048]

Each run copies the random tree of one cipher in turn (AES, DES, RC4) and kills
it three times over while encrypting and again while decrypting, each at a moment drawn uniformly
from the length of an uninterrupted run. The seed is printed, so a failure can be replayed.
Exit status 0 when every run held, 1 otherwise.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

KEY = "崩溃测试密钥k9"
TEMP_SUFFIX = "writebyqmr"
CIPHERS = ["aes", "des", "rc4"]
KILLS_PER_PHASE = 3
# Names with Chinese, spaces and dots, at two folder depths.
NAMES = ["a.txt", "报告.docx", "空文件", "b c.bin", "子目录/x.dat", "子目录/深层/y.z.txt",
         "子目录/深层/零", "other/大文件.bin", "other/1023", "other/1025.bin"]


def make_tree(root, rng, total_bytes):
    """Writes the tree below root; returns {relative path: bytes}."""
    sizes = [0, 1, 17, 1023, 1025, 4096 + 7]
    files = {}
    big = [n for n in NAMES if n.endswith(".bin") or n.endswith(".dat")]
    share = max(1, total_bytes // len(big))
    for name in NAMES:
        if name in big:
            size = rng.randint(share // 2, share * 3 // 2)
        else:
            size = rng.choice(sizes)
        data = rng.randbytes(size)
        if size > 4096 and rng.random() < 0.5:
            data = data[:2048] * (size // 2048) + data[: size % 2048]  # repeats, as real files do
        files[name] = data
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return files


def read_tree(root):
    """{relative path: bytes} of every file below root."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = f.read()
    return found


class Cli:
    def __init__(self, binary):
        self.binary = binary
        self.last_messages = ""  # of the last killed run, for the failure report

    def args(self, command, cipher, root, extra=()):
        args = [self.binary, command, "--key", KEY] + list(extra)
        if command == "encrypt":
            args += ["--cipher", cipher]
        return args + [root]

    def run(self, command, cipher, root, extra=()):
        """Runs to the end; returns (exit status, seconds, stderr)."""
        start = time.monotonic()
        done = subprocess.run(self.args(command, cipher, root, extra), stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, check=False)
        return done.returncode, time.monotonic() - start, done.stderr.decode("utf-8", "replace")

    def run_and_kill(self, command, cipher, root, delay):
        """Starts the command and SIGKILLs it after delay seconds (if still running).
        True when the kill came before the end."""
        with tempfile.TemporaryFile() as err:
            child = subprocess.Popen(self.args(command, cipher, root), stdout=subprocess.DEVNULL, stderr=err)
            try:
                child.wait(timeout=delay)
                killed = False
            except subprocess.TimeoutExpired:
                child.send_signal(signal.SIGKILL)
                child.wait()
                killed = True
            err.seek(0)
            self.last_messages = err.read().decode("utf-8", "replace")
        return killed


def check_after_kill(root, before, after):
    """Problems of a tree interrupted on its way from `before` to `after`."""
    problems = []
    found = read_tree(root)
    for name, data in found.items():
        if name in before:
            if data != before[name] and data != after[name]:
                problems.append(f"{name}: {len(data)} bytes, neither the old form "
                                f"({len(before[name])}) nor the new ({len(after[name])})")
        elif name.endswith(TEMP_SUFFIX) and name[: -len(TEMP_SUFFIX)] in before:
            pass  # a temporary file the kill left beside its file
        else:
            problems.append(f"{name}: a file that should not be there")
    for name in before:
        if name not in found:
            problems.append(f"{name}: missing")
    return problems


def check_finished(root, expected):
    found = read_tree(root)
    problems = [f"{n}: missing" for n in expected if n not in found]
    problems += [f"{n}: left behind" for n in found if n not in expected]
    problems += [f"{n}: not in its final form" for n in expected if n in found and found[n] != expected[n]]
    return problems


class Template:
    """One tree per cipher: its files, their transformed forms, and how long an
    uninterrupted run takes on it."""

    def __init__(self, cli, work, rng, cipher, size):
        self.cipher = cipher
        self.root = os.path.join(work, f"template-{cipher}")
        self.plain = make_tree(self.root, rng, size)
        reference = self.root + ".reference"
        shutil.copytree(self.root, reference)
        status, self.encrypt_seconds, err = cli.run("encrypt", cipher, reference)
        if status != 0:
            raise RuntimeError(f"uninterrupted encryption failed ({status}): {err.strip()}")
        self.encrypted = read_tree(reference)
        status, self.decrypt_seconds, err = cli.run("decrypt", cipher, reference)
        if status != 0 or read_tree(reference) != self.plain:
            raise RuntimeError(f"uninterrupted round trip failed ({status}): {err.strip()}")
        shutil.rmtree(reference)


def one_run(cli, work, rng, run, template):
    cipher = template.cipher
    root = os.path.join(work, f"run{run}")
    shutil.copytree(template.root, root)
    problems = []
    for command, before, after, seconds in (
            ("encrypt", template.plain, template.encrypted, template.encrypt_seconds),
            ("decrypt", template.encrypted, template.plain, template.decrypt_seconds)):
        # Killed several times over, each restart meeting what the last kill
        # left; up to 10% past the usual length, so some runs end before the kill.
        what = f"{command} {cipher}"
        for _ in range(KILLS_PER_PHASE):
            delay = rng.uniform(0, seconds * 1.1)
            killed = cli.run_and_kill(command, cipher, root, delay)
            what += f", killed after {delay:.3f}s" if killed else ", not killed"
            problems += [f"{what}: {p}" for p in check_after_kill(root, before, after)]
            if problems:
                problems.append("its messages: " + cli.last_messages.strip().replace("\n", "\n    "))
                break
        # The rerun passes over the files already done and finishes the rest.
        status, _, err = cli.run(command, cipher, root, ["--skip-done"])
        if status != 0 or err.strip():
            problems.append(f"{what}: rerun with --skip-done: exit {status}: {err.strip()}")
        problems += [f"{what}, rerun: {p}" for p in check_finished(root, after)]
        if problems:
            break
    shutil.rmtree(root)
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--size-kib", type=int, default=2048, help="about this much data per tree")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
    print(f"seed {seed}, {args.runs} runs", flush=True)
    rng = random.Random(seed)
    cli = Cli(os.path.abspath(args.cli))
    failures = 0
    with tempfile.TemporaryDirectory(prefix="vellumo-crash.") as work:
        # DES is by far the slowest cipher; its tree is smaller so that a kill
        # still finds it at any point of the walk within a similar time.
        templates = [Template(cli, work, rng, c, args.size_kib * 1024 // (8 if c == "des" else 1))
                     for c in CIPHERS]
        for t in templates:
            print(f"{t.cipher}: uninterrupted encrypt {t.encrypt_seconds:.2f}s, "
                  f"decrypt {t.decrypt_seconds:.2f}s", flush=True)
        for run in range(args.runs):
            problems = one_run(cli, work, rng, run, templates[run % len(templates)])
            if problems:
                failures += 1
                print(f"run {run}: FAIL", *problems, sep="\n  ", flush=True)
    print(f"{args.runs - failures} of {args.runs} runs held (seed {seed})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
