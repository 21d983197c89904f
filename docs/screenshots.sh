#!/usr/bin/env bash
# Takes the pictures in docs/ of the built program, the way a person would try it without a unit:
# under Xvfb, with the simulated MIDI service preloaded and a simulated unit behind a pair of ports.
# The program is driven only by real X input (pointer moves, clicks, key presses and typed text)
# at the controls' places in window coordinates, and the wheel over the tab bar to change tabs;
# each window is captured by its id, after it was moved apart from the other.
#
#   docs/screenshots.sh [build folder] [picture folder]     (defaults: build and docs)
#
# Pictures: main-start.png (the main window at start, no ports chosen yet), midi-download.png and
# main-download.png (half-way through a download), then the five tabs after it: main-connect.png,
# main-update.png, main-help.png, main-setip.png, main-debug.png.
#
# Needs Xvfb, xdotool, xwd and xwininfo (x11-utils, x11-apps) and ImageMagick's convert.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
out=${2:-$top/docs}
program=$build/bin/Korvane
simlib=$build/tests/sim/libkorvane_sim.so

# Each answer of the simulated unit held back for one input poll: the program's 50 ms poller reads
# it at its tick after the block, one block per tick, so a download of this many bytes takes long
# enough to be caught half-way.
unit=unit:lag:1
image_bytes=3072

main_title=Korvane
main_width=528 main_height=494   # the main window's content area, below its menu bar
midi_title='Select Midi Input and Output Ports'

fail()
{
    echo "screenshots.sh: $*" >&2
    if [[ -s ${tmp:-}/korvane.log ]]; then
        echo "--- the program's output:" >&2
        tail -n 20 "$tmp/korvane.log" >&2
    fi
    exit 1
}

for tool in Xvfb xdotool xwd xwininfo convert md5sum; do
    command -v "$tool" >/dev/null || fail "$tool is missing (apt-get install xvfb xdotool x11-apps x11-utils imagemagick)"
done
[[ -x $program ]] || fail "no program at $program: build first (cmake -S . -B build && cmake --build build)"
[[ -f $simlib ]] || fail "no simulated MIDI service at $simlib: build the tests too"
simlib=$(realpath "$simlib")
mkdir -p "$out" || fail "cannot make the picture folder $out"

