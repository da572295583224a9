# shellcheck shell=bash
# Helpers for bench/run: timing and peak memory of one command, and the results table.
# Sourced, not run. bench_init must come first.

# Per measurement key: median wall seconds, median CPU seconds (user and system, of every
# process of the run that was waited for), peak KiB, files and bytes written, last line
# printed.
# shellcheck disable=SC2034  # g_said and g_cpu are read by bench/run
declare -A g_time=() g_cpu=() g_peak=() g_files=() g_bytes=() g_said=()

# bench_init RUNS WORK_FOLDER RESULTS_FILE PEAK_RSS_PROGRAM
bench_init() {
  g_runs=$1
  g_work=$2
  g_results=$3
  g_out="$g_work/out"
  g_log="$g_work/last.log"
  mkdir -p "$g_work"
  : >"$g_results"
  # The probe takes the report file first, then the command; it reports the largest single
  # process of the tree it waited for and the CPU time of all, to the microsecond.
  g_probe=("$4")
  g_hyperfine=""
  if command -v hyperfine >/dev/null && command -v jq >/dev/null; then
    g_hyperfine=$(command -v hyperfine)
  fi
}

# Prints a line on the terminal and into the results file.
say() {
  printf '%s\n' "$*" | tee -a "$g_results"
}

# Prints a formatted line on the terminal and into the results file, without the padding an
# empty last column leaves.
sayf() {
  # shellcheck disable=SC2059  # the format is the caller's
  printf "$@" | sed 's/[[:space:]]*$//' | tee -a "$g_results"
}

# Progress on stderr, so that it stays out of the results file.
note() {
  printf '  %s\n' "$*" >&2
}

# Median of the numbers on standard input, one a line.
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan";
                   else if (NR % 2) print v[(NR + 1) / 2];
                   else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Runs COMMAND once with a fresh, empty output folder and prints "SECONDS PEAK_KIB CPU". The
# command's own output goes to the log. Its exit status is not judged here: kestrelix always
# exits 0, so success is read from the files it wrote.
time_once() {
  rm -rf "$g_out"
  mkdir -p "$g_out"
  # What the previous command wrote is flushed first, so that its writeback is not billed to
  # this one (GraphicsMagick writes half a gigabyte of A4 pages).
  sync -f "$g_out"
  local start end
  start=$EPOCHREALTIME
  "${g_probe[@]}" "$g_work/peak" "$@" >"$g_log" 2>&1 || true
  end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" -v said="$(tail -n 1 "$g_work/peak")" \
    'BEGIN { n = split(said, f, " "); printf "%.4f %d %.4f\n", b - a, f[1], f[2] + f[3] }'
}

# Median wall seconds of RUNS runs of COMMAND (a shell-quoted string) through hyperfine; empty
# when hyperfine's report cannot be read, so that the caller falls back to its own loop.
hyperfine_median() {
  "$g_hyperfine" --runs "$g_runs" --shell=bash --style none \
    --prepare "rm -rf $(printf '%q' "$g_out") && mkdir -p $(printf '%q' "$g_out") && sync -f $(printf '%q' "$g_out")" \
    --export-json "$g_work/hyperfine.json" "$1" >/dev/null 2>&1 || return 0
  jq -r '.results[0].median // empty' "$g_work/hyperfine.json" 2>/dev/null || true
}

# Commands waiting for run_queue: keys and shell-quoted command lines.
g_queue_keys=()
g_queue_commands=()

# queue KEY COMMAND...: adds COMMAND to the commands the next run_queue measures. Its output
# folder is "$g_out", emptied before every run.
queue() {
  g_queue_keys+=("$1")
  shift
  g_queue_commands+=("$(printf '%q ' "$@")")
}

