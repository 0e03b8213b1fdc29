#!/usr/bin/env bash
# A program's built man page renders in an 80-column terminal without a
# warning, has its NAME section, and names every option that the program's
# --help lists.
# Usage: man_page.sh PROGRAM PAGE
set -euo pipefail
source "$(dirname "$0")/help_options.sh"
program=$1
page=$2

warnings=$(mktemp)
trap 'rm -f "$warnings"' EXIT
if ! rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l -P cat "$page" 2>"$warnings"); then
  echo "man -l $page failed:" >&2
  cat "$warnings" >&2
  exit 1
fi
if [ -s "$warnings" ]; then
  echo "man -l $page warns:" >&2
  cat "$warnings" >&2
  exit 1
fi
if ! grep -qx 'NAME' <<<"$rendered"; then
  echo "$page renders without a NAME section:" >&2
  head -20 <<<"$rendered" >&2
  exit 1
fi

options=$(help_options "$program")
missing=0
for option in $options; do
  if ! has_option "$rendered" "$option"; then
    echo "$page does not name $option, which $(basename "$program") --help lists" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] || exit 1
echo "$page: renders, names all $(wc -w <<<"$options") options of --help"
