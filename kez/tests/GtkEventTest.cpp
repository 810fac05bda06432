// Kez with a real GTK window on an X display (the test suite runs under xvfb-run): real pointer
// and key events sent with xdotool reach the OS's handlers, and the error dialog answers with the
// button pressed.
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "kez/src/HALErrDisplay.h"
#include "kez/src/HALEvent.h"
#include "kez/src/KezBoot.h"
#include "kez/tests/KezTestSupport.h"

extern "C" uint32_t PALGTKInit();

namespace kez::testing {
namespace {

std::vector<KezPenEventRecord> gPens;
std::vector<KezKeyEventRecord> gKeys;

class GtkWindowTest : public os::StandinTest {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        config_.screenWidth = config_.windowWidth = 160;
        config_.screenHeight = config_.windowHeight = 160;
        KezGlobalsInit(&config_, nullptr);
        PrvHALEventClearHandlers();
        PrvHALEventInitializeKeys();
        ASSERT_EQ(PALGTKInit(), 0u);
        gPens.clear();
        gKeys.clear();
        KEZ_CALL(HALEventSetHandler, 0, [](void* r) -> uint16_t {
            gPens.push_back(*static_cast<KezPenEventRecord*>(r));
            return 0;
        }, nullptr);
        KEZ_CALL(HALEventSetHandler, 1, [](void* r) -> uint16_t {
            gKeys.push_back(*static_cast<KezKeyEventRecord*>(r));
            return 0;
        }, nullptr);

        gdk_threads_enter();
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window_), Title().c_str());
        GtkWidget* area = gtk_drawing_area_new();
        gtk_widget_set_size_request(area, 160, 160);
        gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK);
        gtk_container_add(GTK_CONTAINER(window_), area);
        auto mouse = +[](GtkWidget*, GdkEvent* e, gpointer) -> gboolean {
            KEZ_CALL(HALEventEnqueueGdkMouseEvent, e);
            return TRUE;
        };
        auto key = +[](GtkWidget*, GdkEventKey* e, gpointer) -> gboolean {
            KEZ_CALL(HALEventEnqueueGdkKeyEvent, e);
            return TRUE;
        };
        g_signal_connect(area, "button-press-event", G_CALLBACK(mouse), nullptr);
        g_signal_connect(area, "button-release-event", G_CALLBACK(mouse), nullptr);
        g_signal_connect(window_, "key-press-event", G_CALLBACK(key), nullptr);
        g_signal_connect(window_, "key-release-event", G_CALLBACK(key), nullptr);
        gtk_window_move(GTK_WINDOW(window_), 600, 0);  // away from other tests' windows at 0, 0
        gtk_widget_show_all(window_);
        Pump(0.3);
        gdk_threads_leave();
        PrvHALErrDisplaySetMainWindow(window_);
    }
    void TearDown() override {
        if (!window_) return;
        PrvHALErrDisplaySetMainWindow(nullptr);
        gdk_threads_enter();
        gtk_widget_destroy(window_);
        Pump(0.05);
        gdk_threads_leave();
        StandinTest::TearDown();
    }

    // Runs the main loop for a while, or until `done`.
    static void Pump(double seconds, bool (*done)() = nullptr) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end && !(done && done())) {
            while (gtk_events_pending()) gtk_main_iteration();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // xdotool finds the window by its title, unique to this process.
    static std::string Title() { return "kez-test-window-" + std::to_string(getpid()); }
    static void Run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

    KezBootConfig config_{};
    GtkWidget* window_ = nullptr;
};

TEST_F(GtkWindowTest, RealPointerAndKeyEventsReachTheHandlers) {
    Run("xdotool search --sync --name " + Title() + " mousemove --window %1 40 70 click 1");
    gdk_threads_enter();
    Pump(20, [] { return gPens.size() >= 2; });
    gdk_threads_leave();
    ASSERT_EQ(gPens.size(), 2u);
    EXPECT_EQ(gPens[0].x, 40);
    EXPECT_EQ(gPens[0].y, 70);
    EXPECT_EQ(gPens[1].x, 0xFFFF);  // the release

    Run("xdotool search --sync --name " + Title() + " windowfocus --sync %1 key --clearmodifiers shift+a Up");
    gdk_threads_enter();
    Pump(20, [] { return gKeys.size() >= 2; });
    gdk_threads_leave();
    ASSERT_EQ(gKeys.size(), 2u);
    EXPECT_EQ(gKeys[0].character, 'A');
    EXPECT_EQ(gKeys[0].modifiers & 0x0001, 0x0001);
    EXPECT_EQ(gKeys[1].character, 30);
}

