#!/usr/bin/env bash
# Sets frame designs of the scene side by side: builds the program's
# library of each revision or source tree, compiles the current
# bench/shapes_bench.cpp against each, runs every case of every mode
# (steady and start of the scenes S, L, XL, D, T, T2, M, and of C, P and
# Y, where points pile onto a few cells; the start-up cases; 610 frames of
# users' files and of shapes that change their way as they run) for every
# design and prints Markdown tables of the medians.
#
#   bench/compare_designs.sh                         991bff0, bfc8862, this tree
#   bench/compare_designs.sh overwrite=991bff0 claims=bfc8862 new=../other-tree
#
# A design is a git revision of this repository (built in its own
# `git worktree`, removed at the end) or a directory holding a source
# tree (built in place, out of source; uncommitted changes count);
# LABEL= names its columns. Everything is built and kept under
# build/compare-designs (SHAPES_WORK overrides), Release, one build job
# per core.
#
# The designs take turns case by case, and the first design of a turn
# changes from one repetition to the next, so that what else runs on the
# machine weighs on all alike. Settings, in the environment:
#   SHAPES_REPS=3              runs of every case and design (median shown)
#   SHAPES_STEADY_SECONDS=1    how long each steady run times its frames
#   SHAPES_MODES="steady start startup frames"   the modes to run
#   SHAPES_CASES="S T ..."     only these scenes / start-up cases
#   SHAPES_TIMEOUT=300         seconds before one run is given up
#   SHAPES_JOBS=$(nproc)       build jobs
#   SHAPES_KEEP=1              keep the worktrees
# A quick look: SHAPES_REPS=1 SHAPES_STEADY_SECONDS=0.3 bench/compare_designs.sh
# The tables go to standard output, progress to standard error.
set -uo pipefail

script_dir=$(cd "$(dirname "$0")" && pwd)
repo=$(git -C "$script_dir" rev-parse --show-toplevel) || exit 1
bench_source="$script_dir/shapes_bench.cpp"
work=${SHAPES_WORK:-$repo/build/compare-designs}
reps=${SHAPES_REPS:-3}
modes=${SHAPES_MODES:-steady start startup frames}
only_cases=${SHAPES_CASES:-}
run_timeout=${SHAPES_TIMEOUT:-300}
jobs=${SHAPES_JOBS:-$(nproc)}
export SHAPES_STEADY_SECONDS=${SHAPES_STEADY_SECONDS:-1}

if [ $# -eq 0 ]; then
  set -- overwrite=991bff0 claims=bfc8862 tree="$repo"
fi

say() { printf '%s\n' "$*" >&2; }
die() { say "compare_designs: $*"; exit 1; }

for mode in $modes; do
  case $mode in steady | start | startup | frames) ;; *) die "unknown mode '$mode' in SHAPES_MODES" ;; esac
done

mkdir -p "$work" || die "cannot create $work"
work=$(cd "$work" && pwd)

# --- Resolve and build the designs ------------------------------------------

labels=()
declare -A source_of=() build_of=() binary_of=() about_of=()
worktrees=()

