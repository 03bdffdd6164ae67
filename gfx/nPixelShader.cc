#include "gfx/nPixelShader.h"

const nClassInfo nPixelShader::classInfo = nClassInfo::Make<nPixelShader>("npixelshader", "nroot");

nPixelShader::nPixelShader() : refGfx("/sys/servers/gfx"), desc(nullptr), texArray(nullptr), inDraw(false) {}

nPixelShader::~nPixelShader() = default;

bool nPixelShader::RecordStateBlocks() { return false; }
int nPixelShader::BeginPasses(nTexArray*) { return 0; }
void nPixelShader::SetPass(int) {}
void nPixelShader::EndPasses() {}
