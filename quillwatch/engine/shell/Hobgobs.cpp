// The random-event tester client.
#include "quillwatch/engine/shell/Hobgobs.h"

#include <cstdio>
#include <cstring>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

namespace {

constexpr uint32_t kLowMemEventGlobals = 368;  // the tester flags byte lies 36 bytes into them
constexpr uint32_t kFlagsOffset = 36;
constexpr uint32_t kLowMemStarted = 257;
constexpr uint8_t kTesterOn = 0x01;
constexpr uint8_t kHostProcessed = 0x04;
// A form object picked at random must be of one of these types; picking gives up after this many.
constexpr int kMaxObjectTries = 100;

struct SilkButton {
    int16_t x, y, width, height, key;
};
constexpr SilkButton kSilkButtons[4] = {
    {0, 192, 27, 28, 261}, {0, 164, 27, 28, 264}, {133, 164, 27, 28, 267}, {133, 192, 27, 28, 266}};

uint32_t PrvFlagsAddress() {
    return RemoteReadLong(kLowMemEventGlobals) + kFlagsOffset;
}

uint8_t PrvReadByte(uint32_t address) {
    uint8_t b = 0;
    if (RemoteReadCached(&b, address, 1) != 0) ErrThrow(0xFFFFFFFF);
    return b;
}

void PrvErrorBox(const char* format, uint32_t a, uint32_t b = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    HostErrorBox(text);
}

}  // namespace

CHobgobs::CHobgobs() = default;

uint32_t CHobgobs::Rand() {
    seed_ = seed_ * 214013u + 2531011u;
    return (seed_ >> 16) & 0x7FFF;
}

void CHobgobs::Start(uint16_t number, uint32_t until) {
    until_ = until;
    count_ = 0;
    skipNext_ = strokeOpen_ = false;
    penDown_ = 0;
    queue.clear();
    running_ = true;
    number_ = number;
    seed_ = number;
    StartOnDevice();
}

void CHobgobs::GetStatus(uint16_t* number, uint32_t* count, uint32_t* until) const {
    if (number) *number = number_;
    if (count) *count = count_;
    if (until) *until = until_;
}

void CHobgobs::SendPenEvent(int16_t x, int16_t y) {
    vantor::DbgRemoteEventBodyType body{};
    body.command = vantor::sysPktRemoteEvtCmd;
    const bool down = !(x == -1 && y == -1);
    body.penDown = down ? 1 : 0;
    body.penX = down ? x : 0;
    body.penY = down ? y : 0;
    vantor::SwapRemoteEventBody(&body);
    SlkPktHeaderType header{};
    header.dest = header.src = vantor::slkSocketRemoteUI;
    SlkBodyPart parts[] = {{sizeof body, &body}, {0, nullptr}};
    if (SlkSendPacket(&header, parts) != 0) ErrDisplayFileLineMsg("HobgobsStubs", __LINE__, "Error sending remote event");
}

void CHobgobs::SendKeyEvent(uint16_t character, uint16_t keyCode, uint16_t modifiers) {
    vantor::DbgRemoteEventBodyType body{};
    body.command = vantor::sysPktRemoteEvtCmd;
    body.keyPress = 1;
    body.modifiers = modifiers;
    body.chr = character;
    body.keyCode = character == 0 ? keyCode : 0;
    vantor::SwapRemoteEventBody(&body);
    SlkPktHeaderType header{};
    header.dest = header.src = vantor::slkSocketRemoteUI;
    SlkBodyPart parts[] = {{sizeof body, &body}, {0, nullptr}};
    if (SlkSendPacket(&header, parts) != 0) ErrDisplayFileLineMsg("HobgobsStubs", __LINE__, "Error sending remote event");
}

uint32_t CHobgobs::PrvFocusedField() {
    const uint32_t form = FrmGetActiveForm();
    if (!form || FrmGetWindowHandle(form) != WinGetActiveWindow()) return 0;
    const uint16_t focus = FrmGetFocus(form);
    if (focus == 0xFFFF) return 0;
    const uint32_t object = FrmGetObjectPtr(form, focus);
    if (FrmGetObjectType(form, focus) == 3) return object ? TblGetCurrentField(object) : 0;
    return object;
}

void CHobgobs::ChoosePoint(int16_t* x, int16_t* y) {
    auto anywhere = [&] {
        *x = static_cast<int16_t>(Rand() * 5 / 1024);
        *y = static_cast<int16_t>(Rand() * 5 / 1024);
    };
    if (R(100) < 2) {
        anywhere();
        return;
    }
    if (R(20) == 1) {
        const SilkButton* b;
        do {
            b = &kSilkButtons[R(4)];
        } while (b->key == 265 || b->key == 266);
        *x = static_cast<int16_t>(b->x + b->width / 2);
        *y = static_cast<int16_t>(b->y + b->height / 2);
        return;
    }
    const uint32_t form = FrmGetActiveForm();
    const uint32_t active = WinGetActiveWindow();
    if (form && FrmGetWindowHandle(form) == active) {
        const uint16_t objects = FrmGetNumberOfObjects(form);
        for (int tries = 0; objects && tries < kMaxObjectTries; ++tries) {
            const uint16_t index = static_cast<uint16_t>(R(objects));
            const uint16_t type = FrmGetObjectType(form, index);
            if (type >= 4 && type <= 10) continue;
            uint8_t rect[8];
            FrmGetObjectBounds(form, index, rect);
            int16_t r[4];
            std::memcpy(r, rect, sizeof r);
            int16_t px = static_cast<int16_t>(r[0] + static_cast<int16_t>(R(static_cast<uint16_t>(r[2]))));
            int16_t py = static_cast<int16_t>(r[1] + static_cast<int16_t>(R(static_cast<uint16_t>(r[3]))));
            WinWindowToDisplayPt(&px, &py);
            if (px < -1 || px > 1000 || py < -1 || py > 1000) ErrDisplayFileLineMsg("HobgobsStubs", __LINE__, "Invalid point made");
            *x = px;
            *y = py;
            return;
        }
        anywhere();  // no object qualified within the tries
        return;
    }
    if (R(10) != 1 && active) {
        const uint32_t previous = WinSetDrawWindow(active);
        uint8_t rect[8];
        WinGetDrawWindowBounds(rect);
        int16_t r[4];
        std::memcpy(r, rect, sizeof r);
        *x = static_cast<int16_t>(r[0] + static_cast<int16_t>(R(static_cast<uint16_t>(r[2]))));
        *y = static_cast<int16_t>(r[1] + static_cast<int16_t>(R(static_cast<uint16_t>(r[3]))));
        WinSetDrawWindow(previous);
        return;
    }
    anywhere();
}

