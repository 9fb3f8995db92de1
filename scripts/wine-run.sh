#!/usr/bin/env bash
# Runs a Windows program under Wine: the cross build's emulator for ctest. The Wine prefix and
# the display come from scripts/windows.sh test, which makes one prefix per run; a run without
# them would create or change ~/.wine, so it is refused.
set -euo pipefail
if [[ -z ${WINEPREFIX:-} ]]; then
    echo "wine-run.sh: WINEPREFIX is not set; run the Windows tests through scripts/windows.sh test" >&2
    exit 2
fi
exec /usr/lib/wine/wine64 "$@"
