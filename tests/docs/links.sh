#!/usr/bin/env bash
# Every relative link and image of the project's Markdown files names a file
# or folder that exists, seen from the file that holds it; a link's #anchor
# is not checked. Usage: links.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
checked=0
while IFS= read -r -d '' page; do
  dir=$(dirname "$page")
  # [text](target) and ![alt](target), several to a line; the target ends at
  # the closing parenthesis or a space before a title.
  while IFS= read -r target; do
    case $target in
      http://* | https://* | mailto:* | '#'*) continue ;;
    esac
    path=${target%%#*}
    checked=$((checked + 1))
    if [ ! -e "$dir/$path" ]; then
      echo "$page: link to $target: no such file" >&2
      status=1
    fi
  done < <(grep -oE '\]\([^) ]+' "$page" | sed 's/^](//')
done < <(find . -name '*.md' -not -path './build*' -not -path './.git/*' -print0)
echo "links.sh: $checked relative links checked"
exit $status
