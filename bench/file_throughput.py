#!/usr/bin/env python3
"""Throughput of Vellumo's file encryption, side by side with reference tools.

Everything is measured in one go on one machine and one file system, so the
ratios mean something even where absolute times are noise. Usage:

    bench/file_throughput.py [--size-mib 1024] [--runs 5] [--small-files 10000]
                             [--build-dir DIR] [--dir DIR] [--wine WIN64_BUILD_DIR]

Builds the optimised native vellumo-cli and cipher_throughput first (preset
native-release) unless --build-dir names a finished build. Prints Markdown:

0. the machine: processor, cores, kernel, file system, load average at the
   start and at the end of the run;
1. buffer throughput of the body transform per cipher, and DES on one thread
   (per bitsliced path) and on every core, against
   `openssl speed -evp des-ede-ecb` (legacy provider, one thread), the runs of
   both interleaved;
2. whole-file encrypt and decrypt in place per cipher against `cp` of the same
   file followed by `sync` of the copy (the engine puts every file on the
   device before it replaces the original, so that is the fair race), with
   bare `cp` as a second column that is not durable; DES also against its own
   all-core buffer rate from section 1;
3. peak memory (max RSS) encrypting a 1 MiB file and the large file;
4. a tree of small 4 KiB files: encrypt and decrypt against `cp -r` with every
   copied file synced, and against bare `cp -r` (not durable).
5. the sealed format (through bench/sealed_run, the engine call the fronts
   make): key derivation time and memory, whole-file encrypt and decrypt against
   `cp` + `sync`, peak memory above the key derivation's own, and the tree of
   small files against `cp -r` with every file synced.

With --wine, the x64 vellumo-cli.exe of a finished win64 build runs under
wine64 beside the native one in sections 2 and 4 (its lines marked "wine64",
interleaved with the rest), so the two programs' ratios come from the same
runs.

Every timed command starts from the same state: its source read through the
cache, and fresh page cache made and dropped just before (see prime()). The
order of the contenders rotates from run to run, so none always follows the
same one, and medians are taken.
"""
import argparse
import os
import platform
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
NOT_DURABLE = "not durable"


