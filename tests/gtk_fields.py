#!/usr/bin/python3
# GTK entries of every purpose, for the panel's tests of layouts chosen by
# the field:
#   gtk_fields.py 3|4 OUT
# One entry per purpose (text, digits, phone, email, url, terminal,
# password, each with that input purpose; the password entry hides its
# text) and a button. The text of the entry that changed is written to
# OUT.<name> (aside, then renamed). Commands on standard input, each
# answered by "ok" once done:
#   focus NAME   the entry NAME (or "button") takes the focus
import os
import sys

import gi

version = sys.argv[1]
out_path = sys.argv[2]
gi.require_version("Gtk", version + ".0")
from gi.repository import GLib, Gtk  # noqa: E402

GTK4 = version == "4"
P = Gtk.InputPurpose
PURPOSES = [
    ("text", P.FREE_FORM),
    ("digits", P.DIGITS),
    ("phone", P.PHONE),
    ("email", P.EMAIL),
    ("url", P.URL),
    ("terminal", P.TERMINAL),
    ("password", P.PASSWORD),
]

window = Gtk.Window(title="vexil gtk fields")
window.set_default_size(400, 300)
box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
widgets = {}


def writer(name):
    def write(entry, *_):
        aside = out_path + "." + name + ".new"
        with open(aside, "w", encoding="utf-8") as f:
            f.write(entry.get_text())
        os.replace(aside, out_path + "." + name)
    return write


for name, purpose in PURPOSES:
    entry = Gtk.Entry()
    entry.set_input_purpose(purpose)
    if purpose == P.PASSWORD:
        entry.set_visibility(False)
    entry.connect("changed", writer(name))
    widgets[name] = entry
    if GTK4:
        box.append(entry)
    else:
        box.pack_start(entry, False, False, 0)
button = Gtk.Button(label="elsewhere")
widgets["button"] = button
if GTK4:
    box.append(button)
    window.set_child(box)
    window.present()
else:
    box.pack_start(button, False, False, 0)
    window.add(box)
    window.show_all()


def answer():
    sys.stdout.write("ok\n")
    sys.stdout.flush()
    return False


def command(line):
    words = line.split()
    if len(words) == 2 and words[0] == "focus" and words[1] in widgets:
        widgets[words[1]].grab_focus()
        GLib.timeout_add(50, answer)
    else:
        sys.stdout.write("error: " + line + "\n")
        sys.stdout.flush()


def on_input(source, condition):
    line = sys.stdin.readline()
    if not line:
        if GTK4:
            window.destroy()
            loop.quit()
        else:
            Gtk.main_quit()
        return False
    command(line.strip())
    return True


GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
sys.stdout.write("ready\n")
sys.stdout.flush()
if GTK4:
    loop = GLib.MainLoop()
    loop.run()
else:
    Gtk.main()
