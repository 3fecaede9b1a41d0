'''A stand-in for ModemManager on a private bus, as a python-dbusmock template.

It offers the objects, properties and signals that `velmo-device sms listen
--modem-manager` uses: the manager's ObjectManager (InterfacesAdded and
InterfacesRemoved for each modem), each modem's Modem.Messaging (List, Delete, the
signals Added and Deleted, the Messages property, Create for a message to send) and the
Sms objects with their properties and Send, which records what was sent. Tests drive it through the methods of org.freedesktop.DBus.Mock below;
modem_standin_check.py holds what it shows on the bus against ModemManager's own
interface descriptions.
'''

import dbus

import dbusmock

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'
MESSAGING_IFACE = 'org.freedesktop.ModemManager1.Modem.Messaging'
SMS_IFACE = 'org.freedesktop.ModemManager1.Sms'

SMS_STATE_UNKNOWN = 0
SMS_STATE_RECEIVING = 2
SMS_STATE_RECEIVED = 3
SMS_STATE_SENT = 5
SMS_PDU_TYPE_DELIVER = 1
SMS_PDU_TYPE_SUBMIT = 2
SMS_STORAGE_ME = 2


def load(mock, _parameters):
    mock.AddProperty(MAIN_IFACE, 'Version', dbus.String('1.20.4'))
    mock.next_modem = 0
    mock.next_sms = 0
    mock.held = None  # the Delete calls kept unanswered while deletes are held, else None
    mock.deleted = 0
    mock.sent = []  # (modem, number, text) of each message sent, in order
    mock.refusal = ''  # while not empty, Send fails with this message
    mock.unanswered = {}  # method name: the calls done but left unanswered while it is held


class _Messaging:
    '''The methods of Modem.Messaging, put on each modem object alone.'''

    @dbus.service.method(MESSAGING_IFACE, in_signature='', out_signature='ao')
    def List(self):
        return self.props[MESSAGING_IFACE]['Messages']

    @dbus.service.method(MESSAGING_IFACE, in_signature='o', out_signature='',
                         async_callbacks=('reply', 'error'))
    def Delete(self, path, reply, error):
        manager = dbusmock.get_object(MAIN_OBJ)
        if manager.held is not None:
            manager.held.append(path)
            return
        messages = self.props[MESSAGING_IFACE]['Messages']
        if path not in messages:
            error(dbus.exceptions.DBusException(f'no message {path}',
                                                name='org.freedesktop.ModemManager1.Error.Core.NotFound'))
            return
        messages.remove(path)
        manager.RemoveObject(path)
        manager.deleted += 1
        self.EmitSignal(MESSAGING_IFACE, 'Deleted', 'o', [dbus.ObjectPath(path)])
        reply()

    @dbus.service.method(MESSAGING_IFACE, in_signature='a{sv}', out_signature='o',
                         async_callbacks=('reply', 'error'))
    def Create(self, properties, reply, error):
        if 'number' not in properties or 'text' not in properties:
            raise dbus.exceptions.DBusException('a message needs a number and a text',
                                                name='org.freedesktop.ModemManager1.Error.Core.InvalidArgs')
        manager = dbusmock.get_object(MAIN_OBJ)
        path = _add_sms(manager, self.__dbus_object_path__, properties['number'], properties['text'], '',
                        SMS_STATE_UNKNOWN, SMS_PDU_TYPE_SUBMIT)
        self.EmitSignal(MESSAGING_IFACE, 'Added', 'ob', [dbus.ObjectPath(path), dbus.Boolean(False)])
        _answer(manager, 'Create', lambda: reply(dbus.ObjectPath(path)))


class _Sms:
    '''The methods of an Sms object.'''

    @dbus.service.method(SMS_IFACE, in_signature='', out_signature='', async_callbacks=('reply', 'error'))
    def Send(self, reply, error):
        manager = dbusmock.get_object(MAIN_OBJ)
        if manager.refusal:
            raise dbus.exceptions.DBusException(manager.refusal,
                                                name='org.freedesktop.ModemManager1.Error.Core.Failed')
        props = self.props[SMS_IFACE]
        if props['PduType'] != SMS_PDU_TYPE_SUBMIT:
            raise dbus.exceptions.DBusException('a received message is not sent',
                                                name='org.freedesktop.ModemManager1.Error.Core.Unsupported')
        manager.sent.append((self.modem, str(props['Number']), str(props['Text'])))
        self.UpdateProperties(SMS_IFACE, {'State': dbus.UInt32(SMS_STATE_SENT)})
        _answer(manager, 'Send', reply)


def _answer(manager, method, reply):
    '''Answers a call that is done, unless answers to the method are held.'''
    if method in manager.unanswered:
        manager.unanswered[method].append(reply)
    else:
        reply()


