// The real viewer process on a prepared working directory: exec to the first frame, resident memory
// once it runs, and then RELOADS replacements of forecast.nc as update_data.sh makes them (a fresh
// copy renamed over the old one), each timed as the longest stall between two drawn frames, with the
// memory and GL objects held after it. Runs the viewer on a private Xvfb; prints figures.
//   bench_startup_reload RUN_DIR [RELOADS]     (default 30 reloads)
// RUN_DIR holds skyloom, its data files and forecast.nc, as scripts/run.sh prepares run/ (e.g. the
// 29-step sample from ./update_data.sh --sample). forecast.nc is restored when the run ends.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
Clock::time_point after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
}

volatile sig_atomic_t interrupted = 0;
void onSignal(int) { interrupted = 1; }

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// Whole-file copy. With `times` null the copy gets the current time as its mtime, which is what makes
// the viewer see it as new; otherwise it gets those times.
bool copyFile(const std::string& from, const std::string& to, const struct timespec* times) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = true;
    for (;;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) break;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        // Not supported between these files: plain reads and writes.
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            ok = false;
            break;
        }
        static char buf[1 << 20];
        ssize_t r;
        while (ok && (r = read(in, buf, sizeof buf)) != 0) {
            if (r < 0) {
                if (errno != EINTR) ok = false;
                continue;
            }
            for (ssize_t done = 0; ok && done < r;) {
                const ssize_t w = write(out, buf + done, static_cast<size_t>(r - done));
                if (w < 0 && errno != EINTR) ok = false;
                if (w > 0) done += w;
            }
        }
        break;
    }
    if (ok && times) ok = futimens(out, times) == 0;
    if (close(out) != 0) ok = false;
    close(in);
    if (!ok) unlink(to.c_str());
    return ok;
}

struct Memory {
    long rssKb = -1, hwmKb = -1;
};

Memory readMemory(pid_t pid) {
    Memory m;
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "VmRSS:", 6) == 0) m.rssKb = std::atol(line + 6);
            if (std::strncmp(line, "VmHWM:", 6) == 0) m.hwmKb = std::atol(line + 6);
        }
        std::fclose(f);
    }
    return m;
}

// Readable once the process has exited, so a wait on frames and output also notices a crash. Called
// directly: some C libraries' <sys/pidfd.h> declares it without C linkage.
int pidfdOpen(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

double mib(long kb) { return static_cast<double>(kb) / 1024.0; }

pid_t spawn(const char* dir, const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd) {
    // Everything exec needs is built before the fork.
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (outFd >= 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(outFd, STDERR_FILENO);
    }
    // A new process group, so a terminal's Ctrl-C reaches only this program, which then cleans up.
    setpgid(0, 0);
    if (dir && chdir(dir) != 0) _exit(126);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
}

// Ends a child: SIGTERM, then SIGKILL when it is still there after `grace` seconds; always reaped.
void stop(pid_t pid, int pidfd, double grace) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        int r;
        while ((r = poll(&p, 1, static_cast<int>(grace * 1000))) < 0 && errno == EINTR) {
        }
        if (r == 0) kill(pid, SIGKILL);
    } else {
        kill(pid, SIGKILL);
    }
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

struct Xvfb {
    pid_t pid = -1;
    int pidfd = -1;
    int display = -1;
};

