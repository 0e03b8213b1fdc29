#!/usr/bin/env bash
# cmake --install puts the four programs in bin, their man pages where man
# finds them, and their bash completions where bash-completion's lazy
# loading finds them, under a fresh prefix.
# Usage: install.sh CMAKE BUILD_DIR MAN_PAGES(ON or OFF)
set -euo pipefail
cmake=$1
build=$2
man_pages=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
  echo "$*" >&2
  failures=$((failures + 1))
}
for program in flockchase flockchase-plot flockchase-probe picvec; do
  [ -x "$prefix/bin/$program" ] || fail "$program: not installed in bin"
  if [ "$man_pages" = ON ]; then
    # With the prefix's bin on PATH, man finds the page by the program's name.
    found=$(env -u MANPATH PATH="$prefix/bin:$PATH" man -w "$program" 2>/dev/null) || found=
    [ "$found" = "$prefix/share/man/man1/$program.1" ] ||
      fail "$program: man -w finds '$found', not the installed page"
    cmp -s "$build/docs/reference/$program.1" "$prefix/share/man/man1/$program.1" ||
      fail "$program: the installed man page is not the built one"
  fi
  # bash-completion, told of the prefix, loads the program's completion.
  registered=$(XDG_DATA_DIRS="$prefix/share" BASH_COMPLETION_USER_DIR="$prefix/none" bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion
    __load_completion "$1" && complete -p "$1"' bash "$program" 2>/dev/null) || registered=
  [[ $registered == "complete -F "*" $program" ]] ||
    fail "$program: bash-completion does not load its completion from the prefix ('$registered')"
done
[ "$failures" -eq 0 ] || exit 1
echo "install: programs, man pages ($man_pages) and completions in place under the prefix"
