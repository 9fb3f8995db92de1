#!/usr/bin/python3
"""X11 clipboard peers that no command-line tool plays: owners that misbehave and requestors
that flood or give up halfway. Used by x11_e2e.sh.

  x11_peer.py own MODE [FILE]   take the clipboard and serve FILE's bytes as MODE says; prints
                                "ready <window>" once it owns the clipboard
      refuse    lists UTF8_STRING among its targets but refuses to convert it
      silent    never answers
      stall     starts an incremental transfer, sends one piece, then sends nothing more
      cutoff    starts an incremental transfer, sends one piece, then exits
      short     starts an incremental transfer, sends one piece, then ends it as if complete
      slow      an incremental transfer of small pieces, one every 0.8 s (longer than 5 s in all)
      latin1    offers STRING alone
      mislabel  offers STRING alone and answers it with a property typed UTF8_STRING
      format16  answers UTF8_STRING with a property of format 16
      nothing   says it converted UTF8_STRING but writes no property
      gone      starts an incremental transfer announcing 1 byte; its second piece is deleted
                (as any client can) before the requestor reads it
      files TYPE  offers the file list TYPE beside UTF8_STRING, which holds FILE's bytes
      grab-keep   sends FILE in large pieces; half a second after the requestor has read the end,
                  grabs the server for 15 s (prints "grabbed"), then lets go and lives 2 s more
      grab-take   the same, but takes the clipboard with a new window during the grab (prints
                  "taken <window>") and lives on
  x11_peer.py owner             prints the window that owns the clipboard (0 for none)
  x11_peer.py clear WINDOW      sends WINDOW a SelectionClear for the clipboard, as any client
                                can, although WINDOW still owns it
  x11_peer.py grab SECONDS      grabs the server for SECONDS; prints "grabbed" once it holds it
  x11_peer.py flood N M         one MULTIPLE request for N conversions and M plain requests;
                                prints how many were answered
  x11_peer.py read-part         starts an incremental read, takes one piece, prints "halfway" and
                                waits to be killed
"""
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event

d = display.Display()
root = d.screen().root
CLIPBOARD = d.intern_atom("CLIPBOARD")
TARGETS = d.intern_atom("TARGETS")
MULTIPLE = d.intern_atom("MULTIPLE")
INCR = d.intern_atom("INCR")
UTF8 = d.intern_atom("UTF8_STRING")
ATOM_PAIR = d.intern_atom("ATOM_PAIR")
PIECE = 4096


def new_window():
    w = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, X.InputOnly, X.CopyFromParent,
                           event_mask=X.PropertyChangeMask)
    d.flush()
    return w


def server_time(w):
    w.change_property(d.intern_atom("PEER_CLOCK"), Xatom.INTEGER, 32, [], X.PropModeAppend)
    d.flush()
    while True:
        e = d.next_event()
        if e.type == X.PropertyNotify and e.window == w:
            return e.time


def notify(req, prop):
    ev = event.SelectionNotify(time=req.time, requestor=req.requestor, selection=req.selection,
                               target=req.target, property=prop)
    req.requestor.send_event(ev)
    d.flush()


def own(mode, data, extra=None):
    w = new_window()
    t = server_time(w)
    w.set_selection_owner(CLIPBOARD, t)
    d.flush()
    if d.get_selection_owner(CLIPBOARD) != w:
        sys.exit("could not take the clipboard")
    print("ready", w.id, flush=True)
    text_target = Xatom.STRING if mode in ("latin1", "mislabel") else UTF8
    offered = [TARGETS, text_target]
    if mode == "files":
        offered = [TARGETS, d.intern_atom(extra), UTF8]
    transfer = None  # (requestor, property, offset)
    piece_size = 131072 if mode.startswith("grab-") else PIECE
    ended = None  # (requestor, property) of a transfer whose empty piece is out
    while True:
        e = d.next_event()
        if e.type == X.SelectionClear:
            return
        if e.type == X.SelectionRequest:
            if mode == "silent":
                continue
            if e.target == TARGETS:
                e.requestor.change_property(e.property, Xatom.ATOM, 32, offered)
                notify(e, e.property)
            elif e.target == text_target and mode in ("latin1", "files"):
                e.requestor.change_property(e.property, text_target, 8, data)
                notify(e, e.property)
            elif e.target == text_target and mode == "mislabel":
                e.requestor.change_property(e.property, UTF8, 8, data)
                notify(e, e.property)
            elif e.target == text_target and mode == "format16":
                padded = data + b"\0" * (len(data) % 2)
                e.requestor.change_property(e.property, UTF8, 16,
                                            [int.from_bytes(padded[i:i + 2], "little")
                                             for i in range(0, len(padded), 2)])
                notify(e, e.property)
            elif e.target == text_target and mode == "nothing":
                e.requestor.delete_property(e.property)
                notify(e, e.property)
            elif e.target == text_target and mode in ("stall", "cutoff", "slow", "short", "gone",
                                                      "grab-keep", "grab-take"):
                e.requestor.change_attributes(event_mask=X.PropertyChangeMask)
                e.requestor.change_property(e.property, INCR, 32,
                                            [1 if mode == "gone" else len(data)])
                notify(e, e.property)
                transfer = [e.requestor, e.property, 0]
            else:
                notify(e, X.NONE)
        elif (e.type == X.PropertyNotify and e.state == X.PropertyDelete and ended
              and (e.window, e.atom) == ended):
            grab_after_read(mode)
            return
        elif e.type == X.PropertyNotify and e.state == X.PropertyDelete and transfer:
            requestor, prop, offset = transfer
            if e.window != requestor or e.atom != prop:
                continue
            if offset > 0 and mode in ("stall", "cutoff"):
                if mode == "cutoff":
                    d.close()
                    sys.exit(0)
                transfer = None
                continue
            if offset > 0 and mode == "short":
                requestor.change_property(prop, text_target, 8, b"")
                d.flush()
                transfer = None
                continue
            if mode == "slow" and offset > 0:
                time.sleep(0.8)
            piece = data[offset:offset + piece_size]
            requestor.change_property(prop, text_target, 8, piece)
            if mode == "gone" and offset > 0:
                requestor.delete_property(prop)
            d.flush()
            transfer[2] = offset + len(piece)
            if not piece:
                transfer = None
                if mode.startswith("grab-"):
                    ended = (requestor, prop)


