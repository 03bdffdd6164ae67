#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/input/InputSystem.h"
#include "tests/platform/SdlEvents.h"

namespace {

using input::AcquireResult;
using input::DeviceData;
using input::DeviceKind;
using input::InputDevice;
using input::InputSystem;

constexpr uint32_t Window = 7;

SDL_Event FocusEvent(bool gained, uint32_t window = Window) { return bwtest::sdl::Focus(window, gained); }
SDL_Event MotionEvent(int xrel, int yrel) { return bwtest::sdl::Motion(0, 0, 0, xrel, yrel); }

std::vector<DeviceData> Drain(InputDevice* device) {
    std::vector<DeviceData> out(input::kDeviceBufferSize);
    out.resize(size_t(device->GetData(out.data(), int(out.size()))));
    return out;
}

// Hands what SDL queued (joystick changes) to the system, as the window's pump does.
void Pump() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) InputSystem::HandleEvent(e);
}

class InputSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        system = InputSystem::Open();
        ASSERT_NE(system, nullptr);
        Pump();
    }
    std::unique_ptr<InputSystem> system;
};

TEST_F(InputSystemTest, KeyboardAndMouseAlwaysAndEverySystemSeesTheEvents) {
    ASSERT_GE(system->GetNumDevices(), 2);
    EXPECT_EQ(system->GetDevice(0)->GetKind(), DeviceKind::Keyboard);
    InputDevice* mouse = system->GetDevice(1);
    EXPECT_EQ(mouse->GetKind(), DeviceKind::Mouse);
    EXPECT_EQ(mouse->GetNumAxes(), 3);
    EXPECT_EQ(mouse->GetNumButtons(), 5);
    int32_t lo = 1, hi = 1;
    EXPECT_FALSE(mouse->GetRange(lo, hi));
    EXPECT_EQ(system->GetDevice(99), nullptr);

    // A second system (a cloned input server) collects as well.
    std::unique_ptr<InputSystem> second = InputSystem::Open();
    ASSERT_NE(second, nullptr);
    mouse->SetCooperativeWindow(Window);
    second->GetDevice(1)->SetCooperativeWindow(Window);
    InputSystem::HandleEvent(FocusEvent(true));
    InputSystem::HandleEvent(MotionEvent(1, 0));
    EXPECT_EQ(mouse->GetBufferedCount(), 1);
    EXPECT_EQ(second->GetDevice(1)->GetBufferedCount(), 1);
    second.reset();
    InputSystem::HandleEvent(MotionEvent(1, 0));
    EXPECT_EQ(mouse->GetBufferedCount(), 2);
}

TEST_F(InputSystemTest, MouseCollectsOnlyWhileItsWindowHasTheFocus) {
    InputDevice* mouse = system->GetDevice(1);
    InputDevice* keyboard = system->GetDevice(0);
    mouse->SetCooperativeWindow(Window);
    keyboard->SetCooperativeWindow(Window);
    InputSystem::HandleEvent(MotionEvent(3, 0));
    EXPECT_EQ(mouse->Acquire(), AcquireResult::NotAcquired);
    EXPECT_EQ(Drain(mouse).size(), 0u);

    InputSystem::HandleEvent(FocusEvent(true, Window + 1));
    InputSystem::HandleEvent(MotionEvent(3, 0));
    EXPECT_EQ(Drain(mouse).size(), 0u);

    InputSystem::HandleEvent(FocusEvent(true));
    EXPECT_EQ(mouse->Acquire(), AcquireResult::Acquired);
    EXPECT_EQ(mouse->Acquire(), AcquireResult::AlreadyAcquired);
    InputSystem::HandleEvent(MotionEvent(3, -2));
    InputSystem::HandleEvent(bwtest::sdl::Wheel(0, -1));
    InputSystem::HandleEvent(bwtest::sdl::Button(0, SDL_BUTTON_RIGHT, true));
    InputSystem::HandleEvent(bwtest::sdl::Button(0, SDL_BUTTON_X2, false));
    std::vector<DeviceData> data = Drain(mouse);
    ASSERT_EQ(data.size(), 5u);
    EXPECT_EQ(data[0].offset, input::mouse::kX);
    EXPECT_EQ(int32_t(data[0].data), 3);
    EXPECT_EQ(data[1].offset, input::mouse::kY);
    EXPECT_EQ(int32_t(data[1].data), -2);
    EXPECT_EQ(data[2].offset, input::mouse::kZ);
    EXPECT_EQ(int32_t(data[2].data), -120);
    EXPECT_EQ(data[3].offset, input::mouse::kButton0 + 1);
    EXPECT_EQ(data[3].data, 0x80u);
    EXPECT_EQ(data[4].offset, input::mouse::kButton0 + 4);
    EXPECT_EQ(data[4].data, 0u);
    EXPECT_LT(data[0].sequence, data[4].sequence);
    // Keys come from the window's messages only.
    EXPECT_EQ(Drain(keyboard).size(), 0u);

    // Losing the focus drops the acquisition and what was collected.
    InputSystem::HandleEvent(MotionEvent(1, 1));
    InputSystem::HandleEvent(FocusEvent(false));
    EXPECT_FALSE(mouse->IsAcquired());
    EXPECT_EQ(mouse->GetBufferedCount(), 0);
    EXPECT_EQ(mouse->Acquire(), AcquireResult::NotAcquired);
}

