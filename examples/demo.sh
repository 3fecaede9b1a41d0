#!/usr/bin/env bash
# The demo: a fresh device, the deliverables installed, and the filter at work.
# Called by ./run demo with the build's bin directory and the device root.
set -euo pipefail
BIN=$1
export VELMO_DEVICE=$2
HERE=$(cd "$(dirname "$0")" && pwd)
dev() { "$BIN/velmo-device" "$@"; }

rm -rf "$VELMO_DEVICE"
mkdir -p "$VELMO_DEVICE"
echo "== A fresh device in $VELMO_DEVICE"
echo
echo "== The settings of a fresh device, as the deliverables read them"
"$BIN/velmo-settings" 2>/dev/null || dev registry list
