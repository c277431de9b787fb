# shellcheck shell=bash
# What the delivery test servers received (tests/delivery/delivery_servers.py
# writes each item to $RECEIVED_DIR/NNNN/, one file per field), for the alert
# end-to-end scripts, which source this file and define fail MESSAGE.

# items: the folders of the complete items (one still being written is
# NNNN.partial until it is renamed).
items() {
  local item
  for item in "$RECEIVED_DIR"/*/; do
    if [[ $item != *.partial/ && -f $item/kind ]]; then echo "$item"; fi
  done
}

# received KIND FIELD PATTERN: how many items the servers got whose FIELD matches.
received() {
  local count=0 item
  for item in $(items); do
    [[ $(cat "$item/kind") == "$1" ]] || continue
    grep -qE -- "$3" "$item/$2" 2>/dev/null && count=$((count + 1))
  done
  echo "$count"
}
count_is() { [[ $(received "$1" "$2" "$3") -eq $4 ]]; }

# wait_for SECONDS DESCRIPTION COMMAND...: fails with DESCRIPTION unless
# COMMAND succeeds within SECONDS.
wait_for() {
  local end=$((SECONDS + $1))
  until "${@:3}"; do
    ((SECONDS < end)) || fail "$2"
    sleep 0.2
  done
}

# A list of what was received, for a failure's message.
show_received() {
  local item
  for item in $(items); do
    echo "received: $(cat "$item/kind") $(cat "$item/path" "$item/subject" 2>/dev/null)"
  done
}