TEST_F(InputSystemTest, FullBufferDropsTheOldestRecords) {
    InputDevice* mouse = system->GetDevice(1);
    mouse->SetCooperativeWindow(Window);
    InputSystem::HandleEvent(FocusEvent(true));
    for (int i = 1; i <= input::kDeviceBufferSize + 2; i++) InputSystem::HandleEvent(MotionEvent(i, 0));
    std::vector<DeviceData> data = Drain(mouse);
    ASSERT_EQ(data.size(), size_t(input::kDeviceBufferSize));
    EXPECT_EQ(int32_t(data.front().data), 3);
    EXPECT_EQ(int32_t(data.back().data), input::kDeviceBufferSize + 2);
}

TEST_F(InputSystemTest, JoysticksGiveScaledAxesHatAnglesAndButtons) {
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 3, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* sdl = SDL_JoystickOpen(index);
    ASSERT_NE(sdl, nullptr);
    Pump();
    ASSERT_EQ(system->GetNumDevices(), 3);
    InputDevice* joystick = system->GetDevice(2);
    EXPECT_EQ(joystick->GetKind(), DeviceKind::Joystick);
    EXPECT_EQ(joystick->GetNumAxes(), 2);
    EXPECT_EQ(joystick->GetNumButtons(), 3);
    EXPECT_EQ(joystick->GetNumHats(), 1);
    int32_t lo = 1, hi = 0;
    ASSERT_TRUE(joystick->GetRange(lo, hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 65535);
    joystick->SetCooperativeWindow(Window);
    joystick->SetDeadZone(250);
    joystick->SetSaturation(9999);
    InputSystem::HandleEvent(FocusEvent(true));
    // SDL reports an axis's first value before its first change.
    SDL_JoystickSetVirtualAxis(sdl, 0, 1);
    SDL_JoystickSetVirtualAxis(sdl, 1, 1);
    Pump();
    Drain(joystick);

    const struct {
        int16_t value;
        uint32_t expected;
    } axes[] = {{32767, 65535}, {-32768, 0}, {500, 32768}, {-500, 32768}, {16384, 48733}};
    for (const auto& a : axes) {
        SDL_JoystickSetVirtualAxis(sdl, 1, a.value);
        Pump();
        std::vector<DeviceData> data = Drain(joystick);
        ASSERT_EQ(data.size(), 1u) << a.value;
        EXPECT_EQ(data[0].offset, input::joystick::kY);
        EXPECT_NEAR(double(data[0].data), double(a.expected), 2.0) << a.value;
    }

    SDL_JoystickSetVirtualHat(sdl, 0, SDL_HAT_LEFTDOWN);
    SDL_JoystickSetVirtualButton(sdl, 2, SDL_PRESSED);
    Pump();
    SDL_JoystickSetVirtualHat(sdl, 0, SDL_HAT_CENTERED);
    Pump();
    std::vector<DeviceData> data = Drain(joystick);
    ASSERT_EQ(data.size(), 3u);
    std::vector<uint32_t> hat;
    for (const DeviceData& d : data) {
        if (d.offset == input::joystick::kHat0) {
            hat.push_back(d.data);
        } else {
            EXPECT_EQ(d.offset, input::joystick::kButton0 + 2);
            EXPECT_EQ(d.data, 0x80u);
        }
    }
    // Hundredths of a degree clockwise from north; centred is all ones.
    ASSERT_EQ(hat.size(), 2u);
    EXPECT_EQ(hat[0], 22500u);
    EXPECT_EQ(hat[1], input::joystick::kHatCentred);

    SDL_JoystickClose(sdl);
    SDL_JoystickDetachVirtual(index);
    Pump();
    EXPECT_TRUE(joystick->IsUnplugged());
    EXPECT_EQ(joystick->Acquire(), AcquireResult::Unplugged);
    EXPECT_EQ(system->GetNumDevices(), 3);
}

}  // namespace
