# Sourced by the documentation tests.

# Prints, one a line, the options that PROGRAM's --help lists: those of its
# usage ("[--name") and those that begin an option's line ("  --name" or
# "  -h, --name"). An option named in passing in a description is not
# listed. Fails when --help fails or lists no option.
help_options() {
  local help options
  help=$("$1" --help) || { echo "$1 --help failed" >&2; return 1; }
  options=$(grep -oE -e '\[--[a-z][a-z-]*' -e '^  (-[a-zA-Z], )?--[a-z][a-z-]*' <<<"$help" |
    grep -oE -e '--[a-z][a-z-]*' | sort -u)
  [ -n "$options" ] || { echo "$1 --help lists no option" >&2; return 1; }
  printf '%s\n' "$options"
}

# Whether TEXT holds OPTION as a whole word ("--step" is not in "--steps").
has_option() {
  grep -qE -e "(^|[^a-z-])$2([^a-z-]|\$)" <<<"$1"
}