cleanup() {
  if [ "${SHAPES_KEEP:-0}" != 1 ]; then
    for tree in "${worktrees[@]}"; do
      git -C "$repo" worktree remove --force "$tree" >/dev/null 2>&1 || rm -rf "$tree"
    done
    git -C "$repo" worktree prune >/dev/null 2>&1
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for arg in "$@"; do
  if [[ $arg == *=* ]]; then
    label=${arg%%=*}
    what=${arg#*=}
  else
    label=$arg
    what=$arg
  fi
  [[ $label =~ ^[A-Za-z0-9._-]+$ ]] || die "label '$label' must be letters, digits, . _ -"
  [ -z "${source_of[$label]+x}" ] || die "two designs named '$label'"
  if [ -d "$what" ]; then
    src=$(cd "$what" && pwd)
    [ -f "$src/scene/scene.h" ] || die "$src holds no scene/scene.h"
    if head=$(git -C "$src" rev-parse --short HEAD 2>/dev/null); then
      dirty=$(git -C "$src" status --porcelain --untracked-files=no 2>/dev/null)
      about="source tree $src (HEAD $head${dirty:+ with uncommitted changes})"
    else
      about="source tree $src"
    fi
  else
    commit=$(git -C "$repo" rev-parse --verify --quiet "$what^{commit}") ||
      die "'$what' is neither a directory nor a revision"
    short=$(git -C "$repo" rev-parse --short "$commit")
    src="$work/src-$label"
    if [ -e "$src" ]; then
      git -C "$repo" worktree remove --force "$src" >/dev/null 2>&1 || rm -rf "$src"
      git -C "$repo" worktree prune
    fi
    say "== worktree $src at $short"
    git -C "$repo" worktree add --detach --quiet "$src" "$commit" || die "git worktree add failed for $what"
    worktrees+=("$src")
    about="revision $short ($(git -C "$repo" log -1 --format=%s "$commit"))"
  fi
  labels+=("$label")
  source_of[$label]=$src
  build_of[$label]="$work/build-$label"
  about_of[$label]=$about
done

for label in "${labels[@]}"; do
  src=${source_of[$label]}
  build=${build_of[$label]}
  log="$build.log"
  say "== building $label: ${about_of[$label]} (log $log)"
  # Only the library: the bench is compiled here, against the design's
  # own headers, the same way for every design.
  {
    cmake -S "$src" -B "$build" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
      -DFLIMMER_TESTS=OFF -DFLIMMER_BENCH=OFF -DFLIMMER_FUZZ=OFF -DFLIMMER_SANITIZE=OFF &&
      cmake --build "$build" -j"$jobs" --target flimmer
  } >"$log" 2>&1 || die "building the library of $label failed; see $log"
  library=$(find "$build" -name libflimmer.a -print -quit)
  [ -n "$library" ] || die "no libflimmer.a in $build"
  cp "$bench_source" "$build/shapes_bench.cpp" || die "cannot copy the bench"
  # shellcheck disable=SC2046
  ${CXX:-g++} -O2 -std=c++17 -Wall -Wextra -I"$src" "$build/shapes_bench.cpp" "$library" \
    $(pkg-config --cflags --libs sdl) -o "$build/shapes_bench" >>"$log" 2>&1 ||
    die "compiling shapes_bench against $label failed; see $log"
  binary_of[$label]="$build/shapes_bench"
done

# --- Run ------------------------------------------------------------------

first=${labels[0]}
case_list=$("${binary_of[$first]}" list) || die "shapes_bench list failed"
cases_of() { printf '%s\n' "$case_list" | awk -v m="$1" '$1 == m { $1 = ""; print }'; }
wanted() { [ -z "$only_cases" ] || [[ " $only_cases " == *" $1 "* ]]; }
field() { printf '%s\n' "$1" | tr ' ' '\n' | sed -n "s/^$2=//p" | head -1; }

declare -A values=()  # "mode|case|label|field" -> the repetitions' values
declare -A failure=() # "mode|case|label" -> what went wrong
declare -A shape_of=()
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date +%s)

for mode in $modes; do
  for c in $(cases_of "$mode"); do
    wanted "$c" || continue
    for ((rep = 0; rep < reps; rep++)); do
      n=${#labels[@]}
      for ((i = 0; i < n; i++)); do
        label=${labels[$(((i + rep) % n))]}
        key="$mode|$c|$label"
        [ -z "${failure[$key]+x}" ] || continue
        say "-- $mode $c, $label, run $((rep + 1)) of $reps"
        out=$(timeout "$run_timeout" "${binary_of[$label]}" "$mode" "$c" 2>"$work/stderr")
        status=$?
        line=$(printf '%s\n' "$out" | grep '^mode=' | tail -1)
        if [ $status -ne 0 ] || [ -z "$line" ]; then
          if [ $status -eq 124 ]; then
            message="timed out after $run_timeout s"
          else
            message=$(iconv -f ISO-8859-1 -t UTF-8 "$work/stderr" | tr '\n' ' ' | sed 's/ *$//')
            message="status $status${message:+: $message}"
          fi
          say "   failed: $message"
          failure[$key]=$message
          continue
        fi
        shape_of[$c]="$(field "$line" size) $(field "$line" load)"
        case $mode in
          steady) fields="median_ms" ;;
          start) fields="mean_ms" ;;
          startup) fields="frames_mean_ms peak_mb setup_ms" ;;
          frames) fields="median_ms p99_ms max_ms first10_ms setup_ms" ;;
        esac
        for f in $fields; do
          values["$key|$f"]+="$(field "$line" "$f") "
        done
      done
    done
  done
