#!/usr/bin/env bash
# Installs what is missing, checks the formatting, then builds and runs the whole suite:
# once normally, once with AddressSanitizer + UndefinedBehaviorSanitizer, once with
# ThreadSanitizer; then the Windows build under Wine, the serial component on the kernel's
# 8250 driver in a virtual machine, and both packages installed, run and removed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh

echo "== formatting"
scripts/format.sh --check

passed=0
failed=0
run_suite() {
  local dir=$1
  shift
  echo "== build $dir $*"
  cmake -S . -B "$dir" -G Ninja -DWARNINGS_AS_ERRORS=ON "$@" >/dev/null
  ninja -C "$dir" -j2
  echo "== test $dir"
  local log="$dir/ctest.log" status=0
  # shellcheck disable=SC2086 # CTEST_ARGS holds separate words
  ctest --test-dir "$dir" --output-on-failure -j2 ${CTEST_ARGS:-} 2>&1 | tee "$log" || status=1
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1 || true)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  else
    status=1
  fi
  return $status
}

overall=0
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo || overall=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=address,undefined || overall=1
# Qt's own libraries are not built for ThreadSanitizer, so the window's tests (label gui)
# stay out of this build; every threaded part of ours is in the others.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 CTEST_ARGS="-LE gui" \
  run_suite build-tsan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=thread || overall=1
# The parts without Qt, cross-built for Windows (build-mingw/) and tested under Wine.
mkdir -p build-mingw
bash scripts/wine-tests.sh 2>&1 | tee build-mingw/wine-tests.log || overall=1
wine_line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' build-mingw/wine-tests.log |
  tail -n1 || true)
if [[ $wine_line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
  failed=$((failed + BASH_REMATCH[1]))
  passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
else
  overall=1
fi

# The serial component on the kernel's own 8250 driver, in a virtual machine.
mkdir -p build/uart-vm
bash scripts/uart-vm-tests.sh 2>&1 | tee build/uart-vm/run.log || overall=1
uart_line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' build/uart-vm/run.log | tail -n1 || true)
if [[ $uart_line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
  passed=$((passed + BASH_REMATCH[1]))
  failed=$((failed + BASH_REMATCH[2]))
else
  overall=1
fi

# Both packages built, installed, run and removed (the Debian one on this machine).
mkdir -p build-pkg
bash scripts/package-tests.sh 2>&1 | tee build-pkg/package-tests.log || overall=1
package_line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' build-pkg/package-tests.log | tail -n1 || true)
if [[ $package_line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
  passed=$((passed + BASH_REMATCH[1]))
  failed=$((failed + BASH_REMATCH[2]))
else
  overall=1
fi

echo "total: $passed passed, $failed failed"
exit $overall
