#!/bin/bash
# The bash completion of vellumo-cli answers as a user expects (commands, each
# command's options, cipher names, key names from the key database), and both
# completion files know every option the help text names, so that neither
# falls behind the program.
#
#   completion_test.sh SOURCE_DIR CLI
set -u
source_dir=$1 cli=$2
failures=0
checks=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=/dev/null
source "$source_dir/cli/vellumo-cli.bash-completion"
complete_line() {  # WORD...: the words typed so far, the last being completed
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vellumo_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {  # WHAT EXPECTED WORD...
  what=$1 expected=$2
  shift 2
  checks=$((checks + 1))
  got=$(complete_line "$@")
  [ "$got" = "$expected" ] || fail "$what: got '$got', expected '$expected'"
}

expect "commands" "clip-decrypt clip-encrypt decrypt encrypt keys upgrade " vellumo-cli ""
expect "a command's beginning" "clip-decrypt clip-encrypt " vellumo-cli cl
expect "encrypt's options from --c" "--cipher --codepage " vellumo-cli encrypt --c
expect "decrypt has no --cipher" "--codepage " vellumo-cli decrypt --c
expect "cipher names" "aes des rc4 sealed " vellumo-cli encrypt --cipher ""
expect "a value is no command" "--cipher --codepage " vellumo-cli --key k encrypt --c
expect "keys commands" "add list remove rename " vellumo-cli keys ""
expect "keys add options" "--note " vellumo-cli keys add work --n
expect "upgrade's options from --s" "--skip-done " vellumo-cli upgrade --s
expect "--legacy goes with clip-encrypt" "--legacy " vellumo-cli clip-encrypt --le
expect "and not with clip-decrypt" " " vellumo-cli clip-decrypt --le

# Key names come from the database named on the line.
sqlite3 "$work/docset.dat" "create table keylist (id integer, keyname text, keyvalue text, about text);
insert into keylist values (1, 'work', 'k1', ''); insert into keylist values (2, 'wood', 'k2', '');"
COMP_WORDS=(vellumo-cli decrypt --db "$work/docset.dat" --key-name wo)
COMP_CWORD=5
COMP_WORDS[0]=$cli
COMPREPLY=()
_vellumo_cli
checks=$((checks + 1))
[ "$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')" = "wood work " ] ||
  fail "key names from --db: got '${COMPREPLY[*]}'"

# Every long option of the help text is known to both completions.
for option in $(grep -oE -- '--[a-z][a-z-]+' "$source_dir/cli/help.en.txt" | sort -u); do
  for file in vellumo-cli.bash-completion vellumo-cli.zsh-completion; do
    checks=$((checks + 1))
    grep -qF -- "$option" "$source_dir/cli/$file" || fail "$file does not know $option"
  done
done

echo "$checks checks, $failures failed"
[ "$failures" -eq 0 ]
