# Sourced by the scripts that start servers in the background.
# stop_process PID: asks the process to end, waits up to 5 s, then kills it.
stop_process() {
  kill -TERM "$1" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
}
