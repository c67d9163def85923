// The e2e test's hands on the X server: a screenshot of the whole screen, and
// closing a window the way a window manager would (WM_DELETE_WINDOW).
// Qt before Xlib: Xlib's macros (Status, CursorShape) break Qt's headers.
#include <QImage>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int screenshot(Display* display, const char* path) {
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return 1;
    QImage picture(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            line[x] = qRgb(static_cast<int>((pixel >> 16) & 0xFF),
                           static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>(pixel & 0xFF));
        }
    }
    XDestroyImage(image);
    return picture.save(QString::fromLocal8Bit(path), "PNG") ? 0 : 1;
}

int closeWindow(Display* display, const char* windowText) {
    const Window window = std::strtoul(windowText, nullptr, 0);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s screenshot FILE.png | close WINDOW-ID\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot open the X display\n");
        return 1;
    }
    const std::string command = argv[1];
    const int result = command == "screenshot" ? screenshot(display, argv[2])
                       : command == "close"    ? closeWindow(display, argv[2])
                                               : 2;
    XCloseDisplay(display);
    return result;
}
