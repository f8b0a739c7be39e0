#!/bin/sh
# For tests/test_desktop.cpp: whether the frame of the shown window titled $1, as the window manager drew it, lies on
# the screen. Prints "on screen", or the frame's left, top, right and bottom and the screen's size.
w=$(xdotool search --sync --onlyvisible --name "$1" | head -1)
# shellcheck disable=SC2046 # the four numbers of the frame's extents: left, right, top, bottom
set -- $(xprop -id "$w" _NET_FRAME_EXTENTS | tr -dc '0-9, ' | tr ',' ' ')
xwininfo -id "$w" | awk -v l="$1" -v r="$2" -v t="$3" -v b="$4" -v screen="$(xdpyinfo | awk '/dimensions/ {print $2}')" '
  /Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4} /Width/ {w = $2} /Height/ {h = $2}
  END {
    split(screen, size, "x")
    left = x - l; top = y - t; right = x + w + r; bottom = y + h + b
    if (t != "" && left >= 0 && top >= 0 && right <= size[1] && bottom <= size[2]) print "on screen"
    else print left, top, right, bottom, screen
  }'
