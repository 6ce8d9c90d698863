#!/usr/bin/env bash
# Checks the layers' includes, installs what is needed, builds Quarnel twice
# (plain, and with Address- and UndefinedBehaviorSanitizer) and runs every test
# in both builds, then the statement tests under ThreadSanitizer. Tests that
# need a server start a private MariaDB server of their own. Then the fuzz
# drivers (built with clang) run for a short while each.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Includes point down the layers only: the core (client/, data/, output/)
# never includes a window folder, and dialogs/ and editor/ never include shell/.
up_core=$(grep -rnE '^\s*#\s*include\s*["<](shell|dialogs|editor)/' "$here/client" "$here/data" "$here/output" || true)
up_windows=$(grep -rnE '^\s*#\s*include\s*["<]shell/' "$here/dialogs" "$here/editor" || true)
if [ -n "$up_core$up_windows" ]; then
    echo "Includes that point up the layers:" >&2
    printf '%s\n' "$up_core" "$up_windows" | sed '/^$/d' >&2
    exit 1
fi

"$here/scripts/setup.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$here/build" --output-on-failure -j2

"$here/scripts/setup.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUARNEL_SANITIZE=ON -DQUARNEL_BUILD_BENCH=OFF
ctest --test-dir "$here/build-asan" --output-on-failure -j2

# The statements' threads under ThreadSanitizer: the core and its headless
# tests of threads only (statements, streamed results and their sorts, the
# row store, the SSH tunnel), which keeps this build small.
tsan_tests=(tst_client tst_clientclose tst_running tst_executescript tst_resultstream tst_gridsort tst_rowstore
    tst_sshtunnel)
cmake -S "$here" -B "$here/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_SANITIZE=thread \
    -DQUARNEL_BUILD_GUI=OFF -DQUARNEL_BUILD_BENCH=OFF
cmake --build "$here/build-tsan" -j"$(nproc)" --target "${tsan_tests[@]}"
ctest --test-dir "$here/build-tsan" --output-on-failure -j2 -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$"

cmake -S "$here/fuzz" -B "$here/build-fuzz" -DCMAKE_CXX_COMPILER=clang++-14
cmake --build "$here/build-fuzz" -j"$(nproc)"
"$here/scripts/fuzz.sh" "$here/build-fuzz" "${QUARNEL_FUZZ_SECONDS:-30}"
