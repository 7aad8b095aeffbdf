#!/usr/bin/env bash
# korvastel-cli with a saved site whose password is in the system keyring:
# run inside tests/with_keyring.sh (a private, unlocked GNOME Keyring).
#   cli_keyring_check.sh KORVASTEL-CLI KORVASTEL-KEYRING KORVASTEL-SITESERVER
set -u
cli=$1 keyring=$2 server=$3
export XDG_CONFIG_HOME="$HOME/config"
unset KORVASTEL_PASSWORD
fail() { echo "FAIL: $*"; exit 1; }
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
dead=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$server" --demo --port "$port" --user admin --pass 'k0rv@stel pw' >/dev/null 2>&1 &
trap 'kill $! 2>/dev/null' EXIT
for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break; sleep 0.1; done

mkdir -p "$XDG_CONFIG_HOME/Dunvarrow"
cat > "$XDG_CONFIG_HOME/Dunvarrow/korvastel-sites.conf" <<SITES
[Main]
address=127.0.0.1:$dead
address=127.0.0.1:$port
login=admin
encryption=none
remember=yes

[Forgotten]
address=127.0.0.1:$port
login=admin
encryption=none
remember=yes
SITES

printf 'k0rv@stel pw\n' | "$keyring" store Main admin || fail "store"
[ "$("$keyring" read Main admin)" = 'k0rv@stel pw' ] || fail "read back"

# No password on standard input or in the environment: the keyring's is used,
# after the dead first address.
out=$("$cli" Main -s WHO </dev/null 2>&1); rc=$?
[ $rc -eq 0 ] || fail "run on Main: $rc: $out"
grep -q "SITE WHO" <<<"$out" || fail "no reply to SITE WHO: $out"
grep -q 'k0rv@stel' <<<"$out" && fail "the password was shown: $out"

# A site that remembers a password the keyring does not hold fails alone,
# and is never given the run's password.
out=$("$cli" Forgotten -s WHO </dev/null 2>&1); rc=$?
[ $rc -eq 2 ] || fail "Forgotten without a password ended $rc: $out"
grep -q "Forgotten: the keyring gave no password" <<<"$out" || fail "no word of the keyring: $out"
out=$(printf 'k0rv@stel pw\n' | "$cli" --password-stdin Forgotten -s WHO 2>&1); rc=$?
[ $rc -eq 2 ] || fail "Forgotten took the run's password: $rc: $out"
grep -q "PASS" <<<"$out" && fail "Forgotten sent a password: $out"

# Site "ftp" with login "bob@corp" and a site "corp@ftp" with login "bob"
# never share an entry: no site is called "corp@ftp", in the keyring or the list.
printf 'theirs\n' | "$keyring" store ftp 'bob@corp' || fail "store for ftp"
out=$("$keyring" read 'corp@ftp' bob 2>&1); rc=$?
[ $rc -ne 0 ] || fail "read for corp@ftp ended 0"
grep -q theirs <<<"$out" && fail "corp@ftp was given ftp's password"
mkdir -p "$HOME/imported/Dunvarrow"
printf '[corp@ftp]\naddress=127.0.0.1:%s\nlogin=bob\nremember=yes\n' "$port" >"$HOME/imported/Dunvarrow/korvastel-sites.conf"
out=$(XDG_CONFIG_HOME="$HOME/imported" "$cli" Main -s WHO </dev/null 2>&1); rc=$?
[ $rc -eq 64 ] || fail "a list naming a site corp@ftp ended $rc: $out"
grep -q 'the name "corp@ftp" can.t be used' <<<"$out" || fail "no word of the name: $out"

# A site's proxy takes its password from the keyring too, filed apart from the site's.
if [ -x /usr/bin/microsocks ]; then
  pport=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  /usr/bin/microsocks -i 127.0.0.1 -p "$pport" -u gate -P 'pr0xy pw' >/dev/null 2>&1 &
  proxy=$!
  trap 'kill $! $proxy 2>/dev/null' EXIT
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/"$pport") 2>/dev/null && break; sleep 0.1; done
  printf '\n[Proxied]\naddress=127.0.0.1:%s\nlogin=admin\nremember=yes\nproxy=socks5://gate@127.0.0.1:%s\n' \
    "$port" "$pport" >>"$XDG_CONFIG_HOME/Dunvarrow/korvastel-sites.conf"
  printf 'k0rv@stel pw\n' | "$keyring" store Proxied admin || fail "store for Proxied"
  printf 'pr0xy pw\n' | "$keyring" store-proxy Proxied gate || fail "store-proxy"
  [ "$("$keyring" read Proxied gate 2>/dev/null)" = 'pr0xy pw' ] && fail "the proxy's entry is the site's"
  out=$("$cli" Proxied -s WHO </dev/null 2>&1); rc=$?
  [ $rc -eq 0 ] || fail "run on Proxied: $rc: $out"
  grep -q 'pr0xy' <<<"$out" && fail "the proxy password was shown: $out"
fi

"$keyring" delete Main admin || fail "delete"
"$keyring" read Main admin >/dev/null 2>&1; [ $? -eq 1 ] || fail "read after delete"
echo "ok"
