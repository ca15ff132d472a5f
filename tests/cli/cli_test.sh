#!/bin/sh
# Drives the real vellumo-cli: file round trips, packing, refusals and their
# causes, the summary and its JSON, finishing an interrupted run, kept file
# times, the command line's rules, key input and its checks, clipboard text in
# the terminal's encoding, the key database and its keys commands, and the
# language of every message.
#
#   cli_test.sh posix|windows VECTORS_DIR [RUNNER] CLI
#
# windows: CLI is the .exe run through RUNNER (wine); it shows our Linux paths
# as Z:\... and is given them as they are (wine's drive Z: is the root). Text
# it writes into a file is in the console's code page there (GBK under the
# Chinese locale), and is read back as such.
set -u
set -f
platform=$1 vectors=$2
shift 2
if [ $# -eq 2 ]; then runner=$1 binary=$2; else runner="" binary=$1; fi
case $binary in /*) ;; *) binary=$PWD/$binary ;; esac  # the script changes folders
case $vectors in /*) ;; *) vectors=$PWD/$vectors ;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/vellumo-cli.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
if [ "$platform" = posix ]; then
  # The user's own key database is never looked at.
  unset XDG_CONFIG_HOME
  HOME=$work/home
  export HOME
fi
failures=0
checks=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

check() {  # check CONDITION-DESCRIPTION COMMAND...
  what=$1
  shift
  checks=$((checks + 1))
  "$@" || fail "$what"
}

# The language of the program's messages: Chinese unless a section says.
lang=zh_CN.UTF-8
# Text the Windows program writes into a file is in the console's code page.
text_code_page() { if [ "$platform" = windows ] && [ "$lang" = zh_CN.UTF-8 ]; then echo GBK; else echo UTF-8; fi; }

# run ARGS...: the program with stdin as it is (never a pipe into run: the
# status would stay in a subshell); stdout (bytes) in $out, as
# text in $text; stderr as text in $err; status in $rc.
out=$work/out err=$work/err text=$work/text
run() {
  if [ -n "$runner" ]; then
    VELLUMO_WINE_LOCALE=$lang "$runner" "$binary" "$@" >"$out" 2>"$err.bytes"
  else
    # A session of its own: no controlling terminal to be asked a key on.
    LC_ALL=$lang setsid -w "$binary" "$@" >"$out" 2>"$err.bytes"
  fi
  rc=$?
  cp=$(text_code_page)
  iconv -f "$cp" -t UTF-8 <"$err.bytes" >"$err" 2>/dev/null || cp "$err.bytes" "$err"
  iconv -f "$cp" -t UTF-8 <"$out" >"$text" 2>/dev/null || cp "$out" "$text"
}
cli() { run "$@" </dev/null; }
expect_rc() {
  checks=$((checks + 1))
  [ "$rc" = "$1" ] || fail "$2: exit $rc, expected $1; stderr: $(head -c 600 "$err")"
}
expect_err() {  # text on stderr
  checks=$((checks + 1))
  grep -qF -- "$1" "$err" || fail "$2: stderr lacks \"$1\"; stderr: $(head -c 600 "$err")"
}
expect_no_err() {
  checks=$((checks + 1))
  [ ! -s "$err" ] || fail "$1: stderr should be empty; stderr: $(head -c 600 "$err")"
}
expect_out() {  # the whole of stdout, as text
  checks=$((checks + 1))
  [ "$(cat "$text")" = "$1" ] || fail "$2: stdout \"$(head -c 300 "$text")\", expected \"$1\""
}
same() { cmp -s "$1" "$2"; }
differs() { ! cmp -s "$1" "$2"; }

# How the program writes a path in its messages.
shown() {
  if [ "$platform" = windows ]; then printf 'Z:%s' "$1" | tr / '\\'; else printf '%s' "$1"; fi
}

hex() { od -An -v -tx1 | tr -d ' \n'; }
unhex() {  # hex text -> bytes on stdout
  printf "$(printf '%s' "$1" | awk '{
    for (i = 1; i < length($0); i += 2)
      printf "\\%03o", (index("0123456789abcdef", substr($0, i, 1)) - 1) * 16 + index("0123456789abcdef", substr($0, i + 1, 1)) - 1
  }')"
}
mtime() { stat -c %y "$1"; }

# Entries of a table of vectors.json, one line each, fields joined by ";", with
# the entry's key name replaced by the key text it stands for.
vector_table() {  # vector_table SECTION FIELD...
  section=$1
  shift
  awk -v want="$section" -v fields="$*" '
    function val(line) {
      sub(/^[^:]*: /, "", line); sub(/,$/, "", line)
      if (line == "null") return "null"
      sub(/^"/, "", line); sub(/"$/, "", line)
      return line
    }
    /^ "[a-z_0-9]+": / { current = $1; gsub(/[":]/, "", current) }
    current == "key_blocks" && /^   "name":/ { name = val($0) }
    current == "key_blocks" && /^   "text":/ { keytext[name] = val($0) }
    current == want && /^   "[a-z_]+":/ { f = $1; gsub(/[":]/, "", f); v[f] = val($0) }
    current == want && /^  }/ {
      n = split(fields, names, " ")
      line = ""
      for (i = 1; i <= n; i++) {
        x = names[i] == "key" ? keytext[v["key"]] : v[names[i]]
        line = line (i > 1 ? ";" : "") x
      }
      print line
      split("", v)
    }' "$vectors/vectors.json"
}

zh_key=加密测试密钥
other_key=0123456789abcdef
summary() {  # DONE SKIPPED FAILED [decrypt]: the summary line in Chinese
  if [ "${4:-}" = decrypt ]; then
    printf '已解密 %s 个，跳过 %s 个（不是密文），失败 %s 个' "$1" "$2" "$3"
  else
    printf '已加密 %s 个，跳过 %s 个（已是加密文件），失败 %s 个' "$1" "$2" "$3"
  fi
}

# --- encrypt and decrypt a folder tree, per cipher ----------------------------
make_tree() {
  mkdir -p "$1/子目录/deeper"
  printf 'hello, world\n' >"$1/a.txt"
  awk 'BEGIN { for (i = 0; i < 700; i++) printf "%c", (i * 7 + 3) % 256 }' >"$1/子目录/数据.bin"
  : >"$1/子目录/deeper/empty"
  printf '0123456789abcdefg' >"$1/子目录/deeper/x17"
}
for cipher in aes des rc4; do
  tree=$work/tree_$cipher
  make_tree "$tree"
  cp -R "$tree" "$tree.orig"
  cli encrypt --cipher "$cipher" --key "$zh_key" "$tree"
  expect_rc 0 "$cipher: encrypt tree"
  expect_out "$(summary 4 0 0)" "$cipher: encrypt count"
  for f in a.txt 子目录/数据.bin 子目录/deeper/empty 子目录/deeper/x17; do
    check "$cipher: $f encrypted" differs "$tree/$f" "$tree.orig/$f"
    check "$cipher: $f has a 64-byte header" [ $(($(wc -c <"$tree/$f") - $(wc -c <"$tree.orig/$f"))) -eq 64 ]
  done
  cli decrypt --key "$zh_key" "$tree"
  expect_rc 0 "$cipher: decrypt tree"
  expect_out "$(summary 4 0 0 decrypt)" "$cipher: decrypt count"
  check "$cipher: tree restored" diff -r "$tree" "$tree.orig"
  check "$cipher: no temporary files left" [ -z "$(find "$tree" -name '*writebyqmr')" ]
done

# A fresh encryption of the reference plaintexts gives the reference files:
# the key text reaches the cipher as the same GBK key block.
for c in aes:aes_len1025 des:des_len1025 rc4:rc4_len1025 aes:aes_len17; do
  cipher=${c%%:*} name=${c#*:}
  cp "$vectors/files/plain_$name.bin" "$work/fresh_$name"
  cli encrypt --cipher "$cipher" --key "$zh_key" "$work/fresh_$name"
  expect_rc 0 "fresh $name"
  check "fresh $name equals the reference" same "$work/fresh_$name" "$vectors/files/enc_$name.bin"
done

# --- a file keeps its dates ------------------------------------------------------
dated=$work/dated.txt
printf 'an old letter' >"$dated"
touch -d '2001-02-03 04:05:06.7890123' "$dated"
was=$(mtime "$dated")
cli encrypt --key "$zh_key" "$dated"
expect_rc 0 "dated: encrypt"
check "encrypting keeps the modification time ($(mtime "$dated"), was $was)" [ "$(mtime "$dated")" = "$was" ]
cli decrypt --key "$zh_key" "$dated"
check "decrypting keeps the modification time ($(mtime "$dated"), was $was)" [ "$(mtime "$dated")" = "$was" ]
check "dated: restored" [ "$(cat "$dated")" = "an old letter" ]

# --- packing -------------------------------------------------------------------
pack=$work/pack
mkdir -p "$pack/src/内层" "$pack/other" "$pack/out"
printf 'alpha' >"$pack/src/a.txt"
printf '内容' >"$pack/src/内层/b.txt"
printf 'loose file' >"$pack/other/单独.txt"
touch -d '2010-06-07 08:09:10' "$pack/src/a.txt"
cli encrypt --pack --cipher des --key "$zh_key" "$pack/src" "$pack/other/单独.txt"
expect_rc 0 "pack"
check "pack: src.szip written beside the folder" [ -s "$pack/src.szip" ]
check "pack: the entries stay in plaintext" [ "$(cat "$pack/src/a.txt")" = alpha ]
mv "$pack/src.szip" "$pack/out/"
cli decrypt --key "$zh_key" "$pack/out/src.szip"
expect_rc 0 "unpack"
check "unpack: packed file kept" [ -s "$pack/out/src.szip" ]
check "unpack: folder entry" same "$pack/out/src/src/a.txt" "$pack/src/a.txt"
check "unpack: nested entry" same "$pack/out/src/src/内层/b.txt" "$pack/src/内层/b.txt"
check "unpack: file entry" same "$pack/out/src/单独.txt" "$pack/other/单独.txt"
check "unpack: an entry keeps its date" [ "$(stat -c %Y "$pack/out/src/src/a.txt")" = "$(stat -c %Y "$pack/src/a.txt")" ]

# --- refusals and their causes --------------------------------------------------
ref=$work/refusals
mkdir -p "$ref"
printf 'secret' >"$ref/plain.txt"
cp "$vectors/files/enc_aes_len17.bin" "$ref/enc.bin"
cli decrypt --key "$other_key" "$ref/enc.bin"
expect_rc 1 "wrong key"
expect_err "文件:$(shown "$ref/enc.bin")  所选密钥错误!" "wrong key"
expect_out "$(summary 0 0 1 decrypt)" "wrong key count"
check "wrong key: file untouched" same "$ref/enc.bin" "$vectors/files/enc_aes_len17.bin"

cli encrypt --cipher aes --key "$zh_key" "$ref/enc.bin" "$ref/missing.txt" "$ref/plain.txt"
expect_rc 1 "encrypt with refusals"
expect_err "文件:$(shown "$ref/enc.bin")  已是加密文件!" "already encrypted"
expect_err "文件:$(shown "$ref/missing.txt")  打不开!（文件不存在）" "missing file, with its cause"
expect_out "$(summary 1 1 1)" "done, skipped and failed files are counted apart"
check "the run went on after the refusals" [ "$(wc -c <"$ref/plain.txt")" -eq 70 ]

# A relative path is reported in full.
printf 'not encrypted' >"$ref/rel.txt"
cd "$ref" || exit 1
cli decrypt --key "$zh_key" rel.txt
cd "$work" || exit 1
expect_rc 1 "plain file in a decrypt run"
expect_err "文件:$(shown "$ref/rel.txt")  不是密文!" "relative path shown in full"

if [ "$platform" = posix ]; then
  ln -s "$ref/plain.txt" "$ref/link.txt"
  cli encrypt --key "$zh_key" "$ref/link.txt" /dev/null
  expect_rc 1 "a link and a device"
  expect_err "文件:$ref/link.txt  打不开!（是符号链接）" "a link is named as one"
  expect_err "文件:/dev/null  打不开!（不是普通文件）" "a device is not a regular file"
fi

# --- finishing an interrupted run ------------------------------------------------
# One file done before the interruption, and the temporary file of the one in
# hand: the rerun names the done file and says how to pass over such files;
# with --skip-done it finishes quietly. Either way the leftover goes.
rerun=$work/rerun
mkdir -p "$rerun/sub"
for f in a.txt b.txt sub/c.txt; do printf 'content of %s' "$f" >"$rerun/$f"; done
cli encrypt --key "$zh_key" "$rerun/a.txt"
printf 'half written' >"$rerun/b.txtwritebyqmr"
cli encrypt --key "$zh_key" "$rerun"
expect_rc 1 "rerun: a done file is still named by default"
expect_err "文件:$(shown "$rerun/a.txt")  已是加密文件!" "rerun: the done file"
expect_err "--skip-done" "rerun: the hint"
expect_out "$(summary 2 1 0)
已删除上次中断留下的 1 个临时文件" "rerun: the summary counts and the leftover"
check "rerun: the leftover is gone" [ ! -e "$rerun/b.txtwritebyqmr" ]
printf 'left by a kill' >"$rerun/sub/c.txtwritebyqmr"
cli encrypt --skip-done --key "$zh_key" "$rerun"
expect_rc 0 "--skip-done: a finished tree"
expect_no_err "--skip-done"
expect_out "$(summary 0 3 0)
已删除上次中断留下的 1 个临时文件" "--skip-done: all skipped"
check "--skip-done: the leftover beside a done file is gone" [ ! -e "$rerun/sub/c.txtwritebyqmr" ]
cli decrypt --skip-done --json --key "$zh_key" "$rerun" "$rerun/missing"
expect_rc 1 "--json: a missing path"
check "--json: the summary" python3 -c '
import json, sys
s = json.load(open(sys.argv[1]))
assert s["command"] == "decrypt" and s["done"] == 3 and s["failed"] == 1 and s["skipped"] == 0, s
assert s["stopped"] is False and s["notStarted"] == 0 and s["leftoversRemoved"] == [], s
missing = [f for f in s["files"] if f["result"] == "failed"][0]
assert missing["reason"] == "cannot-open" and missing["cause"] == "not-found" and missing["osError"] != 0, missing
assert missing["path"].replace("\\", "/").endswith("/rerun/missing"), missing
assert sorted(f["result"] for f in s["files"]) == ["done", "done", "done", "failed"], s
' "$out"
check "--json: plain ASCII" sh -c '! LC_ALL=C grep -q "[^ -~]" "$1"' _ "$out"

# --- the command line ------------------------------------------------------------
# A mistake is one line and a hint, nothing is done, the status is 2.
mkdir -p "$work/args/dir"
printf 'plain' >"$work/args/dir/f.txt"
while IFS=';' read -r what args; do
  # shellcheck disable=SC2086 # the table's arguments are split on purpose
  cli $args
  expect_rc 2 "usage: $what"
  expect_err "--help" "usage hint: $what"
  check "usage: $what: two lines on stderr" [ "$(wc -l <"$err")" -eq 2 ]
done <<EOF
no command;
unknown command;frobnicate x
no path;encrypt --key k
--cipher with decrypt;decrypt --cipher aes --key k x
unknown cipher;encrypt --cipher blowfish --key k x
--key without its value;encrypt --key
two key sources;encrypt --key k --key-stdin x
keys takes no key;keys --key k
--show-keys with encrypt;encrypt --show-keys --key k x
--db without --key-name;decrypt --db d --key k x
clipboard takes no path;clip-encrypt --key k x
bad code page;encrypt --codepage 93x --key k x
a code page no system has;encrypt --codepage 12345 --key k x
unknown option;encrypt --force --key k x
an option given twice;encrypt --cipher des --cipher aes --key k x
a flag with a value;encrypt --pack=yes --key k x
an unknown short option;encrypt -x --key k $work/args/dir
a lone dash;encrypt - --key k $work/args/dir
keys add without a name;keys add
keys rename with one name;keys rename a
EOF
check "usage errors changed nothing" [ "$(cat "$work/args/dir/f.txt")" = plain ]
check "usage errors made nothing" [ ! -e "$work/args/dir.szip" ]

# -p packs; --opt=value is the option with its value; after -- a name that
# starts with "-" is a path.
cli encrypt -p --key=k3y "$work/args/dir"
expect_rc 0 "-p"
check "-p packs the folder" [ -s "$work/args/dir.szip" ]
check "-p leaves the folder as it was" [ "$(cat "$work/args/dir/f.txt")" = plain ]
printf 'dash' >"$work/args/-dash.txt"
cd "$work/args" || exit 1
cli encrypt --cipher=rc4 --key k3y -- -dash.txt
cd "$work" || exit 1
expect_rc 0 "-- ends the options"
check "a path after -- is encrypted" [ "$(wc -c <"$work/args/-dash.txt")" -eq 68 ]
cli decrypt --key=k3y "$work/args/-dash.txt"
check "--key=value is the key" [ "$(cat "$work/args/-dash.txt")" = dash ]

for asks in --help -h "encrypt --help"; do
  # shellcheck disable=SC2086
  cli $asks
  expect_rc 0 "$asks"
  check "$asks prints the help" grep -qF "vellumo-cli encrypt" "$text"
done
check "the help tells of the 16-byte cut" grep -qF "前 16 个字节" "$text"
if [ "$platform" = windows ]; then
  cli "/?"
  expect_rc 0 "/?"
  check "/? prints the help on Windows" grep -qF "vellumo-cli encrypt" "$text"
fi
cli --version
expect_rc 0 "--version"
check "--version names the program and its version" grep -qE '^vellumo-cli [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' "$text"

# --- progress, quiet and verbose -----------------------------------------------
loud=$work/loud
mkdir -p "$loud"
printf 'one' >"$loud/1.txt"
printf 'two' >"$loud/2.txt"
cli encrypt --progress --key k3y "$loud"
check "--progress into a file ends at 100%" grep -qE '^100%  ' "$err"
cli decrypt --quiet --key k3y "$loud"
expect_rc 0 "--quiet"
check "--quiet: no summary" [ ! -s "$out" ]
expect_no_err "--quiet"
cli encrypt --verbose --key k3y "$loud"
expect_err "正在加密文件:$(shown "$loud/1.txt")" "--verbose names each file"
cli encrypt --key k3y "$loud"
check "no progress line when not asked and not a terminal" sh -c '! grep -q "%" "$1"' _ "$err"

# --- the key ----------------------------------------------------------------------
keys=$work/keyinput
mkdir -p "$keys"
printf 'keep me' >"$keys/f.txt"
cp "$keys/f.txt" "$keys/f.orig"
# An empty key is refused from every source, before anything is touched.
: >"$keys/empty-line"
printf '\n' >>"$keys/empty-line"
for how in "--key=" "--key-stdin" "--key-file $keys/empty-line"; do
  # shellcheck disable=SC2086
  run encrypt $how "$keys/f.txt" <"$keys/empty-line"
  expect_rc 2 "empty key: $how"
  expect_err "密钥为空" "empty key: $how"
done
check "an empty key changed nothing" same "$keys/f.txt" "$keys/f.orig"
# A new legacy key must fit the code page (Hangul is not in GBK); an existing
# one is read as it is, so what the dialog once encrypted with it still opens.
cli encrypt --cipher aes --key "한글키" "$keys/f.txt"
expect_rc 2 "a new key outside the code page"
expect_err "代码页 936 不能表示" "a new key outside the code page"
check "a refused key changed nothing" same "$keys/f.txt" "$keys/f.orig"
cp "$vectors/files/plain_aes_len17.bin" "$keys/hangul.bin"
cli encrypt --codepage 65001 --key "한글키" "$keys/hangul.bin"
expect_rc 0 "the same key in a code page that holds it"
cli decrypt --codepage 65001 --key "한글키" "$keys/hangul.bin"
check "and back" same "$keys/hangul.bin" "$vectors/files/plain_aes_len17.bin"
# Only 16 bytes of a legacy key count; a longer new key is told so.
cli encrypt --cipher aes --key "0123456789abcdef-and-more" "$keys/f.txt"
expect_rc 0 "a long key"
expect_err "前 16 个字节" "a long key is told of the cut"
cli decrypt --key "0123456789abcdef" "$keys/f.txt"
check "a long key is its first 16 bytes" same "$keys/f.txt" "$keys/f.orig"
# A byte order mark is not part of the key, on standard input or in a file.
printf '\357\273\277%s\r\n' "$zh_key" >"$keys/bom.txt"
run encrypt --key-stdin "$keys/f.txt" <"$keys/bom.txt"
expect_rc 0 "a key line with a BOM"
cli decrypt --key "$zh_key" "$keys/f.txt"
expect_rc 0 "the BOM was not part of the key"
check "BOM: round trip" same "$keys/f.txt" "$keys/f.orig"
cli encrypt --key-file "$keys/bom.txt" "$keys/f.txt"
cli decrypt --key "$zh_key" "$keys/f.txt"
check "--key-file: its first line without BOM is the key" same "$keys/f.txt" "$keys/f.orig"
cli encrypt --key-file "$keys/absent.txt" "$keys/f.txt"
expect_rc 2 "a missing key file"
expect_err "$(shown "$keys/absent.txt")" "a missing key file is named"

# --- key from standard input ------------------------------------------------------
printf 'stdin input' >"$work/stdin.txt"
cp "$work/stdin.txt" "$work/stdin.orig"
printf '%s\r\n' "键盘密钥" >"$work/in"
run encrypt --key-stdin "$work/stdin.txt" <"$work/in"
expect_rc 0 "--key-stdin encrypt"
cli decrypt --key "键盘密钥" "$work/stdin.txt"
expect_rc 0 "--key-stdin: the line without CR/LF is the key"
check "--key-stdin round trip" same "$work/stdin.txt" "$work/stdin.orig"

# A key line in GBK bytes (not UTF-8) is read in the ANSI code page.
cp "$vectors/files/enc_aes_len1025.bin" "$work/gbk_line.bin"
unhex bcd3c3dcb2e2cad4c3dcd4bf0a >"$work/in"
run decrypt --key-stdin "$work/gbk_line.bin" <"$work/in"
expect_rc 0 "--key-stdin with a GBK line"
check "GBK key line decrypts" same "$work/gbk_line.bin" "$vectors/files/plain_aes_len1025.bin"

cli encrypt --key-stdin "$work/stdin.txt"
expect_rc 2 "--key-stdin with empty input"
cli encrypt "$work/stdin.txt"
expect_rc 2 "no key and no terminal"
expect_err "没有可以询问密钥的终端" "no key and no terminal"

# --- clipboard text -----------------------------------------------------------------
# --raw: standard input and output are the clipboard block itself, so the
# reference blocks (zero and junk after the text included) give the reference
# cipher text. An empty key is refused here too.
# clip MODE KEY INPUT-FILE [OPTION]: stdout in $out, status in $rc.
clip() { run "clip-$1" --key="$2" ${4:-} <"$3"; }
vector_table clipboard_encode key block block_hex cipher_text decoded_hex >"$work/encode.txt"
check "clipboard_encode vectors found" [ -s "$work/encode.txt" ]
while IFS=';' read -r key block block_hex cipher_text decoded_hex; do
  unhex "$block_hex" >"$work/block"
  clip encrypt "$key" "$work/block" "--raw --legacy"
  if [ -z "$key" ]; then
    expect_rc 2 "clip-encrypt $block with the empty key"
    continue
  fi
  expect_rc 0 "clip-encrypt $block"
  check "clip-encrypt $block with key \"$key\"" [ "$(cat "$out")" = "$cipher_text" ]
  printf '%s' "$cipher_text" >"$work/cipher"
  clip decrypt "$key" "$work/cipher" --raw
  expect_rc 0 "clip-decrypt $block"
  check "clip-decrypt $block with key \"$key\"" [ "$(hex <"$out")" = "$decoded_hex" ]
done <"$work/encode.txt"

vector_table clipboard_transform note mode key input_block_hex result_block_hex >"$work/transform.txt"
check "clipboard_transform vectors found" [ -s "$work/transform.txt" ]
while IFS=';' read -r note mode key input result; do
  unhex "$input" >"$work/block"
  if [ "$mode" = encrypt ]; then form="--raw --legacy"; else form=--raw; fi
  clip "$mode" "$key" "$work/block" "$form"
  if [ "$result" = null ]; then
    expect_rc 1 "$note"
    expect_err "保持不变" "$note"
  else
    expect_rc 0 "$note"
    check "$note: result block" [ "$(hex <"$out")00" = "$result" ]
  fi
done <"$work/transform.txt"

# Legacy text: UTF-8 on the way in becomes the code page's bytes, as the
# dialog holds the same text on its clipboard, so the cipher text is the
# dialog's; and the way back gives the terminal's text again.
printf '你好 world' >"$work/hello.txt"
clip encrypt "$zh_key" "$work/hello.txt" --legacy
expect_rc 0 "clip-encrypt of UTF-8 text"
head -n 1 "$out" >"$work/hello.cipher"
unhex c4e3bac320776f726c6400 >"$work/hello.gbk"
clip encrypt "$zh_key" "$work/hello.gbk" "--raw --legacy"
check "UTF-8 text gives the cipher text of its GBK clipboard block" [ "$(cat "$work/hello.cipher")" = "$(cat "$out")" ]
clip decrypt "$zh_key" "$work/hello.cipher"
expect_rc 0 "clip-decrypt to text"
check "clip-decrypt gives the text back (got $(cat "$text"))" [ "$(cat "$text")" = "你好 world" ]
# Text the code page cannot hold would come out as "?": refused.
printf '한국어' >"$work/hangul.txt"
clip encrypt "$zh_key" "$work/hangul.txt" --legacy
expect_rc 1 "clip-encrypt of text outside the code page"
expect_err "代码页 936" "clip-encrypt of text outside the code page"

# The key line and the text share standard input; text comes back as it was.
printf '%s\n%s' "$zh_key" "剪贴板 text, 多行
second line" >"$work/clip_in"
run clip-encrypt --key-stdin <"$work/clip_in"
expect_rc 0 "clip-encrypt --key-stdin"
cp "$out" "$work/clip_c"
clip decrypt "$zh_key" "$work/clip_c"
expect_rc 0 "clip-decrypt of it"
check "clipboard round trip" [ "$(cat "$text")" = "$(tail -c +20 "$work/clip_in")" ]
: >"$work/empty"
clip encrypt "$zh_key" "$work/empty"
expect_rc 1 "clip-encrypt of nothing"

# --- the key database ----------------------------------------------------------------
# Written as the dialog program writes it: GBK bytes, ids in numeric order with gaps.
db=$work/keys/docset.dat
mkdir -p "$work/keys"
sqlite3 "$db" "create table keylist (id integer, keyname text, keyvalue text, about text);
insert into keylist values (10, CAST(X'b5dacaae' AS TEXT), CAST(X'4b6579c3dcc2eb32303234' AS TEXT), '');
insert into keylist values (1, CAST(X'b2e2cad4' AS TEXT), CAST(X'bcd3c3dcb2e2cad4c3dcd4bf' AS TEXT), CAST(X'b1b8d7a2' AS TEXT));
insert into keylist values (2, 'ascii', '0123456789abcdef', NULL);"
tab=$(printf '\t')
cli keys --db "$db"
expect_rc 0 "keys"
expect_out "1${tab}测试${tab}备注
2${tab}ascii${tab}
10${tab}第十${tab}" "keys: id order, GBK text, no key texts"
if [ "$platform" = windows ]; then
  check "keys into a file: the console's code page (GBK), as type shows it" grep -q "$(printf '\262\342\312\324')" "$out"
fi
cli keys --db "$db" --show-keys
expect_rc 0 "keys --show-keys"
expect_out "1${tab}测试${tab}加密测试密钥${tab}备注
2${tab}ascii${tab}0123456789abcdef${tab}
10${tab}第十${tab}Key密码2024${tab}" "keys --show-keys"
cli keys --db "$db" --json
expect_rc 0 "keys --json"
check "keys --json" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert [(k["id"], k["name"], k["note"]) for k in d["keys"]] == [(1, "测试", "备注"), (2, "ascii", ""), (10, "第十", "")], d
assert all("key" not in k for k in d["keys"]), d
' "$out"

# A database made to hold the program (a view over a query that never ends) is
# reported, not listed for ever.
hostile=$work/keys/hostile.dat
sqlite3 "$hostile" "create view keylist as with recursive r(x) as (select 1 union all select x+1 from r)
select x as id, 'n', 'k', '' from r;"
cli keys --db "$hostile"
expect_rc 1 "keys of a hostile database"
expect_err "无法读取密钥库 $(shown "$hostile")" "keys of a hostile database"

for c in 测试:aes_len17 测试:des_len1025 测试:rc4_len1025 ascii:aes_len31_tail_xor; do
  key_name=${c%%:*} name=${c#*:}
  cp "$vectors/files/enc_$name.bin" "$work/named_$name"
  cli decrypt --key-name "$key_name" --db "$db" "$work/named_$name"
  expect_rc 0 "--key-name decrypt $name"
  check "--key-name decrypts $name" same "$work/named_$name" "$vectors/files/plain_$name.bin"
done
cli decrypt --key-name 没有 --db "$db" "$work/named_aes_len17"
expect_rc 1 "--key-name unknown"
expect_err "没有" "--key-name unknown names the key"
cli keys --db "$work/keys/absent.dat"
expect_rc 1 "keys: no database"
expect_err "keys add" "keys: no database says how to make one"
check "keys: a missing database is not created" [ ! -e "$work/keys/absent.dat" ]

# A file that is no key database is said to be one, never listed as empty.
: >"$work/keys/empty.dat"
printf 'not a database at all, just some text that is long enough to be a page' >"$work/keys/text.dat"
sqlite3 "$work/keys/other.dat" "create table other (a);"
while IFS=';' read -r name says; do
  for command in "keys" "decrypt --key-name 测试 $work/named_aes_len17"; do
    # shellcheck disable=SC2086
    cli $command --db "$work/keys/$name"
    expect_rc 1 "$command: $name"
    expect_err "$says" "$command: $name"
  done
done <<EOF
empty.dat;中没有密钥表
text.dat;text.dat 不是密钥库
other.dat;中没有密钥表
EOF

# keys add / rename / remove on a database that does not exist yet: it is made
# from the template's schema, and holds GBK as the program writes it.
new_db=$work/newkeys/docset.dat
printf '%s\n' "$zh_key" >"$work/in"
run keys add 工作 --note 备注 --key-stdin --db "$new_db" <"$work/in"
expect_rc 0 "keys add makes the database"
expect_err "已建立密钥库" "keys add says it made the database"
check "keys add: the name in GBK" [ "$(sqlite3 "$new_db" "select hex(keyname) || hex(keyvalue) || hex(about) from keylist where id = 1")" = B9A4D7F7BCD3C3DCB2E2CAD4C3DCD4BFB1B8D7A2 ]
check "keys add: the template's table" [ "$(sqlite3 "$new_db" "select sql from sqlite_master")" = "$(printf 'CREATE TABLE keylist (\n  id INTEGER,\n  keyname TEXT,\n  keyvalue TEXT,\n  about TEXT\n)')" ]
printf 'other\n' >"$work/in"
run keys add 工作 --key-stdin --db "$new_db" <"$work/in"
expect_rc 1 "keys add: a name that is taken"
expect_err "已有名为“工作”的密钥" "keys add: a name that is taken"
printf 'x\n' >"$work/in"
run keys add 家 --key-stdin --db "$new_db" <"$work/in"
expect_rc 0 "keys add: a second key"
cp "$vectors/files/enc_aes_len1025.bin" "$work/named_store.bin"
cli decrypt --key-name 工作 --db "$new_db" "$work/named_store.bin"
expect_rc 0 "a key added here opens what the dialog encrypted"
check "--key-name of an added key" same "$work/named_store.bin" "$vectors/files/plain_aes_len1025.bin"
cli keys rename 工作 公司 --db "$new_db"
expect_rc 0 "keys rename"
cli keys rename 公司 家 --db "$new_db"
expect_rc 1 "keys rename to a name that is taken"
cli keys remove 家 --db "$new_db"
expect_rc 0 "keys remove"
cli keys remove 家 --db "$new_db"
expect_rc 1 "keys remove of a key that is gone"
cli keys --db "$new_db"
expect_out "1${tab}公司${tab}备注" "keys after add, rename and remove"
run keys add 空 --key-stdin --db "$work/none/docset.dat" <"$keys/empty-line"
expect_rc 2 "keys add with an empty key"
check "a refused key makes no database" [ ! -e "$work/none" ]

if [ "$platform" = posix ]; then
  mkdir -p "$work/xdg/vellumo"
  cp "$db" "$work/xdg/vellumo/docset.dat"
  XDG_CONFIG_HOME=$work/xdg
  export XDG_CONFIG_HOME
  cli keys
  unset XDG_CONFIG_HOME
  expect_rc 0 "keys in the default database"
  check "default database under XDG_CONFIG_HOME" grep -qF "第十" "$text"
  # A fresh account: the database and its folder are made, the folder private.
  printf 'k\n' >"$work/in"
  run keys add first --key-stdin <"$work/in"
  expect_rc 0 "keys add on a fresh account"
  check "the default database is made" [ -s "$work/home/.config/vellumo/docset.dat" ]
  check "its folder is the user's alone" [ "$(stat -c %a "$work/home/.config/vellumo")" = 700 ]
fi

# --- the sealed format --------------------------------------------------------------
# What encrypt writes unless told otherwise: authenticated, the whole key text,
# any script. Every change to a sealed file is refused and leaves it as it was.
sealed=$work/sealed
sealed_magic=89564c4d0d0a1a0a
is_sealed() { [ "$(head -c 8 "$1" | hex)" = "$sealed_magic" ]; }
mkdir -p "$sealed"
make_tree "$sealed/tree"
cp -R "$sealed/tree" "$sealed/tree.orig"
cli encrypt --key "한글 키" "$sealed/tree"
expect_rc 0 "sealed: encrypt a tree with a key outside the code page"
check "sealed: the default format" is_sealed "$sealed/tree/子目录/数据.bin"
check "sealed: an empty file too" is_sealed "$sealed/tree/子目录/deeper/empty"
cli decrypt --key "한글 키" "$sealed/tree"
expect_rc 0 "sealed: decrypt the tree"
check "sealed: tree restored" diff -r "$sealed/tree" "$sealed/tree.orig"
cli encrypt --cipher sealed --key "$zh_key" "$sealed/tree/a.txt"
check "sealed: --cipher sealed" is_sealed "$sealed/tree/a.txt"
mkdir -p "$sealed/packed"
cli encrypt --pack --key "$zh_key" "$sealed/tree.orig"
expect_rc 0 "sealed: pack"
check "sealed: the packed set" is_sealed "$sealed/tree.orig.szip"
mv "$sealed/tree.orig.szip" "$sealed/packed/"
cli decrypt --key "$zh_key" "$sealed/packed/tree.orig.szip"
expect_rc 0 "sealed: unpack"
check "sealed: unpacked as packed" diff -r "$sealed/packed/tree.orig/tree.orig" "$sealed/tree.orig"

# A file made from the format's description alone, under a key with a
# character no code page here has.
kat=$vectors/../sealed
kat_key=$(python3 -c 'import json, sys
print([f for f in json.load(open(sys.argv[1]))["files"] if f["name"] == "three_chunks"][0]["key_text"])' "$kat/manifest.json")
cp "$kat/three_chunks.sealed.bin" "$sealed/kat.bin"
cli decrypt --key "$kat_key" "$sealed/kat.bin"
expect_rc 0 "sealed: a known-answer file"
check "sealed: the known answer" same "$sealed/kat.bin" "$kat/three_chunks.plain.bin"

# Tampering, a wrong key, a file cut short: refused, exit 1, the file untouched.
awk 'BEGIN { for (i = 0; i < 70000; i++) printf "%c", 65 + i % 26 }' >"$sealed/victim"
cli encrypt --key "$zh_key" "$sealed/victim"
cp "$sealed/victim" "$sealed/victim.sealed"
size=$(wc -c <"$sealed/victim.sealed")
while IFS=';' read -r what how key says; do
  cp "$sealed/victim.sealed" "$sealed/victim"
  case $how in
    flip:*) printf '\377' | dd of="$sealed/victim" bs=1 seek="${how#flip:}" conv=notrunc 2>/dev/null ;;
    cut:*) head -c "$((size - ${how#cut:}))" "$sealed/victim.sealed" >"$sealed/victim" ;;
    add) printf 'x' >>"$sealed/victim" ;;
    none) ;;
  esac
  cp "$sealed/victim" "$sealed/victim.before"
  cli decrypt --key "$key" "$sealed/victim"
  expect_rc 1 "sealed: $what"
  expect_err "文件:$(shown "$sealed/victim")  $says" "sealed: $what"
  check "sealed: $what: the file untouched" same "$sealed/victim" "$sealed/victim.before"
  check "sealed: $what: no temporary file left" [ ! -e "$sealed/victimwritebyqmr" ]
done <<EOF
a changed byte in the first chunk;flip:100;$zh_key;已损坏或被改动!
a changed byte in the last chunk;flip:$((size - 5));$zh_key;已损坏或被改动!
a changed salt;flip:20;$zh_key;所选密钥错误!
cut short by a byte;cut:1;$zh_key;已损坏或被改动!
cut short by its last chunk;cut:4000;$zh_key;已损坏或被改动!
a byte added;add;$zh_key;已损坏或被改动!
a wrong key;none;加密测试密钥2;所选密钥错误!
the legacy 16 bytes of the key alone;none;加密测试;所选密钥错误!
EOF

# upgrade: a legacy file and a legacy packed set become sealed in one step
# each, keep their dates and give the same bytes back.
up=$work/upgrade
mkdir -p "$up/set/内层" "$up/packed"
cp "$vectors/files/enc_aes_len1025.bin" "$up/old.bin"
touch -d '2003-04-05 06:07:08' "$up/old.bin"
was=$(mtime "$up/old.bin")
printf 'first' >"$up/set/a.txt"
printf '第二' >"$up/set/内层/b.txt"
cli encrypt --pack --cipher des --key "$zh_key" "$up/set"
mv "$up/set.szip" "$up/packed/"
cli upgrade --key "$zh_key" "$up/old.bin" "$up/packed/set.szip"
expect_rc 0 "upgrade"
expect_out "已升级 2 个，跳过 0 个（已是安全格式），失败 0 个" "upgrade: the summary"
check "upgrade: the file is sealed" is_sealed "$up/old.bin"
check "upgrade: the packed set is sealed" is_sealed "$up/packed/set.szip"
check "upgrade keeps the modification time ($(mtime "$up/old.bin"), was $was)" [ "$(mtime "$up/old.bin")" = "$was" ]
check "upgrade: no temporary file left" [ -z "$(find "$up" -name '*writebyqmr')" ]
cli decrypt --key "$zh_key" "$up/old.bin" "$up/packed/set.szip"
expect_rc 0 "upgrade: decrypt"
check "upgrade: the file's bytes" same "$up/old.bin" "$vectors/files/plain_aes_len1025.bin"
check "upgrade: the packed set's files" diff -r "$up/packed/set/set" "$up/set"
# Again: the sealed set is in its target state; a plain file and another
# key are refused and left as they are.
printf 'plain' >"$up/plain.txt"
cp "$vectors/files/enc_aes_len17.bin" "$up/other.bin"
cli upgrade --key "$zh_key" "$up/packed/set.szip"
expect_rc 1 "upgrade of a sealed file, by default"
expect_err "文件:$(shown "$up/packed/set.szip")  已是安全格式!" "upgrade of a sealed file"
expect_err "--skip-done" "upgrade of a sealed file: the hint"
cli upgrade --skip-done --key "$zh_key" "$up/packed/set.szip"
expect_rc 0 "upgrade --skip-done of a sealed file"
cli upgrade --skip-done --json --key "$other_key" "$up/packed/set.szip" "$up/plain.txt" "$up/other.bin"
expect_rc 1 "upgrade: a plain file and a wrong key"
check "upgrade --json" python3 -c '
import json, sys
s = json.load(open(sys.argv[1]))
assert s["command"] == "upgrade" and (s["done"], s["skipped"], s["refused"]) == (0, 1, 2), s
assert sorted(f.get("reason") for f in s["files"]) == ["already-sealed", "not-encrypted", "wrong-key"], s
' "$out"
check "upgrade: a plain file untouched" [ "$(cat "$up/plain.txt")" = plain ]
check "upgrade: a file of another key untouched" same "$up/other.bin" "$vectors/files/enc_aes_len17.bin"

# Clipboard text in the sealed form: one line after "vellumo:", the text
# itself inside, so any text crosses; every change is refused.
printf '你好 world\n第二行' >"$work/sealed_text"
clip encrypt "$zh_key" "$work/sealed_text"
expect_rc 0 "sealed clip-encrypt"
check "sealed clip-encrypt: a vellumo: line" [ "$(head -c 8 "$out")" = vellumo: ]
check "sealed clip-encrypt: one line" [ "$(wc -l <"$out")" -eq 1 ]
cp "$out" "$work/sealed_clip"
clip decrypt "$zh_key" "$work/sealed_clip"
expect_rc 0 "sealed clip-decrypt"
check "sealed clipboard round trip" same "$text" "$work/sealed_text"
clip decrypt "$zh_key" "$work/sealed_clip" --raw
check "sealed clip-decrypt --raw: the code page's block" [ "$(hex <"$out")" = c4e3bac320776f726c640ab5dab6fed0d0 ]
unhex c4e3bac320776f726c6400 >"$work/hello.gbk"
clip encrypt "$zh_key" "$work/hello.gbk" --raw
expect_rc 0 "sealed clip-encrypt --raw"
cp "$out" "$work/sealed_raw"
clip decrypt "$zh_key" "$work/sealed_raw"
check "a sealed block opens to its text" [ "$(cat "$text")" = "你好 world" ]
clip_text=$(cat "$work/sealed_clip")
cut_text=$(printf '%s' "$clip_text" | head -c $((${#clip_text} - 8)))
changed_text=$(printf '%s' "$clip_text" | python3 -c 'import sys
t = sys.stdin.read()
print(t[:68] + ("B" if t[68] == "A" else "A") + t[69:], end="")')
check "the changed text differs" [ "$changed_text" != "$clip_text" ]
while IFS=';' read -r what cipher key says; do
  printf '%s' "$cipher" >"$work/sealed_bad"
  clip decrypt "$key" "$work/sealed_bad"
  expect_rc 1 "sealed clip-decrypt: $what"
  expect_err "$says" "sealed clip-decrypt: $what"
  check "sealed clip-decrypt: $what: nothing written" [ ! -s "$out" ]
done <<EOF
a wrong key;$clip_text;加密测试密钥2;密钥与这段密文不符
cut short;$cut_text;$zh_key;已损坏或被改动
a changed letter;$changed_text;$zh_key;已损坏或被改动
EOF
clip encrypt "$zh_key" "$work/sealed_clip"
expect_rc 1 "sealed clip-encrypt of cipher text"
expect_err "已是剪贴板密文" "sealed clip-encrypt of cipher text"
if [ "$platform" = posix ]; then
  # Text the code page lacks crosses in the sealed form (a Windows console's
  # code page could not show it); and the known-answer text opens.
  printf '한국어 🔑' >"$work/hangul.txt"
  clip encrypt "$zh_key" "$work/hangul.txt"
  expect_rc 0 "sealed clip-encrypt of Hangul"
  cp "$out" "$work/hangul.clip"
  clip decrypt "$zh_key" "$work/hangul.clip"
  check "sealed: Hangul and an emoji round trip" [ "$(cat "$text")" = "한국어 🔑" ]
  python3 -c 'import json, sys
c = [c for c in json.load(open(sys.argv[1]))["clip"] if c["name"] == "chinese_text"][0]
open(sys.argv[2], "w", encoding="utf-8").write(c["clip_text"])
open(sys.argv[3], "w", encoding="utf-8").write(c["text"])' "$kat/manifest.json" "$work/kat.clip" "$work/kat.text"
  clip decrypt 密钥 "$work/kat.clip"
  expect_rc 0 "sealed: the known-answer clipboard text"
  check "sealed: the known-answer clipboard text opens" same "$text" "$work/kat.text"
fi

# A new key holding a zero character is refused (a key text ends there).
printf 'ab\000cd\n' >"$keys/zero.txt"
cli encrypt --key-file "$keys/zero.txt" "$keys/f.txt"
expect_rc 2 "a key with a zero character"
expect_err "零字符" "a key with a zero character"
check "a key with a zero character changed nothing" same "$keys/f.txt" "$keys/f.orig"

# --- messages in English --------------------------------------------------------------
lang=C.UTF-8
eng=$work/english
mkdir -p "$eng"
printf 'plain' >"$eng/plain.txt"
cli encrypt --codepage 936 --key k3y "$eng/plain.txt" "$eng/missing.txt"
expect_rc 1 "English: a missing file"
expect_err "vellumo-cli: $(shown "$eng/missing.txt"): cannot open: no such file" "English: the refusal and its cause"
expect_out "1 encrypted, 0 skipped (already encrypted), 1 failed" "English: the summary"
cli decrypt --codepage 936 --key other "$eng/plain.txt"
expect_err "$(shown "$eng/plain.txt"): wrong key" "English: wrong key"
cli encrypt --frobnicate
expect_err "unknown option --frobnicate" "English: a usage error"
expect_err "Try 'vellumo-cli --help'" "English: the hint"
cli keys --db "$eng/absent.dat"
expect_err "no key database at" "English: the key database"
clip encrypt k3y "$work/empty"
expect_err "nothing to encrypt" "English: clipboard text"
cp "$sealed/victim.sealed" "$eng/damaged"
printf 'x' >>"$eng/damaged"
cli decrypt --key "$zh_key" "$eng/damaged"
expect_err "$(shown "$eng/damaged"): damaged or changed since it was encrypted" "English: a damaged sealed file"
cli upgrade --key "$zh_key" "$eng/damaged"
expect_out "0 upgraded, 1 skipped (already sealed), 0 failed" "English: the upgrade summary"
cli --help
check "English help" grep -qF "only the first 16 bytes of a key count" "$text"
if [ "$platform" = posix ]; then
  # The first of LC_ALL, LC_MESSAGES and LANG that is set decides.
  env -u LC_ALL LC_MESSAGES=zh_CN.UTF-8 LANG=C.UTF-8 "$binary" frobnicate 2>"$err"
  check "LC_MESSAGES before LANG" grep -qF "未知命令" "$err"
fi

echo "$checks checks, $failures failed"
[ "$failures" -eq 0 ]
