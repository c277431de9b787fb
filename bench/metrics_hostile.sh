#!/usr/bin/env bash
# kelvoran --headless --metrics probing for real in the test network's
# namespaces (tests/net/test_network.sh, with the big address space of
# probe_namespace_lib.sh), at Delay HOSTS / 100 s: 100 probes per second. It
# measures two WINDOW-second windows, the first with only a plain scraper
# (one scrape every 5 s), the second with hostile clients besides it: IDLE
# connections that say nothing, reopened once a second when the server
# closes them; SLOW connections trickling a request header a byte a second
# (slow loris); a request with a 1 MB header once a second. For each window
# it prints the probing pace (probes sent per second: the sum of
# kelvoran_probes_sent_total, read from the endpoint at both ends), the
# program's CPU share, its largest resident set and descriptor count, and the
# plain scrapes' times. Then it runs the program alone with BIG_HOSTS hosts
# and prints the median and largest time of 20 scrapes of /metrics and the
# size of the answer.
#
#   bench/metrics_hostile.sh KELVORAN RESPONDER [HOSTS] [WINDOW] [BIG_HOSTS] [IDLE] [SLOW]
#   e.g. bench/metrics_hostile.sh build/ui/kelvoran build/tests/echo_responder 1000 60 5000
#
# Root only (namespaces). Every client runs in the probe namespace and talks
# only to the namespace's own loopback. A benchmark, not a test: it never
# fails on figures.
set -euo pipefail
usage="usage: metrics_hostile.sh KELVORAN RESPONDER [HOSTS] [WINDOW] [BIG_HOSTS] [IDLE] [SLOW]"
here=$(dirname "$(realpath "$0")")
kelvoran=$(realpath "${1:?$usage}")
responder=$(realpath "${2:?$usage}")
hosts=${3:-1000}
window=${4:-60}
big_hosts=${5:-5000}
idle=${6:-1000}
slow=${7:-10}
[[ $EUID -eq 0 ]] || { echo "metrics_hostile.sh needs root to build network namespaces" >&2; exit 2; }
# shellcheck source=bench/probe_namespace_lib.sh
source "$here/probe_namespace_lib.sh"
use_test_network "$here/../tests/net/test_network.sh"
# Without a display or a session bus: as the program runs as a service.
unset DISPLAY WAYLAND_DISPLAY
export DBUS_SESSION_BUS_ADDRESS=disabled:
port=9765
url=http://127.0.0.1:$port/metrics

in_ns() { ip netns exec "$prefix-probe" "$@"; }

# run_program HOSTS: the program alone in its own folder, serving metrics.
# Twice the probes per second the list needs: a dropped probe (Timeout 1)
# holds its place for two ticks.
run_program() {
  local folder=$scratch/list-$1
  mkdir -p "$folder/Brindlecot"
  big_host_list "$1" "$(delay_for "$1")" >"$folder/KELVORAN.INI"
  printf '[Options]\nProbesPerSecond=200\n' >"$folder/Brindlecot/Kelvoran by Brindlecot.conf"
  start_in_probe_namespace "$folder" "$prefix" "$kelvoran" --headless --metrics "127.0.0.1:$port"
  for _ in $(seq 100); do
    grep -q "Metrics for Prometheus at" "$folder/output" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "the program did not serve metrics:" >&2
  cat "$folder/output" >&2
  exit 1
}
delay_for() { echo $((($1 + 99) / 100)); }

stop_program() {
  kill -TERM "$app"
  wait "$app" || echo "kelvoran exited with $?"
  app=
}

# probes_sent: the time and the sum of every host's sent counter.
probes_sent() {
  local sum
  sum=$(in_ns curl -sS --max-time 60 "$url" |
    awk '/^kelvoran_probes_sent_total\{/ { s += $NF } END { print s + 0 }')
  echo "$EPOCHREALTIME $sum"
}

# plain_scrapes SECONDS FILE: one scrape every 5 s, its status and time.
plain_scrapes() {
  local end=$((SECONDS + $1))
  while ((SECONDS < end)); do
    in_ns curl -s -o /dev/null --max-time 30 -w '%{http_code} %{time_total}\n' "$url" >>"$2" || true
    sleep 5
  done
}

# timing_summary FILE: how many answered 200, median and largest time.
timing_summary() {
  sort -k2 -g "$1" | awk '
    { time[NR] = $2; if ($1 == 200) ok++ }
    END { printf "%d of %d answered 200, median %.3f s, max %.3f s\n",
          ok, NR, time[int((NR + 1) / 2)], time[NR] }'
}

# measure_window LABEL: the pace, CPU, memory and descriptors over WINDOW
# seconds, with the plain scraper running.
measure_window() {
  local start_time start_sent end_time end_sent start_cpu end_cpu scraper
  local rss most_rss=0 fds most_fds=0 end=$((SECONDS + window))
  read -r start_time start_sent < <(probes_sent)
  start_cpu=$(cpu_ticks "$app")
  plain_scrapes "$window" "$scratch/$1.scrapes" &
  scraper=$!
  while ((SECONDS < end)); do
    sleep 1
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app/status")
    fds=$(find "/proc/$app/fd" -mindepth 1 | wc -l)
    ((rss > most_rss)) && most_rss=$rss
    ((fds > most_fds)) && most_fds=$fds
  done
  read -r end_time end_sent < <(probes_sent)
  end_cpu=$(cpu_ticks "$app")
  wait "$scraper"
  awk -v sent=$((end_sent - start_sent)) -v t0="$start_time" -v t1="$end_time" \
    -v ticks=$((end_cpu - start_cpu)) -v hz="$(getconf CLK_TCK)" -v label="$1" 'BEGIN {
      printf "%s: %.1f probes/s (%d in %.1f s), CPU %.1f %% of one core\n",
             label, sent / (t1 - t0), sent, t1 - t0, 100 * ticks / hz / (t1 - t0) }'
  echo "  largest RSS ${most_rss} kB, most descriptors ${most_fds}"
  echo "  plain scrapes: $(timing_summary "$scratch/$1.scrapes")"
}

