#!/usr/bin/env bash
# Runs velta on every data set with known truth, times each run as a whole
# process, scores it with velta-compare and prints one table.
#
#   bash bench/run_datasets.sh [--quick | --full] [options]
#
#   (no flag)  the default table: every run below with its "table" options,
#              sized to finish within 30 minutes on the 2-core development machine
#   --quick    a few iterations on the small sets only (a minute or two)
#   --full     every run with velta's own defaults (-n 1000 -m 100; long)
#   --velta PATH      velta binary           (default: build/velta)
#   --compare PATH    velta-compare binary   (default: build/compare/velta-compare)
#   --data DIR        data folder            (default: ../shared/data beside the repo)
#   --only TEXT       only runs whose data set or read file contains TEXT
#   --timeout SEC     end a run that takes longer (default: no limit)
#   --keep DIR        keep outputs, logs and the table (table.tsv) in DIR
#   --stages          instead of the table above: for every inference row, the
#                     sampler alone (velta --polish 0 -n 100 -m 20 --seed 7) and
#                     then the inference's final phase stage with its components
#                     added in turn (bench/final_phase_driver on the sampler's
#                     output); time and memory are the stage's own
#   --driver PATH     final_phase_driver binary (default: build/bench/final_phase_driver)
#
# Exit status: 0 when every run completed and was scored, 1 when a run failed
# (listed under the table), 2 for a bad command line or a missing tool, 77
# (the test harness reports a skip) when the data folder is absent or when
# velta completed every run without writing any output (a build without its
# samplers).

# ---------------------------------------------------------------------------
# The runs. Columns separated by '|':
#   set     folder under the data folder (map.txt, truth.txt, panel.txt, reads)
#   reads   read file in that folder
#   mode    assembly (no panel) or inference (--rfile panel.txt)
#   quick   options of --quick ('-': not run)
#   table   options of the default table ('-': not run; 'defaults': none)
#   full    options of --full ('defaults': velta's own)
# Options marked '*' in the table would be reduced from velta's defaults to fit
# the default table in 30 minutes (--full runs them at the defaults); today every
# row runs at the defaults in about 8 minutes.
RUNS='
HG01500/small/assembly  | reads.txt      | assembly  | -n 20       | defaults      | defaults
HG01500/small/assembly  | reads.long.txt | assembly  | -n 20       | defaults      | defaults
HG01500/large/assembly  | reads.txt      | assembly  | -           | defaults      | defaults
HG01500/large/assembly  | reads.long.txt | assembly  | -           | defaults      | defaults
HG01500/small/inference | reads.txt      | inference | -n 2 -m 5   | defaults      | defaults
HG01500/small/inference | reads.long.txt | inference | -n 2 -m 5   | defaults      | defaults
HG01500/large/inference | reads.txt      | inference | -           | defaults      | defaults
HG01500/large/inference | reads.long.txt | inference | -           | defaults      | defaults
'
# ---------------------------------------------------------------------------

set -uo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
LEVEL=table
VELTA="$ROOT/build/velta"
COMPARE="$ROOT/build/compare/velta-compare"
DRIVER="$ROOT/build/bench/final_phase_driver"
STAGES=0
DATA="$ROOT/../shared/data"
ONLY=""
TIMEOUT=0
KEEP=""

# The comment block at the top of this file.
usage_text() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"
}

die() {
  echo "run_datasets.sh: $*" >&2
  exit 2
}

parse_arguments() {
  while [ $# -gt 0 ]; do
    case "$1" in
      --quick) LEVEL=quick ;;
      --stages) STAGES=1 ;;
      --full) LEVEL=full ;;
      --velta | --compare | --driver | --data | --only | --timeout | --keep)
        [ $# -ge 2 ] || die "option $1 needs a value"
        case "$1" in
          --velta) VELTA="$2" ;;
          --compare) COMPARE="$2" ;;
          --driver) DRIVER="$2" ;;
          --data) DATA="$2" ;;
          --only) ONLY="$2" ;;
          --timeout) TIMEOUT="$2" ;;
          --keep) KEEP="$2" ;;
        esac
        shift
        ;;
      -h | --help) usage_text; exit 0 ;;
      *) echo "run_datasets.sh: unknown argument $1" >&2; usage_text >&2; exit 2 ;;
    esac
    shift
  done
  [[ "$TIMEOUT" =~ ^[0-9]+$ ]] || die "--timeout needs a whole number of seconds, not '$TIMEOUT'"
}

