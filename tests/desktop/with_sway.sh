#!/bin/bash
# Runs a command in a headless Wayland session: sway 1.7 with its headless
# backend, which offers the data-control protocol. sway refuses to run as
# root, so under root it runs as nobody (65534) in folders of its own; the
# command runs as the caller, with WAYLAND_DISPLAY (a full path),
# XDG_RUNTIME_DIR and DISPLAY (sway's XWayland) set.
#
#   with_sway.sh COMMAND [ARGUMENT...]
set -u

home=$(mktemp -d /tmp/bm-sway-home.XXXXXX)
runtime=$(mktemp -d /tmp/bm-sway-run.XXXXXX)
chmod 700 "$runtime"
printf 'output HEADLESS-1 resolution 1280x800\nxwayland enable\n' > "$home/config"
x_sockets_before=$(ls /tmp/.X11-unix 2>/dev/null)
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$home" "$runtime"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 "${as_user[@]}" sway -c "$home/config" > "$home/sway.log" 2>&1 &
sway=$!
finish() {
  kill "$sway" 2>/dev/null
  wait "$sway" 2>/dev/null
  rm -rf "$home" "$runtime" "${own_runtime:-}"
}
trap finish EXIT

for _ in $(seq 200); do
  [ -S "$runtime/wayland-1" ] && break
  sleep 0.05
done
if [ ! -S "$runtime/wayland-1" ]; then
  echo "sway did not start:" >&2
  cat "$home/sway.log" >&2
  exit 1
fi

# XWayland, which sway starts when an X client first comes: its display is
# the X socket sway made, and it lets only sway's user in until told.
display=
for _ in $(seq 40); do
  for socket in /tmp/.X11-unix/X*; do
    name=$(basename "$socket")
    [ -S "$socket" ] && ! grep -qx "$name" <<< "$x_sockets_before" && display=":${name#X}"
  done
  [ -n "$display" ] && break
  sleep 0.05
done
if [ -z "$display" ]; then
  echo "sway made no X display for XWayland" >&2
  exit 1
fi
env -i PATH=/usr/bin:/bin DISPLAY="$display" "${as_user[@]}" xhost "+si:localuser:$(id -un)" > /dev/null

# The command gets a runtime folder of its own (Qt wants one owned by its
# user) and reaches sway's socket by its full path.
own_runtime=$(mktemp -d /tmp/bm-run.XXXXXX)
chmod 700 "$own_runtime"
XDG_RUNTIME_DIR="$own_runtime" WAYLAND_DISPLAY="$runtime/wayland-1" DISPLAY="$display" \
    BRINDLEMUX_TEST_COMPOSITOR=sway "$@"