// A private server on the first display number with neither a socket nor a lock file. Its socket
// appearing is the sign that it accepts clients; the wait is on inotify, not on a timer.
bool startXvfb(Xvfb& x, const std::string& logPath) {
    const int ino = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (ino < 0) return false;
    const bool watching = inotify_add_watch(ino, "/tmp/.X11-unix", IN_CREATE | IN_MOVED_TO) >= 0;
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (int n = 90; n < 200 && !interrupted; n++) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (exists(socket) || exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
        x.pid = spawn(nullptr, {"Xvfb", ":" + std::to_string(n), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"},
                      {"PATH=/usr/local/bin:/usr/bin:/bin"}, log);
        if (x.pid < 0) break;
        x.pidfd = pidfdOpen(x.pid);
        const auto until = after(15);
        bool up = false, died = false;
        while (!up && !died && Clock::now() < until && !interrupted) {
            if (exists(socket)) {
                up = true;
                break;
            }
            pollfd p[2] = {{watching ? ino : -1, POLLIN, 0}, {x.pidfd, POLLIN, 0}};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            // Without a watch (no /tmp/.X11-unix yet) the socket is looked for every 50 ms instead.
            if (poll(p, 2, watching ? static_cast<int>(std::max<long long>(left, 0)) : 50) < 0 && errno != EINTR) break;
            char drain[4096];
            while (read(ino, drain, sizeof drain) > 0) {
            }
            if (p[1].revents) died = true;
        }
        if (up) {
            x.display = n;
            break;
        }
        // Taken by a server that started meanwhile, or too slow: the next number.
        stop(x.pid, x.pidfd, 2);
        if (x.pidfd >= 0) close(x.pidfd);
        x.pid = x.pidfd = -1;
        if (!died) break;
    }
    if (log >= 0) close(log);
    close(ino);
    return x.display >= 0;
}

struct Viewer {
    pid_t pid = -1;
    int out = -1;    // its stdout and stderr
    int ino = -1;    // the frame file's directory
    int pidfd = -1;  // readable once it has exited
    bool exited = false;
    std::string partial;
    std::vector<Clock::time_point> frames;
    struct Resources {
        Clock::time_point at;
        long textures = -1, lists = -1;
    };
    std::vector<Resources> resources;
    std::deque<std::string> tail;

    void line(const std::string& text) {
        Resources r;
        r.at = Clock::now();
        if (std::sscanf(text.c_str(), "resources: textures=%ld lists=%ld", &r.textures, &r.lists) == 2) {
            resources.push_back(r);
        } else {
            // The viewer talks through every load; only the end of it is kept, to show on a failure.
            tail.push_back(text);
            if (tail.size() > 20) tail.pop_front();
        }
    }

    void printTail() const {
        for (const auto& text : tail) std::fprintf(stderr, "skyloom: %s\n", text.c_str());
    }

    // Handles whatever is ready, waiting until `until` at the latest; stops early once `done()`
    // holds or the viewer has exited. Returns done().
    template <class Done>
    bool pump(Clock::time_point until, Done done) {
        while (!done()) {
            if (exited || interrupted) return done();
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left < 0) return false;
            pollfd p[3] = {{ino, POLLIN, 0}, {out, POLLIN, 0}, {pidfd, POLLIN, 0}};
            // Rounded up, so the wait does not end a fraction of a millisecond before `until`.
            const int r = poll(p, 3, static_cast<int>(left) + 1);
            if (r < 0 && errno != EINTR) return false;
            if (r <= 0) continue;
            if (p[0].revents & POLLIN) readFrames();
            if (p[1].revents & (POLLIN | POLLHUP)) readOutput();
            if (p[2].revents & POLLIN) {
                readFrames();
                readOutput();
                exited = true;
            }
        }
        return true;
    }

    void readFrames() {
        alignas(inotify_event) char buf[8192];
        ssize_t n;
        while ((n = read(ino, buf, sizeof buf)) > 0) {
            const auto now = Clock::now();
            for (char* p = buf; p < buf + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len > 0 && std::strcmp(e->name, "frames") == 0) frames.push_back(now);
                p += sizeof(inotify_event) + e->len;
            }
        }
    }

    void readOutput() {
        char buf[4096];
        ssize_t n;
        while ((n = read(out, buf, sizeof buf)) > 0) {
            partial.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = partial.find('\n')) != std::string::npos;) {
                line(partial.substr(0, nl));
                partial.erase(0, nl + 1);
            }
        }
    }
};

