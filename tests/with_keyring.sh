#!/usr/bin/env bash
# Runs a program inside a private session bus with a GNOME Keyring of its own,
# unlocked, in a throwaway HOME: the user's keyring is never touched.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
exec dbus-run-session -- bash -c '
  eval "$(printf "test\n" | gnome-keyring-daemon --unlock --components=secrets)"
  export GNOME_KEYRING_CONTROL
  "$@"' keyring "$@"
