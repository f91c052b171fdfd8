/* Asks a window to close the way a window manager does: a WM_DELETE_WINDOW
 * client message to the first window whose name contains the given text.
 * Usage: x_close NAME   (exit 0 when a window got the message) */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <string.h>

static Window find(Display *d, Window w, const char *name)
{
    char *title = NULL;
    if (XFetchName(d, w, &title) && title) {
        int hit = strstr(title, name) != NULL;
        XFree(title);
        if (hit)
            return w;
    }
    Window root, parent, *kids = NULL, found = 0;
    unsigned int n = 0;
    if (XQueryTree(d, w, &root, &parent, &kids, &n)) {
        for (unsigned int i = 0; i < n && !found; i++)
            found = find(d, kids[i], name);
        if (kids)
            XFree(kids);
    }
    return found;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: x_close NAME\n");
        return 2;
    }
    Display *d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "x_close: cannot open the display\n");
        return 2;
    }
    Window w = find(d, DefaultRootWindow(d), argv[1]);
    if (!w) {
        fprintf(stderr, "x_close: no window named like '%s'\n", argv[1]);
        return 1;
    }
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
