# shellcheck shell=bash
# Helpers for bench/run: timing and peak memory of one command, and the results table.
# Sourced, not run. bench_init must come first.

# Per measurement key: median wall seconds, peak KiB, files written, last line printed.
# shellcheck disable=SC2034  # g_said is read by bench/run
declare -A g_time=() g_peak=() g_files=() g_said=()

# bench_init RUNS WORK_FOLDER RESULTS_FILE PEAK_RSS_PROGRAM
bench_init() {
  g_runs=$1
  g_work=$2
  g_results=$3
  g_out="$g_work/out"
  g_log="$g_work/last.log"
  mkdir -p "$g_work"
  : >"$g_results"
  # time(1) and the fallback probe both take the report file first, then the command; both
  # report the largest single process of the tree they waited for.
  if [ -x /usr/bin/time ]; then
    g_probe=(/usr/bin/time -f %M -o)
  else
    g_probe=("$4")
  fi
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

# Runs COMMAND once with a fresh, empty output folder and prints "SECONDS PEAK_KIB". The
# command's own output goes to the log. Its exit status is not judged here: kestrelix always
# exits 0, so success is read from the files it wrote.
time_once() {
  rm -rf "$g_out"
  mkdir -p "$g_out"
  local start end
  start=$EPOCHREALTIME
  "${g_probe[@]}" "$g_work/peak" "$@" >"$g_log" 2>&1 || true
  end=$EPOCHREALTIME
  # time(1) puts a line about a non-zero exit status before the figure.
  awk -v a="$start" -v b="$end" -v kib="$(tail -n 1 "$g_work/peak")" \
    'BEGIN { printf "%.4f %d\n", b - a, kib }'
}

# Median wall seconds of RUNS runs of COMMAND through hyperfine; empty when hyperfine's
# report cannot be read, so that the caller falls back to its own loop.
hyperfine_median() {
  local command
  command=$(printf '%q ' "$@")
  "$g_hyperfine" --runs "$g_runs" --shell=bash --style none \
    --prepare "rm -rf $(printf '%q' "$g_out") && mkdir -p $(printf '%q' "$g_out")" \
    --export-json "$g_work/hyperfine.json" "$command" >/dev/null 2>&1 || return 0
  jq -r '.results[0].median // empty' "$g_work/hyperfine.json" 2>/dev/null || true
}

# measure KEY COMMAND...: the median wall time of RUNS runs of COMMAND, the highest peak
# memory among them, and what the last run left behind (files written, last line printed).
# The output folder of the command is "$g_out"; it is emptied before every run.
measure() {
  local key=$1
  shift
  local times=() peak=0 seconds kib run
  local hyperfine_time=""
  [ -n "$g_hyperfine" ] && hyperfine_time=$(hyperfine_median "$@")
  if [ -n "$hyperfine_time" ]; then
    # One more run for the memory figure and the outcome, which hyperfine does not give.
    read -r seconds peak < <(time_once "$@")
    g_time[$key]=$hyperfine_time
  else
    for ((run = 0; run < g_runs; run++)); do
      read -r seconds kib < <(time_once "$@")
      times+=("$seconds")
      ((kib > peak)) && peak=$kib
    done
    g_time[$key]=$(printf '%s\n' "${times[@]}" | median)
  fi
  g_peak[$key]=$peak
  g_files[$key]=$(find "$g_out" -type f | wc -l)
  g_said[$key]=$(grep -v '^[[:space:]]*$' "$g_log" | tail -n 1 | cut -c 1-60 || true)
  note "$(printf '%-36s %8.3f s %8.1f MiB' "$key" "${g_time[$key]}" "$(mib "$peak")")"
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
  sayf '  %-30s %-16s %10s %10s %6s  %s\n' "case" "tool" "median s" "peak MiB" "files" \
    "${1:-}"
}

# table_row CASE TOOL KEY [REMARK]: one measured command; "n/a" when it was not measured.
table_row() {
  local case_name=$1 tool=$2 key=$3 remark=${4:-}
  if [ -z "${g_time[$key]:-}" ]; then
    sayf '  %-30s %-16s %10s %10s %6s  %s\n' "$case_name" "$tool" n/a n/a - "$remark"
    return
  fi
  sayf '  %-30s %-16s %10.3f %10s %6s  %s\n' "$case_name" "$tool" "${g_time[$key]}" \
    "$(mib "${g_peak[$key]}")" "${g_files[$key]}" "$remark"
}
