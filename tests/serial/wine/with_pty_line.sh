#!/usr/bin/env bash
# Runs a Windows test program under Wine on the pty line made by pty_line.sh:
#   with_pty_line.sh <rig folder> <program> [arguments...]
rig=$1
shift
export QV_TEST_COM_PORT=COM87 QV_TEST_COM_PEER=COM88
[ -f "$rig/preload" ] && LD_PRELOAD=$(cat "$rig/preload") && export LD_PRELOAD
exec "$(dirname "$0")/../../wine/run_program.sh" "$@"
