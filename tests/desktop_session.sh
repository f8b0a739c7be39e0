#!/bin/sh
# The session of a desktop for tests/test_desktop.cpp, run by xvfb-run inside dbus-run-session. It starts the window
# manager (openbox, which focuses, raises and minimizes windows as a desktop's does), waits until it manages the
# screen, prints the screen's name, the session bus's address and the accessibility bus's address on one line, and
# lasts until its input closes. Without openbox it ends at once.
command -v openbox >/dev/null || exit
rm -f "$HOME/managing" # a display of its own, with a window manager of its own
openbox --sm-disable --startup "touch $HOME/managing" >/dev/null 2>&1 &
until [ -e "$HOME/managing" ]; do sleep 0.1; done
# shellcheck disable=SC2046 # the bus's address, without the blanks dbus-send puts before it
echo "$DISPLAY" "$DBUS_SESSION_BUS_ADDRESS" $(dbus-send --session --print-reply=literal --dest=org.a11y.Bus \
  /org/a11y/bus org.a11y.Bus.GetAddress)
exec cat
