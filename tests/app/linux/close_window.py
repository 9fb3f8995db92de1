#!/usr/bin/env python3
"""Asks an X11 window to close, as a window manager's close button does: a WM_DELETE_WINDOW
client message. CI has no window manager, and xdotool's windowclose destroys the window instead.
Usage: close_window.py WINDOW_ID (DISPLAY from the environment)."""
import sys

from Xlib import X, display
from Xlib.protocol import event

d = display.Display()
window = d.create_resource_object("window", int(sys.argv[1]))
protocols = d.intern_atom("WM_PROTOCOLS")
delete = d.intern_atom("WM_DELETE_WINDOW")
message = event.ClientMessage(window=window, client_type=protocols,
                              data=(32, [delete, X.CurrentTime, 0, 0, 0]))
window.send_event(message, event_mask=X.NoEventMask)
d.sync()  # a round trip: the server has acted on the request before we disconnect
d.close()
