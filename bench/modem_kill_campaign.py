#!/usr/bin/python3
'''Kills `velmo-device sms listen --modem-manager --quiet` at random while the stand-in
ModemManager feeds it messages, then counts what came of each message.

A third of the messages come from a contact whose action is Accept, a third from one whose
action is Silent accept, a third from unknown senders, which are dismissed. The receiver
lives 0 to 0.6 s, is killed with SIGKILL and started again after 0 to 0.3 s; once the kills
are done it runs until the modem is empty. Every message must then be in exactly one place
(unread in the Inbox, read in the Inbox, or in the blocked list), none left on the modem, and
"BlockedMsg" and "SilentMsg" must each count the third they stand for.

usage: bench/modem_kill_campaign.py BIN_DIR [--messages N] [--kills N] [--seed N]
Exit status 0 when every figure is as it must be, 1 otherwise.
'''

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import dbus

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, '..', 'tests', 'system', 'modem_standin.py')
SENDERS = (('+15550100', 'accepted'), ('+15550111', 'silent'), ('+15550199', 'dismissed'))
TEXT = re.compile(r'campaign message (\d+)\b')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('bin_dir')
    parser.add_argument('--messages', type=int, default=3000)
    parser.add_argument('--kills', type=int, default=300)
    parser.add_argument('--seed', type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    chance = random.Random(seed)
    velmo = os.path.join(os.path.abspath(args.bin_dir), 'velmo-device')
    work = tempfile.mkdtemp(prefix='velmo-kill-')
    env = dict(os.environ, VELMO_DEVICE=os.path.join(work, 'device'),
               DBUS_SYSTEM_BUS_ADDRESS='unix:path=' + os.path.join(work, 'bus'))
    children = []

    def start(command, output):
        child = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=output,
                                 stderr=subprocess.STDOUT)
        children.append(child)
        return child

    def device(*words):
        return subprocess.run([velmo, *words], env=env, check=True, capture_output=True, text=True).stdout

    try:
        log = open(os.path.join(work, 'log'), 'w')
        start(['/usr/bin/dbus-daemon', '--session', '--nofork', '--address=' + env['DBUS_SYSTEM_BUS_ADDRESS']],
              log)
        wait_for(lambda: os.path.exists(os.path.join(work, 'bus')), 'the bus')
        start(['/usr/bin/python3', '-m', 'dbusmock', '--template', TEMPLATE], log)
        bus = dbus.bus.BusConnection(env['DBUS_SYSTEM_BUS_ADDRESS'])
        wait_for(lambda: bus.name_has_owner('org.freedesktop.ModemManager1'), 'the stand-in')
        mock = dbus.Interface(bus.get_object('org.freedesktop.ModemManager1', '/org/freedesktop/ModemManager1'),
                              'org.freedesktop.DBus.Mock')
        device('install')
        device('contacts', 'add', '--first', 'Ada', '--mobile', SENDERS[0][0])
        device('contacts', 'add', '--first', 'Bea', '--mobile', SENDERS[1][0])
        device('registry', 'set', 'HKLM/Software/Apps/VelmoLight', 'ActiveState', '--dword', '0')
        device('contacts', 'action', '1', 'accept')
        device('contacts', 'action', '2', 'silent')
        device('contacts', 'action', 'unknown', 'dismiss')
        modem = mock.AddModem()

        # The messages arrive over about the time the kills take, so that they meet the
        # receiver at every moment of its life.
        pace = 0.45 * args.kills / args.messages
        fed = []

        def feed():
            feeder_bus = dbus.bus.BusConnection(env['DBUS_SYSTEM_BUS_ADDRESS'])
            feeder = dbus.Interface(feeder_bus.get_object('org.freedesktop.ModemManager1',
                                                          '/org/freedesktop/ModemManager1'),
                                    'org.freedesktop.DBus.Mock')
            for i in range(args.messages):
                number = SENDERS[i % 3][0]
                feeder.Receive(modem, number, f'campaign message {i}', '2026-01-01T08:00:00+01',
                               dbus.UInt32(3))
                fed.append(i)
                time.sleep(pace)

        feeder = threading.Thread(target=feed)
        started = time.monotonic()
        feeder.start()
        receiver_log = open(os.path.join(work, 'receiver.log'), 'w')
        listen = [velmo, 'sms', 'listen', '--modem-manager', '--quiet']
        for kill in range(args.kills):
            receiver = start(listen, receiver_log)
            time.sleep(chance.uniform(0, 0.6))
            receiver.kill()
            receiver.wait()
            time.sleep(chance.uniform(0, 0.3))
            if kill % 50 == 49:
                print(f'{kill + 1} kills, {len(fed)} messages fed', file=sys.stderr, flush=True)
        feeder.join()
        receiver = start(listen, receiver_log)
        wait_for(lambda: len(modem_messages(bus, modem)) == 0, 'an empty modem', 600)
        receiver.send_signal(signal.SIGTERM)
        clean_exit = receiver.wait() == 0
        elapsed = time.monotonic() - started

        where = {}
        stray = 0
        for line in device('inbox').splitlines()[1:]:
            found = TEXT.search(line)
            stray += found is None
            if found:
                where.setdefault(int(found.group(1)), []).append('accepted' if 'unread' in line else 'silent')
        for line in device('blocked').splitlines():
            found = TEXT.search(line)
            if found:
                where.setdefault(int(found.group(1)), []).append('dismissed')
        duplicates = sum(1 for places in where.values() if len(places) > 1)
        lost = sum(1 for i in range(args.messages) if i not in where)
        misplaced = sum(1 for i, places in where.items() if places[0] != SENDERS[i % 3][1])
        left = len(modem_messages(bus, modem))
        third = {name: sum(1 for i in range(args.messages) if SENDERS[i % 3][1] == name) for _, name in SENDERS}
        blocked = counter(device('registry', 'get', 'HKLM/Software/Apps/VelmoLight', 'BlockedMsg'))
        silent = counter(device('registry', 'get', 'HKLM/Software/Apps/VelmoLight', 'SilentMsg'))
        journal = os.path.getsize(os.path.join(env['VELMO_DEVICE'], 'modem-journal.txt'))
        print(f'seed {seed}: {args.messages} messages, {args.kills} kills, {elapsed:.0f} s')
        print(f'duplicated {duplicates}, lost {lost}, misplaced {misplaced}, left on the modem {left}, '
              f'other messages in the Inbox {stray}')
        print(f'BlockedMsg {blocked} (expected {third["dismissed"]}), '
              f'SilentMsg {silent} (expected {third["silent"]}); journal {journal} bytes; '
              f'last receiver ended {"cleanly" if clean_exit else "badly"}')
        good = (duplicates == 0 and lost == 0 and misplaced == 0 and left == 0 and stray == 0 and clean_exit and
                blocked == third['dismissed'] and silent == third['silent'])
        return 0 if good else 1
    finally:
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
                child.wait()
        shutil.rmtree(work, ignore_errors=True)


def modem_messages(bus, modem):
    properties = dbus.Interface(bus.get_object('org.freedesktop.ModemManager1', modem),
                                'org.freedesktop.DBus.Properties')
    return properties.Get('org.freedesktop.ModemManager1.Modem.Messaging', 'Messages')


def counter(text):
    return int(text.split()[1])


def wait_for(done, what, seconds=20):
    end = time.monotonic() + seconds
    while not done():
        if time.monotonic() > end:
            raise SystemExit(f'gave up waiting for {what}')
        time.sleep(0.05)


if __name__ == '__main__':
    sys.exit(main())
