/* Starts a program on the X display and reports, on one line, the
 * milliseconds from exec to the mapping of its window titled TITLE and the
 * program's resident size (kB, /proc/PID/smaps_rollup) DELAY_MS later; then
 * ends the program. Without a window manager every top-level window is a
 * child of the root window, so its MapNotify arrives on the root.
 *     startup-probe TITLE DELAY_MS PROGRAM [ARG...]
 * The program's own output is discarded. Exit status 0 when both figures
 * were taken. */

#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double nowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static int titled(Display* display, Window window, const char* title)
{
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* value = NULL;
    int same = 0;
    if (XGetWindowProperty(display, window, netName, 0, 256, False, utf8, &type, &format, &count, &after,
                           &value) == Success &&
        value) {
        same = strcmp((const char*)value, title) == 0;
        XFree(value);
    }
    return same;
}

static long residentKb(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/smaps_rollup", (int)pid);
    FILE* file = fopen(path, "r");
    if (!file)
        return -1;
    char line[256];
    long kb = -1;
    while (fgets(line, sizeof line, file)) {
        if (sscanf(line, "Rss: %ld kB", &kb) == 1)
            break;
    }
    fclose(file);
    return kb;
}

static void endProgram(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, NULL, WNOHANG) == pid)
            return;
        usleep(20000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, NULL, 0);
}

int main(int argc, char* argv[])
{
    if (argc < 4) {
        fprintf(stderr, "usage: %s TITLE DELAY_MS PROGRAM [ARG...]\n", argv[0]);
        return 2;
    }
    const char* title = argv[1];
    const long delayMs = atol(argv[2]);
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "startup-probe: cannot open the display\n");
        return 2;
    }
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);
    const int fd = ConnectionNumber(display);
    fcntl(fd, F_SETFD, FD_CLOEXEC);

    const double started = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    if (pid < 0)
        return 2;

    double mapped = -1;
    int ended = 0;
    while (mapped < 0 && nowMs() - started < 30000) {
        while (mapped < 0 && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && titled(display, event.xmap.window, title))
                mapped = nowMs();
        }
        if (mapped >= 0)
            break;
        if (waitpid(pid, NULL, WNOHANG) == pid) {
            ended = 1;
            break;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        struct timeval wait = {0, 100000};
        select(fd + 1, &readable, NULL, NULL, &wait);
    }
    if (mapped < 0) {
        fprintf(stderr, "startup-probe: no window '%s' from %s\n", title, argv[3]);
        if (!ended)
            endProgram(pid);
        return 1;
    }
    usleep((useconds_t)delayMs * 1000);
    const long kb = residentKb(pid);
    endProgram(pid);
    XCloseDisplay(display);
    printf("%.1f %ld\n", mapped - started, kb);
    return kb > 0 ? 0 : 1;
}