# /usr/bin/time -v gives the wall time and peak memory of the whole process.
ensure_time_tool() {
  [ -x /usr/bin/time ] && return
  echo "installing the time package for /usr/bin/time" >&2
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y -qq time >/dev/null 2>&1 ||
    { $sudo apt-get update -qq && $sudo apt-get install -y -qq time >/dev/null 2>&1; } ||
    die "/usr/bin/time is missing and could not be installed (apt-get install time)"
}

check_setup() {
  if [ ! -d "$DATA" ]; then
    echo "run_datasets.sh: data folder $DATA not found; nothing to run (skipped)" >&2
    exit 77
  fi
  [ -x "$VELTA" ] || die "velta binary $VELTA not found: build it first (cmake --build build)"
  [ -x "$COMPARE" ] || die "velta-compare binary $COMPARE not found: build it first"
  ensure_time_tool
}

trim() {
  local text="$1"
  text="${text#"${text%%[![:space:]]*}"}"
  printf '%s' "${text%"${text##*[![:space:]]}"}"
}

# Value of `key` in a key=value line.
value_of() {
  local key="$1" text="$2" word
  for word in $text; do
    [ "${word%%=*}" = "$key" ] && { printf '%s' "${word#*=}"; return; }
  done
  printf '?'
}

percent() {
  awk -v x="$1" 'BEGIN { if (x == "?") print "?"; else printf "%.2f%%", 100 * x }'
}

# Seconds from GNU time's "h:mm:ss" or "m:ss.ss".
wall_seconds() {
  awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = 60 * s + $i; printf "%.1f", s }' <<<"$1"
}

# Last line of a velta-compare report, or empty when it failed.
score() {
  "$COMPARE" "$@" 2>>"$SCORE_ERRORS" | tail -n 1
}

ROWS=()      # tab-separated table rows
FAILURES=()  # one line per failed run
ROW_COUNT=0
OUTPUTS=0    # runs that wrote an output file

add_row() {
  local IFS=$'\t'
  ROWS+=("$*")
}

# Runs velta once and appends its row. Arguments: set, reads, mode, options.
run_one() {
  local set="$1" reads="$2" mode="$3" options="$4"
  local folder="$DATA/$set"
  local id="${set//\//_}_${reads%.txt}"
  local out="$WORK/$id.out.txt" log="$WORK/$id.log" timing="$WORK/$id.time"
  local shown="$options" args=()
  if [ "$options" = defaults ]; then
    shown="(defaults)"
  else
    read -r -a args <<<"${options//\*/}"
  fi
  args=(--mfile "$folder/map.txt" --sfile "$folder/$reads" --output "$out" -v 0 "${args[@]}")
  [ "$mode" = inference ] && args+=(--rfile "$folder/panel.txt")
  local label="$set $reads"
  local read_kind=short
  [[ "$reads" == *long* ]] && read_kind=long

  local missing
  for missing in map.txt truth.txt "$reads" $([ "$mode" = inference ] && echo panel.txt); do
    if [ ! -f "$folder/$missing" ]; then
      FAILURES+=("$label: $folder/$missing not found")
      add_row "${set#*/}" "$read_kind" "$mode" "$shown" - - - - - - - "missing file"
      return
    fi
  done

  echo "[$((++ROW_COUNT))] $label ($mode, $shown)" >&2
  rm -f "$out" "$timing"
  local limit=()
  [ "$TIMEOUT" -gt 0 ] && limit=(timeout "$TIMEOUT")
  "${limit[@]}" /usr/bin/time -v -o "$timing" "$VELTA" "${args[@]}" >"$log" 2>&1 </dev/null
  local status=$?

  local wall="-" memory="-"
  if [ -s "$timing" ]; then
    wall=$(wall_seconds "$(sed -n 's/^[[:space:]]*Elapsed (wall clock) time ([^)]*): //p' "$timing")")
    memory=$(awk '/Maximum resident set size/ { printf "%.1f", $NF / 1024 }' "$timing")
  fi
  local verdict=""
  if [ "$status" -eq 124 ] && [ "$TIMEOUT" -gt 0 ]; then
    verdict="timeout"
    wall=">$TIMEOUT"
  elif [ "$status" -ne 0 ]; then
    verdict="exit $status"
  elif [ ! -s "$out" ]; then
    verdict="no output"
  fi
  [ -s "$out" ] && OUTPUTS=$((OUTPUTS + 1))
  if [ -n "$verdict" ]; then
    local last_words
    last_words=$(tail -n 2 "$log" | tr '\n' ' ')
    FAILURES+=("$label: $verdict${last_words:+; velta said: $last_words}")
    add_row "${set#*/}" "$read_kind" "$mode" "$shown" "$wall" "$memory" - - - - - "$verdict"
    return
  fi

  local in_blocks overall
  in_blocks=$(score "$folder/truth.txt" "$out" --map "$folder/map.txt" --reads "$folder/$reads")
  overall=$(score "$folder/truth.txt" "$out" --map "$folder/map.txt")
  if [ -z "$in_blocks" ] || [ -z "$overall" ]; then
    FAILURES+=("$label: velta-compare failed: $(tail -n 1 "$SCORE_ERRORS")")
    add_row "${set#*/}" "$read_kind" "$mode" "$shown" "$wall" "$memory" - - - - - "not scored"
    return
  fi
  add_row "${set#*/}" "$read_kind" "$mode" "$shown" "$wall" "$memory" \
    "$(percent "$(value_of switch_rate "$in_blocks")")" \
    "$(percent "$(value_of switch_rate "$overall")")" \
    "$(percent "$(value_of geno_err_rate "$in_blocks")")" \
    "$(value_of n50_snps "$in_blocks")" "$(value_of n50_span "$in_blocks")" ok
}