# Keeps what one run of KEY left behind: its peak memory, the files it wrote and the last line
# it printed. The last run's files and line are the ones kept. The bytes written matter when
# reading the times: the peers do not all write the same pixel depth.
record_run() {
  local key=$1 kib=${2:-0}
  ((kib > ${g_peak[$key]:-0})) && g_peak[$key]=$kib
  g_files[$key]=$(find "$g_out" -type f | wc -l)
  g_bytes[$key]=$(find "$g_out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  g_said[$key]=$(grep -v '^[[:space:]]*$' "$g_log" | tail -n 1 | cut -c 1-60 || true)
}

# Measures every queued command: the median wall time of RUNS runs, the highest peak memory
# among them, and what the last run left behind. Without hyperfine the commands take turns run
# by run, so that a burst of load from elsewhere on the machine weighs on all of them alike
# and their ratios stay fair.
run_queue() {
  local -A times=()
  local -A cpus=()
  local i key seconds kib cpu run median_time
  for i in "${!g_queue_keys[@]}"; do
    key=${g_queue_keys[$i]}
    g_peak[$key]=0
    median_time=""
    [ -n "$g_hyperfine" ] && median_time=$(hyperfine_median "${g_queue_commands[$i]}")
    if [ -n "$median_time" ]; then
      # One more run for the memory figure and the outcome, which hyperfine does not give.
      read -r seconds kib cpu < <(eval "time_once ${g_queue_commands[$i]}")
      record_run "$key" "$kib"
      g_time[$key]=$median_time
      g_cpu[$key]=$cpu
    fi
  done
  local -a order=("${!g_queue_keys[@]}") reversed=()
  for ((i = ${#order[@]} - 1; i >= 0; i--)); do
    reversed+=("${order[$i]}")
  done
  for ((run = 0; run < g_runs; run++)); do
    # Every other round runs backwards, so that no command always runs right after the same
    # one (a heavy command can slow the next).
    local -a round=("${order[@]}")
    ((run % 2)) && round=("${reversed[@]}")
    for i in "${round[@]}"; do
      key=${g_queue_keys[$i]}
      [ -n "${g_time[$key]:-}" ] && continue
      read -r seconds kib cpu < <(eval "time_once ${g_queue_commands[$i]}")
      record_run "$key" "$kib"
      times[$key]+="$seconds "
      cpus[$key]+="$cpu "
    done
  done
  for key in "${g_queue_keys[@]}"; do
    # shellcheck disable=SC2086  # the times are split into one number a line
    [ -n "${times[$key]:-}" ] && g_time[$key]=$(printf '%s\n' ${times[$key]} | median)
    # shellcheck disable=SC2086
    [ -n "${cpus[$key]:-}" ] && g_cpu[$key]=$(printf '%s\n' ${cpus[$key]} | median)
    note "$(printf '%-36s %8.3f s %8.1f MiB' "$key" "${g_time[$key]}" "$(mib "${g_peak[$key]}")")"
  done
  g_queue_keys=()
  g_queue_commands=()
}

# How two BMP files differ: "same bytes", "same pixels" (ImageMagick's compare decodes both)
# or "pixels differ" (a missing file included).
bmp_difference() {
  if cmp -s "$1" "$2"; then
    echo "same bytes"
    return
  fi
  local scratch pixels
  scratch=$(mktemp -d)
  # Plain names: ImageMagick reads "[1]" in a page's name as a frame selector.
  cp "$1" "$scratch/a.bmp" 2>/dev/null && cp "$2" "$scratch/b.bmp" 2>/dev/null &&
    pixels=$(compare -metric AE "$scratch/a.bmp" "$scratch/b.bmp" null: 2>&1 || true)
  rm -rf "$scratch"
  if [ "${pixels:-}" = 0 ]; then echo "same pixels"; else echo "pixels differ"; fi
}

# KiB as MiB with one decimal.
mib() {
  awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'
}

# A / B with two decimals, or "-" when either is missing or B is zero.
ratio() {
  awk -v a="${1:-}" -v b="${2:-}" \
    'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "-"; else printf "%.2f", a / b }'
}

# Table header and rows of the measurement tables.
table_header() {
  sayf '  %-30s %-16s %9s %9s %6s %9s  %s\n' "case" "tool" "median s" "peak MiB" "files" \
    "out MiB" "${1:-}"
}

# table_row CASE TOOL KEY [REMARK]: one measured command; "n/a" when it was not measured.
table_row() {
  local case_name=$1 tool=$2 key=$3 remark=${4:-}
  if [ -z "${g_time[$key]:-}" ]; then
    sayf '  %-30s %-16s %9s %9s %6s %9s  %s\n' "$case_name" "$tool" n/a n/a - - "$remark"
    return
  fi
  sayf '  %-30s %-16s %9.3f %9s %6s %9s  %s\n' "$case_name" "$tool" "${g_time[$key]}" \
    "$(mib "${g_peak[$key]}")" "${g_files[$key]}" "$(mib $((g_bytes[$key] / 1024)))" "$remark"
}
