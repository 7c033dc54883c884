# SPDX-License-Identifier: GPL-3.0-or-later
'''ModemManager mock template for python3-dbusmock.

Loaded by path: python3 -m dbusmock --system --template modemmanager_mock.py
It offers the manager object with ObjectManager, one modem with
org.freedesktop.ModemManager1.Modem (State) and ...Modem.Voice (CreateCall,
DeleteCall), and call objects with org.freedesktop.ModemManager1.Call
(Number, State, Start, Hangup).

Parameters (JSON, all optional):
  modem           false: ModemManager lists no modem at all (default true)
  voice           false: the modem has no Voice interface (default true)
  state           the modem's State (default 8, registered)
  start_error     a D-Bus error name that Start answers with, nothing dialled
  start_delay_ms  Start emits dialing at once, ringing/active and its reply
                  only after this delay (default 0)
  answer          false: the call rings for ever and is never active
                  (default true)

The modem also offers ...Modem.Messaging (Create, Delete) and SMS objects
with org.freedesktop.ModemManager1.Sms (Number, Text, State, Send).
  sms_error       a D-Bus error name that Sms.Send answers with

Mock interface (org.freedesktop.DBus.Mock) on the manager object:
  GetDialledNumbers() -> as   numbers whose Start succeeded, in order
  GetHungUpNumbers() -> as    numbers whose call was hung up, in order
  GetSentMessages() -> as     "NUMBER: TEXT" of every SMS sent, in order
'''

import dbus
import dbus.service
import dbusmock
from dbusmock import mockobject
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'
VOICE_IFACE = 'org.freedesktop.ModemManager1.Modem.Voice'
CALL_IFACE = 'org.freedesktop.ModemManager1.Call'
MESSAGING_IFACE = 'org.freedesktop.ModemManager1.Modem.Messaging'
SMS_IFACE = 'org.freedesktop.ModemManager1.Sms'
MODEM_PATH = MAIN_OBJ + '/Modem/0'

CALL_STATE_DIALING = 1
CALL_STATE_RINGING_OUT = 2
CALL_STATE_ACTIVE = 4
CALL_STATE_TERMINATED = 7
CALL_REASON_OUTGOING_STARTED = 1
CALL_REASON_TERMINATED = 3


def manager():
    return mockobject.objects[MAIN_OBJ]


class MockCall(mockobject.DBusMockObject):
    '''A call object; Start is asynchronous so that its reply can come late.'''

    def set_state(self, new_state, reason):
        old_state = int(self.props[CALL_IFACE]['State'])
        self.props[CALL_IFACE]['State'] = dbus.Int32(new_state)
        self.EmitSignal(CALL_IFACE, 'StateChanged', 'iiu',
                        [dbus.Int32(old_state), dbus.Int32(new_state), dbus.UInt32(reason)])

    @dbus.service.method(CALL_IFACE, in_signature='', out_signature='',
                         async_callbacks=('on_done', 'on_error'))
    def Start(self, on_done, on_error):
        self.log('Start')
        self.call_log.append((0, 'Start', []))
        error = self.settings.get('start_error', '')
        if error:
            on_error(dbus.exceptions.DBusException('the network refused the call', name=error))
            return
        manager().dialled.append(str(self.props[CALL_IFACE]['Number']))
        self.set_state(CALL_STATE_DIALING, CALL_REASON_OUTGOING_STARTED)

        def finish():
            self.set_state(CALL_STATE_RINGING_OUT, CALL_REASON_OUTGOING_STARTED)
            if self.settings.get('answer', True):
                self.set_state(CALL_STATE_ACTIVE, CALL_REASON_OUTGOING_STARTED)
            on_done()
            return False

        delay = int(self.settings.get('start_delay_ms', 0))
        if delay > 0:
            GLib.timeout_add(delay, finish)
        else:
            finish()

    @dbus.service.method(CALL_IFACE, in_signature='', out_signature='')
    def Hangup(self):
        self.log('Hangup')
        self.call_log.append((0, 'Hangup', []))
        manager().hung_up.append(str(self.props[CALL_IFACE]['Number']))
        self.set_state(CALL_STATE_TERMINATED, CALL_REASON_TERMINATED)


