#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it with dpkg-deb and
# runs the unpacked program; with lintian installed, any error or warning it
# reports fails the test. Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
for tool in cpack dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is missing (Debian packages cmake, dpkg-dev, file)"; exit 77; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
debs=("$work"/out/korvastel_"$version"_*.deb)
[ -f "${debs[0]}" ] || { echo "no korvastel_${version}_ARCH.deb in:"; ls "$work/out"; exit 1; }
deb="${debs[0]}"

fail=0
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/korvastel usr/share/applications/korvastel.desktop \
         usr/share/icons/hicolor/scalable/apps/korvastel.svg usr/share/korvastel/commandList.ini \
         usr/share/man/man1/korvastel.1.gz usr/bin/korvastel-cli usr/share/man/man1/korvastel-cli.1.gz \
         usr/bin/korvastel-keyring usr/share/man/man1/korvastel-keyring.1.gz \
         usr/share/doc/korvastel/copyright usr/share/doc/korvastel/changelog.gz; do
  [ -s "$work/root/$f" ] || { echo "missing from the package: /$f"; fail=1; }
done

answer="$("$work/root/usr/bin/korvastel" --version)"
[ "$answer" = "korvastel $version" ] || { echo "--version said: $answer"; fail=1; }
answer="$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/korvastel-cli" --version)"
[ "$answer" = "korvastel-cli $version" ] || { echo "korvastel-cli --version said: $answer"; fail=1; }
# It runs over SSH on machines without a display: no widget or GUI library.
if objdump -p "$work/root/usr/bin/korvastel-cli" | grep -E 'NEEDED +libQt6(Gui|Widgets)'; then fail=1; fi

# Computed from the binary: the C library and Qt's widgets at least.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6; do
  [[ "$depends" == *"$lib"* ]] || { echo "Depends lacks $lib: $depends"; fail=1; }
done
# A version bump needs its changelog entry.
top="$(gzip -dc "$work/root/usr/share/doc/korvastel/changelog.gz" 2>/dev/null | head -n 1 || true)"
[[ "$top" == "korvastel ($version) "* ]] || { echo "the changelog's last entry is not $version: $top"; fail=1; }

if command -v lintian > /dev/null; then
  # Tags of "I:" (information) and below pass; see docs/DEVELOPING.md.
  if ! lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1 || grep -qE '^[EW]: ' "$work/lintian.log"; then
    cat "$work/lintian.log"
    fail=1
  fi
else
  echo "lintian is missing (Debian package lintian): the package's policy check was skipped"
fi
exit $fail