// The labels of the open error dialog's buttons; presses the one named `press` when given.
std::vector<std::string> DialogButtons(const char* press = nullptr) {
    std::vector<std::string> labels;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next) {
        if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
        GList* buttons = gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(w->data))));
        for (GList* b = buttons; b; b = b->next) {
            std::string label = gtk_button_get_label(GTK_BUTTON(b->data));
            labels.push_back(label);
            if (press && label == press) gtk_button_clicked(GTK_BUTTON(b->data));
        }
        g_list_free(buttons);
    }
    g_list_free(windows);
    return labels;
}

// Runs the window's main loop on this thread (as kez-host does) while `task` runs on another,
// calling `poll` every 20 ms until the task has returned or a minute has passed: a dialog
// can take seconds to appear on a loaded machine with the OS side emulated.
struct LoopRun {
    std::function<void()> poll;
    std::atomic<bool>* returned;
    GMainLoop* loop;
    std::chrono::steady_clock::time_point end;
};

void RunLoopWhile(std::atomic<bool>* returned, std::function<void()> poll) {
    LoopRun run{std::move(poll), returned, g_main_loop_new(nullptr, FALSE),
                std::chrono::steady_clock::now() + std::chrono::seconds(60)};
    gdk_threads_add_timeout(20, [](gpointer data) -> gboolean {
        auto* r = static_cast<LoopRun*>(data);
        if (*r->returned || std::chrono::steady_clock::now() > r->end) {
            g_main_loop_quit(r->loop);
            return FALSE;
        }
        r->poll();
        return TRUE;
    }, &run);
    g_main_loop_run(run.loop);
    g_main_loop_unref(run.loop);
}

TEST_F(GtkWindowTest, ErrorDialogButtonsAnswerAsTheFlagsSay) {
    struct Case {
        uint8_t flagA, flagB;
        std::vector<std::string> buttons;
        const char* press;
        uint32_t answer;
    };
    const Case cases[] = {{0, 1, {"Quit", "Ignore", "Debug"}, "Ignore", 4},
                          {0, 1, {"Quit", "Ignore", "Debug"}, "Debug", 1},
                          {0, 0, {"Quit", "Ignore", "Debug", "Debug 68K"}, "Debug 68K", 2}};
    for (const Case& c : cases) {
        uint32_t answer = 99, result = 0;
        std::atomic<bool> returned{false};
        // An OS task's call: the dialog runs on this thread, which owns the window's main loop
        // (owned before the task starts, as in kez-host, where the loop runs from the start).
        ASSERT_TRUE(g_main_context_acquire(nullptr));
        std::thread task([&] {
            result = KEZ_CALL(HALErrDisplay, "Something went wrong", c.flagA, &answer, c.flagB);
            returned = true;
        });
        std::vector<std::string> seen;
        RunLoopWhile(&returned, [&] {
            if (seen.empty() && !(seen = DialogButtons()).empty()) DialogButtons(c.press);
        });
        task.join();
        g_main_context_release(nullptr);
        std::sort(seen.begin(), seen.end());
        std::vector<std::string> buttons = c.buttons;
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(seen, buttons);
        EXPECT_EQ(result, 1u);
        EXPECT_EQ(answer, c.answer) << c.press;
    }
}

TEST_F(GtkWindowTest, AnExitRequestClosesTheDialogAndEndsItsCaller) {
    std::atomic<bool> returned{false}, ended{false};
    ASSERT_TRUE(g_main_context_acquire(nullptr));  // this thread runs the loop, as in kez-host
    std::thread task([&] {
        struct Flag {
            std::atomic<bool>& ended;
            ~Flag() { ended = true; }
        } flag{ended};
        KEZ_CALL(HALErrDisplay, "Waiting", 0, nullptr, 1);
        returned = true;  // never reached: the caller ends
    });
    bool requested = false;
    RunLoopWhile(&ended, [&] {
        if (!requested && !DialogButtons().empty()) {
            PrvKezExitRequest(3, 0);
            requested = true;
        }
    });
    task.join();
    g_main_context_release(nullptr);
    EXPECT_TRUE(requested);
    EXPECT_EQ(gKez.initStage, 7u);
    EXPECT_FALSE(returned);
    gdk_threads_enter();
    EXPECT_TRUE(DialogButtons().empty());
    gdk_threads_leave();
}

}  // namespace
}  // namespace kez::testing
