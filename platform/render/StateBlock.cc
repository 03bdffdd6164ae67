#include "platform/render/StateBlock.h"

#include "platform/render/Device.h"

namespace render {

void StateBlock::RecordRenderState(RenderState state, uint32_t value)
{
    const int i = static_cast<int>(state);
    this->renderStates[i] = value;
    this->renderStateSet.set(i);
}

void StateBlock::RecordStageState(int stage, StageState state, uint32_t value)
{
    const int i = static_cast<int>(state);
    this->stageStates[stage][i] = value;
    this->stageStateSet[stage].set(i);
}

void StateBlock::RecordTransform(TransformKind kind, const Matrix& matrix)
{
    const int i = static_cast<int>(kind);
    this->transforms[i] = matrix;
    this->transformSet.set(i);
}

void StateBlock::RecordViewport(const Viewport& value)
{
    this->viewport = value;
    this->viewportSet = true;
}

void StateBlock::RecordMaterial(const Material& value)
{
    this->material = value;
    this->materialSet = true;
}

void StateBlock::RecordLight(int index, const Light& light)
{
    this->lights[index] = light;
    this->lightSet.set(index);
}

void StateBlock::RecordLightEnable(int index, bool enable)
{
    this->lightEnables[index] = enable;
    this->lightEnableSet.set(index);
}

void StateBlock::RecordTexture(int stage, Texture* texture)
{
    this->textures[stage] = texture;
    this->textureSet.set(stage);
}

void StateBlock::ForgetTexture(const Texture* texture)
{
    for (Texture*& held : this->textures) {
        if (held == texture) {
            held = nullptr;
        }
    }
}

void StateBlock::ApplyTo(Device& device) const
{
    for (int stage = 0; stage < kMaxTextureStages; ++stage) {
        if (this->textureSet.test(stage)) {
            device.SetTexture(stage, this->textures[stage]);
        }
    }
    for (int i = 0; i < kRenderStateCount; ++i) {
        if (this->renderStateSet.test(i)) {
            device.SetRenderState(static_cast<RenderState>(i), this->renderStates[i]);
        }
    }
    for (int stage = 0; stage < kMaxTextureStages; ++stage) {
        for (int i = 0; i < kStageStateCount; ++i) {
            if (this->stageStateSet[stage].test(i)) {
                device.SetTextureStageState(stage, static_cast<StageState>(i),
                                            this->stageStates[stage][i]);
            }
        }
    }
    for (int i = 0; i < kTransformCount; ++i) {
        if (this->transformSet.test(i)) {
            device.SetTransform(static_cast<TransformKind>(i), this->transforms[i]);
        }
    }
    if (this->viewportSet) {
        device.SetViewport(this->viewport);
    }
    if (this->materialSet) {
        device.SetMaterial(this->material);
    }
    for (int i = 0; i < kMaxLights; ++i) {
        if (this->lightSet.test(i)) {
            device.SetLight(i, this->lights[i]);
        }
        if (this->lightEnableSet.test(i)) {
            device.EnableLight(i, this->lightEnables[i]);
        }
    }
}

void StateBlock::CaptureFrom(const Device& device)
{
    for (int stage = 0; stage < kMaxTextureStages; ++stage) {
        if (this->textureSet.test(stage)) {
            this->textures[stage] = device.GetTexture(stage);
        }
    }
    for (int i = 0; i < kRenderStateCount; ++i) {
        if (this->renderStateSet.test(i)) {
            this->renderStates[i] = device.GetRenderState(static_cast<RenderState>(i));
        }
    }
    for (int stage = 0; stage < kMaxTextureStages; ++stage) {
        for (int i = 0; i < kStageStateCount; ++i) {
            if (this->stageStateSet[stage].test(i)) {
                this->stageStates[stage][i] =
                    device.GetTextureStageState(stage, static_cast<StageState>(i));
            }
        }
    }
    for (int i = 0; i < kTransformCount; ++i) {
        if (this->transformSet.test(i)) {
            this->transforms[i] = device.GetTransform(static_cast<TransformKind>(i));
        }
    }
    if (this->viewportSet) {
        this->viewport = device.GetViewport();
    }
    if (this->materialSet) {
        this->material = device.GetMaterial();
    }
    for (int i = 0; i < kMaxLights; ++i) {
        if (this->lightSet.test(i)) {
            this->lights[i] = device.GetLight(i);
        }
        if (this->lightEnableSet.test(i)) {
            this->lightEnables[i] = device.IsLightEnabled(i);
        }
    }
}

bool StateBlock::HasRenderState(RenderState state) const
{
    return this->renderStateSet.test(static_cast<int>(state));
}

uint32_t StateBlock::GetRenderState(RenderState state) const
{
    return this->renderStates[static_cast<int>(state)];
}

bool StateBlock::IsEmpty() const
{
    bool anyStage = false;
    for (const auto& set : this->stageStateSet) {
        anyStage = anyStage || set.any();
    }
    return this->renderStateSet.none() && !anyStage && this->transformSet.none() &&
           !this->viewportSet && !this->materialSet && this->lightSet.none() &&
           this->lightEnableSet.none() && this->textureSet.none();
}

}  // namespace render
