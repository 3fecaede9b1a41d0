'''Holds what the stand-in ModemManager shows on the bus against ModemManager's own interface
descriptions: every method, property and signal of a ModemManager interface that it offers
must be there with the same signature. Run against a running stand-in on the bus that
DBUS_SYSTEM_BUS_ADDRESS names: modem_standin_check.py INTERFACES_DIR. Prints each mismatch
and exits 1 when there is one.'''

import os
import sys
import xml.etree.ElementTree as ElementTree

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

MM = 'org.freedesktop.ModemManager1'
ROOT = '/org/freedesktop/ModemManager1'
STANDARD_SIGNALS = {
    ('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded'): 'oa{sa{sv}}',
    ('org.freedesktop.DBus.ObjectManager', 'InterfacesRemoved'): 'oas',
    ('org.freedesktop.DBus.Properties', 'PropertiesChanged'): 'sa{sv}as',
}


def members(interface):
    '''(kind, name) -> signature of an <interface> element.'''
    found = {}
    for method in interface.findall('method'):
        args = method.findall('arg')
        found[('method', method.get('name'))] = (
            ''.join(a.get('type') for a in args if a.get('direction', 'in') == 'in'),
            ''.join(a.get('type') for a in args if a.get('direction') == 'out'))
    for signal in interface.findall('signal'):
        found[('signal', signal.get('name'))] = ''.join(a.get('type') for a in signal.findall('arg'))
    for prop in interface.findall('property'):
        found[('property', prop.get('name'))] = prop.get('type')
    return found


def main():
    reference_dir = sys.argv[1]
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    signals = []
    bus.add_signal_receiver(
        lambda *args, message: signals.append((message.get_interface(), message.get_member(), str(message.get_signature()))),
        message_keyword='message', bus_name=MM)
    mock = dbus.Interface(bus.get_object(MM, ROOT), 'org.freedesktop.DBus.Mock')
    modem = mock.AddModem()
    receiving = mock.Receive(modem, '+15550100', 'Part one', '2024-05-01T09:30:15+02', dbus.UInt32(2))
    shown = [ROOT, modem, receiving]
    offered = {}
    for path in shown:
        tree = ElementTree.fromstring(bus.get_object(MM, path).Introspect(dbus_interface='org.freedesktop.DBus.Introspectable'))
        for interface in tree.findall('interface'):
            if interface.get('name').startswith(MM):
                offered.setdefault(interface.get('name'), {}).update(members(interface))
    mock.Complete(receiving, 'Part one, part two')
    dbus.Interface(bus.get_object(MM, modem), MM + '.Modem.Messaging').Delete(receiving)
    mock.RemoveModem(modem)
    needed = {(MM + '.Modem.Messaging', 'Added'), (MM + '.Modem.Messaging', 'Deleted'),
              ('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded'),
              ('org.freedesktop.DBus.ObjectManager', 'InterfacesRemoved'),
              ('org.freedesktop.DBus.Properties', 'PropertiesChanged')}
    context = GLib.MainContext.default()
    deadline = GLib.get_monotonic_time() + 5_000_000
    while GLib.get_monotonic_time() < deadline and not needed <= {s[:2] for s in signals}:
        if not context.iteration(False):
            GLib.usleep(10_000)

    faults = []
    for name, found in offered.items():
        path = os.path.join(reference_dir, name + '.xml')
        if not os.path.exists(path):
            faults.append(f'{name}: ModemManager has no such interface')
            continue
        reference = {}
        for interface in ElementTree.parse(path).getroot().iter('interface'):
            if interface.get('name') == name:
                reference = members(interface)
        for key, signature in found.items():
            if reference.get(key) != signature:
                faults.append(f'{name} {key[0]} {key[1]}: the stand-in has {signature!r}, '
                              f'ModemManager {reference.get(key)!r}')
    seen = set()
    for interface, member, signature in signals:
        if interface == 'org.freedesktop.DBus.Mock':
            continue
        seen.add((interface, member))
        expected = STANDARD_SIGNALS.get((interface, member))
        if expected is None:
            expected = offered.get(interface, {}).get(('signal', member))
            if expected is None and os.path.exists(os.path.join(reference_dir, interface + '.xml')):
                root = ElementTree.parse(os.path.join(reference_dir, interface + '.xml')).getroot()
                for element in root.iter('interface'):
                    if element.get('name') == interface:
                        expected = members(element).get(('signal', member))
        if expected != signature:
            faults.append(f'signal {interface}.{member}: the stand-in sends {signature!r}, expected {expected!r}')
    for interface, member in sorted(needed - seen):
        faults.append(f'signal {interface}.{member} was never sent')
    for fault in faults:
        print(fault)
    print(f'{sum(len(found) for found in offered.values())} members of {len(offered)} interfaces and '
          f'{len(signals)} signals checked, {len(faults)} mismatches')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
