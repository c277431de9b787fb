#!/usr/bin/env bash
# The real program left alone with a mixed list for a long time, in the test
# network's namespaces (tests/net/test_network.sh). HOSTS hosts at Delay 2 to
# 5 s, in every 20: 8 answered by the peer's kernel, 2 with half their
# requests dropped at random, 2 dropped, 3 that flap (dropped for 20 s,
# answered for 20 s), 4 rejected by the router with one of seven ICMP errors,
# 1 name under .invalid that no name server knows. Flapping and dropping hosts
# send popups to this computer, so the popup boxes fill up and stay bounded.
#
# Once a minute it prints the program's resident set (VmRSS, RssAnon), threads,
# open descriptors, CPU share and popup boxes shown. After SECONDS it sends
# SIGTERM and compares the rows the program reports (KELVORAN_ROW_REPORT) with
# what the router's iptables rules counted for each host.
#
#   bench/soak.sh KELVORAN RESPONDER [SECONDS] [HOSTS]
#   e.g. bench/soak.sh build/ui/kelvoran build/tests/echo_responder 3600
#
# Root only (namespaces). Runs itself under tests/ui/with-xvfb when no DISPLAY
# is set. A benchmark, not a test: it reports figures and fails (exit 1) only
# on a broken invariant: the program died or exited non-zero, a row is
# missing, Sent != Received + Failed, or KELVORAN.INI changed.
set -euo pipefail
usage="usage: soak.sh KELVORAN RESPONDER [SECONDS] [HOSTS]"
here=$(dirname "$(realpath "$0")")
[[ -n "${DISPLAY:-}" ]] || exec "$here/../tests/ui/with-xvfb" "$0" "$@"
kelvoran=$(realpath "${1:?$usage}")
responder=$(realpath "${2:?$usage}")
seconds=${3:-3600}
hosts=${4:-200}
[[ $EUID -eq 0 ]] || { echo "soak.sh needs root to build network namespaces" >&2; exit 2; }
network=$here/../tests/net/test_network.sh
source "$here/probe_namespace_lib.sh"
# test_network.sh removes kvp-<pid>-* of processes that died without tearing down.
prefix=kvp-$$
router=$prefix-router
scratch=$(mktemp -d)
app=
flapper=
broken=()
cleanup() {
  [[ -n "$flapper" ]] && kill "$flapper" 2>/dev/null
  [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
  bash "$network" down "$prefix" || true
  if ((${#broken[@]})); then echo "kept for inspection: $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT

# Addresses stay inside 198.19.0.0/16 (RFC 2544 test range) and only inside
# the namespaces: kind K gets 198.19.16K.0/20, all routed by the router to the
# peer, whose kernel answers the whole /16; the router's FORWARD rules decide
# which requests get there.
readonly rejects=(icmp-net-unreachable icmp-host-unreachable icmp-port-unreachable
  icmp-proto-unreachable icmp-net-prohibited icmp-host-prohibited icmp-admin-prohibited)
block() { echo "198.19.$((16 * $1)).0/20"; }
# Kinds as make_host_table numbers them.
readonly LOSS=2 DROPPING=3 FLAPPING=4 FIRST_REJECT=5

# hosts table: section, host, kind, delay, popup (1 = popup to this computer).
make_host_table() {
  awk -v n="$hosts" -v rejects="${rejects[*]}" 'BEGIN {
    split(rejects, reject, " ")
    for (i = 0; i < n; i++) {
      slot = i % 20
      if (slot < 8) k = 1; else if (slot < 10) k = 2; else if (slot < 12) k = 3
      else if (slot < 15) k = 4; else if (slot < 19) k = 5 + rejected++ % 7; else k = 0
      kind = k == 0 ? "unresolvable" : k == 1 ? "answering" : k == 2 ? "loss-50%" : \
             k == 3 ? "dropping" : k == 4 ? "flapping" : reject[k - 4]
      m = used[k]++
      host = k == 0 ? sprintf("kv-soak-%d.invalid", m) : \
             sprintf("198.19.%d.%d", 16 * k + int(m / 250), m % 250 + 1)
      popup = k == 4 || (k == 3 && m % 2 == 0)
      printf "h%d %s %s %d %d\n", i, host, kind, 2 + i % 4, popup
    }
  }' >"$scratch/hosts"
}

# Flapping hosts say who they are (each its own box until twenty are open);
# dropping hosts share one text (one box that counts repeats).
write_settings() {
  local computer
  computer=$(hostname)
  awk -v computer="$computer" '{
    printf "[%s]\nHost=%s\nDescription=%s\nDelay=%d\nTimeout=1\nFailPeriod=6\nSuccessPeriod=4\n",
           $1, $2, $3, $4
    if ($5) printf "PopupDestination=%s\nPopupMessage=%s\n", computer,
                   $3 == "flapping" ? "soak: " $2 " stopped answering" : "soak: a dropping host is down"
  }' "$scratch/hosts" >"$scratch/KELVORAN.INI"
  cp "$scratch/KELVORAN.INI" "$scratch/settings-before"
  mkdir -p "$scratch/Brindlecot"
  # Every host may start in the same tick: none waits past its Delay.
  printf '[Options]\nProbesPerSecond=%d\n' $((hosts < 500 ? hosts : 500)) \
    >"$scratch/Brindlecot/Kelvoran by Brindlecot.conf"
}

# One RETURN rule per host and direction in chain kvsoak, first in FORWARD:
# its packet counters are what the network saw of each host, before any drop.
network_rules() {
  local k
  echo "*filter"
  echo ":kvsoak - [0:0]"
  echo "-I FORWARD 1 -j kvsoak"
  awk '$3 != "unresolvable" {
    printf "-A kvsoak -d %s -p icmp --icmp-type echo-request -j RETURN\n", $2
    printf "-A kvsoak -s %s -p icmp --icmp-type echo-reply -j RETURN\n", $2
  }' "$scratch/hosts"
  echo "-A FORWARD -d $(block $LOSS) -m statistic --mode random --probability 0.5 -j DROP"
  echo "-A FORWARD -d $(block $DROPPING) -j DROP"
  for k in "${!rejects[@]}"; do
    echo "-A FORWARD -d $(block $((FIRST_REJECT + k))) -j REJECT --reject-with ${rejects[k]}"
  done
  echo "COMMIT"
}

build_network() {
  bash "$network" up "$prefix" "$responder"
  ip -n "$prefix-peer" route add local 198.19.0.0/16 dev lo
  ip -n "$router" route add 198.19.0.0/16 via 198.18.5.2
  network_rules | ip netns exec "$router" iptables-restore --noflush
  # Evidence that nothing leaves: the probe namespace has no way out anyway.
  ip netns exec "$prefix-probe" iptables -A OUTPUT ! -o lo ! -d 198.18.0.0/15
  ip netns exec "$prefix-probe" iptables -A OUTPUT -o lo -p udp --dport 53
}

# Drops the flapping block for 20 s, answers it for 20 s, over and over.
flap() {
  local rule=(FORWARD -d "$(block $FLAPPING)" -j DROP)
  while sleep 20; do
    ip netns exec "$router" iptables -A "${rule[@]}"
    echo >>"$scratch/flaps"
    sleep 20
    ip netns exec "$router" iptables -D "${rule[@]}"
  done
}

hz=$(getconf CLK_TCK)
status_kb() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$app/status"; }
popup_boxes() {
  { xdotool search --all --onlyvisible --pid "$app" --name '^Kelvoran Notification$' 2>/dev/null ||
    true; } | wc -l
}

# Prints a line a minute; keeps the RssAnon of the 5-minute sample (of the
# first one when the run is shorter than 10 minutes) and of the last.
sample_every_minute() {
  local minute=0 ticks last_ticks last_elapsed=0 now elapsed anon
  last_ticks=$(cpu_ticks "$app")
  printf '%7s %9s %9s %7s %5s %6s %6s\n' time VmRSS RssAnon threads fds CPU boxes
  while ((SECONDS - started < seconds)); do
    ((minute += 1))
    now=$((started + 60 * minute))
    ((now - started > seconds)) && now=$((started + seconds))
    sleep $((now > SECONDS ? now - SECONDS : 0))
    kill -0 "$app" 2>/dev/null || { broken+=("the program died during the run"); return; }
    ticks=$(cpu_ticks "$app")
    elapsed=$((SECONDS - started))
    anon=$(status_kb RssAnon)
    printf '%6ds %6d kB %6d kB %7d %5d %5.1f%% %6d\n' "$elapsed" "$(status_kb VmRSS)" "$anon" \
      "$(status_kb Threads)" "$(find "/proc/$app/fd" -mindepth 1 | wc -l)" \
      "$(awk -v t=$((ticks - last_ticks)) -v hz="$hz" -v s=$((elapsed - last_elapsed)) \
        'BEGIN { print (s > 0 ? 100 * t / hz / s : 0) }')" "$(popup_boxes)"
    last_ticks=$ticks last_elapsed=$elapsed
    if ((minute == 5 || (minute == 1 && seconds < 600))); then
      baseline_anon=$anon baseline_at=$elapsed
    fi
    last_anon=$anon
  done
}

close_program() {
  local status=0
  kill -TERM "$app"
  if ! timeout 60 tail --pid="$app" -f /dev/null; then
    broken+=("the program did not close within 60 s of SIGTERM")
    return
  fi
  wait "$app" || status=$?
  app=
  ((status == 0)) || broken+=("exit status $status after SIGTERM")
}

# kvsoak's counters as "host requests replies" lines; the FORWARD rules'
# packets by the block they match.
read_counters() {
  ip netns exec "$router" iptables-save -c -t filter >"$scratch/rules"
  # Lines read "[packets:bytes] -A CHAIN -d|-s ADDRESS ...".
  awk '/-A kvsoak/ {
      split($1, c, /[^0-9]+/); host = $5; sub(/\/32$/, "", host)
      if ($0 ~ /icmp-type 8/) requests[host] = c[2]; else replies[host] = c[2]
    }
    END { for (h in requests) print h, requests[h], replies[h] }' "$scratch/rules" >"$scratch/counters"
  awk '/-A FORWARD -d 198\.19\./ { split($1, c, /[^0-9]+/); print $5, c[2] }' "$scratch/rules" \
    >"$scratch/blocks"
}

# Sent = Received + Failed for every row; every host has its row.
check_rows() {
  [[ -s "$scratch/rows" ]] || { broken+=("no row report"); return; }
  local rows unbalanced
  rows=$(wc -l <"$scratch/rows")
  ((rows == hosts)) || broken+=("$rows rows reported for $hosts hosts")
  unbalanced=$(awk -F'\t' '$5 != $11 + $12 { print $2 ": sent " $5 ", received " $11 ", failed " $12 }' \
    "$scratch/rows")
  [[ -z "$unbalanced" ]] || broken+=("Sent != Received + Failed: $unbalanced")
  cmp -s "$scratch/KELVORAN.INI" "$scratch/settings-before" || broken+=("KELVORAN.INI changed")
}

# Per kind: rows, statuses at the end, Sent against elapsed / Delay, received
# and failed; then how each host's counters compare with the router's.
report_rows() {
  local elapsed=$1
  echo
  echo "== rows by kind (statuses at the end; Sent against $elapsed s / Delay)"
  printf '%-24s %5s %5s %5s %5s %8s %8s %8s %6s %6s\n' kind hosts OK WARN ERR sent received \
    failed kept lowest
  awk -F'\t' -v elapsed="$elapsed" -v kinds="$scratch/kinds" '
    FILENAME == ARGV[1] { split($0, f, " "); kind[f[2]] = f[3]; delay[f[2]] = f[4]; next }
    {
      k = kind[$2]; n[k]++; st[k, $1]++; sent[k] += $5; recv[k] += $11; fail[k] += $12
      keep = $5 / int(elapsed / delay[$2]); ratio[k] += keep
      if (!(k in low) || keep < low[k]) low[k] = keep
    }
    END {
      for (k in n) print k, fail[k] >kinds
      for (k in n)
        printf "%-24s %5d %5d %5d %5d %8d %8d %8d %5.0f%% %5.0f%%\n", k, n[k], st[k, 0], st[k, 1],
               st[k, 2], sent[k], recv[k], fail[k], 100 * ratio[k] / n[k], 100 * low[k]
    }' "$scratch/hosts" "$scratch/rows" | sort
  echo "(kept: Sent / (elapsed / Delay), mean and lowest; a probe starts on a whole-second tick)"
}

kind_of_block() {
  local k
  case $1 in
    "$(block $LOSS)") echo loss-50% ;;
    "$(block $DROPPING)") echo dropping ;;
    "$(block $FLAPPING)") echo flapping ;;
    *) for k in "${!rejects[@]}"; do
      if [[ "$1" == "$(block $((FIRST_REJECT + k)))" ]]; then echo "${rejects[k]}"; fi
    done ;;
  esac
}