run_table() {
  local set reads mode quick table full options
  while IFS='|' read -r set reads mode quick table full; do
    set=$(trim "$set")
    [ -z "$set" ] && continue
    reads=$(trim "$reads")
    mode=$(trim "$mode")
    case "$LEVEL" in
      quick) options=$(trim "$quick") ;;
      table) options=$(trim "$table") ;;
      full) options=$(trim "$full") ;;
    esac
    [ "$options" = - ] && continue
    [ -n "$ONLY" ] && [[ "$set $reads" != *"$ONLY"* ]] && continue
    run_one "$set" "$reads" "$mode" "$options"
  done <<<"$RUNS"
}

# Data sets in the data folder that no row of the table runs.
note_unlisted_sets() {
  local truth folder
  while IFS= read -r truth; do
    folder="${truth%/truth.txt}"
    folder="${folder#"$DATA"/}"
    grep -q "^${folder}[[:space:]]*|" <<<"$RUNS" ||
      echo "note: $DATA/$folder has a truth.txt but no row in the run table" >&2
  done < <(find "$DATA" -name truth.txt 2>/dev/null | sort)
}

print_table() {
  local header=$'set\treads\tmode\toptions\twall s\tpeak MiB\tswitch in blocks\tswitch overall\tgenotype discordance\tN50 SNPs\tN50 bp\tstatus'
  local all=("$header" "${ROWS[@]}")
  printf '%s\n' "${all[@]}" | awk -F'\t' '
    { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) }
      if (NF > columns) columns = NF }
    END { for (r = 1; r <= NR; r++) {
            text = ""
            for (i = 1; i < columns; i++)
              text = text sprintf("%" (i <= 4 ? "-" : "") width[i] "s  ", cell[r, i])
            text = text cell[r, columns]
            print text } }'
  [ -n "$KEEP" ] && printf '%s\n' "${all[@]}" >"$WORK/table.tsv"
}

