#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS
# (default 5) from its seed corpus in fuzz/corpus/. New inputs go to a
# scratch directory, so the repository's corpus stays small. Any finding
# stops the script with the fuzzer's report and a crash-* file.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-5}"
scripts/install-packages.sh cmake ninja-build clang libclang-rt-14-dev ccache $(cat scripts/qt-packages)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DYZ_FUZZ=ON >/dev/null
cmake --build build-fuzz
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=0
for target in pages settings rootdomain news statistics urlencode cli publishedrules suggestionform rankline servedomain framing; do
  mkdir -p "$scratch/$target"
  log="$scratch/$target.log"
  if ! build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      "$scratch/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz_$target: finding above" >&2
    exit 1
  fi
  printf '%-20s %s\n' "fuzz_$target" "$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -1)"
done
