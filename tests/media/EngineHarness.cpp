#include "EngineHarness.h"

#include <QFile>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvala::testing_support {

void EnterLoopbackOnlyNetwork(int argc, char** argv)
{
    if (std::getenv("CORVALA_TEST_NETNS"))
        return;
    setenv("CORVALA_TEST_NETNS", "1", 1);
    // The program's own path, resolved now: inside the shell /proc/self/exe
    // would name the shell.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        std::perror("readlink /proc/self/exe");
        std::exit(2);
    }
    std::vector<std::string> args = {"unshare", "-rn", "sh", "-c", "ip link set lo up && exec \"$0\" \"$@\"", self};
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    std::vector<char*> raw;
    for (auto& a : args)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    execvp("unshare", raw.data());
    std::perror("unshare");
    std::exit(2);
}

void Mailbox::Post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void Mailbox::Notify()
{
    {
        std::lock_guard lock(mutex_);
        ++notices_;
    }
    changed_.notify_all();
}

bool Mailbox::WaitFor(const std::function<bool()>& done, std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            // A job or a notice wakes the waiter at once; the short wait
            // only bounds how late a change is seen that nobody announced.
            const unsigned long seen = notices_;
            changed_.wait_for(lock, std::chrono::milliseconds(50),
                              [this, seen] { return !jobs_.empty() || notices_ != seen; });
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
        }
        if (job)
            job();
        else if (done())
            return true;
        else if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
}

VirtualDisplay::VirtualDisplay()
{
    // Xvfb picks a free display itself and writes its number to the pipe
    // once it accepts clients.
    int ready[2];
    if (pipe(ready) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                                     "640x480x24", "-nolisten", "tcp"};
    std::vector<char*> raw;
    for (auto& a : args)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (rc == 0) {
        pid_ = pid;
        std::string number;
        char c;
        while (read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        if (!number.empty())
            name_ = QString::fromStdString(":" + number);
    }
    close(ready[0]);
}

VirtualDisplay::~VirtualDisplay()
{
    if (pid_ > 0) {
        kill(static_cast<pid_t>(pid_), SIGTERM);
        int status = 0;
        waitpid(static_cast<pid_t>(pid_), &status, 0);
    }
}

} // namespace corvala::testing_support
