// The e2e test's hands on the X server: closing a window the way a window
// manager would (WM_DELETE_WINDOW), key repeats as X delivers them under
// load, and widgets found by their accessible names over AT-SPI, as a screen
// reader finds them.
#include <atspi/atspi.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

int closeWindow(Display* display, Window window) {
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

// Maps a plain window over `covered` and keeps it there until killed,
// as another program's window would be.
int cover(Display* display, Window covered) {
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
        ::pause();
}

// Exit status 0 when `window` is the topmost window shown on the screen.
int onTop(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
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
int splitRepeats(Display* display, Window window, const char* keysymName, const char* countText) {
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
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 3 && command == "find")
        return find(argv[2]);
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const Window window = argc > 2 ? std::strtoul(argv[2], nullptr, 0) : 0;
    int result = 2;
    if (argc == 5 && command == "split-repeats")
        result = splitRepeats(display, window, argv[3], argv[4]);
    else if (argc == 3 && command == "cover")
        result = cover(display, window);
    else if (argc == 3 && command == "on-top")
        result = onTop(display, window);
    else if (argc == 3 && command == "close")
        result = closeWindow(display, window);
    else
        std::fprintf(stderr,
                     "usage: %s close WINDOW | cover WINDOW |"
                     " on-top WINDOW | find NAME | split-repeats WINDOW KEYSYM COUNT\n",
                     argv[0]);
    XSync(display, False);
    XCloseDisplay(display);
    return result;
}
