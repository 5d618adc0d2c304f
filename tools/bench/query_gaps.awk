# Reads a qv-headset-sim log written with --timestamps and reports the query sequences in it
# (requests 7, 8, 9, 10, 1, 2, 3, 4, 5, each answered with "OK" and a status line):
#   gap per step: from the status line's write to the next request's arrival (8 per sequence),
#   whole: from the first request's arrival to the last status line's write,
#   wire: the sequence's bytes in both directions at 115200 baud (10 bits a byte).
# Prints one line: "sequences N gaps G gap_median_ms X gap_max_ms X whole_median_ms X wire_ms X"
# Only complete sequences count, at most `runs` of them (0: all).
#   awk -v runs=N -f query_gaps.awk LOG
function sorted_median(values, n,    i, j, t) {
    for (i = 2; i <= n; i++)
        for (j = i; j > 1 && values[j - 1] > values[j]; j--) {
            t = values[j]; values[j] = values[j - 1]; values[j - 1] = t
        }
    return n % 2 ? values[(n + 1) / 2] : (values[n / 2] + values[n / 2 + 1]) / 2
}
# Bytes a printed write stands for: "\r", "\n" and "\xNN" are one byte each.
function bytes_of(text,    n) {
    n = gsub(/\\x[0-9A-F][0-9A-F]/, "x", text)
    gsub(/\\r|\\n/, "x", text)
    return length(text)
}
BEGIN { sequences = 0; gaps = 0; step = 0 }
# After the time and the arrow, the rest of the line is what was sent (it may hold blanks).
function sent() { return substr($0, index($0, $2) + 3) }
$2 == "<-" && $3 ~ /^AT\+QVCMD1=/ {
    code = substr($3, 11) + 0
    if (code == 7) { step = 1; first = $1; bytes = 0; ngap = 0 }
    else if (step > 0 && code == order[step + 1]) step++
    else { step = 0; next }
    if (step > 1) pending[++ngap] = ($1 - status_at) / 1000
    bytes += length(sent()) + 1  # and the request's carriage return
    next
}
$2 == "->" && step > 0 {
    bytes += bytes_of(sent())
    if ($3 ~ /^\+QVSTS1=/) {
        status_at = $1
        if (step == 9) {
            if (runs > 0 && sequences >= runs) { step = 0; next }
            sequences++
            whole[sequences] = ($1 - first) / 1000
            wire = bytes * 10 * 1000 / 115200
            for (i = 1; i <= ngap; i++) all[++gaps] = pending[i]
            step = 0
        }
    }
}
BEGIN { split("7 8 9 10 1 2 3 4 5", order, " ") }
END {
    if (sequences == 0) { print "sequences 0"; exit 1 }
    max = 0
    for (i = 1; i <= gaps; i++) if (all[i] > max) max = all[i]
    printf "sequences %d gaps %d gap_median_ms %.1f gap_max_ms %.1f whole_median_ms %.1f wire_ms %.1f\n",
        sequences, gaps, sorted_median(all, gaps), max, sorted_median(whole, sequences), wire
}