struct Reload {
    double pauseMs = 0;
    double rssMb = 0;
    long textures = -1, lists = -1;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s RUN_DIR [RELOADS]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const int reloads = argc > 2 ? std::atoi(argv[2]) : 30;
    if (reloads < 0) {
        std::fprintf(stderr, "RELOADS must be 0 or more\n");
        return 2;
    }
    const std::string forecast = dir + "/forecast.nc", original = dir + "/forecast.orig.nc", staged = dir + "/forecast.nc.tmp";
    if (!exists(dir + "/skyloom") || (!exists(forecast) && !exists(original))) {
        std::fprintf(stderr, "%s needs skyloom and forecast.nc (prepare it as scripts/run.sh does)\n", dir.c_str());
        return 2;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // The original is set aside with its own mtime; every reload copies it, and it is renamed back
    // at the end. One left by an interrupted run is the original already.
    if (exists(original)) {
        std::fprintf(stderr, "using the %s left by an earlier run as the original\n", original.c_str());
        unlink(forecast.c_str());
        if (!copyFile(original, forecast, nullptr)) {
            std::fprintf(stderr, "cannot copy %s: %s\n", original.c_str(), std::strerror(errno));
            return 1;
        }
    } else {
        struct stat st {};
        stat(forecast.c_str(), &st);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (!copyFile(forecast, original, times)) {
            std::fprintf(stderr, "cannot copy %s: %s\n", forecast.c_str(), std::strerror(errno));
            return 1;
        }
    }
    const auto restore = [&] {
        unlink(staged.c_str());
        if (std::rename(original.c_str(), forecast.c_str()) != 0)
            std::fprintf(stderr, "cannot restore %s from %s: %s\n", forecast.c_str(), original.c_str(), std::strerror(errno));
    };

    char tmpl[] = "/tmp/skyloom-bench-XXXXXX";
    const char* tmp = mkdtemp(tmpl);
    if (!tmp) {
        std::perror("mkdtemp");
        restore();
        return 1;
    }
    const std::string tmpdir = tmp, frameFile = tmpdir + "/frames", xlog = tmpdir + "/xvfb.log";
    const auto removeTmp = [&] {
        unlink(frameFile.c_str());
        unlink((frameFile + ".part").c_str());
        unlink(xlog.c_str());
        rmdir(tmpdir.c_str());
    };

    Xvfb x;
    if (!startXvfb(x, xlog)) {
        std::fprintf(stderr, "Xvfb did not start (log: %s)\n", xlog.c_str());
        restore();
        return 1;
    }

    Viewer v;
    v.ino = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(v.ino, tmpdir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::perror("pipe");
        stop(x.pid, x.pidfd, 5);
        restore();
        removeTmp();
        return 1;
    }
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    v.out = pipeFds[0];

    // This environment (Mesa's settings among it), less the display and the variables set here.
    std::vector<std::string> env = {"DISPLAY=:" + std::to_string(x.display), "SKYLOOM_FRAME_FILE=" + frameFile,
                                    "SKYLOOM_REPORT_RESOURCES=1", "SKYLOOM_SEED=1"};
    for (char** e = environ; *e; e++) {
        const std::string var = *e;
        const std::string name = var.substr(0, var.find('='));
        if (name != "DISPLAY" && name != "XAUTHORITY" && name != "WAYLAND_DISPLAY" && name != "SKYLOOM_FRAME_FILE" &&
            name != "SKYLOOM_REPORT_RESOURCES" && name != "SKYLOOM_SEED")
            env.push_back(var);
    }

    const auto start = Clock::now();
    v.pid = spawn(dir.c_str(), {"./skyloom", "-window"}, env, pipeFds[1]);
    close(pipeFds[1]);
    v.pidfd = pidfdOpen(v.pid);

    int status = 0;
    std::vector<Reload> done;
    Memory steady, last;
    const bool started = v.pump(after(120), [&] { return !v.frames.empty(); });
    if (!started && !interrupted) {
        std::fprintf(stderr, "the viewer drew no frame%s\n", v.exited ? " (it exited)" : " in 120 s");
        status = 1;
    } else if (started) {
        std::printf("exec to first frame: %.1f ms\n", ms(v.frames.front() - start));
        std::fflush(stdout);
        const auto steadyAt = v.frames.front() + std::chrono::seconds(3);
        v.pump(steadyAt, [] { return false; });
        steady = readMemory(v.pid);
        std::printf("steady RSS (3 s after the first frame): %.1f MiB\n", mib(steady.rssKb));
        std::fflush(stdout);

        for (int i = 1; i <= reloads && !v.exited && !interrupted; i++) {
            if (!copyFile(original, staged, nullptr)) {
                std::fprintf(stderr, "cannot copy %s: %s\n", original.c_str(), std::strerror(errno));
                status = 1;
                break;
            }
            // Renamed right after a frame, whose time is then known exactly (events read late, during
            // the copy, carry the time they were read): the pause is measured from that frame on.
            const size_t stale = v.frames.size();
            const bool fresh = v.pump(after(10), [&] { return v.frames.size() > stale; });
            const size_t next = v.frames.size();
            const size_t reports = v.resources.size();
            if (std::rename(staged.c_str(), forecast.c_str()) != 0) {
                std::fprintf(stderr, "cannot rename %s: %s\n", staged.c_str(), std::strerror(errno));
                status = 1;
                break;
            }
            const auto renamed = Clock::now();
            if (!v.pump(renamed + std::chrono::seconds(60), [&] { return v.resources.size() > reports; })) {
                if (interrupted) break;
                std::fprintf(stderr, "reload %d did not complete%s\n", i, v.exited ? " (the viewer exited)" : " in 60 s");
                status = 1;
                break;
            }
            const auto reported = v.resources.back().at;
            // One more second of frames; and at least one after the report, so the stall is closed.
            const auto windowEnd = reported + std::chrono::seconds(1);
            v.pump(windowEnd, [] { return false; });
            v.pump(renamed + std::chrono::seconds(60), [&] { return v.frames.back() > reported; });
            // Without a frame just before the rename, the stall is counted from the rename itself.
            auto previous = fresh ? v.frames[next - 1] : renamed;
            double pause = 0;
            for (size_t k = next; k < v.frames.size() && previous <= windowEnd; k++) {
                pause = std::max(pause, ms(v.frames[k] - previous));
                previous = v.frames[k];
            }
            Reload r;
            r.pauseMs = pause;
            r.rssMb = mib(readMemory(v.pid).rssKb);
            r.textures = v.resources.back().textures;
            r.lists = v.resources.back().lists;
            done.push_back(r);
            std::printf("reload %2d: pause %7.1f ms  RSS %7.1f MiB  textures %ld  lists %ld\n", i, r.pauseMs, r.rssMb, r.textures,
                        r.lists);
            std::fflush(stdout);
        }
        // VmHWM only grows, so the last reading is the peak of the whole run.
        last = readMemory(v.pid);
        if (status == 0 && !interrupted && static_cast<int>(done.size()) < reloads) {
            std::fprintf(stderr, "the viewer exited after %zu of %d reloads\n", done.size(), reloads);
            status = 1;
        }
    }
    if (interrupted) {
        std::fprintf(stderr, "interrupted\n");
        status = 1;
    } else if (status != 0) {
        v.printTail();
    }
    if (!v.exited) stop(v.pid, v.pidfd, 5);
    else waitpid(v.pid, nullptr, 0);
    stop(x.pid, x.pidfd, 5);
    restore();
    removeTmp();

    if (!done.empty()) {
        double sum = 0, worst = 0;
        for (const auto& r : done) {
            sum += r.pauseMs;
            worst = std::max(worst, r.pauseMs);
        }
        std::printf("reload pause: mean %.1f ms, max %.1f ms over %zu reloads\n", sum / static_cast<double>(done.size()), worst,
                    done.size());
        std::printf("RSS after reload 1: %.1f MiB, after reload %zu: %.1f MiB\n", done.front().rssMb, done.size(),
                    done.back().rssMb);
    }
    if (last.hwmKb >= 0) std::printf("VmHWM peak: %.1f MiB\n", mib(last.hwmKb));
    return status;
}