def _add_sms(manager, modem, number, text, timestamp, state, pdu_type):
    '''An Sms object on the modem, listed in its Messages; gives its path.'''
    path = f'{MAIN_OBJ}/SMS/{manager.next_sms}'
    manager.next_sms += 1
    manager.AddObject(path, SMS_IFACE, {
        'State': dbus.UInt32(state),
        'PduType': dbus.UInt32(pdu_type),
        'Number': dbus.String(number),
        'Text': dbus.String(text),
        'Data': dbus.Array([], signature='y'),
        'SMSC': dbus.String('+15550000'),
        'Class': dbus.Int32(-1),
        'TeleserviceId': dbus.UInt32(0),
        'ServiceCategory': dbus.UInt32(0),
        'DeliveryReportRequest': dbus.Boolean(False),
        'MessageReference': dbus.UInt32(0),
        'Timestamp': dbus.String(timestamp),
        'DischargeTimestamp': dbus.String(''),
        'DeliveryState': dbus.UInt32(256),  # unknown
        'Storage': dbus.UInt32(SMS_STORAGE_ME),
    }, [])
    sms = dbusmock.get_object(path)
    sms.modem = modem
    sms.methods.setdefault(SMS_IFACE, {})['Send'] = (
        _Sms.Send._dbus_in_signature, _Sms.Send._dbus_out_signature, '', _Sms.Send)
    dbusmock.get_object(modem).props[MESSAGING_IFACE]['Messages'].append(dbus.ObjectPath(path))
    return path


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='o')
def AddModem(self):
    '''A modem with messaging appears; gives its path.'''
    path = f'{MAIN_OBJ}/Modem/{self.next_modem}'
    self.next_modem += 1
    self.AddObject(path, MODEM_IFACE, {
        'Manufacturer': dbus.String('Velmo test modems'),
        'Model': dbus.String('Stand-in'),
        'State': dbus.Int32(8),  # registered
    }, [])
    modem = dbusmock.get_object(path)
    modem.AddProperties(MESSAGING_IFACE, {
        'Messages': dbus.Array([], signature='o'),
        'SupportedStorages': dbus.Array([dbus.UInt32(SMS_STORAGE_ME)], signature='u'),
        'DefaultStorage': dbus.UInt32(SMS_STORAGE_ME),
    })
    for name, method in (('List', _Messaging.List), ('Delete', _Messaging.Delete), ('Create', _Messaging.Create)):
        modem.methods.setdefault(MESSAGING_IFACE, {})[name] = (
            method._dbus_in_signature, method._dbus_out_signature, '', method)
    self.object_manager_emit_added(path)
    return path


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='o', out_signature='')
def RemoveModem(self, path):
    '''The modem goes away with its messages.'''
    self.object_manager_emit_removed(path)
    for message in dbusmock.get_object(path).props[MESSAGING_IFACE]['Messages']:
        self.RemoveObject(message)
    self.RemoveObject(path)


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='osssu', out_signature='o')
def Receive(self, modem, number, text, timestamp, state):
    '''A message arrives on the modem in the given State (2 receiving, 3 received); gives its path.'''
    path = _add_sms(self, modem, number, text, timestamp, state, SMS_PDU_TYPE_DELIVER)
    target = dbusmock.get_object(modem)
    target.EmitSignal(MESSAGING_IFACE, 'Added', 'ob', [dbus.ObjectPath(path), dbus.Boolean(True)])
    return path


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='os', out_signature='u')
def ReceiveBatch(self, modem, batch):
    '''The messages of a file as `sms receive --batch` reads it (number, name, text), received at
    once; gives their number.'''
    count = 0
    with open(batch, encoding='utf-8') as lines:
        for line in lines:
            fields = line.rstrip('\n').split('\t')
            if len(fields) >= 3 and not line.startswith('#'):
                Receive(self, modem, fields[0], fields[2], '2024-05-01T09:30:15+02', SMS_STATE_RECEIVED)
                count += 1
    return dbus.UInt32(count)


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='os', out_signature='')
def Complete(self, path, text):
    '''The last part of a message arrives: its whole text, and its State becomes received.'''
    dbusmock.get_object(path).UpdateProperties(SMS_IFACE, {
        'Text': dbus.String(text), 'State': dbus.UInt32(SMS_STATE_RECEIVED)})


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='o', out_signature='o')
def Renumber(self, path):
    '''The message gets a new object path, as when ModemManager starts again; gives it.'''
    sms = dbusmock.get_object(path)
    props = sms.props[SMS_IFACE]
    messages = dbusmock.get_object(sms.modem).props[MESSAGING_IFACE]['Messages']
    messages.remove(path)
    self.RemoveObject(path)
    return _add_sms(self, sms.modem, props['Number'], props['Text'], props['Timestamp'], props['State'],
                    props['PduType'])


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='b', out_signature='')
def HoldDeletes(self, hold):
    '''While held, a Delete is neither done nor answered; releasing forgets the held ones.'''
    self.held = [] if hold else None


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='uu')
def Deletes(self):
    '''The messages deleted, and the Delete calls held.'''
    return (dbus.UInt32(self.deleted), dbus.UInt32(len(self.held or [])))


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='s', out_signature='')
def RefuseSends(self, reason):
    '''While reason is not empty, Send fails with it.'''
    self.refusal = reason


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='sb', out_signature='u')
def HoldAnswers(self, method, hold):
    '''While held, Create or Send does its work but gives no answer; gives the calls left
    unanswered so far, and releasing forgets them.'''
    if hold:
        self.unanswered.setdefault(method, [])
    return dbus.UInt32(len(self.unanswered.pop(method, []) if not hold else self.unanswered[method]))


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='a(oss)')
def Sent(self):
    '''The messages sent so far: modem, number and text of each, in order.'''
    return dbus.Array([dbus.Struct((dbus.ObjectPath(m), n, t)) for m, n, t in self.sent], signature='(oss)')
