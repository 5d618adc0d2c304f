#!/usr/bin/env bash
# Runs a Windows program of the build under Wine with the project's own prefix and environment
# (tests/wine-env.sh), preparing the prefix on first use. CMake uses it as the emulator of the
# Windows builds, so that ctest needs nothing set up beforehand.
#   run_program.sh <program.exe> [arguments...]
here=$(cd "$(dirname "$0")" && pwd)
export QV_ROOT=${QV_ROOT:-$(cd "$here/../.." && pwd)}
# shellcheck source=tests/wine-env.sh
. "$QV_ROOT/tests/wine-env.sh"
qv_wine_prefix_ready
exec wine "$@"