def build(build_dir):
    if build_dir:
        return build_dir
    subprocess.run(["cmake", "--preset", "native-release", "-DVELLUMO_BUILD_TESTS=ON"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "native-release",
                    "--target", "vellumo-cli", "cipher_throughput", "sealed_run"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "native-release")


def load():
    return "{:.2f} {:.2f} {:.2f}".format(*os.getloadavg())


def machine_section(work):
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            names = re.findall(r"^model name\s*:\s*(.*)$", f.read(), re.MULTILINE)
        cpu = names[0] if names else cpu
    except OSError:
        pass
    df = subprocess.run(["df", "--output=fstype", work], capture_output=True, text=True).stdout.split()
    fs = df[-1] if len(df) > 1 else ""
    print(f"# {time.strftime('%Y-%m-%d')}: {cpu}, {os.cpu_count()} cores, "
          f"{platform.system()} {platform.release()}, {fs or 'unknown'} file system\n")
    print(f"Load average (1, 5, 15 min) at the start: {load()}\n")


def make_file(path, size):
    chunk = os.urandom(1 << 20)
    with open(path, "wb") as f:
        for _ in range(size >> 20):
            f.write(chunk)
        f.write(chunk[: size & ((1 << 20) - 1)])


def warm(path):
    # Same treatment for every contender: the source is read through a warm
    # cache in each run (the system cache cannot be dropped without privileges),
    # and every durable writer syncs its output.
    files = [path] if os.path.isfile(path) else [os.path.join(r, n) for r, _, ns in os.walk(path) for n in ns]
    for name in files:
        with open(name, "rb") as f:
            while f.read(1 << 24):
                pass


def prime(work, size):
    """Writes and drops `size` bytes of page cache just before a timed command.

    A virtual machine whose host takes back the guest's free memory (free page
    reporting) makes the first write into such memory fault on the host: a
    writer that happens to get page cache from memory freed seconds ago runs at
    half speed or less, one that reuses memory freed just before does not. Which
    contender that hits depends on what ran before it. Page cache made and
    freed right here is what the timed command gets next, so every contender
    starts alike, as on a machine whose memory stays its own."""
    path = os.path.join(work, "prime.bin")
    block = b"\x01" * (1 << 20)
    with open(path, "wb") as f:
        for _ in range((size >> 20) + 64):
            f.write(block)
    os.remove(path)


def run_quiet(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed(cmd):
    t0 = time.perf_counter()
    run_quiet(cmd)
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


def rotated(units, run):
    k = run % len(units)
    return [name for unit in units[k:] + units[:k] for name in unit]


def interleaved_medians(commands, units, runs, work, source, prime_bytes, copy):
    """Times every command `runs` times in rotating order of `units`, each
    started alike (`source` read through the cache, page cache of
    `prime_bytes` made and dropped), and gives each command's median. `copy`,
    what a copying contender wrote, goes after every command."""
    times = {name: [] for name in commands}
    for run in range(runs):
        for name in rotated(units, run):
            warm(source)
            prime(work, prime_bytes)
            times[name].append(timed(commands[name]))
            if os.path.isdir(copy):
                shutil.rmtree(copy)
            elif os.path.exists(copy):
                os.remove(copy)
    return {k: statistics.median(v) for k, v in times.items()}


def buffer_section(build_dir, runs):
    """Returns the medians in MB/s by case name."""
    samples = {"openssl": []}
    slicing = "?"
    for _ in range(runs):
        # One sample of each of ours, then one of openssl, and again.
        out = subprocess.run([os.path.join(build_dir, "bench", "cipher_throughput"), "64", "1"],
                             check=True, capture_output=True, text=True).stdout
        for line in out.splitlines():
            name, value = line.split()
            if name == "des-slicing":
                slicing = value
            else:
                samples.setdefault(name, []).append(float(value))
        samples["openssl"].append(openssl_des_mbps(2))
    med = {name: statistics.median(v) for name, v in samples.items()}
    ossl = med["openssl"]
    print(f"## Buffer transform (64 MiB, key set up once), median of {runs} interleaved runs\n")
    print(f"The engine's DES takes the {slicing} path on this processor.\n")
    print("| case | MB/s | vs openssl des-ede-ecb, 1 thread |")
    print("|---|---|---|")
    print(f"| openssl speed -evp des-ede-ecb (legacy), 16 KiB blocks | {ossl:.1f} | 1.00 |")
    for name, rate in med.items():
        if name == "openssl":
            continue
        ratio = f"{rate / ossl:.2f}" if name.startswith("des") else ""
        print(f"| {name} | {rate:.1f} | {ratio} |")
    print()
    return med


class Cli:
    """A vellumo-cli to time: the native one, or the win64 one under wine64
    (which gets the same files by their Z: drive names)."""

    def __init__(self, program, wine_run=None):
        self.prefix = [wine_run, program] if wine_run else [program]
        self.wine = wine_run is not None

    def command(self, *args):
        path = lambda a: "Z:" + a.replace("/", "\\") if self.wine and a.startswith("/") else a
        return self.prefix + [path(a) for a in args]


def file_section(clis, work, size_mib, runs, buffer_rates):
    size = size_mib << 20
    src = os.path.join(work, "data.bin")
    dst = os.path.join(work, "copy.bin")
    make_file(src, size)
    durable, bare = "cp + sync", f"cp ({NOT_DURABLE})"
    commands = {
        durable: ["sh", "-c", f'cp "{src}" "{dst}" && sync "{dst}"'],
        bare: ["cp", src, dst],
    }
    units = [[durable], [bare]]
    for label, cli in clis.items():
        for c in CIPHERS:
            enc, dec = f"{c} encrypt{label}", f"{c} decrypt{label}"
            commands[enc] = cli.command("encrypt", "--cipher", c, "--key", KEY, src)
            commands[dec] = cli.command("decrypt", "--key", KEY, src)
            units.append([enc, dec])  # a decrypt needs the encrypt before it
    med = interleaved_medians(commands, units, runs, work, src, size, dst)
    all_cores = max((rate for name, rate in buffer_rates.items() if re.fullmatch(r"des-\d+-threads", name)),
                    default=None)
    print(f"## Whole file of {size_mib} MiB in place, median of {runs} interleaved runs\n")
    print(f"| operation | median s | MiB/s | vs cp + sync | vs cp, {NOT_DURABLE} | vs own all-core buffer rate |")
    print("|---|---|---|---|---|---|")
    for name, secs in med.items():
        own = ""
        if name.startswith("des") and all_cores:
            own = f"{size / secs / 1e6 / all_cores:.2f}"
        print(f"| {name} | {secs:.3f} | {size_mib / secs:.0f} | {med[durable] / secs:.2f} | "
              f"{med[bare] / secs:.2f} | {own} |")
    print()

    cli = clis[""]
    small = os.path.join(work, "small.bin")
    make_file(small, 1 << 20)
    print(f"## Peak memory (max RSS) encrypting a 1 MiB and a {size_mib} MiB file\n")
    print(f"| cipher | 1 MiB KiB | {size_mib} MiB KiB | difference KiB |")
    print("|---|---|---|---|")
    for c in CIPHERS:
        rss_small = peak_rss_kib(cli.command("encrypt", "--cipher", c, "--key", KEY, small))
        rss_large = peak_rss_kib(cli.command("encrypt", "--cipher", c, "--key", KEY, src))
        for path in (small, src):
            run_quiet(cli.command("decrypt", "--key", KEY, path))
        print(f"| {c} | {rss_small} | {rss_large} | {rss_large - rss_small} |")
    print()
    os.remove(src)


def small_files_section(clis, work, count, runs):
    tree = os.path.join(work, "tree")
    dst = os.path.join(work, "tree-copy")
    data = os.urandom(4096)
    for i in range(count):
        sub = os.path.join(tree, f"d{i // 500:03d}")
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, f"f{i:05d}.bin"), "wb") as f:
            f.write(data[i % 64:] + data[: i % 64])
    # `cp -r` with every copied file synced, as the engine syncs each file it
    # writes (`sync -f` would flush the whole shared file system), and as such.
    synced, bare = "cp -r, each file synced", f"cp -r ({NOT_DURABLE})"
    commands = {
        synced: ["sh", "-c", f'cp -r "{tree}" "{dst}" && find "{dst}" -type f -print0 | xargs -0 sync'],
        bare: ["cp", "-r", tree, dst],
    }
    units = [[synced], [bare]]
    for label, cli in clis.items():
        enc, dec = f"aes encrypt{label}", f"aes decrypt{label}"
        commands[enc] = cli.command("encrypt", "--cipher", "aes", "--key", KEY, tree)
        commands[dec] = cli.command("decrypt", "--key", KEY, tree)
        units.append([enc, dec])
    med = interleaved_medians(commands, units, runs, work, tree, count * 8192, dst)
    print(f"## A tree of {count} files of 4 KiB, median of {runs} interleaved runs\n")
    print(f"| operation | median s | files/s | vs {synced} | vs cp -r, {NOT_DURABLE} |")
    print("|---|---|---|---|---|")
    for name, secs in med.items():
        print(f"| {name} | {secs:.3f} | {count / secs:.0f} | {med[synced] / secs:.2f} | {med[bare] / secs:.2f} |")
    print()


