# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmark scripts: timing with the two sides of a comparison interleaved
# (A B A B ...), so that a noisy machine slows both alike, and the table of goals.
# Needs: runs (how many runs of each side), work (a scratch folder); bench_start sets both.

# bench_start PACKAGES...: installs what the benchmark needs besides the build's own, builds
# the plain build, makes the scratch folder (removed at the end) and says which machine this
# is. Sets runs (RUNS, default 5), cli, work and rows.
bench_start() {
  runs=${RUNS:-5}
  PELORIX_EXTRA_PACKAGES="$*" scripts/setup-deps.sh
  scripts/build.sh plain >/dev/null
  export cli=$PWD/build/src/cli/pelorix-cli
  export work
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  rows=()
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs);" \
    "median of $runs runs, sides interleaved"
}

# once NAME: runs the shell function NAME once under /usr/bin/time into $work/o (emptied
# first); prints "seconds peak-KiB".
once() {
  rm -rf "$work/o"
  mkdir -p "$work/o"
  /usr/bin/time -f "%e %M" -o "$work/time" bash -c "$(declare -f "$1"); $1" >/dev/null \
    2>"$work/err" || { cat "$work/err" >&2; echo "failed: $1" >&2; exit 1; }
  cat "$work/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }

# pair A B: runs the functions A and B alternately, $runs times each; sets TIME_A, TIME_B
# (median seconds), PEAK_A, PEAK_B (largest peak, MiB) and BYTES_A, BYTES_B (the output's size
# after each side's last run).
pair() {
  local a_times=() b_times=() a_peaks=() b_peaks=() i t m
  for i in $(seq "$runs"); do
    read -r t m < <(once "$1")
    a_times+=("$t")
    a_peaks+=("$m")
    BYTES_A=$(du -sb "$work/o" | cut -f1)
    read -r t m < <(once "$2")
    b_times+=("$t")
    b_peaks+=("$m")
    BYTES_B=$(du -sb "$work/o" | cut -f1)
  done
  TIME_A=$(printf '%s\n' "${a_times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  TIME_B=$(printf '%s\n' "${b_times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  PEAK_A=$(($(printf '%s\n' "${a_peaks[@]}" | sort -g | tail -1) / 1024))
  PEAK_B=$(($(printf '%s\n' "${b_peaks[@]}" | sort -g | tail -1) / 1024))
}

fps() { echo "$1 / $2" | bc -l | xargs printf '%.1f'; }
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }
# row GOAL PELORIX PEER RATIO TARGET: TARGET like ">=8" or "<=1"
row() {
  local met
  met=$(echo "$4 ${5:0:2} ${5:2}" | bc -l)
  rows+=("$(printf '%-50s %12s %12s %8s %8s %4s' "$1" "$2" "$3" "$4" "$5" "$([ "$met" = 1 ] && echo yes || echo NO)")")
}
print_rows() {
  printf '%-50s %12s %12s %8s %8s %4s\n' goal pelorix peer ratio target met
  printf '%s\n' "${rows[@]}"
}
