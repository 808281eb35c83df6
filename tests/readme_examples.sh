#!/usr/bin/env bash
# Runs every example in the documents' ```console blocks and compares what
# it prints (standard output and error together) with the lines shown under
# it, so no document can drift from what the tool does.
#
# usage: readme_examples.sh DIRECTORY-OF-fourofsix FILE.md...
set -uo pipefail
PATH="$(realpath "$1"):$PATH"
export PATH
shift
docs=()
for f in "$@"; do docs+=("$(realpath "$f")"); done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

failed=0
ran=0
cmd=""
want=""
in_block=0
check() {
  [ -n "$cmd" ] || return 0
  local got
  # $(...) drops trailing newlines on both sides alike.
  got=$(bash -c "$cmd" 2>&1)
  ran=$((ran + 1))
  if [ "$got" != "${want%$'\n'}" ]; then
    printf 'README example failed: $ %s\n--- expected\n%s\n--- got\n%s\n' "$cmd" "${want%$'\n'}" "$got"
    failed=$((failed + 1))
  fi
  cmd=""
  want=""
}
for doc in "${docs[@]}"; do
while IFS= read -r line; do
  if [ "$in_block" = 0 ]; then
    [ "$line" = '```console' ] && in_block=1
    continue
  fi
  if [ "$line" = '```' ]; then
    check
    in_block=0
  elif [ "${line#\$ }" != "$line" ]; then
    check
    cmd=${line#\$ }
  else
    want+="$line"$'\n'
  fi
done <"$doc"
done

if [ "$ran" = 0 ]; then
  echo "no examples found in ${docs[*]}"
  exit 1
fi
echo "$((ran - failed)) passed, $failed failed"
[ "$failed" = 0 ]
