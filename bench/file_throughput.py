#!/usr/bin/env python3
"""Whole-file throughput of vellumo-cli per cipher, side by side with cp.

Runs in one go on one machine and one file system, so the ratios mean something
even where absolute times are noise. Usage:

    bench/file_throughput.py [--size-mib 1024] [--runs 5] [--cli PATH] [--dir DIR]

Builds the optimised native vellumo-cli first unless --cli is given. Prints a
Markdown table: median seconds, MiB/s and the ratio to cp for encrypt and
decrypt in place, and the peak memory of encrypting a 1 MiB and a large file.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KEY = "基准测试密钥"


def build_cli():
    subprocess.run(["cmake", "--preset", "native-release", "-DVELLUMO_BUILD_TESTS=OFF"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "native-release", "--target", "vellumo-cli"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "native-release", "cli", "vellumo-cli")


def make_file(path, size):
    chunk = os.urandom(1 << 20)
    with open(path, "wb") as f:
        for _ in range(size >> 20):
            f.write(chunk)
        f.write(chunk[: size & ((1 << 20) - 1)])


def drop_page_cache_of(path):
    # Same treatment for every contender: the source is read through a warm
    # cache in each run (we cannot drop the system cache without privileges
    # everywhere), and every writer syncs its output.
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--cli")
    ap.add_argument("--dir", default=os.path.join(ROOT, "build", "bench-tmp"))
    args = ap.parse_args()

    cli = args.cli or build_cli()
    os.makedirs(args.dir, exist_ok=True)
    work = tempfile.mkdtemp(dir=args.dir)
    size = args.size_mib << 20
    try:
        src = os.path.join(work, "data.bin")
        make_file(src, size)
        results = {}
        cp_times = []
        for _ in range(args.runs):
            dst = os.path.join(work, "copy.bin")
            drop_page_cache_of(src)
            cp_times.append(timed(["sh", "-c", f'cp "{src}" "{dst}" && sync "{dst}"']))
            os.remove(dst)
        results["cp"] = statistics.median(cp_times)

        for cipher in ("aes", "des", "rc4"):
            enc, dec = [], []
            for _ in range(args.runs):
                drop_page_cache_of(src)
                enc.append(timed([cli, "encrypt", "--cipher", cipher, "--key", KEY, src]))
                drop_page_cache_of(src)
                dec.append(timed([cli, "decrypt", "--key", KEY, src]))
            results[f"{cipher} encrypt"] = statistics.median(enc)
            results[f"{cipher} decrypt"] = statistics.median(dec)

        small = os.path.join(work, "small.bin")
        make_file(small, 1 << 20)
        rss_small = peak_rss_kib([cli, "encrypt", "--cipher", "aes", "--key", KEY, small])
        rss_large = peak_rss_kib([cli, "encrypt", "--cipher", "aes", "--key", KEY, src])
        subprocess.run([cli, "decrypt", "--key", KEY, src], check=True, stdout=subprocess.DEVNULL)

        mib = size / (1 << 20)
        print(f"File of {args.size_mib} MiB, median of {args.runs} runs, {os.cpu_count()} cores\n")
        print("| operation | median s | MiB/s | vs cp |")
        print("|---|---|---|---|")
        for name, secs in results.items():
            print(f"| {name} | {secs:.3f} | {mib / secs:.0f} | {results['cp'] / secs:.2f} |")
        print(f"\nPeak memory (max RSS) encrypting 1 MiB: {rss_small} KiB; "
              f"{args.size_mib} MiB: {rss_large} KiB; difference {rss_large - rss_small} KiB")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
