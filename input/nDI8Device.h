#pragma once
// A DirectInput device as the input server sees it: it publishes its channels
// under "/sys/share/input/devs" and turns the device's buffered data of one frame
// into input events. Mice, joysticks and keyboards override the per-frame
// operations; posting events is shared. Plain classes, not objects of the tree.
#include <cstdint>
#include <vector>

class nInputServer;
class nKernelServer;
class nRoot;
struct nDI8DeviceRecord;

// A smoothing ring: up to 8 samples, newest first; its value is the samples'
// sum times the weight.
struct nDI8Ring {
    void Setup(int count, float w);
    void Push(float sample);
    float Value() const;
    float Newest() const { return samples[0]; }

    int numSamples = 0;
    float weight = 0.0f;
    float samples[8] = {};
};

class nDI8Device {
public:
    // Axis names by axis number; axes beyond these get no channels.
    static const char* const axisNames[9];
    static const int MaxAxisNames = 9;

    nDI8Device(nKernelServer* ks, nInputServer* server, nDI8DeviceRecord* record, int index);
    virtual ~nDI8Device() = default;
    nDI8Device(const nDI8Device&) = delete;
    nDI8Device& operator=(const nDI8Device&) = delete;

    // Publishes the channels inside `devs`, the kernel's current object.
    virtual void BuildChannels(nRoot* devs) { (void)devs; }
    virtual void BeginFrame(double frameTime) { this->frameTime = frameTime; }
    virtual void PostAxis(int axis, int32_t raw) { (void)axis, (void)raw; }
    virtual void PostButton(int button, bool pressed) { (void)button, (void)pressed; }
    virtual void PostHat(int hat, uint32_t raw) { (void)hat, (void)raw; }
    virtual void EndFrame() {}

    // An "nenv" child of the current object named `channel`, holding the pattern
    // of a half-axis (type 5) or a button (type 6).
    void AxisEventName(int devId, const char* channel, int halfAxis);
    void ButtonEventName(int devId, const char* channel, int button);
    void PostAxisValue(int devId, int halfAxis, float value);
    void PostButtonDown(int devId, int button);
    void PostButtonUp(int devId, int button);
    // Down when `oldValue` is 0 and `newValue` above, up when `oldValue` is
    // above 0 and `newValue` not.
    void PostButtonChange(int devId, int button, float oldValue, float newValue);

    nDI8DeviceRecord* GetRecord() const { return record; }
    int GetIndex() const { return index; }
    int GetNumAxes() const { return numAxes; }
    int GetNumButtons() const { return numButtons; }
    int GetNumHats() const { return numHats; }

protected:
    // The four channels of one axis ("-x", "+x", "-xbtn", "+xbtn") on half-axes
    // 2a and 2a + 1.
    void AxisChannels(int devId, int axis, const char* name);
    // Posts both half-axes of `axis` from a signed value and the matching button
    // changes, and stores the halves as the old values.
    void PostHalves(int devId, int axis, float negative, float positive);

    nKernelServer* kernel;
    nInputServer* server;
    nDI8DeviceRecord* record;
    int index;
    double frameTime = 0.0;
    int32_t rangeMin = 0;
    int32_t rangeMax = 0;
    int32_t constant = 10;
    int numAxes = 0;
    int numButtons = 0;
    int numHats = 0;
    // Two per axis (joysticks: plus four per hat).
    std::vector<float> oldValues;
    std::vector<uint8_t> updated;
    nDI8Ring rings[4];
};
