#!/bin/sh
# Drives the real vellumo-cli: file round trips, packing, refusals and their
# exit status, key input, the clipboard text format and the key database.
#
#   cli_test.sh posix|windows VECTORS_DIR [RUNNER] CLI
#
# windows: CLI is the .exe run through RUNNER (wine); it shows our Linux paths
# as Z:\... and is given them as they are (wine's drive Z: is the root).
set -u
set -f
platform=$1 vectors=$2
shift 2
if [ $# -eq 2 ]; then runner=$1 binary=$2; else runner="" binary=$1; fi
case $binary in /*) ;; *) binary=$PWD/$binary ;; esac  # the script changes folders

work=$(mktemp -d "${TMPDIR:-/tmp}/vellumo-cli.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
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

# cli ARGS...: runs the program, stdout in $out, stderr in $err, status in $rc.
out=$work/out err=$work/err
cli() {
  if [ -n "$runner" ]; then "$runner" "$binary" "$@" >"$out" 2>"$err"; else "$binary" "$@" >"$out" 2>"$err"; fi
  rc=$?
}
expect_rc() {
  checks=$((checks + 1))
  [ "$rc" = "$1" ] || fail "$2: exit $rc, expected $1; stderr: $(head -c 600 "$err")"
}
expect_err() {  # text on stderr
  checks=$((checks + 1))
  grep -qF -- "$1" "$err" || fail "$2: stderr lacks \"$1\"; stderr: $(head -c 600 "$err")"
}
expect_out() {  # the whole of stdout
  checks=$((checks + 1))
  [ "$(cat "$out")" = "$1" ] || fail "$2: stdout \"$(head -c 300 "$out")\", expected \"$1\""
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
  expect_out "共处理文件数:4" "$cipher: encrypt count"
  for f in a.txt 子目录/数据.bin 子目录/deeper/empty 子目录/deeper/x17; do
    check "$cipher: $f encrypted" differs "$tree/$f" "$tree.orig/$f"
    check "$cipher: $f has a 64-byte header" [ $(($(wc -c <"$tree/$f") - $(wc -c <"$tree.orig/$f"))) -eq 64 ]
  done
  cli decrypt --key "$zh_key" "$tree"
  expect_rc 0 "$cipher: decrypt tree"
  expect_out "共处理文件数:4" "$cipher: decrypt count"
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

# --- packing -------------------------------------------------------------------
pack=$work/pack
mkdir -p "$pack/src/内层" "$pack/other" "$pack/out"
printf 'alpha' >"$pack/src/a.txt"
printf '内容' >"$pack/src/内层/b.txt"
printf 'loose file' >"$pack/other/单独.txt"
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

# --- refusals --------------------------------------------------------------------
ref=$work/refusals
mkdir -p "$ref"
printf 'secret' >"$ref/plain.txt"
cp "$vectors/files/enc_aes_len17.bin" "$ref/enc.bin"
cli decrypt --key "$other_key" "$ref/enc.bin"
expect_rc 1 "wrong key"
expect_err "文件:$(shown "$ref/enc.bin")  所选密钥错误!" "wrong key"
expect_out "共处理文件数:1" "wrong key count"
check "wrong key: file untouched" same "$ref/enc.bin" "$vectors/files/enc_aes_len17.bin"

cli encrypt --key "$zh_key" "$ref/enc.bin" "$ref/missing.txt" "$ref/plain.txt"
expect_rc 1 "encrypt with refusals"
expect_err "文件:$(shown "$ref/enc.bin")  已是加密文件!" "already encrypted"
expect_err "文件:$(shown "$ref/missing.txt")  打不开!" "missing file"
expect_out "共处理文件数:3" "every attempted file is counted"
check "the run went on after the refusals" [ "$(wc -c <"$ref/plain.txt")" -eq 70 ]

# A relative path is reported in full.
printf 'not encrypted' >"$ref/rel.txt"
cd "$ref" || exit 1
cli decrypt --key "$zh_key" rel.txt
cd "$work" || exit 1
expect_rc 1 "plain file in a decrypt run"
expect_err "文件:$(shown "$ref/rel.txt")  不是密文!" "relative path shown in full"

# --- the command line ------------------------------------------------------------
while IFS=';' read -r what args; do
  # shellcheck disable=SC2086 # the table's arguments are split on purpose
  cli $args
  expect_rc 2 "usage: $what"
  expect_err "usage:" "usage text: $what"
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
unknown option;encrypt --force --key k x
EOF
cli --help
expect_rc 0 "--help"
check "--help prints the usage" grep -qF "vellumo-cli encrypt" "$out"

# --- key from standard input ------------------------------------------------------
printf 'stdin input' >"$work/stdin.txt"
cp "$work/stdin.txt" "$work/stdin.orig"
printf '%s\r\n' "键盘密钥" | {
  if [ -n "$runner" ]; then "$runner" "$binary" encrypt --key-stdin "$work/stdin.txt"; else "$binary" encrypt --key-stdin "$work/stdin.txt"; fi
} >"$out" 2>"$err"
rc=$?
expect_rc 0 "--key-stdin encrypt"
cli decrypt --key "键盘密钥" "$work/stdin.txt"
expect_rc 0 "--key-stdin: the line without CR/LF is the key"
check "--key-stdin round trip" same "$work/stdin.txt" "$work/stdin.orig"

# A key line in GBK bytes (not UTF-8) is read in the ANSI code page.
cp "$vectors/files/enc_aes_len1025.bin" "$work/gbk_line.bin"
unhex bcd3c3dcb2e2cad4c3dcd4bf0a | {
  if [ -n "$runner" ]; then "$runner" "$binary" decrypt --key-stdin "$work/gbk_line.bin"; else "$binary" decrypt --key-stdin "$work/gbk_line.bin"; fi
} >"$out" 2>"$err"
rc=$?
expect_rc 0 "--key-stdin with a GBK line"
check "GBK key line decrypts" same "$work/gbk_line.bin" "$vectors/files/plain_aes_len1025.bin"

cli encrypt --key-stdin "$work/stdin.txt" </dev/null
expect_rc 2 "--key-stdin with empty input"

# --- clipboard text -----------------------------------------------------------------
# clip MODE KEY INPUT-FILE: stdout in $out, status in $rc.
clip() {
  if [ -n "$runner" ]; then "$runner" "$binary" "clip-$1" --key "$2" <"$3" >"$out" 2>"$err"
  else "$binary" "clip-$1" --key "$2" <"$3" >"$out" 2>"$err"; fi
  rc=$?
}
vector_table clipboard_encode key block block_hex cipher_text decoded_hex >"$work/encode.txt"
check "clipboard_encode vectors found" [ -s "$work/encode.txt" ]
while IFS=';' read -r key block block_hex cipher_text decoded_hex; do
  unhex "$block_hex" >"$work/block"
  clip encrypt "$key" "$work/block"
  expect_rc 0 "clip-encrypt $block"
  expect_out "$cipher_text" "clip-encrypt $block with key \"$key\""
  printf '%s' "$cipher_text" >"$work/cipher"
  clip decrypt "$key" "$work/cipher"
  expect_rc 0 "clip-decrypt $block"
  check "clip-decrypt $block with key \"$key\"" [ "$(hex <"$out")" = "$decoded_hex" ]
done <"$work/encode.txt"

vector_table clipboard_transform note mode key input_block_hex result_block_hex >"$work/transform.txt"
check "clipboard_transform vectors found" [ -s "$work/transform.txt" ]
while IFS=';' read -r note mode key input result; do
  unhex "$input" >"$work/block"
  clip "$mode" "$key" "$work/block"
  if [ "$result" = null ]; then
    expect_rc 1 "$note"
    expect_err "left unchanged" "$note"
  else
    expect_rc 0 "$note"
    check "$note: result block" [ "$(hex <"$out")00" = "$result" ]
  fi
done <"$work/transform.txt"

# The key line and the block share standard input; UTF-8 text comes back as it was.
printf '%s\n%s' "$zh_key" "剪贴板 text, 多行
second line" >"$work/clip_in"
if [ -n "$runner" ]; then "$runner" "$binary" clip-encrypt --key-stdin <"$work/clip_in" >"$work/clip_c" 2>"$err"
else "$binary" clip-encrypt --key-stdin <"$work/clip_in" >"$work/clip_c" 2>"$err"; fi
rc=$?
expect_rc 0 "clip-encrypt --key-stdin"
clip decrypt "$zh_key" "$work/clip_c"
expect_rc 0 "clip-decrypt of it"
check "clipboard round trip" [ "$(cat "$out")" = "$(tail -c +20 "$work/clip_in")" ]
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
cli keys --db "$db" --show-keys
expect_rc 0 "keys --show-keys"
expect_out "1${tab}测试${tab}加密测试密钥${tab}备注
2${tab}ascii${tab}0123456789abcdef${tab}
10${tab}第十${tab}Key密码2024${tab}" "keys --show-keys"

# A database made to hold the program (a view over a query that never ends) is
# reported, not listed for ever.
hostile=$work/keys/hostile.dat
sqlite3 "$hostile" "create view keylist as with recursive r(x) as (select 1 union all select x+1 from r)
select x as id, 'n', 'k', '' from r;"
cli keys --db "$hostile"
expect_rc 1 "keys of a hostile database"
expect_err "cannot read the key database $(shown "$hostile")" "keys of a hostile database"

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
check "keys: a missing database is not created" [ ! -e "$work/keys/absent.dat" ]

if [ "$platform" = posix ]; then
  mkdir -p "$work/xdg/vellumo"
  cp "$db" "$work/xdg/vellumo/docset.dat"
  XDG_CONFIG_HOME=$work/xdg
  export XDG_CONFIG_HOME
  cli keys
  unset XDG_CONFIG_HOME
  expect_rc 0 "keys in the default database"
  check "default database under XDG_CONFIG_HOME" grep -qF "第十" "$out"
fi

echo "$checks checks, $failures failed"
[ "$failures" -eq 0 ]
