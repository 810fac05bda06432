// The random-event tester client: a reproducible stream of pen taps and key presses sent to the
// device as remote events while the device's tester runs, one per request of the device.
#pragma once

#include <cstdint>
#include <string>

namespace quillwatch {

class CHobgobs {
  public:
    CHobgobs();
    bool IsRunning() const { return running_; }
    void Start(uint16_t number, uint32_t until);
    void GetStatus(uint16_t* number, uint32_t* count, uint32_t* until) const;
    void SetUntil(uint32_t until) { until_ = until; }
    // One event; true when one was sent.
    bool Step();
    void IdleSend();
    // A tester request (command 18) from the device, in host order.
    void IdleProcess(const uint8_t* body, uint16_t size);
    void SendPenEvent(int16_t x, int16_t y);
    void SendKeyEvent(uint16_t character, uint16_t keyCode, uint16_t modifiers);
    void StartOnDevice();
    void StopOnDevice();
    bool CheckOnDevice();
    // The characters to type before any random event.
    std::string queue;

    // The 15-bit generator: seeded with the tester number, results 0 to 32767.
    uint32_t Rand();
    uint32_t R(uint32_t n) { return Rand() * n / 32768; }

  private:
    void ChoosePoint(int16_t* x, int16_t* y);
    uint32_t PrvFocusedField();

    int16_t lastX_ = 0, lastY_ = 0;
    uint8_t penDown_ = 0;
    uint16_t number_ = 0xFFFF;
    uint32_t count_ = 0;
    uint32_t until_ = 0;
    bool running_ = false;
    bool skipNext_ = false;
    bool strokeOpen_ = false;
    bool onDevice_ = false;
    uint32_t seed_ = 0;
};

// The one tester client of the program.
CHobgobs& HobgobsClient();
void HobgobsIdleSend();
void HobgobsIdleProcess(const uint8_t* body, uint16_t size);

}  // namespace quillwatch
