// The e2e test's hands on the X server: a screenshot of the whole screen,
// closing a window the way a window manager would (WM_DELETE_WINDOW), key
// repeats as X delivers them under load, and widgets found by their
// accessible names over AT-SPI, as a screen reader finds them.
// GLib before Qt (whose `signals` macro breaks GLib's headers), Qt before
// Xlib (whose macros Status and CursorShape break Qt's).
#include <atspi/atspi.h>

#include <QImage>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

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

// Maps a plain window over `windowText`'s and keeps it there until killed,
// as another program's window would be.
int cover(Display* display, const char* windowText) {
    const Window covered = std::strtoul(windowText, nullptr, 0);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, covered, &attributes))
        return 1;
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), attributes.x, attributes.y,
                            static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), 0, 0, 0x202020);
    XStoreName(display, window, "cover");
    XMapRaised(display, window);
    XSync(display, False);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

// Exit status 0 when `windowText` is the topmost window shown on the screen.
int onTop(Display* display, const char* windowText) {
    const Window window = std::strtoul(windowText, nullptr, 0);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 2;
    Window top = 0;
    for (unsigned i = 0; i < count; ++i) {  // bottom to top
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable)
            top = children[i];
    }
    XFree(children);
    return top == window ? 0 : 1;
}

// The server's current time, from the property change it stamps.
Time serverTime(Display* display) {
    const Window probe =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, probe, PropertyChangeMask);
    const Atom atom = XInternAtom(display, "TAVREL_TIME", False);
    XChangeProperty(display, probe, atom, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event{};
    XWindowEvent(display, probe, PropertyChangeMask, &event);
    XDestroyWindow(display, probe);
    return event.xproperty.time;
}

// Auto-repeat pairs of a held key as they reach a busy client: a release and a
// press stamped with one time, the press arriving 40 ms after the release, so
// whoever reads the release cannot see the press behind it yet.
int splitRepeats(Display* display, const char* windowText, const char* keysymName,
                 const char* countText) {
    const Window window = std::strtoul(windowText, nullptr, 0);
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysymName));
    const int count = std::atoi(countText);
    if (code == 0 || count <= 0)
        return 2;
    for (int pair = 0; pair < count; ++pair) {
        XEvent event{};
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.time = serverTime(display);
        event.xkey.same_screen = True;
        event.xkey.keycode = code;
        for (const int type : {KeyRelease, KeyPress}) {
            event.xkey.type = type;
            XSendEvent(display, window, False, NoEventMask, &event);
            XFlush(display);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    }
    return 0;
}

bool has(AtspiAccessible* node, AtspiStateType state) {
    AtspiStateSet* states = atspi_accessible_get_state_set(node);
    const bool result = atspi_state_set_contains(states, state);
    g_object_unref(states);
    return result;
}

// Shown accessibles whose name matches, below `node`. Hidden subtrees and the
// insides of buttons and labels are skipped, which keeps a walk over D-Bus short.
void collectShown(AtspiAccessible* node, const std::regex& name,
                  std::vector<AtspiAccessible*>& found) {
    for (int i = 0; i < atspi_accessible_get_child_count(node, nullptr); ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        if (!child)
            continue;
        gchar* text = atspi_accessible_get_name(child, nullptr);
        const AtspiRole role = atspi_accessible_get_role(child, nullptr);
        const bool shown = has(child, ATSPI_STATE_SHOWING);
        if (shown && text && std::regex_search(text, name))
            found.push_back(g_object_ref(child));
        else if (shown && role != ATSPI_ROLE_LABEL && role != ATSPI_ROLE_PUSH_BUTTON)
            collectShown(child, name, found);
        g_free(text);
        g_object_unref(child);
    }
}

// Prints, a line each, the shown widgets whose names match `pattern`: the
// box in screen coordinates, whether it is checked, its role.
int find(const char* pattern) {
    if (atspi_init() < 0)
        return 2;
    std::vector<AtspiAccessible*> found;
    // Applications carry no states of their own: the walk starts below them.
    AtspiAccessible* desktop = atspi_get_desktop(0);
    for (int i = 0; i < atspi_accessible_get_child_count(desktop, nullptr); ++i) {
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        collectShown(application, std::regex(pattern), found);
        g_object_unref(application);
    }
    g_object_unref(desktop);
    for (AtspiAccessible* widget : found) {
        AtspiComponent* component = atspi_accessible_get_component_iface(widget);
        AtspiRect* box = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr);
        gchar* role = atspi_accessible_get_role_name(widget, nullptr);
        std::printf("%d %d %d %d %s %s\n", box->x, box->y, box->width, box->height,
                    has(widget, ATSPI_STATE_CHECKED) ? "checked" : "-", role);
        g_free(role);
        g_free(box);
        g_object_unref(component);
        g_object_unref(widget);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "find")
        return find(argv[2]);
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr,
                     "usage: %s screenshot FILE.png | close WINDOW-ID | cover WINDOW-ID |"
                     " on-top WINDOW-ID | find NAME-PATTERN |"
                     " split-repeats WINDOW-ID KEYSYM COUNT\n",
                     argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot open the X display\n");
        return 1;
    }
    const std::string command = argv[1];
    int result = 2;
    if (argc == 5 && command == "split-repeats")
        result = splitRepeats(display, argv[2], argv[3], argv[4]);
    else if (argc == 3 && command == "screenshot")
        result = screenshot(display, argv[2]);
    else if (argc == 3 && command == "cover")
        result = cover(display, argv[2]);
    else if (argc == 3 && command == "on-top")
        result = onTop(display, argv[2]);
    else if (argc == 3 && command == "close")
        result = closeWindow(display, argv[2]);
    XSync(display, False);
    XCloseDisplay(display);
    return result;
}
