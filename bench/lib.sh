# shellcheck shell=bash
# The benchmarks' shared timing: sourced by bench/run and bench/spread.

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs the command given as words and prints its wall time in nanoseconds;
# fails, printing nothing, if the command fails.
nanoseconds() {
  local t0
  t0=$(date +%s%N)
  "$@" || return
  echo $(($(date +%s%N) - t0))
}

# Runs two commands alternately, N pairs, alternating which goes first, and
# prints the median seconds of each, then the median, least and greatest of
# the pair ratios (ours over the peer's). Each command is given as words,
# never as text to evaluate, and prints the wall time of one run in
# nanoseconds; a command that fails prints nothing and so leaves the spread
# empty, which callers take as a failure.
#   compare N OURS... -- PEER...
compare() {
  local n=$1 a b i
  shift
  local -a ours=() peer=() ta=() tb=() ratios=()
  while [ "$1" != -- ]; do ours+=("$1"); shift; done
  shift
  peer=("$@")
  for ((i = 0; i < n; i++)); do
    if ((i % 2)); then
      b=$("${peer[@]}") && a=$("${ours[@]}") || return 0
    else
      a=$("${ours[@]}") && b=$("${peer[@]}") || return 0
    fi
    ta+=("$a"); tb+=("$b")
    ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.4f", a / b }')")
  done
  printf '%s %s %s %s\n' \
    "$(printf '%s\n' "${ta[@]}" | median | awk '{ printf "%.3f", $1 / 1e9 }')" \
    "$(printf '%s\n' "${tb[@]}" | median | awk '{ printf "%.3f", $1 / 1e9 }')" \
    "$(printf '%s\n' "${ratios[@]}" | median | awk '{ printf "%.3f", $1 }')" \
    "$(printf '%s\n' "${ratios[@]}" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }')"
}

# The machine the figures belong to, for the heading of a run.
machine() {
  echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, kernel $(uname -r)"
}