# Requests the router forwarded can exceed Sent by the one probe in flight at
# the close; replies it forwarded can exceed Received by that probe's reply or
# by a reply that came after the 1 s time-out. Anything else is a mismatch.
report_network() {
  echo
  echo "== the program's counts against the router's (per host)"
  awk -F'\t' '
    FILENAME == ARGV[1] { split($0, f, " "); requests[f[1]] = f[2]; replies[f[1]] = f[3]; next }
    ($2 in requests) {
      hosts++; dq = requests[$2] - $5; dr = replies[$2] - $11
      sq += dq; sr += dr
      if (dq < 0 || dq > 1 || dr < 0 || dr > 1) {
        off++
        if (off <= 10) printf "  mismatch %s: sent %d, router requests %d; received %d, router replies %d\n",
                              $2, $5, requests[$2], $11, replies[$2]
      }
    }
    END {
      printf "hosts compared: %d; outside the in-flight allowance: %d\n", hosts, off
      printf "router requests - Sent, summed: %d; router replies - Received, summed: %d\n", sq, sr
    }' "$scratch/counters" "$scratch/rows"
  echo "requests the router dropped or rejected, by rule, against the failures the program counted:"
  printf '  %-16s %-24s %8s %8s\n' block kind router program
  local kind
  while read -r destination packets; do
    kind=$(kind_of_block "$destination")
    printf '  %-16s %-24s %8d %8s\n' "$destination" "$kind" "$packets" \
      "$(awk -v k="$kind" '$1 == k && k != "flapping" { print $2 }' "$scratch/kinds")"
  done <"$scratch/blocks"
  echo "  (the flapping block's DROP rule is made anew each time, so its count is for the last"
  echo "   20 s at most; its failures show as router requests without router replies above)"
  ip netns exec "$prefix-probe" iptables -L OUTPUT -v -n -x | awk '
    /udp dpt:53/ { printf "queries to the probe namespace'"'"'s own resolver (127.0.0.1): %d\n", $1 }
    /!198\.18\.0\.0\/15/ { printf "packets from the probe namespace to any other address: %d\n", $1 }'
}

report_memory() {
  echo
  echo "== memory"
  if [[ -n "${baseline_anon:-}" && -n "${last_anon:-}" ]]; then
    echo "RssAnon from ${baseline_at} s to the end: ${baseline_anon} kB -> ${last_anon} kB" \
      "($((last_anon - baseline_anon)) kB)"
  else
    echo "RssAnon growth: fewer than two samples"
  fi
}

make_host_table
write_settings
build_network
echo "soak: $hosts hosts for $seconds s; kinds per 20 hosts: 8 answering, 2 loss-50%," \
  "2 dropping, 3 flapping (20 s on/off), 4 rejected (7 ICMP errors), 1 unresolvable"
flap &
flapper=$!
start_in_probe_namespace "$scratch" "$prefix" "$kelvoran"
started=$SECONDS
sample_every_minute
elapsed=$((SECONDS - started))
kill "$flapper" 2>/dev/null || true
flapper=
if kill -0 "$app" 2>/dev/null; then
  close_program
else
  wait "$app" || broken+=("exit status $? before SIGTERM")
  app=
fi
read_counters
check_rows
if [[ -s "$scratch/rows" ]]; then
  report_rows "$elapsed"
  report_network
fi
report_memory
echo "flapping block dropped $(wc -l <"$scratch/flaps" 2>/dev/null || echo 0) times"
if [[ -s "$scratch/output" ]]; then
  echo "program output: $(wc -l <"$scratch/output") lines, the last ones:"
  tail -n 5 "$scratch/output"
fi

echo
if ((${#broken[@]})); then
  printf 'BROKEN: %s\n' "${broken[@]}"
  exit 1
fi
echo "invariants hold: exit status 0, every row has Sent = Received + Failed," \
  "KELVORAN.INI unchanged"
