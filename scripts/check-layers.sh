#!/usr/bin/env bash
# The arrows run down: host/ and ui/ use soundpack/, audio/ and database/,
# and nothing in those three includes host/ or ui/. database/ uses nothing
# above it at all.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
check() { # folder, pattern of forbidden includes
  local hits
  hits=$(grep -rnE "#include \"($2)/" "$1" --include='*.cpp' --include='*.h' --include='*.c' || true)
  if [ -n "$hits" ]; then
    echo "check-layers: $1 reaches up:" >&2
    echo "$hits" >&2
    status=1
  fi
}
check database 'host|ui|audio|soundpack'
check audio 'host|ui|soundpack'
check soundpack 'host|ui'
[ $status -eq 0 ] && echo "check-layers: every arrow runs down"
exit $status
