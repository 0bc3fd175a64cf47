# SPDX-License-Identifier: BSD-2-Clause-Patent
# Sourced by the CI scripts: `phase NAME COMMAND...` runs COMMAND and records
# the seconds it took in $SIO_PHASE_LOG, passed or failed. The outermost script
# that sources this file creates the log and prints the table when it exits,
# after a failure too, so the phases that ran are always shown.
if [[ -z ${SIO_PHASE_LOG:-} ]]; then
  SIO_PHASE_LOG=$(mktemp)
  export SIO_PHASE_LOG
  sio_phase_start=$EPOCHREALTIME
  sio_phase_table() {
    local status=$? name seconds result total
    total=$(sio_seconds_since "$sio_phase_start")
    echo
    echo "== phases (seconds)"
    while IFS=$'\t' read -r name seconds result; do
      printf '%-34s %8.1f  %s\n' "$name" "$seconds" "$result"
    done <"$SIO_PHASE_LOG"
    printf '%-34s %8.1f  %s\n' "total (wall time)" "$total" \
      "$( ((status == 0)) && echo ok || echo "failed ($status)")"
    rm -f "$SIO_PHASE_LOG"
  }
  trap sio_phase_table EXIT
fi

sio_seconds_since() {
  awk -v now="$EPOCHREALTIME" -v then="$1" 'BEGIN { printf "%.1f", now - then }'
}

phase() {
  local name=$1 start=$EPOCHREALTIME status=0
  shift
  "$@" || status=$?
  printf '%s\t%s\t%s\n' "$name" "$(sio_seconds_since "$start")" \
    "$( ((status == 0)) && echo ok || echo "failed ($status)")" >>"$SIO_PHASE_LOG"
  return "$status"
}
