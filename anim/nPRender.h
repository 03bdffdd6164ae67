#pragma once
// Base of the particle renderers (script class "nprender"): the emitter it draws, the keys
// that give size, jitter and colour over a particle's life, spin, a view-distance limit
// and the draw order. The sprite and trail renderers draw; this base only holds.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "anim/nAnimNode.h"
#include "gfx/nVertexBufferHolder.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/vector3.h"

class nIndexBuffer;
class nPEmitter;
struct nSceneNodeRecord;

class nPRender : public nAnimNode {
public:
    static const nClassInfo classInfo;

    struct Key {
        float size = 0.0f;
        float jitter = 0.0f;
        float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
        uint32_t abgr = 0;
        uint32_t argb = 0;
    };
    // A key looked up at one relative age, its colour packed as asked.
    struct Sample {
        float size;
        float jitter;
        uint32_t color;
    };

    nPRender();
    // Gives back its share of the class's index buffer.
    ~nPRender() override;

    // The animation node's commands, the settings, then the keys as a begin / per key /
    // end sequence when there are any.
    bool SaveCmds(nPersistServer* ps) override;

    // A fresh table of `count` zeroed keys; a negative count is refused (logged).
    virtual void BeginKeys(int count);
    // False (logged, nothing changes) for an index outside the table.
    virtual bool SetKey(int index, float size, float jitter, float r, float g, float b, float a);
    virtual void EndKeys() {}
    virtual int GetNumKeys() const { return int(keys_.size()); }
    // False (logged, all zero) for an index outside the table.
    virtual bool GetKey(int index, float& size, float& jitter, float& r, float& g, float& b, float& a) const;

    void SetStretch(bool b) { stretch_ = b; }
    bool GetStretch() const { return stretch_; }
    // Degrees per second in and out; radians kept.
    void SetSpin(float degrees);
    float GetSpin() const;
    void SetSpinAccel(float degrees);
    float GetSpinAccel() const;
    // Relative paths resolve from the renderer.
    void SetEmitter(const char* path);
    const char* GetEmitter() const { return emitterPath_.c_str(); }
    void SetMaxViewDist(float d) { maxViewDist_ = d; }
    float GetMaxViewDist() const { return maxViewDist_; }
    void SetDrawOrder(bool b) { drawOrder_ = b; }
    bool GetDrawOrder() const { return drawOrder_; }

    // The keys at relative age `x` (age / lifetime): the floats blended linearly, the
    // colour packed A-R-G-B (`argb`) or A-B-G-R blended byte by byte. Needs a key.
    void Lookup(float x, bool argb, Sample& out) const { KeyReader(*this, argb).Read(x, out); }

    // Lookup for a whole draw: the table's bounds are read once, and the last blended
    // colour is kept, since neighbouring particles mostly fall in the same key segment
    // at the same blend weight. Valid while the keys do not change.
    class KeyReader {
    public:
        KeyReader(const nPRender& r, bool argb)
            : keys_(r.keys_.data()), last_(int(r.keys_.size()) - 1), scale_(r.numKeysF_ - 1.0f), argb_(argb) {}
        void Read(float x, Sample& out) {
            const float p = scale_ * x;
            const float fl = std::floor(p);
            const float f = p - fl;
            // NaN (an age of minus infinity) reads the first key at weight 0.
            const int i0 = !(fl >= 0.0f) ? 0 : (fl > float(last_) ? last_ : int(fl));
            const int i1 = !(fl >= 0.0f) ? 0 : (i0 < last_ ? i0 + 1 : last_);
            const Key& k0 = keys_[i0];
            const Key& k1 = keys_[i1];
            out.size = (1.0f - f) * k0.size + f * k1.size;
            out.jitter = (1.0f - f) * k0.jitter + f * k1.jitter;
            const int w = f >= 0.0f ? int(f * 256.0f) : 0;
            if (i0 != i0_ || i1 != i1_ || w != w_) {
                i0_ = i0;
                i1_ = i1;
                w_ = w;
                color_ = argb_ ? BlendBytes(k0.argb, k1.argb, w) : BlendBytes(k0.abgr, k1.abgr, w);
            }
            out.color = color_;
        }

