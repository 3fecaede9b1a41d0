#!/usr/bin/python3
'''Kills `velmo-device sms send` at random, then sends the Outbox again with
`sms send --retry` (itself killed at random now and then, until one retry runs to its end),
and counts how often each message reached the modem.

Two paths: the stand-in ModemManager on a private bus (what it sent, and the messages left on
its modem), and gammu-smsd with gammu's dummy phone (the files in its outbox and sent
folders). Every message the Outbox took must have been sent exactly once and be in Sent, the
Outbox must be empty, no message may be left on the modem and no temporary file in gammu's
outbox. A message whose sender was killed before the Outbox held it is counted apart.

usage: bench/send_kill_campaign.py BIN_DIR [--kills N] [--seed N] [--path modem-manager|gammu|both]
Exit status 0 when every figure is as it must be, 1 otherwise.
'''

import argparse
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import dbus

from modem_kill_campaign import wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, '..', 'tests', 'system', 'modem_standin.py')
NUMBER = '+15550100'


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('bin_dir')
    parser.add_argument('--kills', type=int, default=300)
    parser.add_argument('--seed', type=int, default=None)
    parser.add_argument('--path', choices=('modem-manager', 'gammu', 'both'), default='both')
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    velmo = os.path.join(os.path.abspath(args.bin_dir), 'velmo-device')
    good = True
    for path in ('modem-manager', 'gammu') if args.path == 'both' else (args.path,):
        good = campaign(velmo, path, args.kills, seed) and good
    return 0 if good else 1


