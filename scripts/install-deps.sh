#!/usr/bin/env bash
# Installs the Debian packages Korvastel needs to build, run and test, when
# any is missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config          # the build
  qt6-base-dev libgl-dev                    # Qt 6 Widgets
  libssl-dev                                # OpenSSL 3: explicit FTPS (AUTH TLS)
  qtkeychain-qt6-dev                        # saved sites' passwords in the system keyring
  fonts-dejavu-core fonts-liberation2       # the pane's monospace face, the dialog's sans face
  libgtest-dev libbenchmark-dev             # tests and benchmarks
  python3 python3-pyftpdlib                 # a real FTP server for integration tests
  python3-openssl                           # pyftpdlib's TLS handler (FTPS integration tests)
  proftpd-core proftpd-mod-crypto           # a second real server, with mod_tls (FTPS integration tests)
  openssl                                   # test certificates, made at test time
  xvfb xauth x11-apps imagemagick           # the program under a real X server, screenshots
  xdotool                                   # typing and clicking into the real window for those checks
  dpkg-dev file                             # the Debian package: cpack runs dpkg-shlibdeps and file
  lintian                                   # the package checked against Debian policy
  lftp                                      # the side-by-side peer of bench/compare-bigreply and compare-cli
  dbus-daemon at-spi2-core python3-pyatspi  # the pane read through AT-SPI, end to end
  clang-14 libclang-rt-14-dev               # the INI reader's fuzzer
  gnome-keyring                             # a real Secret Service for the keyring test
  microsocks dante-server                   # real SOCKS5 proxies (with and without a login) for the proxy tests
)
if [ "${1:-}" = "--run-only" ]; then
  packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libssl-dev qtkeychain-qt6-dev fonts-dejavu-core fonts-liberation2)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# A test peer must not come up as a system service (proftpd would take port 21).
if [ ! -e /usr/sbin/policy-rc.d ] && [ -w /usr/sbin ]; then
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
  chmod +x /usr/sbin/policy-rc.d
  trap 'rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
