# Sourced by test.sh: a private sound server (null sink and a virtual microphone)
# and a virtual X display, both stopped when the shell exits.

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

stop_test_services() {
  [ -n "${ORVINTA_PULSE_PID:-}" ] && kill "$ORVINTA_PULSE_PID" 2>/dev/null && wait "$ORVINTA_PULSE_PID" 2>/dev/null
  [ -n "${ORVINTA_XVFB_PID:-}" ] && kill "$ORVINTA_XVFB_PID" 2>/dev/null && wait "$ORVINTA_XVFB_PID" 2>/dev/null
  [ -n "${ORVINTA_TEST_RUNTIME:-}" ] && rm -rf "$ORVINTA_TEST_RUNTIME"
  ORVINTA_PULSE_PID= ORVINTA_XVFB_PID= ORVINTA_TEST_RUNTIME=
  return 0
}
