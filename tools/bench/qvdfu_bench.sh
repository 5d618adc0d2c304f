#!/usr/bin/env bash
# Benchmark of qvdfu upgrade --all (not a test): four simulated headsets at the simulator's
# realistic pace (about 20 KiB/s), upgraded at once with --all and then one after another with
# the same image. Prints the wall times, the ratio of four at once to one alone (aim: at most
# 1.3) and the peak resident memory of qvdfu.
#   tools/bench/qvdfu_bench.sh [IMAGE_KIB]     (default 256)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
KIB=${1:-256}
BUILD=$ROOT/build/native
WORK=$ROOT/build/bench/qvdfu
(cd "$ROOT" && cmake --preset native >/dev/null &&
    cmake --build --preset native -j "${QV_JOBS:-2}" --target qvdfu qv-headset-sim qvdfufile >/dev/null)
QVDFU=$BUILD/console/qvdfu
SIM=$BUILD/tools/headset_sim/qv-headset-sim
DFUFILE=$BUILD/tools/dfufile/qvdfufile
[ -x /usr/bin/time ] || { echo "qvdfu_bench: needs /usr/bin/time (Debian: time)" >&2; exit 2; }

rm -rf "$WORK"
mkdir -p "$WORK/com"
head -c $((KIB * 1024)) /dev/urandom >"$WORK/image.bin"
"$DFUFILE" pack -i "$WORK/image.bin" -o "$WORK/KX-V5_v103.dfu" -v 1209 -p 4B58 -r 0103 \
    -c "QuorVane KX-V5 V1.03" >/dev/null

PORTS=(COM11 COM12 COM13 COM14)
pids=()
loopback=""
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT
next=$((20000 + RANDOM % 10000))
for com in "${PORTS[@]}"; do
    while (exec 3<>"/dev/tcp/127.0.0.1/$next") 2>/dev/null; do next=$((next + 1)); done
    "$SIM" --com "$com" --com-dir "$WORK/com" --dfu-port "$next" --dfu-pace real --quiet \
        --state "$WORK/$com.state" >"$WORK/$com.log" 2>&1 &
    pids+=($!)
    loopback+="${loopback:+;}127.0.0.1:$next"
    next=$((next + 1))
done
for com in "${PORTS[@]}"; do
    for _ in $(seq 100); do grep -qs READY "$WORK/$com.log" && break; sleep 0.05; done
done
export QV_COM_DIR=$WORK/com QV_DFU_LOOPBACK=$loopback QV_HEADSET_PORTS="COM11;COM12;COM13;COM14"

# run LABEL ARGS...: one qvdfu run; prints "seconds peak-KiB".
run() {
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$WORK/time" "$QVDFU" "$@" --yes --quiet >"$WORK/$label.out" 2>&1 ||
        { echo "qvdfu_bench: $label failed:" >&2; cat "$WORK/$label.out" >&2; exit 1; }
    cat "$WORK/time"
}

read -r all_s all_kib < <(run all upgrade "$WORK/KX-V5_v103.dfu" --all)
seq_s=0
seq_kib=0
one_s=""
for com in "${PORTS[@]}"; do
    read -r s kib < <(run "$com" upgrade "$WORK/KX-V5_v103.dfu" --port "$com")
    [ -z "$one_s" ] && one_s=$s
    seq_s=$(echo "$seq_s + $s" | bc -l)
    [ "$kib" -gt "$seq_kib" ] && seq_kib=$kib
done
mean_one=$(echo "$seq_s / ${#PORTS[@]}" | bc -l)
printf 'image %d KiB, 4 headsets, pace real\n' "$KIB"
printf '  --all (4 at once):        %6.2f s   peak %6d KiB\n' "$all_s" "$all_kib"
printf '  one after another:        %6.2f s   peak %6d KiB (one: %.2f s on average)\n' \
    "$seq_s" "$seq_kib" "$mean_one"
printf '  4 at once / one alone:    %6.2f     (aim: at most 1.30)\n' "$(echo "$all_s / $mean_one" | bc -l)"
printf '  one after another / --all: %5.2f\n' "$(echo "$seq_s / $all_s" | bc -l)"
