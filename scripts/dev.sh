#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/dev.sh run   install what is missing, build, start the editor (while no dictionary
#                        folder has been chosen, beside the example application on its
#                        dictionaries; see start_editor)
#   scripts/dev.sh test  install what is missing, build, run every test; then the whole suite
#                        again with AddressSanitizer + UndefinedBehaviorSanitizer, the threaded
#                        storage and server tests with ThreadSanitizer, and the fuzz targets
# The sanitized builds go beside the build folder (<build>-asan, <build>-tsan, <build>-fuzz).
# TAVREL_FUZZ_SECONDS sets the bounded fuzz run per target (default 25).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TAVREL_BUILD_DIR:-$root/build}"

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev libicu-dev libcli11-dev
    libgettextpo-dev libxml2-dev nlohmann-json3-dev gettext
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev
    libqt6svg6
    xvfb xauth xdotool
    fonts-dejavu-core fonts-wqy-microhei
)

# Only the test command needs these: clang with libFuzzer and the sanitizer run-times, the
# translators' tools the exported files are checked with, and the validators of the files a
# desktop installs.
test_packages=(clang libclang-rt-dev translate-toolkit desktop-file-utils appstream man-db)

install_missing() {
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

configure_and_build() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${TAVREL_BUILD_TYPE:-RelWithDebInfo}" \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" >/dev/null
    cmake --build "$build"
}

# A per-user base folder as the library finds it: the variable when it holds an absolute
# path, else `fallback` under the home folder.
user_base() {
    local value="${!1:-}" home="${HOME:-}"
    if [[ "$value" == /* ]]; then
        printf '%s\n' "$value"
        return
    fi
    [[ "$home" == /* ]] || home="$(getent passwd "$(id -u)" | cut -d: -f6)"
    printf '%s\n' "$home/$2"
}

# Whether the settings store names no dictionary folder (DicPath in the section Others),
# or only FOLDER. The store is read as the library reads it: names in any letter case,
# blanks around them trimmed, %XX escapes undone. A store that cannot be read counts as
# naming another folder.
no_folder_chosen_but() {
    local store raw path
    store="$(user_base XDG_CONFIG_HOME .config)/Tavrel/Localize.ini"
    [ -e "$store" ] || return 0
    { [ -f "$store" ] && [ -r "$store" ]; } || return 1
    while IFS= read -r raw; do
        # Only the store's own escapes may reach printf as escapes.
        raw="${raw//\\/\\\\}"
        printf -v path '%b' "$(sed 's/%\([0-9A-Fa-f][0-9A-Fa-f]\)/\\x\1/g' <<<"$raw")"
        [ -z "$path" ] || [ "$path" -ef "$1" ] || return 1
    done < <(LC_ALL=C awk '
        { sub(/\r$/, "") }
        NR == 1 { sub(/^\357\273\277/, "") }
        /^[ \t]*\[/ {
            name = $0
            sub(/^[ \t]*\[[ \t]*/, "", name)
            sub(/[ \t]*\].*$/, "", name)
            others = tolower(name) == "others"
            next
        }
        others && index($0, "=") > 0 {
            at = index($0, "=")
            key = substr($0, 1, at - 1)
            gsub(/^[ \t]+|[ \t]+$/, "", key)
            if (tolower(key) != "dicpath")
                next
            value = substr($0, at + 1)
            gsub(/^[ \t]+|[ \t]+$/, "", value)
            print value
        }' "$store")
}

# Starts the editor. While no dictionary folder has been chosen, the example application
# runs beside it and both work on the example's per-user copy of its dictionaries, so that
# a saved change shows in a running program at once. The example records that folder as
# the chosen one, so this start repeats until the user chooses another folder with the
# editor's folder button; from then on the editor starts alone. The example is stopped when
# the editor closes. With arguments (for the editor) the editor starts alone.
start_editor() {
    local editor="$build/editor/lngedit" example="$build/examples/phrasebook/phrasebook" folder
    folder="$(user_base XDG_DATA_HOME .local/share)/Tavrel/Phrasebook"
    if [ $# -gt 0 ] || [ ! -x "$example" ] || ! no_folder_chosen_but "$folder"; then
        exec "$editor" "$@"
    fi
    # The example copies what its folder lacks of its shipped dictionaries on start: a run
    # that only lists its texts does so before either window opens.
    "$example" --dump-texts >/dev/null || exec "$editor"
    # To the right of the editor, which places itself at 192,106 and is 495 wide.
    "$example" -qwindowgeometry +695+106 &
    example_pid=$!
    trap 'kill "$example_pid" 2>/dev/null; wait "$example_pid" 2>/dev/null || true' EXIT
    "$editor" --dictionaries "$folder"
}

# Sourced (by the tests), the script only defines its functions.
[[ "${BASH_SOURCE[0]}" == "$0" ]] || return 0

case "${1:-}" in
run)
    install_missing
    configure_and_build
    shift
    if [ -x "$build/editor/lngedit" ]; then
        start_editor "$@"
        exit
    fi
    exec "$build/tools/lngtool/lngtool" --help
    ;;
test)
    install_missing "${test_packages[@]}"
    started=$SECONDS
    phase() { echo "== $1 ($((SECONDS - started)) s since start)"; }
    phase "build"
    configure_and_build
    export QT_QPA_PLATFORM=offscreen
    phase "tests"
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

    # The whole suite again, instrumented; every report is fatal. Benchmarks are no tests.
    # The installed-package test builds its consumer with the same instrumentation.
    phase "build with AddressSanitizer + UndefinedBehaviorSanitizer"
    sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
    cmake -S "$root" -B "$build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS="$sanitize" \
        -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" \
        -DTAVREL_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build-asan"
    phase "tests with AddressSanitizer + UndefinedBehaviorSanitizer"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    LSAN_OPTIONS=suppressions="$root/tests/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    CXXFLAGS="$sanitize" LDFLAGS="$sanitize" \
        ctest --test-dir "$build-asan" --output-on-failure -j"$(nproc)"

    # The parsed-copy cache is shared between threads, and a language switch writes the
    # settings and prepares its next reverse map on threads of its own: the storage tests
    # with threads and the server's tests.
    phase "threaded storage and server tests with ThreadSanitizer"
    cmake -S "$root" -B "$build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
        -DTAVREL_WITH_QT=OFF -DTAVREL_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build-tsan" --target tavrel_profile_file_test tavrel_reliability_threads_test \
        localize_server_tests
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        "$build-tsan/tests/storage/tavrel_profile_file_test" --gtest_brief=1
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        "$build-tsan/tests/reliability/tavrel_reliability_threads_test" --gtest_brief=1
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        "$build-tsan/tests/localize/localize_server_tests" --gtest_brief=1

    phase "fuzz targets"
    TAVREL_FUZZ_BUILD_DIR="$build-fuzz" "$root/fuzz/run.sh" "${TAVREL_FUZZ_SECONDS:-25}"
    phase "done"
    ;;
*)
    echo "usage: scripts/dev.sh run|test" >&2
    exit 2
    ;;
esac
