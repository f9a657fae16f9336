#!/usr/bin/env bash
# Takes the editor's screenshots in docs/ anew, on a private X server (Xvfb, xdotool and
# ImageMagick's import and convert are needed):
#   scripts/screenshots.sh [OUT_DIR]   (default docs/)
# Each run gets throw-away settings, data and a copy of the phrasebook's dictionaries, so
# that nothing of the user's is read or written. The variants use Qt's own means:
#   editor-200.png   QT_SCALE_FACTOR=2, as on a screen at 200 %
#   editor-dark.png  a dark colour scheme read from kdeglobals, as a Plasma session gives
#                    every Qt program (elsewhere the qt6ct platform theme does the same)
#   table-200.png, table-dark.png  the translation table in the same two ways
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(cd "${1:-$root/docs}" && pwd)"
editor="${TAVREL_BUILD_DIR:-$root/build}/editor/lngedit"
work="$(mktemp -d)"
display=":$((90 + RANDOM % 400))"

Xvfb "$display" -screen 0 1600x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

# The Breeze Dark colours of the roles the editor's widgets use.
cat >"$work/kdeglobals" <<'EOF'
[Colors:Button]
BackgroundNormal=49,54,59
ForegroundNormal=252,252,252
[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=252,252,252
[Colors:Tooltip]
BackgroundNormal=49,54,59
ForegroundNormal=252,252,252
[Colors:View]
BackgroundNormal=35,38,41
BackgroundAlternate=49,54,59
ForegroundNormal=252,252,252
[Colors:Window]
BackgroundNormal=49,54,59
ForegroundNormal=252,252,252
[KDE]
widgetStyle=Fusion
EOF

# shot NAME STEPS [VARIABLE=VALUE...]: the main window on Japanese after the mouse steps
# (menus open inside it are taken too), the picture reduced to 128 colours.
shot() {
    local name=$1 steps=$2 home="$work/$1"
    shift 2
    mkdir -p "$home/config/Tavrel" "$home/data" "$home/dict"
    cp "$root"/examples/phrasebook/dictionaries/* "$home/dict/"
    printf '[Others]\nDicPath=%s\nActualLanguage=%s\n' "$home/dict" "日本語" \
        >"$home/config/Tavrel/Localize.ini"
    [ -n "${KDEGLOBALS:-}" ] && cp "$KDEGLOBALS" "$home/config/kdeglobals"
    env DISPLAY="$display" HOME="$home" XDG_CONFIG_HOME="$home/config" \
        XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home" "$@" "$editor" >/dev/null 2>&1 &
    local pid=$! window=""
    for _ in $(seq 50); do
        window=$(DISPLAY="$display" xdotool search --pid $pid --onlyvisible --name . 2>/dev/null |
            head -1) && [ -n "$window" ] && break
        sleep 0.2
    done
    sleep 1
    eval "$(DISPLAY="$display" xdotool getwindowgeometry --shell "$window")"
    local step x y
    for step in $steps; do # "click:X,Y" or "move:X,Y" inside the window, or "key:KEYS"
        if [ "${step%%:*}" = key ]; then
            DISPLAY="$display" xdotool windowfocus --sync "$window" key "${step#*:}"
            sleep 1
            continue
        fi
        IFS=, read -r x y <<<"${step#*:}"
        DISPLAY="$display" xdotool mousemove $((X + x)) $((Y + y))
        [ "${step%%:*}" = click ] && DISPLAY="$display" xdotool click 1
        sleep 0.7
    done
    # SHOT_WINDOW names another window of the program to take instead (the table).
    if [ -n "${SHOT_WINDOW:-}" ]; then
        # The newest window of that name (the search also lists the program's first).
        window=$(DISPLAY="$display" xdotool search --pid $pid --onlyvisible --name "$SHOT_WINDOW" |
            tail -1)
        DISPLAY="$display" xdotool windowmove --sync "$window" 0 0
        sleep 0.5
        eval "$(DISPLAY="$display" xdotool getwindowgeometry --shell "$window")"
    fi
    DISPLAY="$display" import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$home/shot.png"
    kill $pid
    convert "$home/shot.png" +dither -colors 128 -strip "$out/$name.png"
    echo "$out/$name.png"
}

# Steps such as "click:157,16 move:200,60" open the language menu at 200 %.
shot editor-200 "" QT_SCALE_FACTOR=2
KDEGLOBALS="$work/kdeglobals" shot editor-dark "" XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5
# The translation table (Ctrl+T, then F8 to the next untranslated entry) likewise.
SHOT_WINDOW="Translation Table" shot table-200 "key:ctrl+t key:F8" QT_SCALE_FACTOR=2
SHOT_WINDOW="Translation Table" KDEGLOBALS="$work/kdeglobals" shot table-dark "key:ctrl+t key:F8" \
    XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5
