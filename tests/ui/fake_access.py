#!/usr/bin/python3
"""The desktop portal's Access back end, always allowing: the user's "allow" in a real session.

Owns org.freedesktop.impl.portal.desktop.velmoratest; prints "ready" once it does. Ends by itself
after 120 seconds.
"""
from gi.repository import Gio, GLib

XML = """
<node>
  <interface name="org.freedesktop.impl.portal.Access">
    <method name="AccessDialog">
      <arg type="o" name="handle" direction="in"/>
      <arg type="s" name="app_id" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="s" name="title" direction="in"/>
      <arg type="s" name="subtitle" direction="in"/>
      <arg type="s" name="body" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="u" name="response" direction="out"/>
      <arg type="a{sv}" name="results" direction="out"/>
    </method>
  </interface>
</node>
"""

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def on_call(conn, sender, path, interface, method, params, invocation):
    invocation.return_value(GLib.Variant("(ua{sv})", (0, {})))


bus.register_object("/org/freedesktop/portal/desktop",
                    Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], on_call, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.impl.portal.desktop.velmoratest",
                               Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("ready", flush=True), None)
loop = GLib.MainLoop()
GLib.timeout_add_seconds(120, loop.quit)
loop.run()
