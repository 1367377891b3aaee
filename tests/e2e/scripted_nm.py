#!/usr/bin/python3
"""A scripted NetworkManager on the bus in DBUS_SYSTEM_BUS_ADDRESS: one modem connection "Modem"
(type gsm) on one device. Each activation takes the first line of the script file given as the
argument (and removes it): "connect", "deny" (refused by polkit), "secret PASSWORD" (connects when
the secret agent registered last gives that password, else fails for want of secrets), "thief
PASSWORD" (the same, after a caller that is not NetworkManager asked the agent first: "thief
refused" or "thief got SECRET" goes to the log) or the
number of the device-state reason the dial fails with. The device passes prepare and config
first, as a modem's does. How each activation ended is appended to the script file's name plus
".log": "activated" or "failed REASON"."""
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NM = "org.freedesktop.NetworkManager"
ROOT = "/org/freedesktop/NetworkManager"
PROPS = "org.freedesktop.DBus.Properties"
ACTIVE = NM + ".Connection.Active"
DEVICE_IFACE = NM + ".Device"
CONN = ROOT + "/Settings/1"
DEV = ROOT + "/Devices/1"
UUID = "6b5e4a53-0c29-4d7e-9a1c-2f8f6c0f1e01"

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SystemBus()


def next_outcome():
    with open(sys.argv[1]) as f:
        lines = f.read().splitlines()
    with open(sys.argv[1], "w") as f:
        f.write("".join(line + "\n" for line in lines[1:]))
    return lines[0] if lines else "connect"


class Obj(dbus.service.Object):
    def __init__(self, path, iface, props):
        super().__init__(bus, path)
        self.iface = iface
        self.props = props

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, iface, name):
        return self.props[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, iface):
        return dbus.Dictionary(self.props if iface == self.iface else {}, signature="sv")


class Device(Obj):
    @dbus.service.signal(DEVICE_IFACE, signature="uuu")
    def StateChanged(self, new, old, reason):
        self.props["State"] = dbus.UInt32(new)


class Active(Obj):
    @dbus.service.signal(ACTIVE, signature="uu")
    def StateChanged(self, state, reason):
        self.props["State"] = dbus.UInt32(state)


class Connection(Obj):
    @dbus.service.method(NM + ".Settings.Connection", out_signature="a{sa{sv}}")
    def GetSettings(self):
        return {"connection": {"id": "Modem", "uuid": UUID, "type": "gsm"}}


class Settings(Obj):
    @dbus.service.method(NM + ".Settings", out_signature="ao")
    def ListConnections(self):
        return dbus.Array([dbus.ObjectPath(CONN)], signature="o")


agents = []


class AgentManager(Obj):
    @dbus.service.method(NM + ".AgentManager", in_signature="s", sender_keyword="sender")
    def Register(self, identifier, sender=None):
        agents.append(sender)


class Manager(Obj):
    count = 0

    @dbus.service.method(NM, in_signature="ooo", out_signature="o")
    def ActivateConnection(self, conn, dev, specific):
        outcome = next_outcome()
        if outcome == "deny":
            raise dbus.exceptions.DBusException(
                "Not authorized to control networking.", name=NM + ".PermissionDenied")
        Manager.count += 1
        path = "%s/ActiveConnection/%d" % (ROOT, Manager.count)
        active = Active(path, ACTIVE, {
            "Id": "Modem", "Uuid": UUID, "Type": "gsm", "State": dbus.UInt32(1),
            "Devices": dbus.Array([dbus.ObjectPath(DEV)], signature="o"),
            "Vpn": False, "Connection": dbus.ObjectPath(CONN)})
        self.props["ActiveConnections"] = dbus.Array([dbus.ObjectPath(path)], signature="o")
        device.props["ActiveConnection"] = dbus.ObjectPath(path)
        steps = [(40, 30, 0), (50, 40, 0)]
        if outcome.startswith("thief "):
            outcome = "secret " + outcome[6:]
            steps.append("thief")
        if outcome.startswith("secret "):
            steps.append("ask")
        else:
            steps.append((100, 50, 0) if outcome == "connect" else (120, 50, int(outcome)))

        def answered(secrets):
            given = secrets.get("gsm", {}).get("password", "")
            steps.append((100, 60, 0) if given == outcome[7:] else (120, 60, 7))
            GLib.timeout_add(50, step)

        def step():
            if steps[0] == "thief":
                steps.pop(0)
                # Another connection to the bus: its unique name is not NetworkManager's.
                thief = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
                try:
                    got = thief.get_object(agents[-1], ROOT + "/SecretAgent").GetSecrets(
                        {"connection": {"id": "Modem", "uuid": UUID, "type": "gsm"}},
                        dbus.ObjectPath(CONN), "gsm", dbus.Array([], signature="s"),
                        dbus.UInt32(1), dbus_interface=NM + ".SecretAgent", timeout=5)
                    result = "thief got %s\n" % got.get("gsm", {}).get("password", "")
                except dbus.exceptions.DBusException:
                    result = "thief refused\n"
                thief.close()
                with open(sys.argv[1] + ".log", "a") as log:
                    log.write(result)
                return True
            if steps[0] == "ask":
                steps.pop(0)
                device.StateChanged(dbus.UInt32(60), dbus.UInt32(50), dbus.UInt32(0))
                if not agents:
                    steps.append((120, 60, 7))
                    return True
                bus.get_object(agents[-1], ROOT + "/SecretAgent").GetSecrets(
                    {"connection": {"id": "Modem", "uuid": UUID, "type": "gsm"}},
                    dbus.ObjectPath(CONN), "gsm", dbus.Array([], signature="s"), dbus.UInt32(1),
                    dbus_interface=NM + ".SecretAgent", reply_handler=answered,
                    error_handler=lambda e: answered({}))
                return False
            new, old, reason = steps.pop(0)
            device.StateChanged(dbus.UInt32(new), dbus.UInt32(old), dbus.UInt32(reason))
            if new in (100, 120):
                with open(sys.argv[1] + ".log", "a") as log:
                    log.write("activated\n" if new == 100 else "failed %d\n" % reason)
            if new == 100:
                active.StateChanged(dbus.UInt32(2), dbus.UInt32(1))
            elif new == 120:
                active.StateChanged(dbus.UInt32(4), dbus.UInt32(3))
                self.props["ActiveConnections"] = dbus.Array([], signature="o")
                device.props["ActiveConnection"] = dbus.ObjectPath("/")
                device.StateChanged(dbus.UInt32(30), dbus.UInt32(120), dbus.UInt32(0))
                active.remove_from_connection()
            return bool(steps)

        GLib.timeout_add(50, step)
        return path

    @dbus.service.method(NM, in_signature="o")
    def DeactivateConnection(self, path):
        self.props["ActiveConnections"] = dbus.Array([], signature="o")


device = Device(DEV, DEVICE_IFACE, {
    "Interface": "ttyUSB0", "IpInterface": "", "State": dbus.UInt32(30),
    "Metered": dbus.UInt32(0), "ActiveConnection": dbus.ObjectPath("/")})
Settings(ROOT + "/Settings", NM + ".Settings", {})
Connection(CONN, NM + ".Settings.Connection", {})
AgentManager(ROOT + "/AgentManager", NM + ".AgentManager", {})
Manager(ROOT, NM, {"ActiveConnections": dbus.Array([], signature="o")})
name = dbus.service.BusName(NM, bus)
GLib.MainLoop().run()
