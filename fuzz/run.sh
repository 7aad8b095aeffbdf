#!/usr/bin/env bash
# Builds the INI fuzzer with clang and runs it for the given number of
# seconds, then the reply-table fuzzer for half as long (at least 10).
# Usage: bash fuzz/run.sh SECONDS    (BUILD_DIR overrides the output folder)
# Exits non-zero when the fuzzer finds a crash, a leak or a timeout.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
cxx=${FUZZ_CXX:-clang++-14}

mkdir -p "$build/corpus" "$build/artifacts"
"$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Wall -Wextra -Wpedantic -Werror \
  -I"$root/inistorage" -I"$root/text" "$root"/inistorage/*.cpp "$root/fuzz/fuzz_inistorage.cpp" \
  -o "$build/fuzz_inistorage"
"$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Wall -Wextra -Wpedantic -Werror \
  -I"$root/session" "$root/session/ReplyTable.cpp" "$root/fuzz/fuzz_replytable.cpp" \
  -o "$build/fuzz_replytable"

# New inputs go to the build folder; the committed seeds are only read.
"$build/fuzz_inistorage" "$build/corpus" "$root/fuzz/corpus" \
  -dict="$root/fuzz/inistorage.dict" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1

# Tables in replies, with a corpus folder of their own and inputs up to 1 MiB.
mkdir -p "$build/corpus-replytable"
table_seconds=$(( seconds / 2 > 10 ? seconds / 2 : 10 ))
"$build/fuzz_replytable" "$build/corpus-replytable" \
  -max_total_time="$table_seconds" -timeout=10 -rss_limit_mb=2048 -max_len=1048576 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1
