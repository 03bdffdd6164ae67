#include "physics/nPhysikMass.h"

#include <numbers>

#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

void nPhysikMass::SetDensity(float d) {
    density = d;
    dirty = true;
}

void nPhysikMass::SetPosition(const vector3& p) {
    position = p;
    dirty = true;
}

void nPhysikMass::SetRotation(const quaternion& q) {
    rotation = q;
    dirty = true;
}

void nPhysikMass::SetRadius(float r) {
    area = 4.0f * std::numbers::pi_v<float> * r * r;
    dirty = true;
}

float nPhysikMass::GetRadius() const {
    nKernelServer::FatalError("nPhysikMass::GetRadius, pure virtual function call!\n");
}

void nPhysikMass::SetCylinder(const float rl[2]) {
    area = 2.0f * std::numbers::pi_v<float> * rl[0] * (rl[0] + rl[1]);
    dirty = true;
}

const float* nPhysikMass::GetCylinder() const {
    nKernelServer::FatalError("nPhysikMass::GetCylinder, pure virtual function call!\n");
}

void nPhysikMass::SetBox(const vector3& s) {
    area = 2.0f * (s.x * s.y + s.y * s.z + s.z * s.x);
    dirty = true;
}

const vector3& nPhysikMass::GetBox() const {
    nKernelServer::FatalError("nPhysikMass::GetBox, pure virtual function call!\n");
}

void nPhysikMass::Visualize(nGfxServer*, const matrix44&) {
    nKernelServer::FatalError("nPhysikMass::Visualize, pure virtual function call!\n");
}

matrix44 nPhysikMass::DrawFrame(const matrix44& bodyMatrix) const {
    matrix44 m;
    m.SetQuaternion(rotation);
    m.SetTranslation(position);
    return m * bodyMatrix;
}

void nPhysikMass::BeginDraw(nGfxServer* gfx, const matrix44& bodyMatrix) const {
    matrix44 m = DrawFrame(bodyMatrix) * gfx->GetMatrix(nGfxServer::INVVIEWER);
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, m);
    gfx->Begin(3);
    gfx->Rgba(1.0f, 0.5f, 0.5f, 1.0f);
}

void nPhysikMass::EndDraw(nGfxServer* gfx) {
    gfx->End();
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}
