# Sourced by test.sh: a private sound server (null sink and a virtual microphone)
# and a virtual X display, both stopped when the shell exits; and, with
# start_test_wayland, a headless sway without XWayland for the Wayland tests.

start_test_services() {
  ORVINTA_TEST_RUNTIME=$(mktemp -d /tmp/orvinta-test.XXXXXX)
  export ORVINTA_TEST_RUNTIME

  cat >"$ORVINTA_TEST_RUNTIME/default.pa" <<PA
load-module module-native-protocol-unix socket=$ORVINTA_TEST_RUNTIME/pulse-socket auth-anonymous=1
load-module module-null-sink sink_name=orvinta_speakers sink_properties=device.description=Speakers
load-module module-null-sink sink_name=orvinta_mic_feed sink_properties=device.description=Mic_feed
load-module module-remap-source source_name=orvinta_mic master=orvinta_mic_feed.monitor source_properties=device.description=Virtual_Microphone
set-default-sink orvinta_speakers
set-default-source orvinta_mic
PA
  HOME=$ORVINTA_TEST_RUNTIME XDG_RUNTIME_DIR=$ORVINTA_TEST_RUNTIME \
    pulseaudio -n -F "$ORVINTA_TEST_RUNTIME/default.pa" --exit-idle-time=-1 \
    --daemonize=no --use-pid-file=no --log-target=file:"$ORVINTA_TEST_RUNTIME/pulse.log" &
  ORVINTA_PULSE_PID=$!
  export PULSE_SERVER=unix:$ORVINTA_TEST_RUNTIME/pulse-socket
  export XDG_RUNTIME_DIR=$ORVINTA_TEST_RUNTIME
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "test sound server did not start" >&2; return 1; }

  # ORVINTA_TEST_DISPLAY lets two test runs share a machine.
  local display=${ORVINTA_TEST_DISPLAY:-:97}
  Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp >"$ORVINTA_TEST_RUNTIME/xvfb.log" 2>&1 &
  ORVINTA_XVFB_PID=$!
  export DISPLAY=$display
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  trap stop_test_services EXIT
}

# Headless sway (wlroots: virtual keyboard and data control), which refuses to
# run as root: it runs as nobody in a runtime folder of its own. Its socket
# is exported as ORVINTA_TEST_WAYLAND_DISPLAY, not WAYLAND_DISPLAY, so that
# only the tests that ask for it talk to it.
start_test_wayland() {
  ORVINTA_SWAY_RUNTIME=$(mktemp -d /tmp/orvinta-sway.XXXXXX)
  chown 65534 "$ORVINTA_SWAY_RUNTIME" && chmod 700 "$ORVINTA_SWAY_RUNTIME"
  printf 'xwayland disable\ndefault_border none\n' >"$ORVINTA_SWAY_RUNTIME/config"
  chown 65534 "$ORVINTA_SWAY_RUNTIME/config"
  env -i PATH=/usr/bin:/bin HOME="$ORVINTA_SWAY_RUNTIME" XDG_RUNTIME_DIR="$ORVINTA_SWAY_RUNTIME" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    setpriv --reuid=65534 --regid=65534 --clear-groups \
    sway -c "$ORVINTA_SWAY_RUNTIME/config" >"$ORVINTA_SWAY_RUNTIME/sway.log" 2>&1 &
  ORVINTA_SWAY_PID=$!
  local socket=
  for _ in $(seq 100); do
    socket=$(find "$ORVINTA_SWAY_RUNTIME" -maxdepth 1 -type s -name 'wayland-*' | head -n 1)
    [ -n "$socket" ] && break
    sleep 0.1
  done
  [ -n "$socket" ] || { echo "headless sway did not start (see $ORVINTA_SWAY_RUNTIME/sway.log)" >&2; return 1; }
  export ORVINTA_TEST_WAYLAND_DISPLAY=$socket
  trap stop_test_services EXIT
}

stop_test_services() {
  [ -n "${ORVINTA_SWAY_PID:-}" ] && kill "$ORVINTA_SWAY_PID" 2>/dev/null && wait "$ORVINTA_SWAY_PID" 2>/dev/null
  [ -n "${ORVINTA_SWAY_RUNTIME:-}" ] && rm -rf "$ORVINTA_SWAY_RUNTIME"
  ORVINTA_SWAY_PID= ORVINTA_SWAY_RUNTIME=
  unset ORVINTA_TEST_WAYLAND_DISPLAY
  [ -n "${ORVINTA_PULSE_PID:-}" ] && kill "$ORVINTA_PULSE_PID" 2>/dev/null && wait "$ORVINTA_PULSE_PID" 2>/dev/null
  [ -n "${ORVINTA_XVFB_PID:-}" ] && kill "$ORVINTA_XVFB_PID" 2>/dev/null && wait "$ORVINTA_XVFB_PID" 2>/dev/null
  [ -n "${ORVINTA_TEST_RUNTIME:-}" ] && rm -rf "$ORVINTA_TEST_RUNTIME"
  ORVINTA_PULSE_PID= ORVINTA_XVFB_PID= ORVINTA_TEST_RUNTIME=
  return 0
}
