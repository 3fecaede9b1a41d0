#!/usr/bin/env bash
# The SMS transport's throughput with one batch and with three batches received at once
# on one device, and the counters after each run: half the messages come from a contact
# whose action is Silent accept, half from unknown senders, which are dismissed, so
# "SilentMsg" and "BlockedMsg" must each end at exactly half.
# usage: bench/concurrent_transports.sh BIN_DIR [MESSAGES]   (default 10000)
set -euo pipefail
bin=$(cd "$1" && pwd)
total=${2:-10000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

device() { "$bin/velmo-device" "$@"; }

prepare() {  # device root
    export VELMO_DEVICE=$1
    device install >/dev/null
    device contacts add --first Ada --last Marsh --mobile "+1 555 0100" >/dev/null
    device registry set HKLM/Software/Apps/VelmoLight ActiveState --dword 0 >/dev/null
    device contacts action 1 silent >/dev/null
    device contacts action unknown dismiss >/dev/null
}

counter() {  # name
    device registry get HKLM/Software/Apps/VelmoLight "$1" | awk '{ print $2 }'
}

# One message a line; the lines of part p of n are every n-th from the p-th.
lines() {  # part parts
    awk -v part="$1" -v parts="$2" -v total="$total" 'BEGIN {
        for (i = part; i < total; i += parts) {
            if (i % 2 == 0) printf "+1 555 0100\tAda Marsh\tmessage %d\t2026-01-01T08:00:00Z\n", i;
            else printf "+1 555 0199\t\tmessage %d\t2026-01-01T08:00:00Z\n", i;
        }
    }'
}

run() {  # parts
    local parts=$1 root="$work/device-$1" start end p
    prepare "$root"
    for ((p = 0; p < parts; p++)); do lines "$p" "$parts" >"$work/batch-$parts-$p"; done
    start=$(date +%s.%N)
    for ((p = 0; p < parts; p++)); do
        device sms receive --batch "$work/batch-$parts-$p" >"$work/out-$parts-$p" &
    done
    wait
    end=$(date +%s.%N)
    local received blocked silent
    received=$(cat "$work"/out-"$parts"-* | wc -l)
    blocked=$(counter BlockedMsg)
    silent=$(counter SilentMsg)
    awk -v p="$parts" -v n="$received" -v s="$start" -v e="$end" -v b="$blocked" -v si="$silent" -v half=$((total / 2)) \
        'BEGIN { printf "%d batch(es): %d messages in %.1f s, %.1f messages/s; BlockedMsg %d, SilentMsg %d (%s)\n",
                 p, n, e - s, n / (e - s), b, si, (b == half && si == half) ? "exact" : "NOT EXACT" }'
    echo "$received $start $end" >"$work/result-$parts"
}

run 1
run 3
read -r _ s1 e1 <"$work/result-1"
read -r _ s3 e3 <"$work/result-3"
awk -v s1="$s1" -v e1="$e1" -v s3="$s3" -v e3="$e3" \
    'BEGIN { printf "three at once reach %.1f %% of one batch'"'"'s throughput\n", 100 * (e1 - s1) / (e3 - s3) }'
