#!/bin/sh
# Runs a test program under umockdev's preload library (umockdev-wrapper), which gives it the
# emulated sysfs and device nodes of its test bed.
#   umockdev-run.sh [--asan] PROGRAM [ARGS...]
# --asan: the program is built with AddressSanitizer, whose runtime then is not the first
# library loaded (umockdev's preload library is); ASan is told to accept that.
if [ "$1" = --asan ]; then
    shift
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
    export ASAN_OPTIONS
fi
exec umockdev-wrapper "$@"