done
elapsed=$(($(date +%s) - started))
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- Report ---------------------------------------------------------------

median() { printf '%s' "$1" | tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit; print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# (largest - smallest) / median of the repetitions, in percent.
spread() { printf '%s' "$1" | tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { if (NR < 2) { print "-"; exit } m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.0f%%", (m > 0 ? 100 * (v[NR] - v[1]) / m : 0) }'; }
# Three significant digits, no exponent.
fmt() { awk -v v="$1" 'BEGIN { if (v == "") print "?"; else if (v >= 100) printf "%.0f", v; else if (v >= 10) printf "%.1f", v; else if (v >= 1) printf "%.2f", v; else printf "%.3f", v }'; }
# "1000000x20" -> "1,000,000 x 20"
pretty() {
  local n out=()
  for n in "${1%x*}" "${1#*x}"; do
    out+=("$(printf '%s' "$n" | rev | sed 's/[0-9]\{3\}/&,/g; s/,$//' | rev)")
  done
  printf '%s x %s' "${out[0]}" "${out[1]}"
}
# The median of one field, or the failure of the run.
cell() {
  local key="$1|$2|$3"
  if [ -n "${failure[$key]+x}" ]; then
    printf 'failed (%s)' "${failure[$key]%%:*}"
  elif [ -z "${values[$key|$4]:-}" ]; then
    printf -- '-'
  else
    fmt "$(median "${values[$key|$4]}")"
  fi
}
spread_cell() {
  local key="$1|$2|$3"
  if [ -n "${failure[$key]+x}" ] || [ -z "${values[$key|$4]:-}" ]; then printf -- '-'; else spread "${values[$key|$4]}"; fi
}

# A table's header and rule: the first columns, then a column a design.
table_head() {
  local header=$1 rule=$2 label
  for label in "${labels[@]}"; do
    header+=" $label: $3 |"
    rule+="---|"
  done
  echo "$header"
  echo "$rule"
}

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
echo "# Frame times of the scene's designs"
echo
echo "- CPU: ${cpu:-unknown} ($(nproc) cores), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "- Load average (1, 5, 15 min) before the runs: $load_before; after: $load_after; the runs took ${elapsed} s"
echo "- Every figure is the median of $reps runs, each in its own process; the designs took turns case by case"
echo "- Dummy video driver, full screen at 32 bits, fixed seed; velocity range 3, random turns on, bounce off, eight groups on a 4 x 2 lattice, except in C (range -300, bouncing, no turns, the groups in the corners), P (range 1, bouncing, no turns) and Y (range 2, bouncing)"
for label in "${labels[@]}"; do echo "- **$label**: ${about_of[$label]}"; done
echo

steady_on=0 start_on=0 startup_on=0 frames_on=0
for mode in $modes; do
  case $mode in
    steady) steady_on=1 ;;
    start) start_on=1 ;;
    startup) startup_on=1 ;;
    frames) frames_on=1 ;;
  esac
done
spreads=()
spread_header="| case |"
spread_rule="|---|"
for label in "${labels[@]}"; do
  spread_header+=" $label |"
  spread_rule+="---|"
