# shellcheck shell=bash
# Sourced first by an alert end-to-end script whose arguments are KELVORAN
# RESPONDER. Outside: builds the test network (tests/net/test_network.sh),
# runs the script again in its probe namespace beside the delivery test
# servers (tests/delivery/with-delivery-servers), where the servers and the
# program share the loopback, and exits with its status; skipped (77) without
# root. Inside: takes the marker off the arguments and reads the servers'
# settings and received_items.sh.
alert_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [[ ${1:-} != --inside ]]; then
  if [[ $EUID -ne 0 ]]; then
    echo "SKIPPED: needs root to build network namespaces"
    exit 77
  fi
  network=$alert_scripts/../net/test_network.sh
  prefix=kvp-$$
  trap 'bash "$network" down "$prefix" || true' EXIT
  bash "$network" up "$prefix" "${2:?usage: $0 KELVORAN RESPONDER}"
  KELVORAN_PREFIX=$prefix ip netns exec "$prefix-probe" \
    "$alert_scripts/../delivery/with-delivery-servers" "$0" --inside "$@"
  exit
fi
shift
# shellcheck disable=SC1090
source "$KELVORAN_DELIVERY_SERVERS"
# shellcheck source=tests/alert/received_items.sh
source "$alert_scripts/received_items.sh"

# For the scripts that run kelvoran --headless in $scratch: starts it there,
# its log in $scratch/log and its process id in $app; and fails with what the
# servers received and the log.
# shellcheck disable=SC2154,SC2034  # scratch is the caller's; app is for it
start_headless() {
  (cd "$scratch" && exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$scratch" \
    DBUS_SESSION_BUS_ADDRESS=disabled: "$1" --headless </dev/null >/dev/null \
    2>"$scratch/log") &
  app=$!
}
# The profile of $scratch: every host may be probed each second, and one
# webhook channel "Hook" to the HTTP test server; each argument is one more
# line of the channel (its Url, Body, AlsoWhenOk).
write_hook_profile() {
  mkdir -p "$scratch/Brindlecot"
  {
    printf '[Options]\nProbesPerSecond=20\n[AlertChannels/1]\nName=Hook\nKind=webhook\n'
    printf '%s\n' "$@"
  } >"$scratch/Brindlecot/Kelvoran by Brindlecot.conf"
}
fail() {
  echo "FAIL: $*" >&2
  show_received >&2
  echo "--- log:" >&2
  cat "$scratch/log" >&2 || true
  exit 1
}