tmp=$(mktemp -d)
xvfb_pid='' korvane_pid=''
cleanup()
{
    local pid
    for pid in "$korvane_pid" "$xvfb_pid"; do
        if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs the given command every tenth of a second until it succeeds; fails after the given seconds.
wait_for()
{
    local what=$1 seconds=$2
    shift 2
    local tries=$((seconds * 10))
    until "$@" >/dev/null; do
        ((--tries > 0)) || fail "timed out after ${seconds}s waiting for $what"
        korvane_running || fail "the program ended while waiting for $what"
        sleep 0.1
    done
}

korvane_running() { [[ -z $korvane_pid ]] || kill -0 "$korvane_pid" 2>/dev/null; }

# --- windows

# The shown window with that exact title (and width, when given); prints its id.
find_window()
{
    local title=$1 width=${2:-} w
    for w in $(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null); do
        if [[ -z $width ]] || [[ $(geometry "$w" WIDTH) == "$width" ]]; then
            echo "$w"
            return 0
        fi
    done
    return 1
}
has_window() { find_window "$@" >/dev/null; }
no_window() { ! find_window "$@" >/dev/null; }

# One value (X, Y, WIDTH or HEIGHT) of a window's geometry on the screen.
geometry()
{
    xdotool getwindowgeometry --shell "$1" | sed -n "s/^$2=//p"
}

# Moves a window apart from the others: a window is captured from the screen, overlaps included.
move_window()
{
    local w=$1 x=$2 y=$3
    xdotool windowmove "$w" "$x" "$y"
    at_place() { [[ $(geometry "$w" X) == "$x" && $(geometry "$w" Y) == "$y" ]]; }
    wait_for "window $w to move to $x,$y" 5 at_place
}

# Whether a popup (an override-redirect window, such as an open popup menu's list) is shown.
popup_shown()
{
    local w
    for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' && return 0
    done
    return 1
}
no_popup() { ! popup_shown; }

# Window coordinates are measured from the content area: below the menu bar on the main window.
content_top() { echo $(($(geometry "$1" Y) + ${2:-0})); }

# Moves the pointer to window coordinates (x, y) of a window whose menu bar is bar pixels high.
point_at()
{
    local w=$1 bar=$2 x=$3 y=$4
    xdotool mousemove $(($(geometry "$w" X) + x)) $(($(content_top "$w" "$bar") + y))
}
click_at()
{
    point_at "$@"
    xdotool click 1
}
# The centre of a control given as left, top, width, height.
click_control() { click_at "$1" "$2" $(($3 + $5 / 2)) $(($4 + $6 / 2)); }

capture() { xwd -silent -id "$1" | convert xwd:- -strip -define png:compression-level=9 "png:$2"; }
pixels_hash() { xwd -silent -id "$1" | convert xwd:- -depth 8 rgb:- | md5sum | cut -d' ' -f1; }
# The colour (RRGGBB) at window coordinates (x, y).
pixel()
{
    local w=$1 bar=$2 x=$3 y=$4
    xwd -silent -id "$w" | convert xwd:- -depth 8 -format "%[hex:p{$x,$((y + bar))}]" info:
}

# --- the X server and the program

image=$tmp/VRQ1_sim.bin
head -c "$image_bytes" /dev/urandom >"$image"
mkdir -p "$tmp/home" "$tmp/config" "$tmp/runtime"
chmod 700 "$tmp/runtime"
settings=$tmp/config/korvane.ini

Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
display_known() { grep -q '^[0-9]' "$tmp/display" 2>/dev/null; }
wait_for "Xvfb to start" 10 display_known
DISPLAY=:$(head -n1 "$tmp/display")
export DISPLAY
echo "Xvfb on $DISPLAY"

# A clean environment: no desktop theme, scaling or platform choice of the caller's reaches Qt.
env -i PATH="$PATH" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/runtime" \
    LANG=C.UTF-8 DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb \
    KORVANE_SIM_DEVICES="$unit" LD_PRELOAD="$simlib" "$program" >"$tmp/korvane.log" 2>&1 &
korvane_pid=$!

# --- start-up: the settings file is missing, and the program says so

# The shown window titled like the main window that is not the main window.
message_box()
{
    local w
    for w in $(xdotool search --onlyvisible --name "^${main_title}\$" 2>/dev/null); do
        [[ $(geometry "$w" WIDTH) != "$main_width" ]] && echo "$w" && return 0
    done
    return 1
}
wait_for 'the "config file missing" box' 20 message_box
box=$(message_box)
xdotool mousemove $(($(geometry "$box" X) + $(geometry "$box" WIDTH) / 2)) \
    $(($(geometry "$box" Y) + $(geometry "$box" HEIGHT) / 2))
xdotool windowfocus --sync "$box" key Return
wait_for "the main window after the box" 20 has_window "$main_title" "$main_width"
main=$(find_window "$main_title" "$main_width")
bar=$(($(geometry "$main" HEIGHT) - main_height))
((bar > 0 && bar < 80)) || fail "the main window is $(geometry "$main" HEIGHT) pixels high: no menu bar above its $main_height-pixel content?"
echo "main window $main, menu bar $bar pixels high"
move_window "$main" 800 20

# Status key showmidi (34, 56, 450 x 25), inside its fill: red until both ports are open, then lime.
key_colour() { pixel "$main" "$bar" 40 68; }
key_is() { [[ $(key_colour) == "$1" ]]; }
wait_for "the status key to show red (no ports yet)" 10 key_is FF0000
capture "$main" "$out/main-start.png"

# --- the MIDI window: View Comms (205, 461, 97 x 22)

click_control "$main" "$bar" 205 461 97 22
wait_for "the MIDI window after View Comms" 10 has_window "$midi_title"
midi=$(find_window "$midi_title")
move_window "$midi" 20 20

# Each port selector opens its list at a click; Down and Return choose the row below "Select".
choose_port()
{
    local what=$1 key=$2 device=$3
    shift 3
    click_control "$midi" 0 "$@"
    wait_for "the list of the $what selector" 10 popup_shown
    xdotool key Down Return
    wait_for "the $what list to close" 10 no_popup
    saved() { grep -A1 -x "$key" "$settings" 2>/dev/null | tail -n1 | grep -q "$device"; }
    wait_for "$key = ...$device in korvane.ini" 10 saved
    echo "chose $(grep -A1 -x "$key" "$settings" | tail -n1)"
}
choose_port input Minport 'Simulated Unit In' 10 27 310 20     # midiin1
choose_port output Moutport 'Simulated Unit Out' 338 27 310 19 # midiout1
wait_for "the status key to turn lime (Midi OK)" 10 key_is 00FF00

# --- the download, on the Update S/W tab

# One wheel step over the tab bar (the top of TabPanel1, 12, 0) opens the next or previous tab.
turn_tab()
{
    local before
    before=$(pixels_hash "$main")
    point_at "$main" "$bar" 40 10
    xdotool click "$1"
    changed() { [[ $(pixels_hash "$main") != "$before" ]]; }
    wait_for "another tab to open" 5 changed
}
next_tab() { turn_tab 5; }
previous_tab() { turn_tab 4; }

next_tab                                        # Update S/W
click_control "$main" "$bar" 29 298 60 18       # Enable
click_control "$main" "$bar" 103 298 60 18      # File, enabled by Enable
wait_for "the file dialog after File" 10 has_window 'Select a Bin file'
dialog=$(find_window 'Select a Bin file')
xdotool windowfocus --sync "$dialog"
xdotool type --delay 10 "$image"
xdotool key Return
wait_for "the file dialog to close" 10 no_window 'Select a Bin file'
click_control "$main" "$bar" 178 298 60 18      # Start

# The Abort key (12, 463, 82 x 20) is shown, red, exactly while the download runs.
abort_colour() { pixel "$main" "$bar" 16 473; }
abort_shown() { [[ $(abort_colour) == FF0000 ]]; }
abort_hidden() { ! abort_shown; }
wait_for "the Abort key after Start" 10 abort_shown

# The progress bar (30, 394, 468 x 20) filled past its middle, its end not yet.
halfway()
{
    local start middle end
    start=$(pixel "$main" "$bar" 36 404)
    middle=$(pixel "$main" "$bar" 264 404)
    end=$(pixel "$main" "$bar" 492 404)
    [[ $middle == "$start" && $middle != "$end" ]]
}
wait_for "the download to pass half-way" 60 halfway
capture "$midi" "$out/midi-download.png"
capture "$main" "$out/main-download.png"
echo "captured the download half-way"
wait_for "the download to finish (the Abort key hidden)" 120 abort_hidden

# --- every tab of the main window, after the download
capture "$main" "$out/main-update.png"
previous_tab
capture "$main" "$out/main-connect.png"
next_tab                                        # Update S/W again
for tab in help setip debug; do
    next_tab
    capture "$main" "$out/main-$tab.png"
done
echo "captured the five tabs"

# Close (428, 462, 80 x 20), disabled while a download runs: the program ends with code 0.
click_control "$main" "$bar" 428 462 80 20
korvane=$korvane_pid
korvane_pid=''   # its end is expected now
ended() { ! kill -0 "$korvane" 2>/dev/null; }
wait_for "the program to end after Close" 10 ended
code=0
wait "$korvane" || code=$?
((code == 0)) || fail "the program ended with code $code after Close"
echo "pictures in $out:"
ls -1 "$out"/*.png
