# Shared by the benchmark scripts: best-of-RUNS wall times and their ratio.
runs=${RUNS:-1}

best() {  # best wall time of $runs runs of the command, in seconds
  local b="" t s e
  for _ in $(seq "$runs"); do
    s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}

# Splits QUARNEL-COMMAND... -- PEER-COMMAND... into the caller's arrays q and p.
split_sides() {
  q=(); p=()
  while [ "$1" != "--" ]; do q+=("$1"); shift; done
  shift
  p=("$@")
}

# compare NAME PEER -- QUARNEL-COMMAND... -- PEER-COMMAND...
compare() {
  local name=$1 peer=$2; shift 3
  local q p
  split_sides "$@"
  local tq tp
  tq=$(best "${q[@]}")
  tp=$(best "${p[@]}")
  printf '%-14s quarnel %7.2f s   %-16s %7.2f s   ratio %.2f\n' "$name" "$tq" "$peer" "$tp" "$(echo "$tp / $tq" | bc -l)"
}

peak() {  # peak resident memory of the command, in MiB
  python3 -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("%.1f" % (resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024))' "$@"
}

# memory NAME PEER -- QUARNEL-COMMAND... -- PEER-COMMAND...: peak resident memory of both
memory() {
  local name=$1 peer=$2; shift 3
  local q p
  split_sides "$@"
  printf '%-14s quarnel %7s MiB %-16s %7s MiB (peak resident)\n' "$name" "$(peak "${q[@]}")" "$peer" "$(peak "${p[@]}")"
}
