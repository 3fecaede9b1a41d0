#!/usr/bin/python3
'''Runs `inbox delete 1`, `inbox block 1`, `inbox read 1` and `blocked restore 1` in a loop
while `velmo-device sms receive --batch` stores messages, then accounts for every message.

A third of the messages come from a contact whose action is Accept, a third from one whose
action is Silent accept (the rule client makes a read copy and deletes the original), a
third from unknown senders, which are dismissed. Two loops of commands, each command picked
at random, run beside the receiver until it is done. Every message must then be accounted for
exactly once: in the Inbox, in the blocked list, or deleted by an `inbox delete` that said
so. A message in none of them is lost, one in two is duplicated, and an Inbox message or a
blocked record without a text is blank.

The receiver is one process that reads the messages from a pipe, one every 0 to 2 × the
pace (20 ms by default), as a modem hands them over.

usage: bench/concurrent_commands_campaign.py BIN_DIR [--messages N] [--pace-ms N] [--seed N]
Exit status 0 when no message is lost, duplicated or blank, 1 otherwise.
'''

import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SENDERS = ('+15550100', '+15550111', '+15550199')  # accepted, silently accepted, dismissed
TEXT = re.compile(r'\bcampaign-(\d+)$')
COMMANDS = (('inbox', 'delete', '1'), ('inbox', 'block', '1'), ('inbox', 'read', '1'), ('blocked', 'restore', '1'))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('bin_dir')
    parser.add_argument('--messages', type=int, default=1000)
    parser.add_argument('--pace-ms', type=float, default=20)
    parser.add_argument('--seed', type=int, default=None)
    args = parser.parse_args()
    if not 3 <= args.messages <= 100000:
        sys.exit('--messages takes 3 to 100000')
    if not 0 <= args.pace_ms <= 1000:
        sys.exit('--pace-ms takes 0 to 1000')
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    velmo = os.path.join(os.path.abspath(args.bin_dir), 'velmo-device')
    work = tempfile.mkdtemp(prefix='velmo-commands-')
    try:
        return campaign(velmo, work, args.messages, args.pace_ms / 1000, seed)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def campaign(velmo, work, messages, pace, seed):
    env = dict(os.environ, VELMO_DEVICE=os.path.join(work, 'device'))

    def device(*words):
        return subprocess.run([velmo, *words], env=env, check=True, capture_output=True, text=True).stdout

    device('install')
    device('contacts', 'add', '--first', 'Ada', '--mobile', SENDERS[0])
    device('contacts', 'add', '--first', 'Bea', '--mobile', SENDERS[1])
    device('registry', 'set', 'HKLM/Software/Apps/VelmoLight', 'ActiveState', '--dword', '0')
    device('contacts', 'action', '1', 'accept')
    device('contacts', 'action', '2', 'silent')
    device('contacts', 'action', 'unknown', 'dismiss')

    started = time.monotonic()
    receiver = subprocess.Popen([velmo, 'sms', 'receive', '--batch', '/dev/stdin'], env=env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    output = {}
    readers = [threading.Thread(target=lambda name, pipe: output.__setitem__(name, pipe.read()), args=pair)
               for pair in (('out', receiver.stdout), ('errors', receiver.stderr))]
    for thread in readers:
        thread.start()
    deleted = []  # the message numbers that a delete said it deleted
    said = {' '.join(command): 0 for command in COMMANDS}
    lock = threading.Lock()

    def loop(chance):
        while receiver.poll() is None:
            command = chance.choice(COMMANDS)
            done = subprocess.run([velmo, *command], env=env, capture_output=True, text=True)
            if done.returncode != 0:
                continue
            with lock:
                said[' '.join(command)] += 1
                if command[1] == 'delete':
                    found = TEXT.search(done.stdout.strip())
                    deleted.append(int(found.group(1)) if found else -1)

    loops = [threading.Thread(target=loop, args=(random.Random(seed + n),)) for n in range(2)]
    for thread in loops:
        thread.start()
    feed = random.Random(seed)
    for i in range(messages):
        receiver.stdin.write(f'{SENDERS[i % 3]}\t\tcampaign-{i}\n')
        receiver.stdin.flush()
        time.sleep(feed.uniform(0, 2 * pace))
    receiver.stdin.close()
    receiver.wait()
    for thread in readers + loops:
        thread.join()
    out, errors = output['out'], output['errors']
    elapsed = time.monotonic() - started
    if receiver.returncode != 0:
        sys.exit(f'sms receive --batch: exit {receiver.returncode}: {errors.strip()}')

    places = [0] * messages
    blank = 0
    for listed in (json.loads(device('inbox', '--json')), json.loads(device('blocked', '--json'))):
        for message in listed:
            found = TEXT.search(message['text'])
            if found is None:
                blank += 1
            else:
                places[int(found.group(1))] += 1
    for number in deleted:
        if number < 0:
            blank += 1
        else:
            places[number] += 1
    lost = places.count(0)
    duplicated = sum(1 for count in places if count > 1)
    outcomes = {word: sum(1 for line in out.splitlines() if line.startswith(word + ':'))
                for word in ('accepted', 'silently accepted', 'dismissed')}
    print(f'seed {seed}: {messages} messages received in {elapsed:.1f} s ({outcomes["accepted"]} accepted, '
          f'{outcomes["silently accepted"]} silently accepted, {outcomes["dismissed"]} dismissed) beside '
          + ', '.join(f'{count} `{command}`' for command, count in said.items()) + ' that did what they said')
    print(f'lost {lost}, duplicated {duplicated}, blank {blank}')
    return 0 if lost == 0 and duplicated == 0 and blank == 0 else 1


if __name__ == '__main__':
    sys.exit(main())
