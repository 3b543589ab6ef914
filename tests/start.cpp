// SPDX-License-Identifier: MIT
// start.cpp - the one place where the tests start a program, so that the same tests
// run on POSIX systems and on Windows. The program named by a command may itself be
// an emulator that runs the next word: the tests do not need to know.

#include "start.h"

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <windows.h>

const char *const nulldevice = "NUL";

namespace {

// One argument quoted so that the C runtime's parsing of the command line gives it
// back unchanged: backslashes are doubled only before a quote.
std::string quote(const std::string &arg)
{
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

HANDLE openfile(const char *path, bool write)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path, write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int startandwait(const std::vector<std::string> &command, const std::string &dir, const startio &io)
{
    std::string line;
    for (const auto &arg : command)
        line += (line.empty() ? "" : " ") + quote(arg);

    HANDLE in = nullptr; // a closed standard input
    bool owned = false;
    if (io.inputfd >= 0) {
        in = reinterpret_cast<HANDLE>(_get_osfhandle(io.inputfd));
        SetHandleInformation(in, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    } else if (io.inputpath != nullptr) {
        in = openfile(io.inputpath, false);
        owned = true;
    }
    HANDLE out = openfile(io.outpath.c_str(), true);
    HANDLE err = io.errpath != nullptr ? openfile(io.errpath, true) : out;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        dir.c_str(), &startup, &process);
    if (owned)
        CloseHandle(in);
    CloseHandle(out);
    if (err != out)
        CloseHandle(err);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(status);
}

bool makepipe(int (&fds)[2])
{
    return _pipe(fds, 65536, _O_BINARY) == 0;
}

#else

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

const char *const nulldevice = "/dev/null";

int startandwait(const std::vector<std::string> &command, const std::string &dir, const startio &io)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    if (io.inputfd >= 0)
        posix_spawn_file_actions_adddup2(&actions, io.inputfd, 0);
    else if (io.inputpath != nullptr)
        posix_spawn_file_actions_addopen(&actions, 0, io.inputpath, O_RDONLY, 0);
    else
        posix_spawn_file_actions_addclose(&actions, 0);
    const int created = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, 1, io.outpath.c_str(), created, 0644);
    if (io.errpath != nullptr)
        posix_spawn_file_actions_addopen(&actions, 2, io.errpath, created, 0644);
    else
        posix_spawn_file_actions_adddup2(&actions, 1, 2);

    std::vector<char *> argv;
    for (const auto &arg : command)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool makepipe(int (&fds)[2])
{
    return pipe(fds) == 0;
}

#endif
