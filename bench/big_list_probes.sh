#!/usr/bin/env bash
# The real program probing a big list for real: HOSTS hosts in the test
# network's namespaces (tests/net/test_network.sh), 8 in 10 answered by the
# kernel, 1 in 10 dropped, 1 in 10 rejected with ICMP errors, all at Delay 10
# with RATE probes started per second, for SECONDS. Prints the process's CPU
# share, its largest thread count, its resident set once a minute, and from
# the rows it reports at close: how many probes each host got against the
# SECONDS / 10 expected, and whether Sent = Received + Failed everywhere.
#
#   tests/ui/with-xvfb bench/big_list_probes.sh KELVORAN RESPONDER [HOSTS] [RATE] [SECONDS]
#
# Root only (namespaces). A benchmark, not a test: it never fails on figures.
set -euo pipefail
kelvoran=$(realpath "${1:?usage: big_list_probes.sh KELVORAN RESPONDER [HOSTS] [RATE] [SECONDS]}")
responder=$(realpath "${2:?usage: big_list_probes.sh KELVORAN RESPONDER [HOSTS] [RATE] [SECONDS]}")
hosts=${3:-5000}
rate=${4:-500}
seconds=${5:-600}
# shellcheck source=bench/probe_namespace_lib.sh
source "$(dirname "$0")/probe_namespace_lib.sh"
use_test_network "$(dirname "$0")/../tests/net/test_network.sh"

bash "$network" up "$prefix" "$responder"
route_big_address_space "$prefix"
mkdir -p "$scratch/Brindlecot"
big_host_list "$hosts" >"$scratch/KELVORAN.INI"
printf '[Options]\nProbesPerSecond=%d\n' "$rate" >"$scratch/Brindlecot/Kelvoran by Brindlecot.conf"

start_in_probe_namespace "$scratch" "$prefix" "$kelvoran"
started=$SECONDS
hz=$(getconf CLK_TCK)
threads() { awk '/^Threads:/ { print $2 }' "/proc/$app/status"; }
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$app/status"; }

sleep 60
cpu_start=$(cpu_ticks "$app")
most_threads=0
echo "RSS after the first minute: $(rss) kB"
while ((SECONDS - started < seconds)); do
  sleep 1
  t=$(threads)
  ((t > most_threads)) && most_threads=$t
  (((SECONDS - started) % 60 == 0)) && echo "RSS at $((SECONDS - started)) s: $(rss) kB"
done
cpu_end=$(cpu_ticks "$app")
awk -v t=$((cpu_end - cpu_start)) -v hz="$hz" -v s=$((seconds - 60)) \
  'BEGIN { printf "CPU after the first minute: %.1f %% of one core\n", 100 * t / hz / s }'
echo "most threads: $most_threads"
kill -TERM "$app"
wait "$app" || echo "kelvoran exited with $?"
app=

# Row report: status, host, description, delay, sent, % OK, ...
awk -F'\t' -v expect=$((seconds / 10)) '
  { sent = $5; probes[sent]++; total++
    if (sent < expect - 1 || sent > expect + 1) off++ }
  END {
    printf "hosts reported: %d; probes per host (expected %d +- 1):", total, expect
    for (p in probes) printf " %d x%d", p, probes[p]
    printf "\nhosts outside: %d\n", off
  }' "$scratch/rows"
