// Runs the emulator as its own process, from a folder of its own (the options file is written
// beside the program, so each test gets a private copy of it).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tamsk/board/tests/TestFiles.h"

namespace tamsk::test {

const std::string kRoms = TAMSK_TEST_ROMS;

struct Outcome {
    int exitCode = -1;  // -1: killed (time-out) or signalled
    std::string out, err;
};

class Program {
public:
    Program() {
        const std::string exe = dir / "tamsk";
        std::error_code ec;
        std::filesystem::create_hard_link(VANTOR_BIN_DIR "/tamsk", exe, ec);
        if (ec) std::filesystem::copy_file(VANTOR_BIN_DIR "/tamsk", exe, ec);
    }
    ~Program() {
        Stop();
        CloseOutput();
    }

    // A ROM list in the program's folder loading `items` ("AREA:offset:file" with files from the
    // test ROMs); returns its path.
    std::string RomList(const std::string& name, const std::vector<std::string>& items) const {
        std::string text;
        for (const std::string& item : items) {
            const size_t colon = item.rfind(':');
            text += item.substr(0, colon + 1) + kRoms + "/" + item.substr(colon + 1) + "\n";
        }
        WriteFile(dir / name, text);
        return dir / name;
    }

    // Starts the program with these arguments; its output is collected until it ends.
    void Start(const std::vector<std::string>& args) {
        out_text_.clear();
        err_text_.clear();
        CloseOutput();
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            std::vector<std::string> all{dir / "tamsk"};
            all.insert(all.end(), args.begin(), args.end());
            // No host adapter is bridged unless a test asks for one.
            bool ethernet = false;
            for (const std::string& a : args) ethernet |= a.rfind("-EnableEthernet:", 0) == 0;
            if (!ethernet) all.push_back("-EnableEthernet:false");
            std::vector<char*> argv;
            for (auto& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            if (!graphical) setenv("WIN32_HEADLESS", "1", 1);
            chdir(dir.path().c_str());
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    // Collects output until the program ends or `ms` pass (then it is killed).
    Outcome Wait(int ms = 60000) {
        Outcome o;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            Drain(o);
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                Drain(o);
                o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                pid_ = -1;
                break;
            }
            if (std::chrono::steady_clock::now() > end) {
                Stop();
                Drain(o);
                break;
            }
        }
        o.out = out_text_;
        o.err = err_text_;
        return o;
    }

    Outcome Run(const std::vector<std::string>& args, int ms = 60000) {
        Start(args);
        return Wait(ms);
    }

    // What the program has printed so far (standard output).
    const std::string& OutputSoFar() {
        Outcome ignored;
        Drain(ignored);
        return out_text_;
    }

    void Signal(int signal) {
        if (pid_ > 0) kill(pid_, signal);
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    TempDir dir;
    bool graphical = false;  // the window on the display instead of headless

private:
    void CloseOutput() {
        for (int* fd : {&out_, &err_})
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
    }
    void Drain(Outcome&) {
        pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (poll(p, 2, 10) <= 0) return;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(p[i].fd, buffer, sizeof buffer);
            if (n > 0) (i == 0 ? out_text_ : err_text_).append(buffer, size_t(n));
        }
    }
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string out_text_, err_text_;
};

}  // namespace tamsk::test
