#!/usr/bin/python3
# A GTK text field that the panel's Wayland tests type into:
#   gtk_target.py 3|4 OUT
# One multi-line field that has the focus, and a button beside it. The
# field's whole text is written to OUT after every change (written aside,
# then renamed, so a reader never sees half of it). Commands on standard
# input, each answered by "ok" once done:
#   blur        the button takes the focus (the field is no longer active)
#   focus       the field takes the focus again
#   cursor N    the cursor goes to character N, as a click of the user's
#   insert TEXT TEXT goes in at the cursor, as the user's own typing
#   clear       the field is emptied
import os
import sys

import gi

version = sys.argv[1]
out_path = sys.argv[2]
gi.require_version("Gtk", version + ".0")
from gi.repository import GLib, Gtk  # noqa: E402

GTK4 = version == "4"

window = Gtk.Window(title="vexil gtk target")
window.set_default_size(400, 200)
box = Gtk.Box(orientation=Gtk.Orientation.HORIZONTAL)
field = Gtk.TextView()
field.set_hexpand(True)
field.set_vexpand(True)
button = Gtk.Button(label="elsewhere")
buffer = field.get_buffer()


def write_text(*_):
    text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
    aside = out_path + ".new"
    with open(aside, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(aside, out_path)


buffer.connect("changed", write_text)
write_text()

if GTK4:
    box.append(field)
    box.append(button)
    window.set_child(box)
else:
    box.pack_start(field, True, True, 0)
    box.pack_start(button, False, False, 0)
    window.add(box)


def answer():
    sys.stdout.write("ok\n")
    sys.stdout.flush()
    return False


def command(line):
    words = line.rstrip("\n").split(" ", 1)
    if words[0] == "blur":
        button.grab_focus()
    elif words[0] == "focus":
        field.grab_focus()
    elif words[0] == "cursor":
        buffer.place_cursor(buffer.get_iter_at_offset(int(words[1])))
    elif words[0] == "insert":
        buffer.insert_at_cursor(words[1])
    elif words[0] == "clear":
        buffer.set_text("")
    else:
        sys.stdout.write("error: " + line + "\n")
        sys.stdout.flush()
        return
    # Answered once the toolkit has handled what the command set off.
    GLib.timeout_add(50, answer)


pending = b""


def on_input(fd, condition):
    global pending
    data = os.read(fd, 4096)
    if not data:
        quit_loop()
        return False
    pending += data
    while b"\n" in pending:
        line, pending = pending.split(b"\n", 1)
        command(line.decode("utf-8"))
    return True


loop = GLib.MainLoop()


def quit_loop(*_):
    loop.quit()
    return False


GLib.io_add_watch(sys.stdin.fileno(), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
window.connect("destroy" if not GTK4 else "close-request", quit_loop)
if GTK4:
    window.present()
else:
    window.show_all()
field.grab_focus()
loop.run()
