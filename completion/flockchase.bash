# Bash completion for flockchase, flockchase-plot, flockchase-probe and picvec:
# their options, and file names where an option or operand takes a file.
#
# Installed once under each program's name, where bash-completion's lazy
# loading looks for a program's completion; sourced, it sets up all four.
# It needs nothing of bash-completion itself, so sourcing it from ~/.bashrc
# works as well.

# The options, as each program's --help lists them.
_flockchase_options='--step --time-limit --damping --threads --robust --tangent
  --passes --target-error --flow --tolerance --segment --convert --merge
  --history --resume --headless --help --version'
_flockchase_plot_options='--output --title --size --damping --rates --spectrum --help'
_flockchase_probe_options='--steps --tolerance --max-sub-steps --help'
_picvec_options='--help --'

# Sets cur and prev for the word being completed. bash splits --name=value
# at the "=", so the option before an "=" is the one whose value this is.
_flockchase_words() {
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=
  local at=$((COMP_CWORD - 1))
  if [[ $cur == = ]]; then
    cur=
    prev=${COMP_WORDS[at]}
    return
  fi
  ((at >= 0)) && prev=${COMP_WORDS[at]}
  if [[ $prev == = ]] && ((at >= 1)); then
    prev=${COMP_WORDS[at - 1]}
  fi
}

# Offers the words of $1 that start with the current word.
_flockchase_offer() {
  local IFS=$' \t\n'
  COMPREPLY=($(compgen -W "$1" -- "$cur"))
}

# Offers file names, and folders to go on into; with $1 (an extension such
# as csv) only the files that end in it.
_flockchase_offer_files() {
  local IFS=$'\n'
  compopt -o filenames 2>/dev/null
  if [[ -n ${1-} ]]; then
    COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X "!*.$1" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_flockchase() {
  local cur prev
  _flockchase_words
  case $prev in
    --history) _flockchase_offer_files ;;
    --threads) _flockchase_offer '1 2' ;;
    --step | --time-limit | --damping | --passes | --target-error | --tolerance | --segment)
      COMPREPLY=() ;;
    *) _flockchase_offer "$_flockchase_options" ;;
  esac
}

_flockchase_plot() {
  local cur prev
  _flockchase_words
  case $prev in
    --output) _flockchase_offer_files ;;
    --title | --size | --damping) COMPREPLY=() ;;
    *)
      if [[ $cur == -* ]]; then
        _flockchase_offer "$_flockchase_plot_options"
      else
        _flockchase_offer_files csv
      fi ;;
  esac
}

_flockchase_probe() {
  local cur prev
  _flockchase_words
  case $prev in
    --steps | --tolerance | --max-sub-steps) COMPREPLY=(); return ;;
  esac
  if [[ $cur == -* ]]; then
    _flockchase_offer "$_flockchase_probe_options"
    return
  fi
  # The operands are a checkpoint, then a damping.
  local i operands=0
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --steps | --tolerance | --max-sub-steps) ((i++)) ;;
      -*) ;;
      *) ((operands++)) ;;
    esac
  done
  if ((operands == 0)); then
    _flockchase_offer_files checkpoint
  else
    COMPREPLY=()
  fi
}

_picvec() {
  local cur prev
  _flockchase_words
  local i
  for ((i = 1; i < COMP_CWORD; i++)); do
    [[ ${COMP_WORDS[i]} == -- ]] && { _flockchase_offer_files bmp; return; }
  done
  if [[ $cur == -* ]]; then
    _flockchase_offer "$_picvec_options"
  else
    _flockchase_offer_files bmp
  fi
}

complete -F _flockchase flockchase
complete -F _flockchase_plot flockchase-plot
complete -F _flockchase_probe flockchase-probe
complete -F _picvec picvec
