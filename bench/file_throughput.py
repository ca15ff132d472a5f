#!/usr/bin/env python3
"""Throughput of Vellumo's file encryption, side by side with reference tools.

Everything is measured in one go on one machine and one file system, so the
ratios mean something even where absolute times are noise. Usage:

    bench/file_throughput.py [--size-mib 1024] [--runs 5] [--small-files 10000]
                             [--build-dir DIR] [--dir DIR]

Builds the optimised native vellumo-cli and cipher_throughput first (preset
native-release) unless --build-dir names a finished build. Prints Markdown:

1. buffer throughput of the body transform per cipher, and DES on one thread
   and on every core against `openssl speed -evp des-ede-ecb` (legacy provider,
   one thread) measured in the same run;
2. whole-file encrypt and decrypt in place per cipher against `cp` of the same
   file to a new file (both synced), runs interleaved, medians;
3. peak memory (max RSS) encrypting a 1 MiB file and the large file;
4. a tree of small 4 KiB files: encrypt and decrypt against `cp -r`, plain and
   with every copied file synced;
5. the sealed format (through bench/sealed_run until the command line offers
   it): key derivation time and memory, whole-file encrypt and decrypt against
   `cp` + `sync`, peak memory above the key derivation's own, and the tree of
   small files against `cp -r` with every file synced.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KEY = "基准测试密钥"
CIPHERS = ("aes", "des", "rc4")


def build(build_dir):
    if build_dir:
        return build_dir
    subprocess.run(["cmake", "--preset", "native-release", "-DVELLUMO_BUILD_TESTS=ON"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "native-release",
                    "--target", "vellumo-cli", "cipher_throughput", "sealed_run"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "native-release")


def make_file(path, size):
    chunk = os.urandom(1 << 20)
    with open(path, "wb") as f:
        for _ in range(size >> 20):
            f.write(chunk)
        f.write(chunk[: size & ((1 << 20) - 1)])


def warm(path):
    # Same treatment for every contender: the source is read through a warm
    # cache in each run (the system cache cannot be dropped without privileges),
    # and every writer syncs its output.
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def timed(cmd):
    t0 = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - t0


def peak_rss_kib(cmd):
    # ru_maxrss of children is the maximum over all children so far: measure in
    # a fresh interpreter so each figure belongs to one command.
    code = ("import resource,subprocess,sys;"
            "subprocess.run(sys.argv[1:],check=True,stdout=subprocess.DEVNULL,stderr=subprocess.DEVNULL);"
            "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    out = subprocess.run([sys.executable, "-c", code] + cmd, check=True, capture_output=True, text=True)
    return int(out.stdout.strip())


def openssl_des_mbps(seconds):
    """Single-thread two-key EDE ECB throughput of OpenSSL on 16 KiB blocks, MB/s."""
    out = subprocess.run(["openssl", "speed", "-evp", "des-ede-ecb", "-provider", "legacy",
                          "-provider", "default", "-seconds", str(seconds), "-bytes", "16384"],
                         check=True, capture_output=True, text=True).stdout
    m = re.search(r"^des-ede-ecb\s+([\d.]+)k\s*$", out, re.MULTILINE | re.IGNORECASE)
    if not m:
        raise RuntimeError("cannot read openssl speed output:\n" + out)
    return float(m.group(1)) * 1000 / 1e6


def buffer_section(build_dir, runs):
    ours = {}
    out = subprocess.run([os.path.join(build_dir, "bench", "cipher_throughput"), "64", str(runs)],
                         check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        name, rate = line.split()
        ours[name] = float(rate)
    ossl = statistics.median(openssl_des_mbps(2) for _ in range(runs))
    print("## Buffer transform (64 MiB, key set up once), median of", runs, "runs\n")
    print("| case | MB/s | vs openssl des-ede-ecb, 1 thread |")
    print("|---|---|---|")
    print(f"| openssl speed -evp des-ede-ecb (legacy), 16 KiB blocks | {ossl:.1f} | 1.00 |")
    for name, rate in ours.items():
        ratio = f"{rate / ossl:.2f}" if name.startswith("des") else ""
        print(f"| {name} | {rate:.1f} | {ratio} |")
    print()


def file_section(cli, work, size_mib, runs):
    size = size_mib << 20
    src = os.path.join(work, "data.bin")
    make_file(src, size)
    times = {"cp": []}
    for c in CIPHERS:
        times[f"{c} encrypt"] = []
        times[f"{c} decrypt"] = []
    for _ in range(runs):
        dst = os.path.join(work, "copy.bin")
        warm(src)
        times["cp"].append(timed(["sh", "-c", f'cp "{src}" "{dst}" && sync "{dst}"']))
        os.remove(dst)
        for c in CIPHERS:
            warm(src)
            times[f"{c} encrypt"].append(timed([cli, "encrypt", "--cipher", c, "--key", KEY, src]))
            warm(src)
            times[f"{c} decrypt"].append(timed([cli, "decrypt", "--key", KEY, src]))
    med = {k: statistics.median(v) for k, v in times.items()}
    print(f"## Whole file of {size_mib} MiB in place, median of {runs} interleaved runs\n")
    print("| operation | median s | MiB/s | vs cp |")
    print("|---|---|---|---|")
    for name, secs in med.items():
        print(f"| {name} | {secs:.3f} | {size_mib / secs:.0f} | {med['cp'] / secs:.2f} |")
    print()

    small = os.path.join(work, "small.bin")
    make_file(small, 1 << 20)
    print(f"## Peak memory (max RSS) encrypting a 1 MiB and a {size_mib} MiB file\n")
    print(f"| cipher | 1 MiB KiB | {size_mib} MiB KiB | difference KiB |")
    print("|---|---|---|---|")
    for c in CIPHERS:
        rss_small = peak_rss_kib([cli, "encrypt", "--cipher", c, "--key", KEY, small])
        rss_large = peak_rss_kib([cli, "encrypt", "--cipher", c, "--key", KEY, src])
        for path in (small, src):
            subprocess.run([cli, "decrypt", "--key", KEY, path], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(f"| {c} | {rss_small} | {rss_large} | {rss_large - rss_small} |")
    print()
    os.remove(src)


def small_files_section(cli, work, count, runs):
    tree = os.path.join(work, "tree")
    data = os.urandom(4096)
    for i in range(count):
        sub = os.path.join(tree, f"d{i // 500:03d}")
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, f"f{i:05d}.bin"), "wb") as f:
            f.write(data[i % 64:] + data[: i % 64])
    # `cp -r` as such, and with every copied file synced as the engine syncs
    # each file it writes (`sync -f` would flush the whole shared file system).
    synced = "cp -r, each file synced"
    times = {"cp -r": [], synced: [], "aes encrypt": [], "aes decrypt": []}
    for _ in range(runs):
        dst = os.path.join(work, "tree-copy")
        times["cp -r"].append(timed(["cp", "-r", tree, dst]))
        shutil.rmtree(dst)
        times[synced].append(timed(["sh", "-c", f'cp -r "{tree}" "{dst}" && find "{dst}" -type f -print0 | xargs -0 sync']))
        shutil.rmtree(dst)
        times["aes encrypt"].append(timed([cli, "encrypt", "--cipher", "aes", "--key", KEY, tree]))
        times["aes decrypt"].append(timed([cli, "decrypt", "--key", KEY, tree]))
    med = {k: statistics.median(v) for k, v in times.items()}
    print(f"## A tree of {count} files of 4 KiB, median of {runs} interleaved runs\n")
    print(f"| operation | median s | files/s | vs cp -r | vs {synced} |")
    print("|---|---|---|---|---|")
    for name, secs in med.items():
        print(f"| {name} | {secs:.3f} | {count / secs:.0f} | {med['cp -r'] / secs:.2f} | {med[synced] / secs:.2f} |")
    print()


def sealed_section(build_dir, work, size_mib, runs, count):
    """The sealed format: its key derivation, a large file, and many small ones."""
    tool = os.path.join(build_dir, "bench", "sealed_run")
    kdf = [subprocess.run([tool, "kdf", KEY], check=True, capture_output=True, text=True).stdout.split()
           for _ in range(runs)]
    kdf_s = statistics.median(float(k[0]) for k in kdf)
    kdf_rss = peak_rss_kib([tool, "kdf", KEY])
    print("## Sealed format\n")
    print(f"Key derivation (Argon2id, {int(kdf[0][1]) // 1024} MiB, {kdf[0][2]} passes), once per run: "
          f"median {kdf_s:.3f} s of {runs}; peak memory of a process that derives one key: {kdf_rss} KiB.\n")

    size = size_mib << 20
    src = os.path.join(work, "sealed.bin")
    make_file(src, size)
    times = {"cp + sync": [], "sealed encrypt": [], "sealed decrypt": []}
    for _ in range(runs):
        dst = os.path.join(work, "copy.bin")
        warm(src)
        times["cp + sync"].append(timed(["sh", "-c", f'cp "{src}" "{dst}" && sync "{dst}"']))
        os.remove(dst)
        warm(src)
        times["sealed encrypt"].append(timed([tool, "encrypt", KEY, src]))
        warm(src)
        times["sealed decrypt"].append(timed([tool, "decrypt", KEY, src]))
    med = {k: statistics.median(v) for k, v in times.items()}
    print(f"### Whole file of {size_mib} MiB in place (key derivation included), median of {runs} interleaved runs\n")
    print("| operation | median s | MiB/s | vs cp + sync |")
    print("|---|---|---|---|")
    for name, secs in med.items():
        print(f"| {name} | {secs:.3f} | {size_mib / secs:.0f} | {med['cp + sync'] / secs:.2f} |")
    print()

    rss = peak_rss_kib([tool, "encrypt", KEY, src])
    subprocess.run([tool, "decrypt", KEY, src], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print(f"Peak memory encrypting the {size_mib} MiB file: {rss} KiB, {rss - kdf_rss} KiB above the key "
          f"derivation's own process ({(rss - kdf_rss) / 1024:.1f} MiB).\n")
    os.remove(src)

    tree = os.path.join(work, "sealed-tree")
    data = os.urandom(4096)
    for i in range(count):
        sub = os.path.join(tree, f"d{i // 500:03d}")
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, f"f{i:05d}.bin"), "wb") as f:
            f.write(data[i % 64:] + data[: i % 64])
    synced = "cp -r, each file synced"
    times = {"cp -r": [], synced: [], "sealed encrypt": [], "sealed decrypt": []}
    for _ in range(runs):
        dst = os.path.join(work, "tree-copy")
        times["cp -r"].append(timed(["cp", "-r", tree, dst]))
        shutil.rmtree(dst)
        times[synced].append(timed(["sh", "-c", f'cp -r "{tree}" "{dst}" && find "{dst}" -type f -print0 | xargs -0 sync']))
        shutil.rmtree(dst)
        times["sealed encrypt"].append(timed([tool, "encrypt", KEY, tree]))
        times["sealed decrypt"].append(timed([tool, "decrypt", KEY, tree]))
    med = {k: statistics.median(v) for k, v in times.items()}
    print(f"### A tree of {count} files of 4 KiB, median of {runs} interleaved runs\n")
    print(f"| operation | median s | files/s | vs cp -r | vs {synced} |")
    print("|---|---|---|---|---|")
    for name, secs in med.items():
        print(f"| {name} | {secs:.3f} | {count / secs:.0f} | {med['cp -r'] / secs:.2f} | {med[synced] / secs:.2f} |")
    print()
    shutil.rmtree(tree)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--small-files", type=int, default=10000)
    ap.add_argument("--build-dir")
    ap.add_argument("--dir", default=os.path.join(ROOT, "build", "bench-tmp"))
    args = ap.parse_args()

    build_dir = build(args.build_dir)
    cli = os.path.join(build_dir, "cli", "vellumo-cli")
    os.makedirs(args.dir, exist_ok=True)
    work = tempfile.mkdtemp(dir=args.dir)
    try:
        print(f"# {os.cpu_count()} cores, {time.strftime('%Y-%m-%d')}\n")
        buffer_section(build_dir, args.runs)
        file_section(cli, work, args.size_mib, args.runs)
        small_files_section(cli, work, args.small_files, args.runs)
        sealed_section(build_dir, work, args.size_mib, args.runs, args.small_files)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
