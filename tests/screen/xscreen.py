"""The X screen as it is shown, read with one GetImage request on the root window.

xwd -root is not used: Wine gives its windows a colormap of their own, which sends xwd
down its multi-visual path, where it reads each group of windows from one window of the
group; a window mapped over another one of the same program then comes out black
although the screen shows it drawn.

Run as a script, it writes the screen (or a part of it) as a PNG:
    python3 xscreen.py OUT.png [X Y WIDTH HEIGHT]
"""
import ctypes
import ctypes.util
import struct
import sys
import zlib

ZPIXMAP = 2
IS_VIEWABLE = 2
ALL_PLANES = 0xFFFFFFFF


class _XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage; the rest is never read.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class _XClassHint(ctypes.Structure):
    _fields_ = [("res_name", ctypes.c_void_p), ("res_class", ctypes.c_void_p)]


# Windows come and go while the tree is read: a window closed between XQueryTree and a
# later query is an X error (BadWindow), which Xlib's default handler ends the process
# for. The queries report failure instead, and that window is passed over.
_XErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_x_errors = _XErrorHandler(lambda display, event: 0)


def _load_xlib():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    x = ctypes.CDLL(name)
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XGetImage.restype = ctypes.POINTER(_XImage)
    x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                            ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
    x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                             ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                             ctypes.POINTER(ctypes.c_uint)]
    x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_void_p)]
    x.XGetClassHint.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_XClassHint)]
    x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_XWindowAttributes)]
    x.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                        ctypes.c_int, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                        ctypes.POINTER(ctypes.c_ulong)]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x.XSetErrorHandler.restype = ctypes.c_void_p
    x.XSetErrorHandler.argtypes = [_XErrorHandler]
    return x



class Shot:
    """One picture of the screen: 32-bit pixels, blue in the lowest byte."""

    def __init__(self, width, height, bytes_per_line, data):
        self.width, self.height, self.bytes_per_line, self.data = width, height, bytes_per_line, data

    def _clip(self, x, y, w, h):
        x0, y0 = max(0, x), max(0, y)
        return x0, y0, min(self.width, x + w), min(self.height, y + h)

    def pixels(self, box):
        """The rectangle (x, y, width, height), clipped to the screen, row after row."""
        x0, y0, x1, y1 = self._clip(*box)
        return b"".join(self.data[row * self.bytes_per_line + x0 * 4:row * self.bytes_per_line + x1 * 4]
                        for row in range(y0, y1))

    def colours(self, box):
        """The distinct colours (0xRRGGBB) in the rectangle."""
        return {c & 0xFFFFFF for c in set(memoryview(self.pixels(box)).cast("I"))}

    def write_png(self, path, box=None):
        x0, y0, x1, y1 = self._clip(*(box or (0, 0, self.width, self.height)))
        rows = []
        for row in range(y0, y1):
            src = self.data[row * self.bytes_per_line + x0 * 4:row * self.bytes_per_line + x1 * 4]
            rgb = bytearray(len(src) // 4 * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = src[2::4], src[1::4], src[0::4]
            rows.append(b"\0" + bytes(rgb))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

        header = struct.pack(">IIBBBBB", x1 - x0, y1 - y0, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows)))
                    + chunk(b"IEND", b""))


class Screen:
    def __init__(self, display=None):
        self._x = _load_xlib()
        self._dpy = self._x.XOpenDisplay(display.encode() if display else None)
        if not self._dpy:
            raise RuntimeError("cannot open the X display (is DISPLAY set?)")
        self._root = self._x.XDefaultRootWindow(self._dpy)
        self._x.XSetErrorHandler(_ignore_x_errors)

    def close(self):
        if self._dpy:
            self._x.XCloseDisplay(self._dpy)
            self._dpy = None

    def grab(self):
        attrs = _XWindowAttributes()
        self._x.XGetWindowAttributes(self._dpy, self._root, ctypes.byref(attrs))
        image = self._x.XGetImage(self._dpy, self._root, 0, 0, attrs.width, attrs.height, ALL_PLANES, ZPIXMAP)
        if not image:
            raise RuntimeError("GetImage on the root window failed")
        try:
            im = image.contents
            if im.bits_per_pixel != 32 or im.byte_order != 0 or im.red_mask != 0xFF0000:
                raise RuntimeError("unsupported screen format: %d bits per pixel, byte order %d, red mask %#x"
                                   % (im.bits_per_pixel, im.byte_order, im.red_mask))
            data = ctypes.string_at(im.data, im.bytes_per_line * im.height)
            return Shot(im.width, im.height, im.bytes_per_line, data)
        finally:
            self._x.XDestroyImage(image)

    def _children(self, window):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self._x.XQueryTree(self._dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                  ctypes.byref(children), ctypes.byref(count)):
            return []
        out = [children[i] for i in range(count.value)]
        if children:
            self._x.XFree(children)
        return out

    def _text_of(self, window):
        name = ctypes.c_void_p()
        if not self._x.XFetchName(self._dpy, window, ctypes.byref(name)) or not name.value:
            return None
        text = ctypes.string_at(name.value).decode("latin-1")
        self._x.XFree(name)
        return text

    def _class_of(self, window):
        hint = _XClassHint()
        if not self._x.XGetClassHint(self._dpy, window, ctypes.byref(hint)):
            return None
        text = ctypes.string_at(hint.res_class).decode("latin-1") if hint.res_class else ""
        for p in (hint.res_name, hint.res_class):
            if p:
                self._x.XFree(p)
        return text

    def find_window(self, title, wm_class=None):
        """(x, y, width, height) on the screen of the viewable window with that title
        (and X class), searched from the top of the stack; None when there is none."""
        pending = list(reversed(self._children(self._root)))
        while pending:
            window = pending.pop(0)
            attrs = _XWindowAttributes()
            if not self._x.XGetWindowAttributes(self._dpy, window, ctypes.byref(attrs)):
                continue
            if attrs.map_state != IS_VIEWABLE:
                continue
            if self._text_of(window) == title and (wm_class is None or self._class_of(window) == wm_class):
                x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
                self._x.XTranslateCoordinates(self._dpy, window, self._root, 0, 0, ctypes.byref(x),
                                              ctypes.byref(y), ctypes.byref(child))
                return x.value, y.value, attrs.width, attrs.height
            # A window manager's frame holds the program's window.
            pending.extend(reversed(self._children(window)))
        return None


if __name__ == "__main__":
    if len(sys.argv) not in (2, 6):
        sys.exit(__doc__)
    screen = Screen()
    shot = screen.grab()
    shot.write_png(sys.argv[1], tuple(int(v) for v in sys.argv[2:6]) if len(sys.argv) == 6 else None)
    screen.close()
