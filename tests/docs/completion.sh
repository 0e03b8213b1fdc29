#!/usr/bin/env bash
# The bash completion in a real bash: a unique prefix completes to its
# option, "PROGRAM --" offers exactly the options that PROGRAM's --help
# lists (no more, no fewer), and file names come where a file is due.
# Usage: completion.sh SCRIPT PROGRAM...
set -euo pipefail
source "$(dirname "$0")/help_options.sh"
script=$1
shift
source "$script"

# Completes the words given, the last one being completed, into COMPREPLY by
# the function that the script registered for the first word.
complete_words() {
  local function
  function=$(complete -p "$1" | sed -n 's/.* -F \([^ ]*\) .*/\1/p')
  [ -n "$function" ] || { echo "no completion function registered for $1" >&2; return 1; }
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  # As bash calls it: without errexit (a failing compopt, outside a real
  # completion, must not end this script).
  "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" || true
}

failures=0
fail() {
  echo "$*" >&2
  failures=$((failures + 1))
}

# Every program: the options of "PROGRAM --" against those of its --help.
for program in "$@"; do
  name=$(basename "$program")
  listed=$(help_options "$program")
  complete_words "$name" --
  offered=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^--$/d' | sort -u)
  for option in $listed; do
    grep -qx -- "$option" <<<"$offered" || fail "$name --: $option (listed by --help) is not offered"
  done
  for option in $offered; do
    grep -qx -- "$option" <<<"$listed" || fail "$name --: $option is offered but not listed by --help"
  done
done

# Words completed in a folder with a few files: what is typed, what must
# come (space-separated, in any order).
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
touch run.csv notes.txt after.checkpoint chart.bmp
mkdir sub
cases=(
  "flockchase --ro|--robust"
  "flockchase --threads |1 2"
  "flockchase --history |after.checkpoint chart.bmp notes.txt run.csv sub"
  "flockchase --history=|after.checkpoint chart.bmp notes.txt run.csv sub"
  "flockchase-plot |run.csv sub"
  "flockchase-plot --output |after.checkpoint chart.bmp notes.txt run.csv sub"
  "flockchase-plot --size |"
  "flockchase-probe |after.checkpoint sub"
  "flockchase-probe after.checkpoint |"
  "picvec |chart.bmp sub"
)
for case in "${cases[@]}"; do
  typed=${case%|*}
  want=${case#*|}
  read -ra words <<<"$typed"
  # A typed line ending in a space or "=" completes a new, empty word.
  [[ $typed == *' ' ]] && words+=("")
  if [[ $typed == *= ]]; then
    last=${words[-1]}
    unset 'words[-1]'
    words+=("${last%=}" "=")
  fi
  complete_words "${words[@]}"
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ')
  expected=$(tr ' ' '\n' <<<"$want" | sed '/^$/d' | sort | tr '\n' ' ')
  [ "$got" = "$expected" ] || fail "'$typed' completes to '$got', not '$expected'"
done

# File names as names: not expanded as globs, spaces and quotes kept, the
# typed word read with its quotes and backslashes as the shell reads it.
# Pairs of the words typed and the names that must come, tab-separated.
odd=$(mktemp -d)
trap 'rm -rf "$folder" "$odd"' EXIT
cd "$odd"
touch 'a*b.csv' aXb.csv ab.csv 'my run.csv' "it's.csv" 'q"x.csv' '[x].csv' x.csv 'c*.bmp' cd.bmp 'p?.checkpoint' \
  pq.checkpoint
odd_cases=(
  $'flockchase-plot\ta*' 'a*b.csv'
  $'flockchase-plot\t--output\ta*' 'a*b.csv'
  $'flockchase\t--history\ta*' 'a*b.csv'
  $'flockchase\t--history\t=\ta*' 'a*b.csv'
  $'flockchase-plot\t[' '[x].csv'
  $'picvec\tc*' 'c*.bmp'
  $'flockchase-probe\tp?' 'p?.checkpoint'
  $'flockchase-plot\tmy\\ r' 'my run.csv'
  $'flockchase-plot\t"my r' 'my run.csv'
  $'flockchase-plot\t\'my run' 'my run.csv'
  $'flockchase-plot\tit\\\'' "it's.csv"
  $'flockchase-plot\t"it\'' "it's.csv"
  $'flockchase-plot\tq\\"' 'q"x.csv'
  $'flockchase-plot\t\'q"' 'q"x.csv'
)
for ((k = 0; k < ${#odd_cases[@]}; k += 2)); do
  IFS=$'\t' read -ra words <<<"${odd_cases[k]}"
  want=${odd_cases[k + 1]}
  complete_words "${words[@]}"
  got=$(printf '%s|' "${COMPREPLY[@]}")
  [ "$got" = "$want|" ] || fail "'${odd_cases[k]}' completes to '$got', not '$want|'"
done

[ "$failures" -eq 0 ] || exit 1
echo "completion: options of $# programs and $((${#cases[@]} + ${#odd_cases[@]} / 2)) typed lines as expected"
