// A stand-in application for the workspace tests: copied into a fake bundle, it sleeps until it is
// signalled. Driven by its environment, so that its arguments stay exactly what it was given:
//   FAKE_APP_REPORT_DIR        writes <dir>/<pid> holding its arguments, each ended by a NUL
//   FAKE_APP_CHILDREN=n        starts n helper processes of its own program
//   FAKE_APP_EXEC_AFTER_FORK   forks a process that waits FAKE_APP_EXEC_DELAY_MS, then execs this program
//   FAKE_APP_RELAUNCH          starts a helper that waits for this process to end, then starts the
//                              program anew and leaves, as a browser relaunching itself does
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

void report(int argc, char* argv[])
{
    const char* folder = getenv("FAKE_APP_REPORT_DIR");
    if (folder == nullptr)
        return;
    const std::string path = std::string(folder) + "/" + std::to_string(getpid());
    const std::string partial = path + ".partial";
    FILE* file = fopen(partial.c_str(), "wb");
    if (file == nullptr)
        return;
    for (int index = 1; index < argc; ++index)
        fwrite(argv[index], 1, std::string(argv[index]).size() + 1, file);
    fclose(file);
    rename(partial.c_str(), path.c_str());
}

std::string ownProgram()
{
    char target[4096];
    const ssize_t length = readlink("/proc/self/exe", target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

void startHelpers()
{
    const char* count = getenv("FAKE_APP_CHILDREN");
    if (count == nullptr)
        return;
    const int helpers = atoi(count);
    unsetenv("FAKE_APP_CHILDREN");
    const std::string program = ownProgram();
    for (int index = 0; index < helpers; ++index) {
        if (fork() == 0) {
            execl(program.c_str(), program.c_str(), "--helper", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
}

void forkThenExec()
{
    const char* program = getenv("FAKE_APP_EXEC_AFTER_FORK");
    if (program == nullptr)
        return;
    const char* delay = getenv("FAKE_APP_EXEC_DELAY_MS");
    const std::string target = program;
    if (fork() != 0)
        return;
    unsetenv("FAKE_APP_EXEC_AFTER_FORK");
    usleep(static_cast<useconds_t>(delay != nullptr ? atoi(delay) : 0) * 1000);
    execl(target.c_str(), target.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

void relaunchAfterParent()
{
    const pid_t parent = getppid();
    while (getppid() == parent)
        usleep(10000);
    const std::string program = ownProgram();
    if (fork() == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Still there when the new process is first seen, so that it has a parent of its own program.
    sleep(3);
    _exit(0);
}

void startRelauncher()
{
    if (getenv("FAKE_APP_RELAUNCH") == nullptr)
        return;
    unsetenv("FAKE_APP_RELAUNCH");
    if (fork() == 0)
        relaunchAfterParent();
}

} // namespace

int main(int argc, char* argv[])
{
    report(argc, argv);
    startHelpers();
    forkThenExec();
    startRelauncher();
    for (;;)
        pause();
}