def grab_after_read(mode):
    """The requestor has read the whole text and now lays it out: the server goes silent before
    it can ask for the clipboard."""
    time.sleep(0.5)
    d.grab_server()
    d.sync()
    print("grabbed", flush=True)
    if mode == "grab-take":
        w = new_window()
        w.set_selection_owner(CLIPBOARD, server_time(w))
        d.sync()
        print("taken", w.id, flush=True)
    # Longer than the requestor's layout and its 5 seconds of waiting together.
    time.sleep(15)
    d.ungrab_server()
    d.sync()
    time.sleep(2)
    if mode == "grab-take":
        while True:
            time.sleep(1)


def owner():
    print(d.get_selection_owner(CLIPBOARD).id if d.get_selection_owner(CLIPBOARD) else 0)


def clear(window):
    target = d.create_resource_object("window", window)
    target.send_event(event.SelectionClear(time=X.CurrentTime, window=target,
                                           atom=CLIPBOARD))
    d.flush()


def grab(seconds):
    d.grab_server()
    d.sync()
    print("grabbed", flush=True)
    time.sleep(seconds)
    d.ungrab_server()
    d.sync()


def flood(conversions, plain):
    w = new_window()
    props = [d.intern_atom("PEER_%d" % i) for i in range(conversions + plain + 1)]
    pairs = []
    for i in range(conversions):
        pairs += [UTF8, props[i + 1]]
    w.change_property(props[0], ATOM_PAIR, 32, pairs)
    t = server_time(w)
    w.convert_selection(CLIPBOARD, MULTIPLE, props[0], t)
    for i in range(plain):
        w.convert_selection(CLIPBOARD, UTF8, props[conversions + 1 + i], t)
    d.flush()
    answered = 0
    deadline = time.time() + 30
    while answered < plain + 1 and time.time() < deadline:
        if d.pending_events() == 0:
            time.sleep(0.01)
            continue
        e = d.next_event()
        if e.type == X.SelectionNotify:
            answered += 1
    print(answered)


def read_part():
    w = new_window()
    prop = d.intern_atom("PEER_READ")
    t = server_time(w)
    w.convert_selection(CLIPBOARD, UTF8, prop, t)
    d.flush()
    while True:
        e = d.next_event()
        if e.type == X.SelectionNotify:
            break
    first = w.get_full_property(prop, X.AnyPropertyType)
    if first is None or first.property_type != INCR:
        sys.exit("expected an incremental transfer")
    w.delete_property(prop)
    d.flush()
    while True:
        e = d.next_event()
        if e.type == X.PropertyNotify and e.atom == prop and e.state == X.PropertyNewValue:
            break
    print("halfway", flush=True)
    while True:
        time.sleep(1)


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "own":
        payload = open(sys.argv[3], "rb").read() if len(sys.argv) > 3 else b""
        own(sys.argv[2], payload, sys.argv[4] if len(sys.argv) > 4 else None)
    elif command == "owner":
        owner()
    elif command == "clear":
        clear(int(sys.argv[2]))
    elif command == "grab":
        grab(float(sys.argv[2]))
    elif command == "flood":
        flood(int(sys.argv[2]), int(sys.argv[3]))
    elif command == "read-part":
        read_part()
    else:
        sys.exit(__doc__)
