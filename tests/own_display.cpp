#include "own_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace vistra::test {
namespace {

// How long the server may take until it accepts connections: generous, for a machine
// busy with a parallel build and many test processes.
constexpr int kStartTimeoutMs = 30000;
constexpr auto kStopTimeout = std::chrono::seconds(5);

// In a forked child: ends this process with `sig` when the process that forked it ends.
// False when that has happened already.
bool tieToParent(int sig, pid_t parent)
{
    return prctl(PR_SET_PDEATHSIG, sig) == 0 && getppid() == parent;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

void stopServer(pid_t server)
{
    kill(server, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (waitpid(server, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(server, SIGKILL);
            waitFor(server);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// What the server wrote to its standard error, for the message when it did not start.
std::string readLog(int fd)
{
    std::string text;
    if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0)
        return text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < 16384;)
        text.append(buffer, std::size_t(n));
    return text;
}

// Reads the display number that Xvfb writes to `fd` once it accepts connections; -1 when
// it ends or takes too long first.
int readDisplayNumber(int fd)
{
    std::string digits;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return -1;
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, int(left.count()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return -1;
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        if (c == '\n')
            break;
        if (c < '0' || c > '9' || digits.size() > 6)
            return -1;
        digits += c;
    }
    return digits.empty() ? -1 : std::atoi(digits.c_str());
}

struct Server {
    pid_t pid = -1;
    int display = -1;
};

Server startServer()
{
    int ready[2];
    if (pipe(ready) != 0) {
        std::fprintf(stderr, "own display: no pipe: %s\n", std::strerror(errno));
        return {};
    }
    char logPath[] = "/tmp/tarnwick-xvfb-XXXXXX";
    const int log = mkstemp(logPath);
    if (log >= 0)
        unlink(logPath);
    // Everything the child needs is made before the fork: it only calls what is safe there.
    const std::string readyFd = std::to_string(ready[1]);
    const int null = open("/dev/null", O_RDWR);
    const pid_t keeper = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        if (!tieToParent(SIGTERM, keeper))
            _exit(127);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            // Nothing of the server may hold the test's output open: the test runner waits
            // for it to close.
            dup2(null, STDOUT_FILENO);
            dup2(log >= 0 ? log : null, STDERR_FILENO);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", readyFd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        const char* why = "cannot run Xvfb (Debian package xvfb)\n";
        (void)!write(STDERR_FILENO, why, std::strlen(why));
        _exit(127);
    }
    close(ready[1]);
    if (null >= 0)
        close(null);
    if (pid < 0) {
        std::fprintf(stderr, "own display: cannot fork: %s\n", std::strerror(errno));
        close(ready[0]);
        if (log >= 0)
            close(log);
        return {};
    }
    Server server{pid, readDisplayNumber(ready[0])};
    close(ready[0]);
    if (server.display < 0) {
        stopServer(pid);
        std::fprintf(stderr, "own display: Xvfb did not start:\n%s", readLog(log).c_str());
        server.pid = -1;
    }
    if (log >= 0)
        close(log);
    return server;
}

// Ends the keeper as its test process ended: with its exit status, or killed by the same
// signal (without a second core dump), so that the test runner reports what happened.
[[noreturn]] void endLike(int status)
{
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        signal(sig, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, sig);
        sigprocmask(SIG_UNBLOCK, &only, nullptr);
        raise(sig);
        _exit(128 + sig);
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

} // namespace

bool wantsOwnDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0)
            return false;
    const char* choice = std::getenv("TARNWICK_TEST_DISPLAY");
    return !(choice && std::strcmp(choice, "inherit") == 0);
}

bool enterOwnDisplay()
{
    const Server server = startServer();
    if (server.pid < 0)
        return false;
    setenv("DISPLAY", (":" + std::to_string(server.display)).c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    unsetenv("WAYLAND_DISPLAY");

    std::fflush(nullptr); // nothing buffered may be written twice
    const pid_t keeper = getpid();
    const pid_t test = fork();
    if (test == 0) {
        if (!tieToParent(SIGKILL, keeper))
            _exit(127);
        return true;
    }
    if (test < 0)
        std::fprintf(stderr, "own display: cannot fork: %s\n", std::strerror(errno));
    const int status = test < 0 ? -1 : waitFor(test);
    stopServer(server.pid);
    if (status < 0)
        _exit(1);
    endLike(status);
}

} // namespace vistra::test
