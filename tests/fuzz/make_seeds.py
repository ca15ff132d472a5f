#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target from real files: the reference
vectors (encrypted and plain files, a packed archive, clipboard blocks, handoff
blocks), the sealed format's known-answer files (beside the vectors, in
../sealed), the key database template, and a few small archives and databases
made here (Chinese names in code page 936, a folder tree, names that climb out).

    make_seeds.py VECTORS_DIR DOCSET_TEMPLATE OUT_DIR
"""
import io
import json
import os
import shutil
import sqlite3
import sys
import zipfile


def put(out, target, name, data):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def zip_bytes(entries, gbk_names=False):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data, method in entries:
            info = zipfile.ZipInfo(name)
            info.compress_type = method
            if name.endswith("/"):
                info.external_attr = 0x10
            z.writestr(info, data)
    raw = buf.getvalue()
    if gbk_names:
        # Code page bytes instead of UTF-8, without the UTF-8 flag, as the
        # program writes them: same length is needed, so only names whose GBK
        # and UTF-8 forms are padded alike are swapped in place.
        for name, _, _ in entries:
            utf8 = name.encode("utf-8")
            gbk = name.encode("gbk")
            if utf8 != gbk:
                raw = raw.replace(utf8, gbk.ljust(len(utf8), b"_"))
        raw = raw.replace(b"\x00\x08", b"\x00\x00")  # drop the UTF-8 flag bit
    return raw


def main():
    vectors, template, out = sys.argv[1:4]
    shutil.rmtree(out, ignore_errors=True)
    files = os.path.join(vectors, "files")
    for name in sorted(os.listdir(files)):
        if not name.endswith(".bin"):
            continue
        with open(os.path.join(files, name), "rb") as f:
            data = f.read()
        if name.startswith("enc_"):
            put(out, "fuzz_file_decrypt", name + ".as-is", b"\x00" + data)
            put(out, "fuzz_file_decrypt", name + ".key-fixed", b"\x02" + data)
        else:
            for cipher in range(3):
                put(out, "fuzz_file_decrypt", f"{name}.encrypt{cipher}", bytes([1 | cipher << 2]) + data)
        if name == "plain_packed_aes_zip.bin":
            put(out, "fuzz_zip_unpack", name, data)

    sealed = os.path.join(vectors, "..", "sealed")
    for name in sorted(os.listdir(sealed)):
        if not name.endswith(".bin"):
            continue
        with open(os.path.join(sealed, name), "rb") as f:
            data = f.read()
        if name.endswith(".sealed.bin"):
            put(out, "fuzz_sealed_stream", name + ".as-is", b"\x00" + data)
            put(out, "fuzz_sealed_stream", name + ".key-fixed", b"\x02" + data)
        else:
            put(out, "fuzz_sealed_stream", name + ".round-trip", b"\x04" + data[:70000])
            for flags in (1, 3, 5, 9, 19, 21):
                put(out, "fuzz_sealed_stream", f"{name}.tamper{flags}", bytes([flags, 0, 90]) + data[:70000])

    D, S = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
    archives = {
        "tree.zip": zip_bytes([("dir/", b"", S), ("dir/a.txt", b"hello " * 50, D), ("dir/sub/b.bin", bytes(range(256)), S)]),
        "chinese.zip": zip_bytes([("报告/计划书.txt", "内容".encode("gbk") * 20, D), ("说明.txt", b"x", S)], gbk_names=True),
        "climbs.zip": zip_bytes([("ok.txt", b"fine", S), ("../out.txt", b"escape", S), ("a/../../b.txt", b"e", D)]),
        "absolute.zip": zip_bytes([("/tmp/abs.txt", b"abs", S), ("C:/win.txt", b"w", S), ("a\\..\\..\\c.txt", b"c", S)]),
        "empty.zip": zip_bytes([]),
    }
    for name, data in archives.items():
        put(out, "fuzz_zip_unpack", name, data)
    archives["devices.zip"] = zip_bytes([("ok.txt", b"fine", S), ("NUL", b"n", S), ("sub/aux.txt", b"a", D)])
    archives["backup.zip"] = zip_bytes([("notes.txt", b"notes", S), (".vault/backup", b"b", S)])
    # fuzz_unpack_layouts: layout byte, folder and token count, name tokens
    # (see the target), then the archive.
    layouts = {
        "report": bytes([0, 0 | 3 << 2, 9, 2, 5]),        # a/x.szip
        "backup": bytes([1, 2 | 1 << 2, 9]),              # home/.vault/x, a neighbour
        "dotname": bytes([2, 1 | 2 << 2, 2, 5]),          # john.doe/Desktop/.szip, target is a file
        "userfiles": bytes([4 | 8, 3 | 3 << 2, 0, 2, 5]),  # x.y/a.szip, the user's files and a link
        "targetlink": bytes([16, 0 | 3 << 2, 6, 2, 5]),   # a/aux.szip, its target a link
    }
    for layout, head in layouts.items():
        for name, data in archives.items():
            put(out, "fuzz_unpack_layouts", f"{layout}-{name}", head + data)

    v = json.load(open(os.path.join(vectors, "vectors.json"), encoding="utf-8"))
    for i, case in enumerate(v["clipboard_transform"]):
        put(out, "fuzz_clip_text", f"transform{i}.in", bytes.fromhex(case["input_block_hex"]))
        if case.get("result_block_hex"):
            put(out, "fuzz_clip_text", f"transform{i}.out", bytes.fromhex(case["result_block_hex"]))
    for i, case in enumerate(v["clipboard_encode"]):
        put(out, "fuzz_clip_text", f"encode{i}", case["cipher_text"].encode("ascii") + b"\x00")
    put(out, "fuzz_clip_text", "gbk", "你好，世界".encode("gbk") + b"\x00tail")

    for i, case in enumerate(v["handoff_read"]):
        put(out, "fuzz_handoff_block", f"read{i}", bytes.fromhex(case["block_head_hex"]))
    for i, case in enumerate(v["handoff_write"]):
        text = "".join(p + "|" for p in case["paths"])
        put(out, "fuzz_handoff_block", f"write{i}", text.encode("utf-16-le") + b"\x00\x00")

    with open(template, "rb") as f:
        put(out, "fuzz_key_database", "template", b"\x00" + f.read())
    db_path = os.path.join(out, "keys.dat")
    shutil.copy(template, db_path)
    con = sqlite3.connect(db_path)
    con.executemany("insert into keylist values (?, ?, ?, ?)", [
        (1, "工作".encode("gbk"), "密钥文本123".encode("gbk"), b""),
        (2, b"it's", b"'; drop table keylist; --", "备注".encode("gbk")),
        (10, None, None, None),
    ])
    con.commit()
    con.close()
    with open(db_path, "rb") as f:
        put(out, "fuzz_key_database", "rows", b"\x00" + f.read())
    os.remove(db_path)
    put(out, "fuzz_key_database", "texts", b"\x01" + "名字".encode("gbk") + b"\x00key'\"\x00" + "关于".encode("gbk"))


if __name__ == "__main__":
    main()
