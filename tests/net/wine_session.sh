# shellcheck shell=bash disable=SC2154  # variables the sourcing script sets
# Wine sessions inside a test network's probe namespace: Wine sends ICMP from
# its own service process, a child of the wineserver, so the server and all
# Wine runs in the namespace $probe. One session as root, whose ICMP goes
# through raw sockets, one as nobody, whose ICMP goes through ping sockets;
# each with a home and prefix under $scratch (which nobody must be able to
# enter). Sourced, not run.
export WINEDEBUG=-all
unprivileged=65534

as() {  # as root|nobody COMMAND...: in the probe's namespace, in that user's session
  local user=(env) home=$scratch/$1
  [[ $1 == nobody ]] && user=(setpriv --reuid=$unprivileged --regid=$unprivileged --clear-groups env)
  ip netns exec "$probe" "${user[@]}" HOME="$home" WINEPREFIX="$home/wine" "${@:2}"
}

# As scripts/test-windows: the server first, then wineboot's first start.
start_session() {
  mkdir -p "$scratch/$1/wine"
  [[ $1 == nobody ]] && chown -R $unprivileged:$unprivileged "$scratch/$1"
  as "$1" wineserver -p </dev/null >/dev/null 2>&1
  as "$1" env WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i </dev/null >/dev/null 2>&1
}

end_sessions() {
  local user
  for user in root nobody; do
    [[ -d "$scratch/$user/wine" ]] && as "$user" wineserver -k 2>/dev/null || true
  done
}