# hostile_clients SECONDS: IDLE silent connections and SLOW slow-loris ones,
# each reopened within a second when the server closes it; prints what
# happened at the end.
hostile_clients() {
  (ulimit -n $((idle + slow + 64)) &&
    exec ip netns exec "$prefix-probe" python3 - "$port" "$idle" "$slow" "$1" \
      "$scratch/hostile.ready" <<'PY'
import selectors, socket, sys, time

port, idle, slow, seconds, ready = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), \
    float(sys.argv[4]), sys.argv[5]
trickle = b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "
selector = selectors.DefaultSelector()
counts = {"opened": 0, "closed by the server": 0, "slow bytes sent": 0}
sent = {}  # slow-loris socket -> bytes of it sent so far


def connect(slow_loris):
    # Non-blocking: a connection waiting in the listen queue blocks nothing.
    sock = socket.socket()
    sock.setblocking(False)
    sock.connect_ex(("127.0.0.1", port))
    selector.register(sock, selectors.EVENT_READ, slow_loris)
    if slow_loris:
        sent[sock] = 0
    counts["opened"] += 1


def drop(sock):
    selector.unregister(sock)
    sent.pop(sock, None)
    sock.close()
    counts["closed by the server"] += 1


for _ in range(idle):
    connect(False)
for _ in range(slow):
    connect(True)
open(ready, "w").close()
end = time.monotonic() + seconds
next_second = time.monotonic()
while time.monotonic() < end:
    for key, _ in selector.select(timeout=max(0.0, next_second - time.monotonic())):
        try:
            closed = not key.fileobj.recv(65536)
        except (BlockingIOError, InterruptedError):
            closed = False
        except OSError:
            closed = True
        if closed:
            drop(key.fileobj)
    if time.monotonic() < next_second:
        continue
    next_second += 1
    for sock in list(sent):
        position = sent[sock]
        byte = trickle[position:position + 1] or b"a"
        try:
            sent[sock] += sock.send(byte)
            counts["slow bytes sent"] += 1
        except (BlockingIOError, InterruptedError):
            pass
        except OSError:
            drop(sock)
    held = len(selector.get_map())
    missing_slow = slow - len(sent)
    for _ in range(missing_slow):
        connect(True)
    for _ in range(idle + slow - held - missing_slow):
        connect(False)
print(", ".join(f"{name} {value}" for name, value in counts.items()))
PY
  )
}

# big_headers SECONDS FILE: a request with a 1 MB header once a second (curl
# takes at most 1 MiB of request), its status and time.
big_headers() {
  local end=$((SECONDS + $1))
  printf 'X-Big: %s\n' "$(head -c 1000000 /dev/zero | tr '\0' a)" >"$scratch/big-header"
  while ((SECONDS < end)); do
    in_ns curl -s -o /dev/null --max-time 30 -H "@$scratch/big-header" \
      -w '%{http_code} %{time_total}\n' "$url" >>"$2" || true
    sleep 1
  done
}

bash "$network" up "$prefix" "$responder" >/dev/null
route_big_address_space "$prefix"

run_program "$hosts"
# Two rounds of the list first: the pace is then steady.
sleep $((2 * $(delay_for "$hosts") + 5))
echo "$hosts hosts at Delay $(delay_for "$hosts") s, windows of $window s"
measure_window "alone"

hostile_clients $((window + 10)) >"$scratch/hostile.log" 2>&1 &
hostile=$!
big_headers $((window + 10)) "$scratch/big-headers" &
big=$!
for _ in $(seq 100); do [[ -e $scratch/hostile.ready ]] && break; sleep 0.1; done
sleep 2
measure_window "hostile"
wait "$hostile" || echo "the hostile clients exited with $?"
wait "$big"
echo "  hostile clients ($idle idle, $slow slow loris): $(cat "$scratch/hostile.log")"
echo "  1 MB headers: $(awk '{ codes[$1]++ } END { for (c in codes) printf "%s x%d ", c, codes[c] }' \
  "$scratch/big-headers"); $(timing_summary "$scratch/big-headers")"
stop_program

run_program "$big_hosts"
# Every host probed once: each appears in the answer with all its samples.
sleep $(($(delay_for "$big_hosts") + 5))
for _ in $(seq 20); do
  in_ns curl -sS -o "$scratch/answer" --max-time 30 -w '%{http_code} %{time_total}\n' "$url" \
    >>"$scratch/big-scrapes"
  sleep 0.5
done
echo "$big_hosts hosts at Delay $(delay_for "$big_hosts") s, 20 scrapes: $(timing_summary "$scratch/big-scrapes")"
echo "  answer: $(wc -c <"$scratch/answer") bytes, $(grep -c '^kelvoran_probes_sent_total{' \
  "$scratch/answer") hosts with a sent counter"
stop_program