def sealed_section(build_dir, work, size_mib, runs, count):
    """The sealed format: its key derivation, a large file, and many small ones,
    each timed command prepared as in the sections before."""
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
    dst = os.path.join(work, "copy.bin")
    make_file(src, size)
    durable = "cp + sync"
    commands = {
        durable: ["sh", "-c", f'cp "{src}" "{dst}" && sync "{dst}"'],
        "sealed encrypt": [tool, "encrypt", KEY, src],
        "sealed decrypt": [tool, "decrypt", KEY, src],
    }
    units = [[durable], ["sealed encrypt", "sealed decrypt"]]
    med = interleaved_medians(commands, units, runs, work, src, size, dst)
    print(f"### Whole file of {size_mib} MiB in place (key derivation included), median of {runs} interleaved runs\n")
    print("| operation | median s | MiB/s | vs cp + sync |")
    print("|---|---|---|---|")
    for name, secs in med.items():
        print(f"| {name} | {secs:.3f} | {size_mib / secs:.0f} | {med[durable] / secs:.2f} |")
    print()

    rss = peak_rss_kib([tool, "encrypt", KEY, src])
    run_quiet([tool, "decrypt", KEY, src])
    print(f"Peak memory encrypting the {size_mib} MiB file: {rss} KiB, {rss - kdf_rss} KiB above the key "
          f"derivation's own process ({(rss - kdf_rss) / 1024:.1f} MiB).\n")
    os.remove(src)

    tree = os.path.join(work, "sealed-tree")
    dst = os.path.join(work, "tree-copy")
    data = os.urandom(4096)
    for i in range(count):
        sub = os.path.join(tree, f"d{i // 500:03d}")
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, f"f{i:05d}.bin"), "wb") as f:
            f.write(data[i % 64:] + data[: i % 64])
    synced = "cp -r, each file synced"
    commands = {
        synced: ["sh", "-c", f'cp -r "{tree}" "{dst}" && find "{dst}" -type f -print0 | xargs -0 sync'],
        "sealed encrypt": [tool, "encrypt", KEY, tree],
        "sealed decrypt": [tool, "decrypt", KEY, tree],
    }
    units = [[synced], ["sealed encrypt", "sealed decrypt"]]
    med = interleaved_medians(commands, units, runs, work, tree, count * 8192, dst)
    print(f"### A tree of {count} files of 4 KiB, median of {runs} interleaved runs\n")
    print(f"| operation | median s | files/s | vs {synced} |")
    print("|---|---|---|---|")
    for name, secs in med.items():
        print(f"| {name} | {secs:.3f} | {count / secs:.0f} | {med[synced] / secs:.2f} |")
    print()
    shutil.rmtree(tree)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--small-files", type=int, default=10000)
    ap.add_argument("--build-dir")
    ap.add_argument("--dir", default=os.path.join(ROOT, "build", "bench-tmp"))
    ap.add_argument("--wine", metavar="WIN64_BUILD_DIR",
                    help="also time that build's vellumo-cli.exe under wine64 (sections 2 and 4 only)")
    args = ap.parse_args()

    build_dir = build(args.build_dir)
    clis = {"": Cli(os.path.join(build_dir, "cli", "vellumo-cli"))}
    wineserver = None
    if args.wine:
        wine_dir = os.path.abspath(args.wine)
        clis[", wine64"] = Cli(os.path.join(wine_dir, "cli", "vellumo-cli.exe"), os.path.join(wine_dir, "wine-run"))
        # One wine server for the whole run, so no timed command pays its start.
        env = dict(os.environ, WINEPREFIX=os.path.join(wine_dir, "wine", "prefix"))
        wineserver = subprocess.Popen(["wineserver", "-f", "-p"], env=env)
    os.makedirs(args.dir, exist_ok=True)
    work = tempfile.mkdtemp(dir=args.dir)
    try:
        machine_section(work)
        rates = buffer_section(build_dir, args.runs) if not args.wine else {}
        file_section(clis, work, args.size_mib, args.runs, rates)
        small_files_section(clis, work, args.small_files, args.runs)
        if not args.wine:
            sealed_section(build_dir, work, args.size_mib, args.runs, args.small_files)
        print(f"Load average (1, 5, 15 min) at the end: {load()}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if wineserver:
            subprocess.run(["wineserver", "-k"], env=env)
            wineserver.wait()


if __name__ == "__main__":
    main()