    private:
        const Key* keys_;
        int last_;
        float scale_;
        bool argb_;
        int i0_ = -1, i1_ = -1, w_ = -1;
        uint32_t color_ = 0;
    };

    // Each byte of c0 moved towards c1's by w/256 of their signed difference.
    static uint32_t BlendBytes(uint32_t c0, uint32_t c1, int w) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const int b0 = int((c0 >> shift) & 0xFF);
            const int b1 = int((c1 >> shift) & 0xFF);
            out |= uint32_t((b0 + (((b1 - b0) * w) >> 8)) & 0xFF) << shift;
        }
        return out;
    }

    // Where the quads go. A test may make it private (and Create it) before the first
    // draw, to read back what was written instead of drawing it.
    nVertexBufferHolder& GetVertexHolder() { return holder_; }
    // Quads that fit one buffer and the class's index buffer; 0 before the first draw.
    int GetQuadsPerBuffer() const { return quadsPerBuffer_; }

protected:
    // The emitter the path names; null when it names nothing or no emitter (logged once
    // until the path changes; tried again every frame).
    nPEmitter* GetEmitterNode();

    // Makes the vertex buffer when missing (dynamic: coordinates, colour, one texture
    // set) and finds or makes the class's shared index buffer `name`, each quad q
    // indexed 4q + pattern[i]. The index buffer grows when this renderer's buffer holds
    // more quads than it covers. False when there is no index buffer.
    bool MakeBuffers(const char* name, const uint16_t (&pattern)[6]);
    // Starts writing quads with the record's pixel shader and textures; false when a
    // buffer holds no quad.
    bool BeginQuads(nSceneNodeRecord* rec);
    // True while writing into a buffer that packs colours A-R-G-B.
    bool ArgbColors() const { return argbColors_; }
    // Where the next vertex goes. A draw keeps a copy in a local, so the pointers stay
    // in registers while vertices go out.
    struct Writer {
        float* coord = nullptr;
        uint32_t* color = nullptr;
        float* uv = nullptr;
        int stride = 0;
        void Put(const vector3& p, uint32_t c, float u, float v) {
            coord[0] = p.x;
            coord[1] = p.y;
            coord[2] = p.z;
            *color = c;
            uv[0] = u;
            uv[1] = v;
            coord += stride;
            color += stride;
            uv += stride;
        }
    };
    const Writer& GetWriter() const { return out_; }
    // After a quad's four vertices went out through `w`: a full buffer is drawn and `w`
    // goes on in a fresh one.
    void EndQuad(Writer& w) {
        if (++quads_ >= quadsPerBuffer_) {
            renewBuffer();
            w = out_;
        }
    }
    // Draws the rest and clears the write state.
    void EndQuads();

    std::vector<Key> keys_;
    float numKeysF_ = 0.0f;
    float spin_ = 0.0f;
    float spinAccel_ = 0.0f;
    // The degrees as given: turned into radians and back they would not save the same.
    float spinDegrees_ = 0.0f;
    float spinAccelDegrees_ = 0.0f;
    bool stretch_ = false;
    float maxViewDist_ = 0.0f;
    bool drawOrder_ = false;

    nVertexBufferHolder holder_;
    nRef<nIndexBuffer> refIndex_;
    int quadsPerBuffer_ = 0;
    // Quads of this renderer's own vertex layout that one of its buffers holds.
    int bufferQuads_ = 0;

private:
    void renewBuffer();
    void setWritePointers(nVertexBuffer* vb);

    int quads_ = 0;
    Writer out_;
    bool argbColors_ = false;
    std::string emitterPath_;
    nPathRef<nRoot> refEmitter_;
    bool emitterLogged_ = false;
};
