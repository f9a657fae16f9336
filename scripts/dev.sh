#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/dev.sh run   install what is missing, build, start the editor
#   scripts/dev.sh test  install what is missing, build, run every test
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TAVREL_BUILD_DIR:-$root/build}"

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev libicu-dev
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
    xvfb xauth xdotool
)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
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

case "${1:-}" in
run)
    install_missing
    configure_and_build
    shift
    if [ -x "$build/editor/lngedit" ]; then
        exec "$build/editor/lngedit" "$@"
    fi
    exec "$build/tools/lngtool/lngtool" --help
    ;;
test)
    install_missing
    configure_and_build
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
    ;;
*)
    echo "usage: scripts/dev.sh run|test" >&2
    exit 2
    ;;
esac
