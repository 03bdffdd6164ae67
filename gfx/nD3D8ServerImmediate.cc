// The graphics server's immediate mode.
#include "gfx/nD3D8Server.h"
#include "gfx/nPrimitiveBuilder.h"
#include "kernel/nKernelServer.h"
#include "kernel/nColorByte.h"

namespace {
uint32_t packColor(float r, float g, float b, float a) {
    auto channel = [](float v) { return n_unit_byte(v); };
    return channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
}
}  // namespace

void nD3D8Server::Begin(int primitive) {
    if (primitive < 0 || primitive > 5) nKernelServer::FatalError("nD3D8Server::Begin(): Unknown primitive type!");
    if (!primBuilder) primBuilder = std::make_unique<nPrimitiveBuilder>();
    primBuilder->Begin(this, primitive);
}

void nD3D8Server::Coord(float x, float y, float z) {
    if (primBuilder) primBuilder->Coord(x, y, z);
}

void nD3D8Server::Norm(float x, float y, float z) {
    if (primBuilder) primBuilder->Norm(x, y, z);
}

void nD3D8Server::Uv(int, float u, float v) {
    if (primBuilder) primBuilder->Uv(u, v);
}

void nD3D8Server::Rgba(float r, float g, float b, float a) {
    if (!primBuilder) primBuilder = std::make_unique<nPrimitiveBuilder>();
    primBuilder->SetColor(packColor(r, g, b, a));
}

void nD3D8Server::End() {
    if (primBuilder) primBuilder->End();
}
