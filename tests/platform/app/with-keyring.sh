#!/bin/sh
# Runs a test against a fresh, unlocked keyring on the session bus dbus-run-session gave it;
# with --stopped the keyring is frozen once it owns its name, so every call to it hangs. The
# keyring's files live in a folder removed afterwards, and the keyring is ended.
set -eu
state=running
if [ "${1:-}" = "--stopped" ]; then
  state=stopped
  shift
fi
scratch=$(mktemp -d)
keyring=""
cleanup() {
  if [ -n "$keyring" ]; then
    kill -CONT "$keyring" 2>/dev/null || true
    kill "$keyring" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch" VELMORA_TEST_KEYRING=$state

bus() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    "org.freedesktop.DBus.$1" string:org.freedesktop.secrets 2>/dev/null
}

# A keyring created with a password is unlocked at once and never prompts.
printf '%s' velmora-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
# Until the daemon owns its name a call would start a second one by bus activation.
for _ in $(seq 1 50); do
  bus NameHasOwner | grep -q 'boolean true' && break
  sleep 0.1
done
keyring=$(bus GetConnectionUnixProcessID | awk '/uint32/ { print $2 }')
if [ -z "$keyring" ]; then
  echo "with-keyring: the keyring did not start" >&2
  exit 1
fi
if [ "$state" = stopped ]; then kill -STOP "$keyring"; fi
"$@"
