// xmplay IN.xm [--seconds S]
// Plays a module on the default output through the player's six operations, with one
// status line. q, Escape or Ctrl-C stop it; without a terminal on stdin it plays until a
// signal arrives or, with --seconds, for S seconds.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "audio/player.h"
#include "module/file_stream.h"

namespace {

volatile std::sig_atomic_t stop_signal = 0;

void on_signal(int) { stop_signal = 1; }

termios saved_termios;
bool terminal_raw = false;

// Keys arrive one by one, unechoed; Ctrl-C still raises SIGINT.
void terminal_enter_raw() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_termios) != 0) return;
    termios raw = saved_termios;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) terminal_raw = true;
}

void terminal_restore() {
    if (terminal_raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved_termios);
    terminal_raw = false;
}

// True when q, Q or a lone Escape was typed. Escape sequences (arrow keys) are ignored.
bool quit_key_pressed(int timeout_ms) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0) return false;
    char keys[16];
    const ssize_t n = read(STDIN_FILENO, keys, sizeof keys);
    if (n <= 0) return false;
    if (n == 1 && keys[0] == 27) return true;
    for (ssize_t i = 0; i < n; ++i)
        if (keys[i] == 'q' || keys[i] == 'Q') return true;
    return false;
}

// The module's name: 20 bytes after the 17-byte signature, trailing spaces dropped.
std::string module_name(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return "";
    char header[37] = {};
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    if (got < sizeof header) return "";
    std::string name;
    for (int i = 17; i < 37 && header[i]; ++i)
        name += (header[i] >= 32 && header[i] < 127) ? header[i] : '?';
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

double seconds_since(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9;
}

void print_status(FILE* to, Song* song, double elapsed, const std::string& name, bool live, char end) {
    const int seconds = static_cast<int>(elapsed);
    std::fprintf(to, "%sorder %3d  row %3d  %2d:%02d  %s%c", live ? "\r" : "", player_get_order(song),
                 player_get_row(song),
                 seconds / 60, seconds % 60, name.c_str(), end);
    std::fflush(to);
}

int usage() {
    std::fprintf(stderr, "usage: xmplay IN.xm [--seconds S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    double limit = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            limit = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end || !(limit >= 0)) return usage();
        } else if (!path && argv[i][0] != '-') {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (!path) return usage();

    // Handlers first: a Ctrl-C while the ring is being filled must still stop cleanly.
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    file_stream_install();
    Song* song = song_load(path, nullptr);
    if (!song) {
        std::fprintf(stderr, "xmplay: %s: cannot load the module\n", path);
        return 1;
    }
    if (!player_start(song)) {
        std::fprintf(stderr, "xmplay: cannot open the audio output\n");
        song_free(song);
        return 1;
    }

    const bool keys = isatty(STDIN_FILENO);
    if (keys) terminal_enter_raw();
    const bool status_live = isatty(STDOUT_FILENO);
    const std::string name = module_name(path);
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);

    while (!stop_signal) {
        const double elapsed = seconds_since(start);
        if (limit >= 0 && elapsed >= limit) break;
        if (status_live) print_status(stdout, song, elapsed, name, true, ' ');
        if (keys) {
            if (quit_key_pressed(50)) break;
        } else {
            timespec pause{0, 50 * 1000000L};
            nanosleep(&pause, nullptr);
        }
    }
    print_status(stdout, song, seconds_since(start), name, status_live, '\n');
    song_free(song);
    terminal_restore();
    return 0;
}
