#!/usr/bin/python3
"""A stand-in for the desktop portal on a private session bus, for tests.

fake_portal.py MODE PICTURE
  MODE: success | cancel | other | refuse-quietly (1 without asking, 0 when asked) | silent |
        no-screenshot (only GlobalShortcuts is offered)
  PICTURE: the PNG a successful screenshot returns (copied to a temporary file first).
Shortcuts: CreateSession and BindShortcuts succeed; once bound, "translate" is activated.
Ends by itself after 60 seconds.
"""
import os
import shutil
import sys
import tempfile

from gi.repository import Gio, GLib

MODE, PICTURE = sys.argv[1], sys.argv[2]

XML = """
<node>
  <interface name="org.freedesktop.portal.Screenshot">
    <method name="Screenshot">
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a(sa{sv})" name="shortcuts" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <signal name="Activated">
      <arg type="o" name="session_handle"/>
      <arg type="s" name="shortcut_id"/>
      <arg type="t" name="timestamp"/>
      <arg type="a{sv}" name="options"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
</node>
"""

loop = GLib.MainLoop()
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
PATH = "/org/freedesktop/portal/desktop"


def request_path(sender, token):
    return "/org/freedesktop/portal/desktop/request/%s/%s" % (
        sender.lstrip(":").replace(".", "_"), token)


def respond(path, code, results):
    def emit():
        bus.emit_signal(None, path, "org.freedesktop.portal.Request", "Response",
                        GLib.Variant("(ua{sv})", (code, results)))
        return False
    GLib.timeout_add(20, emit)


def screenshot(sender, options):
    interactive = bool(options.get("interactive", False))
    if MODE == "silent":
        return None
    if MODE in ("cancel", "other"):
        return (1 if MODE == "cancel" else 2), {}
    if MODE == "refuse-quietly" and not interactive:
        return 1, {}
    fd, copy = tempfile.mkstemp(prefix="velmora-fake-portal-", suffix=".png")
    os.close(fd)
    shutil.copyfile(PICTURE, copy)
    return 0, {"uri": GLib.Variant("s", "file://" + copy)}


def on_call(conn, sender, path, interface, method, params, invocation):
    args = params.unpack()
    options = args[-1]
    token = options.get("handle_token", "t")
    handle = request_path(sender, token)
    if method == "Screenshot":
        if MODE == "no-screenshot":
            invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", "no")
            return
        invocation.return_value(GLib.Variant("(o)", (handle,)))
        answer = screenshot(sender, options)
        if answer is not None:
            respond(handle, answer[0], answer[1])
    elif method == "CreateSession":
        invocation.return_value(GLib.Variant("(o)", (handle,)))
        session = "/org/freedesktop/portal/desktop/session/%s/%s" % (
            sender.lstrip(":").replace(".", "_"), options.get("session_handle_token", "s"))
        respond(handle, 0, {"session_handle": GLib.Variant("s", session)})
    elif method == "BindShortcuts":
        invocation.return_value(GLib.Variant("(o)", (handle,)))
        respond(handle, 0, {})
        session = args[0]

        def activate():
            bus.emit_signal(None, PATH, "org.freedesktop.portal.GlobalShortcuts", "Activated",
                            GLib.Variant("(osta{sv})", (session, "translate", 0, {})))
            return False
        GLib.timeout_add(200, activate)


def on_get(conn, sender, path, interface, name):
    return GLib.Variant("u", 1)


node = Gio.DBusNodeInfo.new_for_xml(XML)
for iface in node.interfaces:
    if MODE == "no-screenshot" and iface.name.endswith("Screenshot"):
        continue
    bus.register_object(PATH, iface, on_call, on_get, None)


def acquired(*_):
    print("ready", flush=True)


Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop",
                               Gio.BusNameOwnerFlags.NONE, acquired, None)
GLib.timeout_add_seconds(60, loop.quit)
loop.run()
