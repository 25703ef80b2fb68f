#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace sondreltest {

std::string runInChild(const std::function<std::string()>& body, unsigned timeoutSeconds) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "pipe failed";
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return "fork failed";
    }
    if (pid == 0) {
        close(fds[0]);
        if (timeoutSeconds > 0) {
            alarm(timeoutSeconds);
        }
        const std::string message = body();
        size_t done = 0;
        while (done < message.size()) {
            const ssize_t n = write(fds[1], message.data() + done, message.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
        _exit(message.empty() ? 0 : 1);
    }
    close(fds[1]);
    std::string message;
    char buffer[512];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        message.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        return message + "child ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return message.empty() ? "child failed without a message" : message;
    }
    return {};
}

} // namespace sondreltest