bool CHobgobs::Step() {
    if (!running_) return false;
    if (count_ > until_) {
        StopOnDevice();
        running_ = false;
        return false;
    }
    if (skipNext_) {
        skipNext_ = false;
        return false;
    }
    ++count_;
    if (strokeOpen_) {
        SendPenEvent(-1, -1);
        lastX_ = lastY_ = -1;
        penDown_ = 0;
        strokeOpen_ = false;
        return true;
    }
    if (!queue.empty()) {
        SendKeyEvent(static_cast<uint8_t>(queue[0]), 0, 0);
        queue.erase(0, 1);
        return true;
    }
    const uint32_t p = R(100);
    if (p < 10) return false;
    if (p < 40) {
        const uint32_t field = PrvFocusedField();
        if (field) {
            uint8_t attr[2];
            FldGetAttributes(field, attr);
            uint16_t word;
            std::memcpy(&word, attr, 2);
            if (word & 0x0004) return false;
        }
    }
    if (p < 80) {
        int16_t x, y;
        ChoosePoint(&x, &y);
        SendPenEvent(x, y);
        lastX_ = x;
        lastY_ = y;
        penDown_ = 1;
        strokeOpen_ = true;
        return true;
    }
    uint16_t key;
    if (p < 84) key = 261;
    else if (p < 86) key = 266;
    else if (p < 87) key = 265;
    else if (p < 89) key = 257;
    else if (p < 93) {
        Rand();
        key = static_cast<uint16_t>(516 + R(3));
    } else {
        return false;
    }
    SendKeyEvent(key, key, 8);
    return true;
}

void CHobgobs::IdleSend() {
    if (!running_ || !CheckOnDevice()) return;
    uint32_t thrown = ErrTry([&] { Step(); });
    if (thrown) {
        PrvErrorBox("Error #%x occurred while sending.  Hobgobs at %u.  Stopping.\n", thrown, count_);
        StopOnDevice();
    }
}

void CHobgobs::IdleProcess(const uint8_t* body, uint16_t size) {
    if (!running_) return;
    uint32_t thrown = ErrTry([&] {
        uint16_t action = 0;
        if (size >= 4) std::memcpy(&action, body + 2, 2);
        if (action != 1) {
            ErrDisplayFileLineMsg("HobgobsStubs", __LINE__, "Invalid action code");
            return;
        }
        Step();
        const uint32_t flags = PrvFlagsAddress();
        uint8_t b = static_cast<uint8_t>(PrvReadByte(flags) | kHostProcessed);
        RemoteWriteCached(flags, &b, 1);
    });
    if (thrown) {
        PrvErrorBox("Error #%x occurred while processing.  Hobgobs at %u.  Stopping.\n", thrown, count_);
        StopOnDevice();
    }
}

void CHobgobs::StartOnDevice() {
    uint32_t thrown = ErrTry([&] {
        const uint32_t flags = PrvFlagsAddress();
        uint8_t b = static_cast<uint8_t>(PrvReadByte(flags) | kTesterOn | kHostProcessed);
        RemoteWriteCached(flags, &b, 1);
        if (PrvReadByte(kLowMemStarted) == 0) {
            const uint8_t one = 1;
            RemoteWriteCached(kLowMemStarted, &one, 1);
        }
        onDevice_ = true;
    });
    if (thrown) PrvErrorBox("Error #%x occurred while starting hobgobs on device.  Stopping.\n", thrown);
}

void CHobgobs::StopOnDevice() {
    onDevice_ = false;
    uint32_t thrown = ErrTry([&] {
        const uint32_t flags = PrvFlagsAddress();
        uint8_t b = static_cast<uint8_t>(PrvReadByte(flags) & ~(kTesterOn | kHostProcessed));
        RemoteWriteCached(flags, &b, 1);
    });
    if (thrown) PrvErrorBox("Error #%x occurred while stopping hobgobs on device.\n", thrown);
}

bool CHobgobs::CheckOnDevice() {
    if (!onDevice_) return false;
    bool on = false;
    uint32_t thrown = ErrTry([&] { on = PrvReadByte(PrvFlagsAddress()) & kTesterOn; });
    if (thrown) {
        PrvErrorBox("Error #%x occurred while checking for hobgobs on device.  Stopping.\n", thrown);
        StopOnDevice();
        return false;
    }
    return on;
}

CHobgobs& HobgobsClient() {
    static CHobgobs client;
    return client;
}

void HobgobsIdleSend() {
    HobgobsClient().IdleSend();
}

void HobgobsIdleProcess(const uint8_t* body, uint16_t size) {
    HobgobsClient().IdleProcess(body, size);
}

}  // namespace quillwatch
