#!/usr/bin/env bash
# Builds Korvastel (Release, in build/) and starts it beside the demo site server,
# with server, port and login filled in: only the password is left to type.
set -euo pipefail
cd "$(dirname "$0")"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "korvastel: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); start it from a desktop session." >&2
  exit 1
fi

bash scripts/install-deps.sh --run-only
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVASTEL_BENCH=OFF > /dev/null
cmake --build build --target korvastel korvastel-siteserver

# The demo site server on 127.0.0.1:2121; it prints the login and the password.
port=2121
build/tools/korvastel-siteserver --demo --port "$port" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 0.3

# The program reads commandList.ini from its working folder: the sample,
# whose commands all work against the demo site.
cd examples
../build/app/korvastel "ftp://admin@127.0.0.1:$port"