done
if [ $steady_on = 1 ] || [ $start_on = 1 ]; then
  echo "Steady: median frame once the trails have spread (after max(300, 2 x trail) frames, timed for ${SHAPES_STEADY_SECONDS} s)."
  echo "Start: mean of the first trail length + 10 frames of a new scene."
  echo
  table_head "| scene | W x H | particles x trail |" "|---|---|---|" "steady / start (ms)"
  for c in $(cases_of steady); do
    wanted "$c" || continue
    [ -n "${shape_of[$c]:-}" ] || continue
    read -r size load <<<"${shape_of[$c]}"
    row="| $c | ${size/x/ x } | $(pretty "$load") |"
    srow="| $c |"
    for label in "${labels[@]}"; do
      row+=" $(cell steady "$c" "$label" median_ms) / $(cell start "$c" "$label" mean_ms) |"
      srow+=" $(spread_cell steady "$c" "$label" median_ms) / $(spread_cell start "$c" "$label" mean_ms) |"
    done
    echo "$row"
    spreads+=("$srow")
  done
  echo
fi

if [ $startup_on = 1 ]; then
  echo "Start-up: one group on the centre cell; the mean of its first ten frames, the peak memory of the process (ru_maxrss, MiB) and the set-up (building the scene and adding the group)."
  echo
  table_head "| case |" "|---|" "first ten frames (mean); peak"
  for c in $(cases_of startup); do
    wanted "$c" || continue
    size=${c%%:*}
    load=${c#*:}
    row="| ${size/x/ x }, $(pretty "$load") |"
    srow="| ${size/x/ x }, $(pretty "$load") |"
    for label in "${labels[@]}"; do
      if [ -n "${failure[startup|$c|$label]+x}" ]; then
        row+=" $(cell startup "$c" "$label" frames_mean_ms) |"
      else
        row+=" $(cell startup "$c" "$label" frames_mean_ms) ms; $(cell startup "$c" "$label" peak_mb) MB; set-up $(cell startup "$c" "$label" setup_ms) ms |"
      fi
      srow+=" $(spread_cell startup "$c" "$label" frames_mean_ms) |"
    done
    echo "$row"
    spreads+=("$srow")
  done
  echo
fi

if [ $frames_on = 1 ]; then
  echo "Files: frames 10 to 609 of a new scene, median / 99th percentile / longest; the first ten frames' mean and the set-up (adding the groups), in ms. The ratio: the median against the first design's."
  echo
  table_head "| file | W x H | particles x trail |" "|---|---|---|" "median / p99 / max; first ten; set-up"
  for c in $(cases_of frames); do
    wanted "$c" || continue
    [ -n "${shape_of[$c]:-}" ] || continue
    read -r size load <<<"${shape_of[$c]}"
    row="| $c | ${size/x/ x } | $(pretty "$load") |"
    srow="| $c |"
    base=$(median "${values[frames|$c|$first|median_ms]:-}")
    for label in "${labels[@]}"; do
      if [ -n "${failure[frames|$c|$label]+x}" ]; then
        row+=" $(cell frames "$c" "$label" median_ms) |"
      else
        ratio=$(awk -v a="$(median "${values[frames|$c|$label|median_ms]:-}")" -v b="$base" 'BEGIN { if (a != "" && b > 0) printf "%.2fx", a / b; else print "?" }')
        row+=" $(cell frames "$c" "$label" median_ms) / $(cell frames "$c" "$label" p99_ms) / $(cell frames "$c" "$label" max_ms) ($ratio); $(cell frames "$c" "$label" first10_ms); $(cell frames "$c" "$label" setup_ms) |"
      fi
      srow+=" $(spread_cell frames "$c" "$label" median_ms) |"
    done
    echo "$row"
    spreads+=("$srow")
  done
  echo
fi

if [ "$reps" -gt 1 ]; then
  echo "Spread of the repetitions, (largest - smallest) / median: steady / start for the scenes, the first ten frames' mean for start-up, the median frame for files."
  echo
  echo "$spread_header"
  echo "$spread_rule"
  printf '%s\n' "${spreads[@]}"
  echo
fi

if [ ${#failure[@]} -gt 0 ]; then
  echo "Failed runs:"
  echo
  for key in $(printf '%s\n' "${!failure[@]}" | sort); do
    IFS='|' read -r mode c label <<<"$key"
    echo "- $label, $mode $c: ${failure[$key]}"
  done
  echo
fi