def create_call(modem, properties):
    mgr = manager()
    path = f'{MAIN_OBJ}/Call/{mgr.next_call}'
    mgr.next_call += 1
    call = MockCall(modem.bus_name, path, CALL_IFACE, {
        'Number': dbus.String(str(properties.get('number', ''))),
        'State': dbus.Int32(0),
        'StateReason': dbus.Int32(0),
        'Direction': dbus.Int32(2),  # outgoing
    })
    call.settings = mgr.settings
    call.logfile = modem.logfile
    call.is_logfile_owner = False
    mockobject.objects[path] = call
    calls = modem.props[VOICE_IFACE]['Calls']
    calls.append(dbus.ObjectPath(path))
    modem.EmitSignal(VOICE_IFACE, 'CallAdded', 'o', [dbus.ObjectPath(path)])
    return dbus.ObjectPath(path)


def delete_call(modem, path):
    calls = modem.props[VOICE_IFACE]['Calls']
    if path not in calls:
        raise dbus.exceptions.DBusException(f'no call {path}',
                                            name='org.freedesktop.ModemManager1.Error.Core.NotFound')
    calls.remove(path)
    modem.RemoveObject(path)
    modem.EmitSignal(VOICE_IFACE, 'CallDeleted', 'o', [dbus.ObjectPath(path)])


class MockSms(mockobject.DBusMockObject):
    '''An SMS object made by Messaging.Create.'''

    @dbus.service.method(SMS_IFACE, in_signature='', out_signature='')
    def Send(self):
        self.call_log.append((0, 'Send', []))
        error = self.settings.get('sms_error', '')
        if error:
            raise dbus.exceptions.DBusException('the network refused the message', name=error)
        self.props[SMS_IFACE]['State'] = dbus.UInt32(5)  # sent
        manager().sent.append('%s: %s' % (self.props[SMS_IFACE]['Number'],
                                          self.props[SMS_IFACE]['Text']))


def create_sms(modem, properties):
    mgr = manager()
    path = f'{MAIN_OBJ}/SMS/{mgr.next_sms}'
    mgr.next_sms += 1
    sms = MockSms(modem.bus_name, path, SMS_IFACE, {
        'Number': dbus.String(str(properties.get('number', ''))),
        'Text': dbus.String(str(properties.get('text', ''))),
        'State': dbus.UInt32(0),
    })
    sms.settings = mgr.settings
    sms.logfile = modem.logfile
    sms.is_logfile_owner = False
    mockobject.objects[path] = sms
    return dbus.ObjectPath(path)


def load(mock, parameters):
    mock.settings = dict(parameters or {})
    mock.dialled = []
    mock.hung_up = []
    mock.next_call = 0
    mock.sent = []
    mock.next_sms = 0
    mock.AddProperties(MAIN_IFACE, {'Version': dbus.String('1.20.0-mock')})
    mock.AddMethod(MAIN_IFACE, 'ScanDevices', '', '', '')

    if not mock.settings.get('modem', True):
        return
    mock.AddObject(MODEM_PATH, MODEM_IFACE, {
        'State': dbus.Int32(int(mock.settings.get('state', 8))),
        'Manufacturer': dbus.String('Mock'),
        'Model': dbus.String('Voice modem'),
        'EquipmentIdentifier': dbus.String('000000000000000'),
    }, [])
    modem = mockobject.objects[MODEM_PATH]
    if mock.settings.get('voice', True):
        modem.AddProperties(VOICE_IFACE, {'Calls': dbus.Array([], signature='o')})
        modem.AddMethod(VOICE_IFACE, 'CreateCall', 'a{sv}', 'o', create_call)
        modem.AddMethod(VOICE_IFACE, 'DeleteCall', 'o', '', delete_call)
        modem.AddMethod(VOICE_IFACE, 'ListCalls', '', 'ao',
                        'ret = self.props["%s"]["Calls"]' % VOICE_IFACE)
    modem.AddProperties(MESSAGING_IFACE, {'Messages': dbus.Array([], signature='o')})
    modem.AddMethod(MESSAGING_IFACE, 'Create', 'a{sv}', 'o', create_sms)
    modem.AddMethod(MESSAGING_IFACE, 'Delete', 'o', '', 'self.RemoveObject(args[0])')


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='as')
def GetDialledNumbers(self):
    return dbus.Array(self.dialled, signature='s')


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='as')
def GetHungUpNumbers(self):
    return dbus.Array(self.hung_up, signature='s')


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='as')
def GetSentMessages(self):
    return dbus.Array(self.sent, signature='s')
