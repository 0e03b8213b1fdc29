# Bash completion for flockchase, flockchase-plot, flockchase-probe and picvec:
# their options, and file names where an option or operand takes a file.
#
# Installed once under each program's name, where bash-completion's lazy
# loading looks for a program's completion; sourced, it sets up all four.
# It needs nothing of bash-completion itself, so sourcing it from ~/.bashrc
# works as well.

# The options, as each program's --help lists them.
_flockchase_options='--step --time-limit --damping --threads --robust --tangent
  --passes --target-error --flow --tolerance --members --seed --spectrum --ascending --segment
  --convert --merge --history --resume --headless --help --version'
_flockchase_plot_options='--output --title --size --damping --rates --ensemble --spectrum --help'
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

# Offers the words of $1 that start with the current word. The offers are
# read line by line, never split or expanded as a glob again.
_flockchase_offer() {
  mapfile -t COMPREPLY < <(IFS=$' \t\n' compgen -W "$1" -- "$cur")
}

# Sets REPLY to the word $1 as the shell reads it: quotes and backslashes
# taken away, an unclosed quote running to its end (as in a word being
# typed). Nothing is expanded or run.
_flockchase_dequote() {
  local word=$1 out= quote= c i
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    if [[ $quote == "'" ]]; then
      [[ $c == "'" ]] && quote= || out+=$c
    elif [[ $quote == '"' ]]; then
      if [[ $c == '"' ]]; then
        quote=
      elif [[ $c == '\' && ${word:i+1:1} == [\"\\\$\`] ]]; then
        out+=${word:i+1:1}
        i=$((i + 1))
      else
        out+=$c
      fi
    elif [[ $c == "'" || $c == '"' ]]; then
      quote=$c
    elif [[ $c == '\' ]]; then
      out+=${word:i+1:1}
      i=$((i + 1))
    else
      out+=$c
    fi
  done
  REPLY=$out
}

# Offers file names, and folders to go on into; with $1 (an extension such
# as csv) only the files that end in it. The names are offered as they are:
# one a line, not split at spaces nor expanded as globs (a file a*b.csv
# offers itself, not every name the pattern matches); bash quotes them as
# it puts them on the line.
_flockchase_offer_files() {
  compopt -o filenames 2>/dev/null
  local REPLY
  _flockchase_dequote "$cur"
  if [[ -n ${1-} ]]; then
    # Whatever the shell options of the caller: no folder is no failure.
    mapfile -t COMPREPLY < <(compgen -d -- "$REPLY" || :; compgen -f -X "!*.$1" -- "$REPLY")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$REPLY")
  fi
}

_flockchase() {
  local cur prev
  _flockchase_words
  case $prev in
    --history) _flockchase_offer_files ;;
    --threads) _flockchase_offer '1 2' ;;
    --step | --time-limit | --damping | --passes | --target-error | --tolerance | --members | --seed | --segment)
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
