#pragma once
// Named animated values (script class "nchannelserver", at "/sys/servers/channel"):
// every channel name gets a small global index, kept as an "nenv" under
// "/sys/share/channels"; writers set global values; while a scene is rendered each node
// that reads channels gets a channel context, a snapshot of its channel set's values
// taken from a per-frame value stack.
#include <cstdint>

#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"

class nChannelSet;

// Four 32-bit words: up to four floats, or a string channel's marker.
struct nChannelSlot {
    float f[4];
};

// One snapshot of a channel set: as many value slots as the set has channels.
struct nChannelContext {
    nChannelSet* set = nullptr;
    nChannelSlot* values = nullptr;

    // The slot at a position of the set; zeros for a null context, a refused one, or a
    // position the set lacks (-1), so a reader never stops the program.
    static const nChannelSlot& Slot(const nChannelContext* ctx, int pos);
    // The value at `pos` of the channel with global index `channel`: the set's Find, then
    // Slot.
    static const nChannelSlot& Read(const nChannelContext* ctx, int channel);
    // The slot of global channel `channel` to write into, so that the nodes reading the
    // context after the writer see the new value while the global value stays; null for
    // a null or refused context and a channel the set lacks.
    static nChannelSlot* Writable(nChannelContext* ctx, int channel);
};

class nChannelServer : public nRoot {
public:
    static const nClassInfo classInfo;

    static constexpr int MaxChannels = 2048;
    // Channels never go, and their names come from what data set up too.
    static constexpr size_t MaxNameLength = 255;
    static constexpr int MaxSlots = 2048;
    static constexpr int MaxContexts = 1024;

    nChannelServer();
    ~nChannelServer() override;

    // The index of `name`, made on first use; -1 (logged) for a name that is no plain
    // object name (empty, ".", "..", holding '/') and once all channels are taken.
    int GenChannel(const char* name);
    int GetNumChannels() const { return numChannels_; }

    // Global values by index; an index outside the table reads 0 and writes nothing.
    const nChannelSlot& GetChannel(int index) const;
    void SetChannel1f(int index, float a);
    void SetChannel2f(int index, float a, float b);
    void SetChannel3f(int index, float a, float b, float c);
    void SetChannel4f(int index, float a, float b, float c, float d);
    float GetChannel1f(int index) const { return GetChannel(index).f[0]; }
    uint32_t GetChannelRaw(int index) const;
    void SetChannelRaw(int index, uint32_t word);

    // The text lives in the channel's own string slot; the first word is 1 while the
    // channel holds a text, 0 after SetChannelString(index, null).
    void SetChannelString(int index, const char* text);
    // The text, null when the channel holds none.
    const char* GetChannelString(int index) const;

    // Per-frame contexts (the scene graph calls BeginScene and EndScene).
    void BeginScene();
    void EndScene();
    bool InScene() const { return inScene_; }
    // The next context of the frame, filled from the current global values; null
    // (logged once a frame) beyond 1024 contexts or 2048 value slots.
    nChannelContext* NewContext(nChannelSet* set);
    // Fills `ctx` for `set`: the set's count + 1, fresh slots with the global values.
    // False (ctx left empty) when the value stack has no room.
    bool BeginContext(nChannelSet* set, nChannelContext* ctx);
    // Drops this frame's contexts of a set that is about to die; they read 0 from now on.
    void ForgetSet(nChannelSet* set);
    // `n` fresh slots of the value stack; null (logged once a frame) when they do not fit.
    nChannelSlot* AllocValues(int n);
    int GetNumContexts() const { return numContexts_; }
    int GetStackTop() const { return stackTop_; }

private:
    bool valid(int index) const { return index >= 0 && index < numChannels_; }
    void refuse(const char* what);

    bool inScene_ = false;
    bool refusedThisFrame_ = false;
    nRef<nRoot> channelDir_;
    int numContexts_ = 0;
    int stackTop_ = 0;
    int numChannels_ = 0;
    nChannelContext contexts_[MaxContexts];
    nChannelSlot stack_[MaxSlots];
    nChannelSlot values_[MaxChannels];
    nString strings_[MaxChannels];
};
