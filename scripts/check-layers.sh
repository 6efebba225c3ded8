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
# The one exception: a pack's check tells a maker what the protocol will do
# with each sound (a command word that is a keyword, a line past the host's
# buffer), so it shares the protocol's pure text rules instead of copying
# them. Those two headers include nothing of Windows or of the host's state.
hits=$(grep -rnE '#include "(host|ui)/' soundpack --include='*.cpp' --include='*.h' |
  grep -vE ':#include "host/(sound_line|host_contract)\.h"$' || true)
if [ -n "$hits" ]; then
  echo "check-layers: soundpack reaches up:" >&2
  echo "$hits" >&2
  status=1
fi
[ $status -eq 0 ] && echo "check-layers: every arrow runs down"
exit $status
