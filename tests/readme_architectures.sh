#!/usr/bin/env bash
# The README's table of release files has one row for each row of
# cmake/architectures.txt and no other, each with the same `uname -m`
# values, oldest CPU and kernel.
#
# usage: readme_architectures.sh SOURCE_DIR
set -euo pipefail
readme=$(grep -E '^\| `' "$1/README.md" | grep -v '`ARCH`' |
  while IFS='|' read -r _ uname arch cpu linux _; do
    echo "$arch $(grep -o '`[^`]*`' <<<"$uname" | tr -d '`' | paste -sd, -) $cpu $linux"
  done | awk '{ print $1, $2, $3, $4 }' | sort)
table=$("$1/cmake/arch-columns" debian uname baseline linux | sort)
if [ "$readme" != "$table" ]; then
  diff <(echo "$table") <(echo "$readme") | sed 's/^</table: /; s/^>/README:/'
  exit 1
fi
echo "the README names the $(wc -l <<<"$table") architectures of the table alike"
