#!/usr/bin/env bash
# Holds every #include "..." of runtime/, canvas/, app/ and tools/ to the
# layers of the developers' map (docs/developers.md): each folder includes its own
# headers and those of the folders it stands on, nothing above them. Prints
# one line per include that breaks a rule (file, include, rule) and exits 1
# when there is any.
#   check_includes.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# Of app/measure/, app/files/ includes only the plain records a sweep hands
# out and the run's built-in parameters: never the sweep itself.
files_measure=(app/measure/column_result.hpp app/measure/member_result.hpp app/measure/sweep_records.hpp
               app/measure/parameters.hpp app/measure/spectrum_line.hpp)
# The plotter reads results and spectrum files with the program's own readers.
plot_app=(app/files/results_file.hpp app/measure/column_result.hpp app/files/spectrum_file.hpp)
# The probe reads a checkpoint and walks the model with the run's parameters.
probe_app=(app/files/checkpoint.hpp app/files/number_text.hpp app/measure/parameters.hpp)
# Of runtime/, the model includes its reals and numeric functions, and the
# uniform generator its random deviates draw on.
model_runtime=(runtime/real.hpp runtime/numeric.hpp runtime/random.hpp)

listed() {
  local x=$1
  shift
  local y
  for y; do [[ $x == "$y" ]] && return 0; done
  return 1
}

# Sets `rule` to the rule of FILE's folder; true when INCLUDE keeps to it.
keeps_rule() {
  local file=$1 inc=$2
  case $file in
    runtime/*)
      rule="runtime/ includes only runtime/"
      [[ $inc == runtime/* ]] ;;
    canvas/*)
      rule="canvas/ includes only canvas/ and runtime/"
      [[ $inc == canvas/* || $inc == runtime/* ]] ;;
    app/model/*)
      rule="app/model/ includes only app/model/ and of runtime/ ${model_runtime[*]}"
      [[ $inc == app/model/* ]] || listed "$inc" "${model_runtime[@]}" ;;
    app/lanes/*)
      rule="app/lanes/ includes only app/lanes/, app/model/ and runtime/"
      [[ $inc == app/lanes/* || $inc == app/model/* || $inc == runtime/* ]] ;;
    app/spectrum/*)
      rule="app/spectrum/ includes only app/spectrum/, app/lanes/, app/model/ and runtime/"
      [[ $inc == app/spectrum/* || $inc == app/lanes/* || $inc == app/model/* || $inc == runtime/* ]] ;;
    app/ensemble/*)
      rule="app/ensemble/ includes only app/ensemble/, app/measure/, app/lanes/, app/model/ and runtime/"
      [[ $inc == app/ensemble/* || $inc == app/measure/* || $inc == app/lanes/* || $inc == app/model/* ||
         $inc == runtime/* ]] ;;
    app/measure/*)
      rule="app/measure/ includes only app/measure/, app/spectrum/, app/lanes/, app/model/ and runtime/"
      [[ $inc == app/measure/* || $inc == app/spectrum/* || $inc == app/lanes/* || $inc == app/model/* ||
         $inc == runtime/* ]] ;;
    app/files/*)
      rule="app/files/ includes only app/files/, app/model/, runtime/ and app/measure/'s records (${files_measure[*]#app/measure/})"
      [[ $inc == app/files/* || $inc == app/model/* || $inc == runtime/* ]] || listed "$inc" "${files_measure[@]}" ;;
    app/frame/*)
      rule="app/frame/ includes only app/, canvas/ and runtime/"
      [[ $inc == app/* || $inc == canvas/* || $inc == runtime/* ]] ;;
    app/main.cpp)
      rule="app/main.cpp includes only app/frame/"
      [[ $inc == app/frame/* ]] ;;
    app/*)
      rule="app/'s code lives in model/, lanes/, spectrum/, ensemble/, measure/, files/ and frame/, each with its rule"
      false ;;
    tools/picvec/*)
      rule="tools/picvec/ includes only tools/picvec/ and runtime/"
      [[ $inc == tools/picvec/* || $inc == runtime/* ]] ;;
    tools/plot/*)
      rule="tools/plot/ includes only tools/plot/, runtime/ and app/'s results reader (${plot_app[*]})"
      [[ $inc == tools/plot/* || $inc == runtime/* ]] || listed "$inc" "${plot_app[@]}" ;;
    tools/probe/*)
      rule="tools/probe/ includes only tools/probe/, app/model/, runtime/ and app/'s checkpoint reader (${probe_app[*]})"
      [[ $inc == tools/probe/* || $inc == app/model/* || $inc == runtime/* ]] || listed "$inc" "${probe_app[@]}" ;;
    *)
      rule="a folder without a rule: give it one in this script"
      false ;;
  esac
}

violations=0
includes=0
# canvas/'s files include one another in one direction only, a .cpp and its
# .hpp counted as one: "FILE INCLUDED" pairs for tsort, which finds a circle.
canvas_pairs=()
while IFS= read -r -d '' file; do
  while IFS= read -r inc; do
    includes=$((includes + 1))
    # Includes name files from the tree's root; one next to the file is
    # checked as the path it stands for.
    if [[ ! -f $inc && -f $(dirname "$file")/$inc ]]; then
      inc=$(realpath -m --relative-to=. "$(dirname "$file")/$inc")
    fi
    if [[ ! -f $inc ]]; then
      echo "$file: includes \"$inc\": no such file from the tree's root or beside it"
      violations=$((violations + 1))
    elif ! keeps_rule "$file" "$inc"; then
      echo "$file: includes \"$inc\": $rule"
      violations=$((violations + 1))
    elif [[ $file == canvas/* && $inc == canvas/* && ${file%.*} != "${inc%.*}" ]]; then
      canvas_pairs+=("${file%.*} ${inc%.*}")
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(find runtime canvas app tools -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' \) -print0 | sort -z)

if ! circle=$(printf '%s\n' "${canvas_pairs[@]}" | tsort 2>&1 >/dev/null); then
  echo "canvas/: files include one another in a circle: $(grep -v 'input contains a loop' <<<"$circle" | sed 's/^tsort: //' | tr '\n' ' ')"
  violations=$((violations + 1))
fi

if ((violations > 0)); then
  echo "$violations of $includes includes break the layers"
  exit 1
fi
echo "all $includes includes keep to the layers"