print_notes() {
  echo
  echo "velta: $VELTA; data: $DATA; level: $LEVEL; $(nproc) cores," \
    "$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
  echo "switch rates: over neighbouring heterozygous SNPs within the blocks the reads" \
    "connect, and over the whole region; N50 of block spans, in SNPs and in bp"
  if printf '%s\n' "${ROWS[@]}" | grep -q '\*'; then
    echo "* -n/-m reduced from velta's defaults (-n 1000 -m 100) to keep the table within" \
      "30 minutes; --full runs them at the defaults"
  fi
  local failure
  for failure in "${FAILURES[@]}"; do echo "FAILED: $failure"; done
  if [ ${#FAILURES[@]} -gt 0 ] && [ -z "$KEEP" ]; then
    echo "(--keep DIR keeps every run's output and log)"
  fi
}

# The final phase stage's components, added in turn: name | driver settings.
COMPONENTS='
reads phase their blocks          | genotype=-1 panel=0
+ genotypes checked by the reads  | panel=0
+ panel model, 64 candidates, -w  | candidates=64 mismatch=0 novel=0 switch=1 window=2000
+ 160 candidates                  | mismatch=0 novel=0 switch=1 window=2000
+ mismatch 0.01                   | novel=0 switch=1 window=2000
+ novel alleles placed            | switch=1 window=2000
+ switch rate / 4                 | window=2000
+ windows of 3,000 SNPs (default) |
'

# Switch rate and genotype discordance of one output, as "x.xx% y.yy%".
score_pair() {
  local line
  line=$(score "$1/truth.txt" "$2" --map "$1/map.txt")
  printf '%s %s' "$(percent "$(value_of switch_rate "$line")")" \
    "$(percent "$(value_of geno_err_rate "$line")")"
}

run_stages() {
  [ -x "$DRIVER" ] || die "final_phase_driver $DRIVER not found: build with -DVELTA_BUILD_BENCH=ON"
  local set reads mode rest folder id sampled timing name settings args out
  printf '%s\n' "set	reads	step	switch	genotype discordance	CPU s	peak MiB" >"$WORK/stages.tsv"
  while IFS='|' read -r set reads mode rest; do
    set=$(trim "$set")
    reads=$(trim "$reads")
    [ "$(trim "$mode")" = inference ] || continue
    [ -n "$ONLY" ] && [[ "$set $reads" != *"$ONLY"* ]] && continue
    folder="$DATA/$set"
    id="${set//\//_}_${reads%.txt}"
    sampled="$WORK/$id.sampler.txt"
    timing="$WORK/$id.time"
    echo "[stages] $set $reads: sampler" >&2
    /usr/bin/time -v -o "$timing" "$VELTA" --mfile "$folder/map.txt" --sfile "$folder/$reads" \
      --rfile "$folder/panel.txt" --output "$sampled" -v 0 --polish 0 -n 100 -m 20 --seed 7 \
      >/dev/null 2>&1 </dev/null || { FAILURES+=("$set $reads: sampler failed"); continue; }
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "${set#*/}" "$reads" "sampler alone (--polish 0)" \
      $(score_pair "$folder" "$sampled") \
      "$(awk -F': ' '/User time/ { printf "%.1f", $2 }' "$timing")" \
      "$(awk '/Maximum resident set size/ { printf "%.1f", $NF / 1024 }' "$timing")" >>"$WORK/stages.tsv"
    while IFS='|' read -r name settings; do
      name=$(trim "$name")
      [ -z "$name" ] && continue
      read -r -a args <<<"$settings"
      out="$WORK/$id.stage.txt"
      echo "[stages] $set $reads: $name" >&2
      /usr/bin/time -v -o "$timing" "$DRIVER" "$folder/map.txt" "$folder/panel.txt" \
        "$folder/$reads" "$sampled" "$out" "${args[@]}" >/dev/null 2>"$WORK/driver.err" ||
        { FAILURES+=("$set $reads $name: driver failed"); continue; }
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "${set#*/}" "$reads" "$name" $(score_pair "$folder" "$out") \
        "$(sed -n 's/^stage \([0-9.]*\) s$/\1/p' "$WORK/driver.err")" \
        "$(awk '/Maximum resident set size/ { printf "%.1f", $NF / 1024 }' "$timing")" \
        >>"$WORK/stages.tsv"
    done <<<"$COMPONENTS"
  done <<<"$RUNS"
  column -t -s $'\t' "$WORK/stages.tsv"
  echo
  echo "CPU s: the sampler's whole run, or the stage's own processor time; peak MiB: the"
  echo "whole process (velta, or the driver that loads the inputs and runs the stage)"
  local failure
  for failure in "${FAILURES[@]}"; do echo "FAILED: $failure"; done
  [ ${#FAILURES[@]} -eq 0 ]
}

main() {
  parse_arguments "$@"
  check_setup
  if [ -n "$KEEP" ]; then
    mkdir -p "$KEEP" || die "cannot create $KEEP"
    WORK="$(cd "$KEEP" && pwd)"
  else
    WORK="$(mktemp -d "${TMPDIR:-/tmp}/velta_bench_XXXXXX")" || die "cannot create a work folder"
    trap 'rm -rf "$WORK"' EXIT
  fi
  SCORE_ERRORS="$WORK/compare.errors"
  : >"$SCORE_ERRORS"
  if [ "$STAGES" -eq 1 ]; then
    run_stages
    return
  fi
  note_unlisted_sets
  local start=$SECONDS
  run_table
  [ ${#ROWS[@]} -gt 0 ] || die "no run matches (level $LEVEL, --only '$ONLY')"
  print_table
  print_notes
  echo "total wall time: $((SECONDS - start)) s"
  [ ${#FAILURES[@]} -eq 0 ] && return 0
  # A velta that completes every run yet never writes its output is a build
  # without the samplers: there is nothing to measure, which is not a fault of
  # one run.
  if [ "$OUTPUTS" -eq 0 ] && [ "$(printf '%s\n' "${FAILURES[@]}" | grep -vc ': no output')" -eq 0 ]; then
    echo "velta wrote no output in any run: nothing to score (skipped)"
    return 77
  fi
  return 1
}

main "$@"
