#!/usr/bin/env bash
# The demo: a fresh device, the deliverables installed, the user's choices set, and the
# filter at work on the sample messages. Called by ./run demo with the build's bin
# directory and the device root.
set -euo pipefail
BIN=$1
export VELMO_DEVICE=$2
HERE=$(cd "$(dirname "$0")" && pwd)
SETTINGS=HKLM/Software/Apps/VelmoLight
dev() { "$BIN/velmo-device" "$@"; }
section() { printf '\n== %s\n' "$*"; }

rm -rf "$VELMO_DEVICE"
mkdir -p "$VELMO_DEVICE"
section "A fresh device in $VELMO_DEVICE"

section "Installing the deliverables"
dev install

section "The address book, imported from examples/contacts.vcf"
dev contacts import "$HERE/contacts.vcf"
dev contacts list

section "Settings, as VelmoLight writes them: filtering on, each contact's own action, new contacts accepted"
dev registry set "$SETTINGS" ActiveState --dword 0     # Active
dev registry set "$SETTINGS" ItemsState --dword 0      # UserSettings
dev registry set "$SETTINGS" DefActionType --dword 0   # Accept
dev registry list "$SETTINGS"

# A fresh device numbers the imported contacts 1 to 6 in the order of the file.
section "Actions, as VelmoLight stores them in ContactsInfo.dat"
dev contacts action 1 accept      # Ada Marsh
dev contacts action 2 silent      # Bede Okafor
dev contacts action 4 dismiss     # Tamsin Quill
dev contacts action 5 silent      # Osric Brannigan
dev contacts action 6 dismiss     # Greenway Dental
dev contacts action unknown dismiss     # numbers of no contact
dev contacts action undefined silent    # senders without digits
echo "(Sjön Lindqvist, contact 3, keeps the default action: accept)"
dev contacts list

# The first rule that matches decides for senders outside the address book instead of their row.
section "Text rules, as VelmoLight's \"Text rules...\" screen stores them in TextRules.dat"
dev rules add --pattern "won a cruise" --action dismiss
dev rules add --pattern "(?i)^(hi|hello),? it'?s (mum|dad)\b" --regex --action accept

section "Receiving examples/messages: one line per message"
dev sms receive --batch "$HERE/messages"

section "The Inbox afterwards"
dev inbox

section "The blocked list (Mesages.dat)"
dev blocked

section "The counters that the Today item shows"
printf 'BlockedMsg  '; dev registry get "$SETTINGS" BlockedMsg
printf 'SilentMsg   '; dev registry get "$SETTINGS" SilentMsg

# Tamsin Quill is set to Dismiss, but her news of the book club was worth reading.
section "A wrongly blocked message goes back to the Inbox, as VelmoLight's \"Restore\" does"
N=$(dev blocked | awk '/Book club moved to Thursday/ {print $1; exit}')
if [ -n "$N" ]; then
    dev blocked restore "$N"
    dev inbox
    dev blocked
    echo "The counters stay as they were; a restored message is not counted again:"
    printf 'BlockedMsg  '; dev registry get "$SETTINGS" BlockedMsg
    printf 'SilentMsg   '; dev registry get "$SETTINGS" SilentMsg
else
    echo "(The book club message is not in the blocked list, so there is nothing to restore.)"
fi
