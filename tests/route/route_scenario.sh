# shellcheck shell=bash disable=SC2154  # variables the sourcing script sets
# What the real program's end-to-end runs behind route_network.sh's three
# routers share, on Linux and under Wine: the host to watch, the drops at r2,
# r3 and the destination in turn, and what the history must hold afterwards.
# Sourced, not run; the script sets network (route_network.sh), prefix,
# scratch (its folder), history (the KELVORAN.HISTORY file) and app (the
# program's process while it runs).

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# tear_down: the program, if still running, the network and the scratch
# folder (kept, and named, with KEEP_SCRATCH set).
tear_down() {
  [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null || true
  bash "$network" down "$prefix" || true
  [[ -n "${KEEP_SCRATCH:-}" ]] && echo "kept $scratch" || rm -rf "$scratch"
}

# write_hosts FILE [LINE_END]: a KELVORAN.INI of the destination, which moves
# at its first result (fail and success periods of 0).
write_hosts() {
  local line
  for line in '[dest]' Host=198.18.44.2 Delay=1 Timeout=1 FailPeriod=0 SuccessPeriod=0; do
    printf '%s%s\n' "$line" "${2:-}"
  done >"$1"
}

# drop_in_turn: the program keeps its history file locked while it runs, so
# it is read once the program has closed, and each step waits long enough to
# happen: the baseline within 6 s of the start; a host in ERROR within 3 s of
# the drop, its path (three rounds of 1 s) within 5 s more; OK again within
# 3 s of the pass.
drop_in_turn() {
  local node
  sleep 6
  for node in r2 r3 dest; do
    bash "$network" drop "$prefix" "$node"
    sleep 9
    bash "$network" pass "$prefix" "$node"
    sleep 5
  done
}

# paths REASON: one line per recorded path of that reason (0 baseline,
# 1 outage), oldest first: its last answering hop and address.
paths() {
  sqlite3 "$history" "SELECT (SELECT hop || ' ' || address FROM route_hops
      WHERE trace = t.id AND received > 0 ORDER BY hop DESC LIMIT 1)
    FROM route_traces t WHERE reason = $1 ORDER BY time, id"
}

# expect_paths_end_before_each_drop: one outage per drop, each path ending at
# the hop before the one dropping, after a baseline that reached the host.
expect_paths_end_before_each_drop() {
  local errors expected=$'1 198.18.41.1\n2 198.18.42.2\n3 198.18.43.2'
  [[ -s "$history" ]] || fail "no history at $history"
  errors=$(sqlite3 "$history" "SELECT count(*) FROM changes WHERE after_status = 2")
  [[ "$errors" == 3 ]] || fail "$errors entries into ERROR, expected 3 (one per drop)"
  [[ $(paths 0 | head -1) == "4 198.18.44.2" ]] || fail "baseline: $(paths 0 | head -1)"
  [[ $(paths 1) == "$expected" ]] ||
    fail "outage paths end at '$(paths 1 | tr '\n' ';')', expected r1, r2, r3 in turn"
  echo "each outage's path ends at the hop before the one dropping"
}
