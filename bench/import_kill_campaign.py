#!/usr/bin/python3
'''Kills `velmo-device import FILE --replace` at random moments and checks that each device
is left in its old state or in the new one, never in a mixture.

A device holds an old state (contacts' actions, a text rule, settings, a blocked message);
the file, exported from a second device, holds another. Each trial copies the old device
afresh, starts the import, kills it with SIGKILL after 0 to 1.2 times the time that an
import takes, and then exports the device (its next user, which finishes a recorded
switch). The export must be the old device's or the one an uninterrupted import gives.

usage: bench/import_kill_campaign.py BIN_DIR [--kills N] [--seed N]
Exit status 0 when no trial left a mixture, 1 otherwise.
'''

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

KEY = 'HKLM/Software/Apps/VelmoLight'


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('bin_dir')
    parser.add_argument('--kills', type=int, default=300)
    parser.add_argument('--seed', type=int, default=1)
    args = parser.parse_args()
    command = os.path.join(os.path.abspath(args.bin_dir), 'velmo-device')
    random.seed(args.seed)
    work = tempfile.mkdtemp(prefix='velmo-import-kill-')
    try:
        return campaign(command, work, args.kills)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(command, device, *arguments):
    environment = dict(os.environ, VELMO_DEVICE=device)
    done = subprocess.run([command, *arguments], env=environment, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f'{" ".join(arguments)}: exit {done.returncode}: {done.stderr.strip()}')
    return done.stdout


def fill(command, device, actions, rule, state, blocked_text):
    '''The same three contacts on every device, with actions, a rule and settings of its own.'''
    for first, number in (('Ann', '+15550100'), ('Bo', '+15550111'), ('Cy', '+15550122')):
        run(command, device, 'contacts', 'add', '--first', first, '--mobile', number)
    for key, action in enumerate(actions, start=1):
        run(command, device, 'contacts', 'action', str(key), action)
    run(command, device, 'contacts', 'action', 'unknown', 'dismiss')
    run(command, device, 'registry', 'set', KEY, 'ActiveState', '--dword', '0')
    run(command, device, 'sms', 'receive', '--from', '+15550999', '--text', blocked_text)
    run(command, device, 'rules', 'add', '--pattern', rule, '--action', 'silent')
    run(command, device, 'registry', 'set', KEY, 'ActiveState', '--dword', str(state))


def exported(command, device, file):
    run(command, device, 'export', file)
    with open(file, encoding='utf-8') as text:
        return text.read()


def campaign(command, work, kills):
    old_device = os.path.join(work, 'device')
    template = os.path.join(work, 'template')
    fill(command, old_device, ('dismiss', 'silent', 'accept'), 'alpha', 0, 'old blocked message')
    shutil.copytree(old_device, template, symlinks=True)
    old = exported(command, old_device, os.path.join(work, 'old.json'))

    other = os.path.join(work, 'other')
    fill(command, other, ('accept', 'dismiss', 'silent'), 'beta', 1, 'new blocked message')
    new_file = os.path.join(work, 'new.json')
    exported(command, other, new_file)

    started = time.monotonic()
    run(command, old_device, 'import', new_file, '--replace')
    duration = time.monotonic() - started
    new = exported(command, old_device, os.path.join(work, 'expected.json'))
    if new == old:
        sys.exit('the import changed nothing: the campaign would prove nothing')

    counts = {'old': 0, 'new': 0, 'mixed': 0}
    environment = dict(os.environ, VELMO_DEVICE=old_device)
    for trial in range(kills):
        shutil.rmtree(old_device)
        shutil.copytree(template, old_device, symlinks=True)
        importer = subprocess.Popen([command, 'import', new_file, '--replace'], env=environment,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(random.uniform(0, 1.2 * duration))
        importer.send_signal(signal.SIGKILL)
        importer.wait()
        after = exported(command, old_device, os.path.join(work, 'after.json'))
        outcome = 'old' if after == old else 'new' if after == new else 'mixed'
        counts[outcome] += 1
        if outcome == 'mixed':
            shutil.copy(os.path.join(work, 'after.json'), os.path.join(tempfile.gettempdir(), f'velmo-mixed-{trial}.json'))
    print(f'{kills} imports killed at random within {1.2 * duration:.2f} s (an import takes {duration:.2f} s): '
          f'{counts["old"]} left the old state, {counts["new"]} the new one, {counts["mixed"]} a mixture')
    return 0 if counts['mixed'] == 0 else 1


if __name__ == '__main__':
    sys.exit(main())
