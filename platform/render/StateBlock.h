#pragma once
// A recorded set of device states: the render states, texture-stage states,
// transforms, viewport, material, lights and stage textures that were set while it was being
// recorded, with their values. Applying it sets exactly those states again;
// capturing re-reads exactly those states from the device.

#include "platform/render/RenderState.h"
#include "platform/render/RenderTypes.h"

#include <array>
#include <bitset>

namespace render {

class Device;
class Texture;

class StateBlock {
public:
    void RecordRenderState(RenderState state, uint32_t value);
    void RecordStageState(int stage, StageState state, uint32_t value);
    void RecordTransform(TransformKind kind, const Matrix& matrix);
    void RecordViewport(const Viewport& viewport);
    void RecordMaterial(const Material& material);
    void RecordLight(int index, const Light& light);
    void RecordLightEnable(int index, bool enable);
    void RecordTexture(int stage, Texture* texture);
    // A destroyed texture leaves the block (its stage then gets none).
    void ForgetTexture(const Texture* texture);

    void ApplyTo(Device& device) const;
    void CaptureFrom(const Device& device);

    bool HasRenderState(RenderState state) const;
    uint32_t GetRenderState(RenderState state) const;
    bool IsEmpty() const;

private:
    static constexpr int kTransformCount = static_cast<int>(TransformKind::Count);

    std::array<uint32_t, kRenderStateCount> renderStates{};
    std::bitset<kRenderStateCount> renderStateSet;
    std::array<std::array<uint32_t, kStageStateCount>, kMaxTextureStages> stageStates{};
    std::array<std::bitset<kStageStateCount>, kMaxTextureStages> stageStateSet;
    std::array<Matrix, kTransformCount> transforms{};
    std::bitset<kTransformCount> transformSet;
    Viewport viewport;
    bool viewportSet = false;
    Material material;
    bool materialSet = false;
    std::array<Light, kMaxLights> lights{};
    std::bitset<kMaxLights> lightSet;
    std::array<bool, kMaxLights> lightEnables{};
    std::bitset<kMaxLights> lightEnableSet;
    std::array<Texture*, kMaxTextureStages> textures{};
    std::bitset<kMaxTextureStages> textureSet;
};

}  // namespace render
