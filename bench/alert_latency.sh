#!/usr/bin/env bash
# Alert delivery latency against the real test servers: bench/alert_latency
# run beside tests/delivery/delivery_servers.py.
#
#   bench/alert_latency.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../tests/delivery/with-delivery-servers" "$build/bench/alert_latency"
