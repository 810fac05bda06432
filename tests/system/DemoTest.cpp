// The whole system as a user meets it: the main job boots the OS with its modules and the demo
// application in the device window (on the test's X display); xdotool types into the demo's field
// and presses its buttons; the window's pixels show the logo, the fetched line and the folder
// listing, and the card volume's host folder holds the saved note. Before the save, the debugger
// attaches to the demo stopped in the 68K debugger nub, reads its code and the fetched line in its
// data, stops it at a breakpoint in the "Save" button's handler, shows the address, and lets it
// go on. The window is moved where no other test's window lies and raised, since other tests may
// show windows on the same display meanwhile.
#include <gdk/gdk.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Waits are generous (the OS side may run emulated on a loaded two-core machine) and end as soon
// as their condition holds.
constexpr int kWaitSeconds = 120;

bool WaitFor(const std::function<bool()>& condition, int seconds = kWaitSeconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return condition();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The standard output of a shell command.
std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

// A child process in a process group of its own, its standard input a pipe, its output into a
// file (or a pipe that Read takes from).
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& directory, const std::string& logPath,
          const std::map<std::string, std::string>& env) {
        int in[2], out[2] = {-1, -1};
        if (pipe(in) != 0) return;
        if (logPath.empty() && pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            if (chdir(directory.c_str()) != 0) _exit(126);
            for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
            dup2(in[0], 0);
            int log = logPath.empty() ? out[1] : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(log, 1);
            dup2(log, 2);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        setpgid(pid_, pid_);
        close(in[0]);
        input_ = in[1];
        if (out[0] >= 0) {
            close(out[1]);
            output_ = out[0];
        }
    }
    ~Child() { Stop(); }

    void Write(const std::string& text) {
        if (input_ >= 0 && write(input_, text.data(), text.size()) < 0) std::perror("write");
    }
    // Reads the output pipe until `text` appears (true) or the wait ends or the output closes.
    bool ReadUntil(const std::string& text, int seconds = kWaitSeconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (output_ >= 0 && text_.find(text, mark_) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{output_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[1024];
            ssize_t n = read(output_, buffer, sizeof buffer);
            if (n <= 0) break;
            text_.append(buffer, static_cast<size_t>(n));
        }
        size_t at = text_.find(text, mark_);
        if (at == std::string::npos) return false;
        before_ = text_.substr(mark_, at - mark_);
        mark_ = at + text.size();
        return true;
    }
    // The output between the last two matches.
    const std::string& Before() const { return before_; }
    const std::string& Text() const { return text_; }
    pid_t Pid() const { return pid_; }
    bool Running() {
        if (pid_ <= 0) return false;
        int status;
        return waitpid(pid_, &status, WNOHANG) == 0;
    }
    void Stop() {
        if (pid_ > 0) {
            kill(-pid_, SIGTERM);
            bool ended = WaitFor([&] { return waitpid(pid_, nullptr, WNOHANG) != 0; }, 30);
            if (!ended) {
                kill(-pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
            pid_ = -1;
        }
        if (input_ >= 0) close(input_);
        if (output_ >= 0) close(output_);
        input_ = output_ = -1;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;
    std::string text_, before_;
    size_t mark_ = 0;
};

// A rectangle on the 160 x 160 grid the demo's form is laid out on (demo/DemoForm.S).
struct UiRect {
    int x, y, w, h;
};
constexpr UiRect kTextField{32, 20, 88, 12}, kFetchButton{2, 40, 40, 12},
    kReplyField{2, 56, 156, 12}, kSaveButton{2, 74, 40, 12};
// The list's inside, without its frame.
constexpr UiRect kFolderListInside{4, 92, 152, 62};
// The logo, a 32 x 32 bitmap: a frame around a "V".
constexpr UiRect kLogo{126, 18, 32, 32};
// Where the window is moved: clear of the other tests' windows (at 0, 0 or moved to 40, 40,
// 600, 0, 600, 400 and 900, 600).
constexpr int kWindowX = 200, kWindowY = 680;

// The device window: found by its title, read through GDK.
class DeviceWindow {
public:
    // Finds the visible window of that title whose process is in the process group `group`: other
    // tests' OS windows carry the same title. X errors (the window may go at any time) are
    // trapped, so that they fail a step instead of ending the test program.
    bool Find(pid_t group) {
        id_ = 0;
        std::istringstream ids(Capture("xdotool search --onlyvisible --name '^Vantor OS$' 2>/dev/null"));
        std::string id;
        while (!id_ && ids >> id) {
            pid_t pid = static_cast<pid_t>(std::atol(Capture("xdotool getwindowpid " + id + " 2>/dev/null").c_str()));
            if (pid > 0 && getpgid(pid) == group) id_ = std::strtoul(id.c_str(), nullptr, 10);
        }
        if (!id_) return false;
        gdk_error_trap_push();
        GdkWindow* w = gdk_window_foreign_new(static_cast<GdkNativeWindow>(id_));
        if (w) {
            gdk_drawable_get_size(w, &width_, &height_);
            g_object_unref(w);
        }
        gdk_flush();
        bool failed = gdk_error_trap_pop() != 0;
        return w && !failed && width_ >= 160 && height_ >= 160;
    }
    unsigned long Id() const { return id_; }
    // Moves the window clear of other windows, raises it and gives it the keyboard.
    void Front() const {
        std::string id = std::to_string(id_);
        Keys("windowmove " + id + " " + std::to_string(kWindowX) + " " + std::to_string(kWindowY) +
             " windowraise " + id + " windowfocus " + id);
    }
    int Scale() const { return std::min(width_, height_) / 160; }

    // Takes the window's pixels.
    bool Snap() {
        if (pixels_) g_object_unref(pixels_);
        gdk_error_trap_push();
        GdkWindow* w = gdk_window_foreign_new(static_cast<GdkNativeWindow>(id_));
        pixels_ = w ? gdk_pixbuf_get_from_drawable(nullptr, w, gdk_colormap_get_system(), 0, 0, 0, 0, width_, height_)
                    : nullptr;
        if (w) g_object_unref(w);
        gdk_flush();
        if (gdk_error_trap_pop() != 0 && pixels_) {
            g_object_unref(pixels_);
            pixels_ = nullptr;
        }
        return pixels_ != nullptr;
    }
    // The rows of the rectangle (in the grid) that hold a dark pixel.
    int DarkRows(const UiRect& r) const {
        if (!pixels_) return 0;
        int scale = Scale(), stride = gdk_pixbuf_get_rowstride(pixels_), channels = gdk_pixbuf_get_n_channels(pixels_);
        const guchar* data = gdk_pixbuf_get_pixels(pixels_);
        int rows = 0;
        for (int y = r.y * scale + 1; y < (r.y + r.h) * scale - 1 && y < height_; ++y) {
            for (int x = r.x * scale + 1; x < (r.x + r.w) * scale - 1 && x < width_; ++x) {
                const guchar* p = data + y * stride + x * channels;
                if (p[0] + p[1] + p[2] < 200) {
                    ++rows;
                    break;
                }
            }
        }
        return rows;
    }
    // The share of the rectangle's pixels that are dark.
    double DarkShare(const UiRect& r) const {
        if (!pixels_) return 0;
        int scale = Scale(), stride = gdk_pixbuf_get_rowstride(pixels_), channels = gdk_pixbuf_get_n_channels(pixels_);
        const guchar* data = gdk_pixbuf_get_pixels(pixels_);
        int dark = 0, all = 0;
        for (int y = r.y * scale; y < (r.y + r.h) * scale && y < height_; ++y) {
            for (int x = r.x * scale; x < (r.x + r.w) * scale && x < width_; ++x, ++all) {
                const guchar* p = data + y * stride + x * channels;
                if (p[0] + p[1] + p[2] < 200) ++dark;
            }
        }
        return all ? static_cast<double>(dark) / all : 0;
    }
    // What the window shows, for a failure's message.
    std::string Seen() const {
        std::ostringstream out;
        out << "window " << id_ << " (" << width_ << " x " << height_ << "): dark rows in the Fetch button "
            << DarkRows(kFetchButton) << ", the reply " << DarkRows(kReplyField) << ", the list "
            << DarkRows(kFolderListInside) << "; dark share of the logo " << DarkShare(kLogo)
            << " (the picture is saved as demo-screenshot-failed.png)";
        return out.str();
    }
    bool Save(const std::string& path) const {
        return pixels_ && gdk_pixbuf_save(pixels_, path.c_str(), "png", nullptr, nullptr);
    }
    void Click(const UiRect& r) const {
        int scale = Scale();
        std::string command = "timeout 60 xdotool mousemove --window " + std::to_string(id_) + " " +
                              std::to_string((r.x + r.w / 2) * scale) + " " + std::to_string((r.y + r.h / 2) * scale) +
                              " click 1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    void Keys(const std::string& arguments) const {
        std::string command = "timeout 60 xdotool " + arguments;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    ~DeviceWindow() {
        if (pixels_) g_object_unref(pixels_);
    }

private:
    unsigned long id_ = 0;
    int width_ = 0, height_ = 0;
    GdkPixbuf* pixels_ = nullptr;
};

// Bytes from a 4-byte trap stub's start to the end of its trap (morvel/sdk/Traps.S): lea, moveq,
// move, dbra, trap #15 and the trap word.
constexpr uint32_t kStubTrapEnd = 16;

// The 68K address of a symbol of the demo's symbol file (code linked at 0).
uint32_t SymbolOffset(const std::string& name) {
    std::string out = Capture("m68k-linux-gnu-nm " VANTOR_BIN_DIR "/apps/VantorDemo.elf");
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string address, kind, symbol;
        words >> address >> kind >> symbol;
        if (symbol == name) return static_cast<uint32_t>(std::stoul(address, nullptr, 16));
    }
    return 0xFFFFFFFF;
}

class Demo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::getenv("DISPLAY")) << "the demo test runs on an X display (xvfb-run)";
        ASSERT_TRUE(gdk_init_check(nullptr, nullptr));
        dir_ = "/tmp/vantor-demo-test-" + std::to_string(getpid());
        std::system(("rm -rf " + dir_).c_str());
        ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
        debugPort_ = FreePort();
        ASSERT_NE(debugPort_, 0);
    }
    void TearDown() override {
        if (::testing::Test::HasFailure()) {
            std::printf("OS log:\n%s\n", ReadFile(dir_ + "/os.log").c_str());
            // What the window showed at the failure.
            if (window_.Id() && window_.Snap()) window_.Save(VANTOR_TEST_DIR "/demo-screenshot-failed.png");
        }
        job_.reset();
        std::system(("rm -rf " + dir_).c_str());
    }
    void StartJob() {
        job_ = std::make_unique<Child>(
            std::vector<std::string>{VANTOR_SOURCE_DIR "/tools/main-job.sh", VANTOR_BIN_DIR, "--heap-kb", "4096"},
            dir_, dir_ + "/os.log",
            std::map<std::string, std::string>{{"VANTOR_DEMO_DIR", dir_ + "/system"},
                                               {"VANTOR_DEBUGGER_LINK", "tcp-listen:" + std::to_string(debugPort_)},
                                               {"VANTOR_DEMO_LINE", kLine}});
    }
    // Waits for the condition while the OS runs.
    bool Wait(const std::function<bool()>& condition) {
        bool running = true;
        bool met = WaitFor([&] { return condition() || !(running = job_->Running()); });
        return met && running ? true : condition();
    }
    bool Logged(const std::string& text) { return ReadFile(dir_ + "/os.log").find(text) != std::string::npos; }
    std::string Card() const { return dir_ + "/system/Card"; }

    static constexpr const char* kLine = "Line 42 from the server";
    std::string dir_;
    uint16_t debugPort_ = 0;
    std::unique_ptr<Child> job_;
    DeviceWindow window_;
};

TEST_F(Demo, TypeFetchDebugAndSave) {
    StartJob();
    DeviceWindow& window = window_;
    const pid_t group = job_->Pid();
    ASSERT_TRUE(Wait([&] { return window.Find(group); }))
        << "no device window of the OS; windows of that title: "
        << Capture("xdotool search --onlyvisible --name '^Vantor OS$' 2>&1");
    window.Front();
    // The form is drawn: its buttons, and its logo (a frame around a "V": neither blank nor filled).
    ASSERT_TRUE(Wait([&] { return window.Snap() && window.DarkRows(kFetchButton) > 4; })) << "no form; " << window.Seen();
    EXPECT_TRUE(Wait([&] {
        double share = window.Snap() ? window.DarkShare(kLogo) : 0;
        return share > 0.1 && share < 0.5;
    })) << "no logo; " << window.Seen();

    // Type into the field; fetch the server's line into the reply field.
    window.Front();
    window.Click(kTextField);
    window.Keys("type --delay 50 'Saved by the demo test'");
    window.Click(kFetchButton);
    EXPECT_TRUE(Wait([&] { return window.Snap() && window.DarkRows(kReplyField) >= 5; }))
        << "no reply shown; " << window.Seen();

    // Ctrl+Shift+B stops the demo in the debugger nub, which waits for the debugger.
    window.Front();
    window.Keys("key ctrl+shift+b");
    ASSERT_TRUE(Wait([&] { return Logged("Waiting for the debugger"); })) << "the demo did not stop; " << window.Seen();
    Child debugger({VANTOR_BIN_DIR "/quillwatch", "--headless", "--link", "emulator",
                    "127.0.0.1:" + std::to_string(debugPort_)},
                   dir_, "", {});
    // On a first stop the nub and the debugger flush the link for each other, and a request sent
    // meanwhile is lost: the attach is asked again until the stop is reported.
    bool attached = false;
    for (int i = 0; i < 8 && !attached; ++i) {
        debugger.Write("att\n");
        attached = debugger.ReadUntil("Remote stopped", kWaitSeconds / 8);
    }
    ASSERT_TRUE(attached) << debugger.Text();
    debugger.Write("reg\n");
    ASSERT_TRUE(debugger.ReadUntil("PC  = ")) << debugger.Text();
    ASSERT_TRUE(debugger.ReadUntil("\n")) << debugger.Text();
    uint32_t pc = static_cast<uint32_t>(std::strtoul(debugger.Before().c_str(), nullptr, 16));
    // The stop is in the SysHandleEvent stub, right after its trap: the code's base follows.
    uint32_t stub = SymbolOffset("SysHandleEvent"), handler = SymbolOffset("SaveButtonPressed");
    ASSERT_NE(stub, 0xFFFFFFFFu);
    ASSERT_NE(handler, 0xFFFFFFFFu);
    uint32_t base = pc - stub - kStubTrapEnd;
    char breakpoint[16];
    std::snprintf(breakpoint, sizeof breakpoint, "%08X", base + handler);
    // The debugger reads the demo's code: the stub's trap word is right before the stop.
    debugger.Write("dm PC-2 2\n");
    EXPECT_TRUE(debugger.ReadUntil("A0 A9")) << debugger.Text();
    // The fetched line is in the demo's reply buffer, a global: A5 holds the base of the global
    // offset table, which the globals follow. The debugger's numbers are hexadecimal.
    uint32_t got = SymbolOffset("_GLOBAL_OFFSET_TABLE_"), reply = SymbolOffset("reply");
    ASSERT_NE(got, 0xFFFFFFFFu);
    ASSERT_NE(reply, 0xFFFFFFFFu);
    char dump[32];
    std::snprintf(dump, sizeof dump, "dm A5+%X 10\n", reply - got);
    debugger.Write(dump);
    EXPECT_TRUE(debugger.ReadUntil(std::string("\"") + std::string(kLine).substr(0, 16) + "\""))
        << dump << debugger.Text();

    // A breakpoint at the "Save" button's handler: "Save" stops there, before the note is
    // written, and the stop shows the address; then the demo goes on.
    debugger.Write(std::string("br ") + breakpoint + "\n");
    ASSERT_TRUE(debugger.ReadUntil("Breakpoint set")) << debugger.Text();
    debugger.Write("g\n");
    const std::string note = Card() + "/Note.txt";
    window.Front();
    window.Click(kSaveButton);
    ASSERT_TRUE(debugger.ReadUntil("Remote stopped")) << debugger.Text();
    EXPECT_TRUE(debugger.ReadUntil(breakpoint)) << breakpoint << " in " << debugger.Text();
    EXPECT_EQ(ReadFile(note), "") << "the handler ran past its breakpoint";
    debugger.Write("g\n");

    // Going on, the handler saves the text in the card's folder and lists the folder (one file).
    EXPECT_TRUE(Wait([&] { return ReadFile(note) == "Saved by the demo test"; }))
        << "the note holds \"" << ReadFile(note) << "\"; the debugger:\n"
        << debugger.Text();
    EXPECT_TRUE(Wait([&] { return window.Snap() && window.DarkRows(kFolderListInside) >= 5; }))
        << "no listing; " << window.Seen();
    EXPECT_TRUE(window.Save(VANTOR_TEST_DIR "/demo-screenshot.png"));
}

}  // namespace
