# Sourced by bootstrap.sh, test.sh and demo.sh: runs each long step with its
# output in a log file and shows one line for it instead: what it does, how
# far it is while it runs (ninja's [k/N], ctest's k/N, apt's own percentage)
# and how long it took. When a step fails, the log's last lines and its path
# are printed.
#
# The command's output goes to the file directly, never through a pipe: a
# Wine server or Xvfb that a step starts would inherit a pipe and keep a
# reader waiting for its end long after the step.

# Progress is redrawn in place on a terminal; elsewhere (CI, a log) a line
# is printed at each quarter.
if [ -t 1 ]; then steps_tty=1; else steps_tty=0; fi

# The last "done of total" the log shows past byte OFFSET, as "k N", or
# nothing.
steps_progress() {
  local log=$1 offset=$2 last
  # ninja: "[12/110] Building ..."; ctest: " 12/110 Test #3: ..."; apt
  # through APT::Status-Fd: "dlstatus:..:37.5:..." while it downloads, then
  # "pmstatus:..:37.5:..." while it installs (counted as the two halves).
  last=$(grep -aoE '^\[[0-9]+/[0-9]+\]|^ *[0-9]+/[0-9]+ Test +#|^(dl|pm)status:[^:]*:[0-9.]+' \
    <(tail -c +$((offset + 1)) "$log" 2>/dev/null) | tail -n 1) || true
  case $last in
    dlstatus:*) last=${last##*:}; echo "$((${last%%.*} / 2)) 100" ;;
    pmstatus:*) last=${last##*:}; echo "$((50 + ${last%%.*} / 2)) 100" ;;
    '') ;;
    *) last=${last//[][]/}; last=${last%% Test*}; last=${last// /}; echo "${last%/*} ${last#*/}" ;;
  esac
}

# step_run LABEL LOG COMMAND...: runs COMMAND with its output appended to
# LOG, shows LABEL with the progress, and returns COMMAND's status. A failed
# step shows the last $steps_tail_lines lines of its log (30; 0 for none).
step_run() {
  local label=$1 log=$2
  shift 2
  mkdir -p "$(dirname "$log")"
  local start=$SECONDS pid status shown=-1 count total percent quarter offset
  offset=$(stat -c %s "$log" 2>/dev/null || echo 0)
  "$@" >>"$log" 2>&1 </dev/null &
  pid=$!
  [ $steps_tty = 1 ] && printf '%s ...' "$label"
  while kill -0 "$pid" 2>/dev/null; do
    sleep 1
    read -r count total < <(steps_progress "$log" "$offset"; echo) || true
    [ -n "${total:-}" ] && [ "$total" -gt 0 ] || continue
    percent=$((count * 100 / total))
    if [ $steps_tty = 1 ]; then
      printf '\r%s ... %d%% (%d s)   ' "$label" "$percent" $((SECONDS - start))
    else
      quarter=$((percent / 25))
      if [ "$quarter" -gt "$shown" ] && [ "$quarter" -lt 4 ] && [ "$quarter" -gt 0 ]; then
        echo "$label ... $((quarter * 25))% ($((SECONDS - start)) s)"
      fi
      [ "$quarter" -gt "$shown" ] && shown=$quarter
    fi
  done
  wait "$pid"
  status=$?
  [ $steps_tty = 1 ] && printf '\r\033[K'
  if [ $status -eq 0 ]; then
    echo "$label: done ($((SECONDS - start)) s)"
  else
    if [ "${steps_tail_lines:-30}" -gt 0 ]; then
      echo "$label: FAILED after $((SECONDS - start)) s; the end of its log:"
      tail -c +$((offset + 1)) "$log" | tail -n "${steps_tail_lines:-30}" | sed 's/^/  | /'
    else
      echo "$label: FAILED after $((SECONDS - start)) s"
    fi
    echo "$label: the whole log is $log"
  fi
  return $status
}