def campaign(velmo, path, kills, seed):
    chance = random.Random(seed)
    work = tempfile.mkdtemp(prefix='velmo-send-kill-')
    env = dict(os.environ, VELMO_DEVICE=os.path.join(work, 'device'))
    children = []
    log = open(os.path.join(work, 'log'), 'w')

    def start(command):
        child = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        children.append(child)
        return child

    try:
        if path == 'modem-manager':
            route = []
            env['DBUS_SYSTEM_BUS_ADDRESS'] = 'unix:path=' + os.path.join(work, 'bus')
            start(['/usr/bin/dbus-daemon', '--session', '--nofork', '--address=' + env['DBUS_SYSTEM_BUS_ADDRESS']])
            wait_for(lambda: os.path.exists(os.path.join(work, 'bus')), 'the bus')
            start(['/usr/bin/python3', '-m', 'dbusmock', '--template', TEMPLATE])
            bus = dbus.bus.BusConnection(env['DBUS_SYSTEM_BUS_ADDRESS'])
            wait_for(lambda: bus.name_has_owner('org.freedesktop.ModemManager1'), 'the stand-in')
            mock = dbus.Interface(bus.get_object('org.freedesktop.ModemManager1', '/org/freedesktop/ModemManager1'),
                                  'org.freedesktop.DBus.Mock')
            modem = mock.AddModem()
        else:
            modem = os.path.join(work, 'modem')
            for folder in ('phone', 'inbox', 'outbox', 'sent', 'error'):
                os.makedirs(os.path.join(modem, folder))
            config = os.path.join(modem, 'smsdrc')
            with open(config, 'w') as out:
                out.write(f'[gammu]\nmodel = dummy\nconnection = none\ndevice = {modem}/phone\n\n[smsd]\n'
                          f'service = files\ninboxpath = {modem}/inbox/\noutboxpath = {modem}/outbox/\n'
                          f'sentsmspath = {modem}/sent/\nerrorsmspath = {modem}/error/\n'
                          f'logfile = {modem}/smsd.log\nCheckSecurity = 0\nCheckBattery = 0\n'
                          'CheckSignal = 0\nCheckNetwork = 0\nStatusFrequency = 0\nCommTimeout = 1\n'
                          'ReceiveFrequency = 1\nLoopSleep = 1\n')
            start(['gammu-smsd', '--config', config])
            route = ['--gammu-outbox', os.path.join(modem, 'outbox'), '--gammu-sent', os.path.join(modem, 'sent')]

        # How long a send lives, so that the kills fall over the whole of it.
        durations = []
        for i in range(5):
            begun = time.monotonic()
            subprocess.run([velmo, 'sms', 'send', '--to', NUMBER, '--text', f'warm-up {i}', *route], env=env,
                           stdout=log, stderr=subprocess.STDOUT)
            durations.append(time.monotonic() - begun)
        life = statistics.median(durations)

        def modem_has():
            if path == 'modem-manager':
                return [str(text) for _, _, text in mock.Sent()]
            found = []
            for folder in ('outbox', 'sent'):
                for name in os.listdir(os.path.join(modem, folder)):
                    if name.startswith('OUT'):
                        try:
                            with open(os.path.join(modem, folder, name), 'rb') as file:
                                found.append(file.read().decode('utf-16'))
                        except FileNotFoundError:  # moved to sent meanwhile
                            found += [text for text in modem_has() if text not in found]
            return found

        started = time.monotonic()
        retries = 0
        handed = 0  # kills that came after the modem had the message
        ended = 0  # senders that were done before their kill
        for kill in range(kills):
            text = f'campaign message {kill}'
            sender = start([velmo, 'sms', 'send', '--to', NUMBER, '--text', text, *route])
            # Half the kills anywhere in the sender's life, half in its last part, where it hands over.
            time.sleep(chance.uniform(0, life) if chance.random() < 0.5 else chance.uniform(0.5, 0.95) * life)
            ended += sender.poll() is not None
            sender.kill()
            sender.wait()
            handed += sender.returncode == -signal.SIGKILL and text in modem_has()
            while True:
                retries += 1
                begun = time.monotonic()
                retry = start([velmo, 'sms', 'send', '--retry', *route])
                if chance.random() < 0.3:
                    time.sleep(chance.uniform(0, 1.2 * life))
                    retry.kill()
                    retry.wait()
                    continue
                if retry.wait() == 0:
                    # A retry of one message lives as long as a send: the machine's pace, as it is now.
                    durations.append(time.monotonic() - begun)
                    life = statistics.median(durations[-20:])
                    break
                raise SystemExit(f'a retry failed; see {work}/log')
            if kill % 50 == 49:
                print(f'{path}: {kill + 1} kills', file=sys.stderr, flush=True)
        elapsed = time.monotonic() - started

        texts = [f'warm-up {i}' for i in range(5)] + [f'campaign message {i}' for i in range(kills)]
        if path == 'modem-manager':
            sent = [str(text) for _, _, text in mock.Sent()]
            left = len(dbus.Interface(bus.get_object('org.freedesktop.ModemManager1', modem),
                                      'org.freedesktop.DBus.Properties').Get(
                'org.freedesktop.ModemManager1.Modem.Messaging', 'Messages'))
            temporary = 0
        else:
            outbox = os.path.join(modem, 'outbox')
            wait_for(lambda: not any(name.startswith('OUT') for name in os.listdir(outbox)), 'an empty outbox', 600)
            sent = []
            for name in os.listdir(os.path.join(modem, 'sent')):
                with open(os.path.join(modem, 'sent', name), 'rb') as file:
                    sent.append(file.read().decode('utf-16'))
            left = len(os.listdir(os.path.join(modem, 'error')))
            temporary = len(os.listdir(outbox))
        # A message whose sender was killed before the Outbox held it was never taken on.
        filed = [message['text'] for message in json.loads(subprocess.run(
            [velmo, 'inbox', '--folder', 'Sent', '--json'], env=env, capture_output=True, text=True).stdout)]
        twice = sum(1 for text in texts if sent.count(text) > 1)
        lost = sum(1 for text in filed if sent.count(text) == 0)
        unfiled = sum(1 for text in sent if text not in filed)
        never = sum(1 for text in texts if text not in filed and text not in sent)
        outbox_left = int(subprocess.run([velmo, 'inbox', '--folder', 'Outbox'], env=env, capture_output=True,
                                         text=True).stdout.split()[1])
        print(f'seed {seed}, {path}: {kills} kills ({ended} came after the sender ended, {handed} after the modem had the message), {retries} retries, '
              f'{elapsed:.0f} s')
        print(f'sent twice {twice}, lost {lost}, sent but not in Sent {unfiled}, left on the modem {left}, '
              f'temporary files left {temporary}, left in the Outbox {outbox_left}; {never} killed before the '
              'Outbox had them', flush=True)
        return twice == 0 and lost == 0 and unfiled == 0 and left == 0 and temporary == 0 and outbox_left == 0
    finally:
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
                child.wait()
        log.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
