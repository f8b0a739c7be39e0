#!/bin/sh
# A Wayland compositor that leaves the title bars to its clients (Weston, on its X11 backend, its screen 600 × 500),
# for tests/test_desktop.cpp, run by xvfb-run on a larger screen. It starts the program $1 on it, waits until the
# window is shown, active and drawn, clicks in its title bar $2 pixels from the right edge of the compositor's screen
# (the window is wider than that screen, so it fills its width) and presses Tab. It prints what became of the program:
# "running" or "ended STATUS", and "maximized" when the compositor ever gave it a size of its own or ended the
# connection; "no weston" where there is none or it cannot start; "missed" where the click asked the compositor for
# nothing and the program still runs (Weston 14's X11 backend passes on no input that xdotool makes through XTEST).
command -v weston >/dev/null || { echo "no weston"; exit; }
weston --backend=x11-backend.so --socket=halden-test --width=600 --height=500 >/dev/null 2>&1 &
compositor=$!
until [ -e "$XDG_RUNTIME_DIR/halden-test" ]; do
  kill -0 $compositor 2>/dev/null || { echo "no weston"; exit; } # it could not start here
  sleep 0.1
done
trace=$(mktemp) # the requests and events between the program and the compositor (libwayland 1.23 writes "#" for "@")
# Under LeakSanitizer: Qt's Wayland plugins leave their one-off allocations to the end of the process, some in
# plugins already unloaded, where no suppression can name them; leaks are looked for in the other tests.
env -u DISPLAY ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=halden-test WAYLAND_DEBUG=client "$1" 2>"$trace" &
program=$!
drawnSince() { sed -n "/$1/,\$p" "$trace" | grep -q 'wl_surface[@#][0-9]*\.commit'; }
until drawnSince 'configure(0, 0, array\[4\])'; do sleep 0.1; done
xdotool mousemove 630 530 sleep 0.3 mousemove $((600 - $2)) 47 sleep 0.3 click 1 sleep 0.3 key Tab
# Until the program has drawn what the key changed, which a maximized window cannot do at its own size.
for _ in $(seq 50); do
  if ! kill -0 $program 2>/dev/null || drawnSince 'wl_keyboard[@#][0-9]*\.key'; then break; fi
  sleep 0.1
done
if ! kill -0 $program 2>/dev/null; then
  wait $program
  echo "ended $?"
elif grep -q -E 'xdg_toplevel[@#][0-9]+\.set_m(ax|in)imized' "$trace"; then
  echo running
  kill $program
else
  echo missed
  kill $program
fi
grep -q -E 'Protocol error|xdg_toplevel[@#][0-9]+\.configure\([1-9]' "$trace" && echo maximized
rm -f "$trace"
kill $compositor
wait
