#include "gfx/nD3D8Server.h"
#include "gfx/nPrimitiveBuilder.h"
#include "gfx/nD3D8Font.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gfx/nBmpFile.h"
#include "gfx/nModeString.h"
#include "gfx/nPixelFormat.h"
#include "gfx/nTexture.h"
#include "input/nInputServer.h"
#include "kernel/nEnv.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "platform/render/Device.h"
#include "platform/render/RenderSystem.h"
#include "platform/ui/Host.h"
#include "platform/ui/Renderer.h"
#include "platform/window/Window.h"

const nClassInfo nD3D8Server::classInfo = nClassInfo::Make<nD3D8Server>("nd3d8server", "ngfxserver");

namespace {

using render::DeviceType;
using render::Format;
using render::RenderState;

constexpr const char* DisplayRoot = "/sys/share/display";

// Engine render-state codes.
enum : int32_t {
    RsZBias = 10,
    RsFogMode = 19,
    RsFogStart = 20,
    RsFogEnd = 21,
    RsFogDensity = 22,
    RsFogColor = 23,
    RsNormalizeNormals = 26,
    RsStencilEnable = 30,
    RsStencilFail = 31,
    RsStencilZFail = 32,
    RsStencilPass = 33,
    RsStencilFunc = 34,
    RsStencilRef = 35,
    RsStencilMask = 36,
    RsStencilClear = 37,
    RsColorWrite = 38,
};

uint32_t stencilOperation(int32_t code) {
    switch (code) {
    case 51: return render::StencilOperation::Zero;
    case 52: return render::StencilOperation::Replace;
    case 53: return render::StencilOperation::Invert;
    case 54: return render::StencilOperation::IncrementSaturate;
    case 55: return render::StencilOperation::DecrementSaturate;
    default: return render::StencilOperation::Keep;
    }
}

uint32_t comparison(int32_t code) {
    switch (code) {
    case 14: return render::Compare::Never;
    case 15: return render::Compare::Less;
    case 16: return render::Compare::Equal;
    case 17: return render::Compare::LessEqual;
    case 18: return render::Compare::Greater;
    case 19: return render::Compare::NotEqual;
    case 20: return render::Compare::GreaterEqual;
    default: return render::Compare::Always;
    }
}

// value x 255, truncated; values outside 0..1 are held at the ends so that one channel
// never spills into the next.
uint32_t channel(float v) {
    float s = v * 255.0f;
    if (!(s > 0.0f)) return 0;
    if (s >= 255.0f) return 255;
    return uint32_t(s);
}

uint32_t packArgb(float r, float g, float b, float a) {
    return channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
}

render::Matrix toDevice(const matrix44& m) {
    render::Matrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[r * 4 + c] = m.m[r][c];
    return out;
}

nEnv* newEnv(const char* name) { return static_cast<nEnv*>(nKernelServer::ks->New("nenv", name)); }

nEnv* findEnv(nRoot* node, const char* name) {
    nRoot* obj = node ? node->Find(name) : nullptr;
    return obj && obj->IsA("nenv") ? static_cast<nEnv*>(obj) : nullptr;
}

int envInt(nRoot* node, const char* name, int fallback) {
    nEnv* env = findEnv(node, name);
    return env ? env->GetI() : fallback;
}

const char* envString(nRoot* node, const char* name) {
    nEnv* env = findEnv(node, name);
    const char* s = env ? env->GetS() : nullptr;
    return s ? s : "";
}

void releaseObject(nRoot* obj) {
    if (obj) {
        while (!obj->Release()) {
        }
    }
}

// "hal" 2, "sw" 1, anything else 0: "ref" and unknown renderers select the same modes.
int rtypeCode(const char* rtype) {
    if (std::strcmp(rtype, "hal") == 0) return 2;
    if (std::strcmp(rtype, "sw") == 0) return 1;
    return 0;
}

const char* rtypeName(DeviceType type) {
    switch (type) {
    case DeviceType::Hardware: return "hal";
    case DeviceType::Reference: return "ref";
    case DeviceType::Software: return "sw";
    }
    return "";
}

bool isDecimal(const std::string& s, long min) {
    if (s.empty() || s.size() > 7) return false;
    for (char ch : s)
        if (ch < '0' || ch > '9') return false;
    return std::stol(s) >= min;
}

// The items the base parser would read, checked: every item is key or key(value), the
// first occurrence of each known key has a value of its kind, and at least one item is
// known. Unknown keys are passed over, as the parser does.
bool checkModeText(const char* text, std::string& why) {
    bool anyKnown = !text || !*text;
    for (const nModeString::Item& item : nModeString::Split(text)) {
        if (!item.wellFormed) {
            why = "malformed item '" + item.text + "'";
            return false;
        }
        const std::string& key = item.key;
        const std::string& value = item.value;
        bool ok = true;
        if (key == "w" || key == "h" || key == "bbuf") {
            ok = isDecimal(value, 1);
        } else if (key == "bpp" || key == "zbuf" || key == "sbuf" || key == "dev") {
            ok = isDecimal(value, 0);
        } else if (key == "type") {
            ok = value == "win" || value == "full";
        } else if (key == "rtype") {
            ok = !value.empty();
        } else if (key != "title" && key != "icon") {
            continue;
        }
        if (!ok) {
            why = "bad value in '" + item.text + "'";
            return false;
        }
        anyKnown = true;
    }
    if (!anyKnown) why = "no display-mode item in it";
    return anyKnown;
}

// Writes the picture (0xAARRGGBB words, top row first) as a w x h BMP file, sampling the
// source with 16.16 fixed-point steps; BMP rows go from the bottom upwards.
bool writeScreenshot(const char* file, const std::vector<uint32_t>& src, int srcW, int srcH, int w, int h) {
    nBmpFile bmp;
    bmp.SetWidth(w);
    bmp.SetHeight(h);
    if (!file || !*file || !bmp.Open(file, "wb")) {
        n_error("nD3D8Server: cannot write the screenshot '%s'\n", file ? file : "");
        return false;
    }
    nPixelFormat argb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    nPixelFormat* dst = bmp.GetPixelFormat();
    dst->BeginConv(&argb);
    const uint64_t stepX = (uint64_t(srcW) << 16) / uint64_t(w);
    const uint64_t stepY = (uint64_t(srcH) << 16) / uint64_t(h);
    std::vector<uint32_t> row(static_cast<size_t>(w));
    std::vector<uint8_t> out(size_t(w) * 4);
    for (int y = h - 1; y >= 0; --y) {
        const size_t sy = std::min<size_t>(size_t((uint64_t(y) * stepY) >> 16), size_t(srcH - 1));
        for (int x = 0; x < w; ++x) {
            const size_t sx = std::min<size_t>(size_t((uint64_t(x) * stepX) >> 16), size_t(srcW - 1));
            row[size_t(x)] = src[sy * size_t(srcW) + sx];
        }
        dst->Conv(row.data(), out.data(), w);
        bmp.WriteLine(out.data());
    }
    bmp.Close();
    if (bmp.WriteFailed()) {
        n_error("nD3D8Server: writing the screenshot '%s' failed\n", file);
        return false;
    }
    return true;
}

}  // namespace

// ---- construction

nD3D8Server::nD3D8Server()
    : refInput("/sys/servers/input"), numAdapters(0), selAdapter(0), windowOpen(false), windowMinimised(false),
      fullScreen(false), quitRequested(false), adaptersEnumerated(false), adapterSelected(false), modeValid(false),
      systemCursorShown(true), deviceCursorShown(false), devType(DeviceType::Hardware),
      dispWidth(0), dispHeight(0), clearColorPacked(0), displayOpen(false), inScene(false), fogEnabled(false),
      stencilClear(0), devModelviewDepth(0), devProjectionDepth(0) {
    winOpen();
    d3dOpen();
    EnumAdapters();
    SetDisplayMode("dev(0)-w(320)-h(200)-zbuf(16)");
    // The input and audio servers find the window through this.
    nEnv* hwnd = static_cast<nEnv*>(nKernelServer::ks->New("nenv", "/sys/env/hwnd"));
    hwnd->SetI(int32_t(window->GetId()));
}

nD3D8Server::~nD3D8Server() {
    if (displayOpen) CloseDisplay();
    primBuilder.reset();
    // Textures reach back to this server when they go.
    ReleaseResources();
    winClose();
    d3d.reset();
}

void nD3D8Server::winOpen() {
    window = window::Window::Open("nD3D8Server Window");
    if (!window) nKernelServer::FatalError("nD3D8Server::winOpen(): CreateWindow() failed!\n");
    window->SetStyle(window::WindowStyle::Windowed);
    window->Minimise();
    windowOpen = true;
    windowMinimised = true;
    fullScreen = false;
}

void nD3D8Server::winClose() {
    uiRenderer.reset();
    device.reset();
    window.reset();
    windowOpen = false;
}

void nD3D8Server::d3dOpen() {
    d3d = render::RenderSystem::Open();
    if (!d3d) nKernelServer::FatalError("Aborting.");
}

// ---- adapters and modes

void nD3D8Server::EnumAdapters() {
    nKernelServer* ks = nKernelServer::ks;
    adaptersEnumerated = true;
    numAdapters = d3d->GetAdapterCount();
    releaseObject(ks->Lookup(DisplayRoot));
    nRoot* display = ks->New("nroot", DisplayRoot);
    int kept = 0;
    for (int i = 0; i < numAdapters; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "%d", kept);
        ks->PushCwd(display);
        nRoot* node = ks->New("nroot", name);
        ks->PushCwd(node);
        int modes = enumDisplayModes(i);
        if (modes > 0) {
            const render::AdapterInfo* info = d3d->GetAdapter(i);
            if (!info) nKernelServer::FatalError("Aborting.");
            newEnv("drv_name")->SetS(info->driverName.c_str());
            newEnv("drv_desc")->SetS(info->description.c_str());
            newEnv("adapter")->SetI(i);
            ++kept;
        }
        ks->PopCwd();
        ks->PopCwd();
        if (modes == 0) releaseObject(node);
    }
    // A new list leaves the old selection dangling: select again.
    if (adapterSelected) selectAdapter(selAdapter);
}

int nD3D8Server::enumDisplayModes(int adapter) {
    static const Format depthFormats[] = {Format::D16, Format::D15S1, Format::D32,
                                          Format::D24S8, Format::D24X8, Format::D24X4S4};
    static const DeviceType types[] = {DeviceType::Hardware, DeviceType::Reference, DeviceType::Software};
    static const Format textureFormats[] = {Format::A8R8G8B8, Format::X8R8G8B8, Format::A4R4G4B4, Format::R5G6B5};

    nKernelServer* ks = nKernelServer::ks;
    nRoot* modes = ks->New("nroot", "modes");
    ks->PushCwd(modes);
    int count = 0;
    bool havePrev = false;
    render::DisplayMode prev;
    const int numModes = d3d->GetModeCount(adapter);
    for (int m = 0; m < numModes; ++m) {
        render::DisplayMode mode;
        if (!d3d->GetMode(adapter, m, mode)) nKernelServer::FatalError("Aborting.");
        if (mode.width < 640 || mode.height < 480) continue;
        // Each size and format once, whatever its refresh rates.
        if (havePrev && mode.width == prev.width && mode.height == prev.height && mode.format == prev.format) continue;
        prev = mode;
        havePrev = true;
        for (DeviceType type : types) {
            if (!d3d->SupportsDeviceType(adapter, type, mode.format, mode.format, false)) continue;
            bool textures = true;
            for (Format tf : textureFormats) textures = textures && d3d->SupportsTextureFormat(adapter, type, mode.format, tf);
            if (!textures) continue;
            for (Format depth : depthFormats) {
                if (!d3d->SupportsDepthFormat(adapter, type, mode.format, depth) ||
                    !d3d->DepthFormatMatches(adapter, type, mode.format, mode.format, depth))
                    continue;
                char name[16];
                std::snprintf(name, sizeof(name), "%d", count++);
                ks->PushCwd(ks->New("nroot", name));
                char text[128];
                std::snprintf(text, sizeof(text), "type(full)-w(%d)-h(%d)-bpp(%d)-zbuf(%d)-sbuf(%d)-rtype(%s)",
                              mode.width, mode.height, render::FormatBits(mode.format), render::DepthBits(depth),
                              render::StencilBits(depth), rtypeName(type));
                newEnv("name")->SetS(text);
                newEnv("w")->SetI(mode.width);
                newEnv("h")->SetI(mode.height);
                newEnv("bpp")->SetI(render::FormatBits(mode.format));
                newEnv("zbuf")->SetI(render::DepthBits(depth));
                newEnv("sbuf")->SetI(render::StencilBits(depth));
                newEnv("rtype")->SetS(rtypeName(type));
                newEnv("d3d8_devicetyp")->SetI(int(type));
                newEnv("d3d8_dsp_format")->SetI(int(mode.format));
                newEnv("d3d8_zbuf_format")->SetI(int(depth));
                ks->PopCwd();
            }
        }
    }
    ks->PopCwd();
    return count;
}

void nD3D8Server::selectAdapter(int n) {
    nKernelServer* ks = nKernelServer::ks;
    char path[64];
    std::snprintf(path, sizeof(path), "%s/%d", DisplayRoot, n);
    nRoot* node = ks->Lookup(path);
    if (!node) {
        node = ks->Lookup("/sys/share/display/0");
        n = 0;
    }
    selAdapter = n;
    refAdapter.Set(node);
    adapterSelected = node != nullptr;
}

int nD3D8Server::adapterOrdinal() const { return envInt(refAdapter.GetUnsafe(), "adapter", selAdapter); }

bool nD3D8Server::SetDisplayMode(const char* mode) {
    std::string why;
    refMode.Set(nullptr);
    modeValid = false;
    if (!checkModeText(mode, why)) {
        n_error("nD3D8Server::SetDisplayMode(): '%s' is no display mode: %s\n", mode ? mode : "", why.c_str());
        return false;
    }
    // A refused mode leaves the fields as they were, which may describe the open display
    // (its depth is what sprites copy their pixels by); it is not opened afterwards all
    // the same.
    const std::string before[4] = {displayMode, dev, type, rtype};
    const int numbers[6] = {width, height, bpp, zbuf, sbuf, bbuf};
    const int adapterBefore = selAdapter;
    nRoot* const adapterNodeBefore = refAdapter.GetUnsafe();
    auto refuse = [&] {
        nKernelServer::StrCopy(displayMode, before[0].c_str(), sizeof(displayMode));
        nKernelServer::StrCopy(dev, before[1].c_str(), sizeof(dev));
        nKernelServer::StrCopy(type, before[2].c_str(), sizeof(type));
        nKernelServer::StrCopy(rtype, before[3].c_str(), sizeof(rtype));
        width = numbers[0];
        height = numbers[1];
        bpp = numbers[2];
        zbuf = numbers[3];
        sbuf = numbers[4];
        bbuf = numbers[5];
        selAdapter = adapterBefore;
        refAdapter.Set(adapterNodeBefore);
        adapterSelected = adapterNodeBefore != nullptr;
        return false;
    };
    if (!nGfxServer::SetDisplayMode(mode)) return refuse();
    // A window no device can be made at would be made first, at that size.
    if (width > render::Device::MaxBackBufferSize || height > render::Device::MaxBackBufferSize) {
        n_error("nD3D8Server::SetDisplayMode(): '%s' is larger than a device can be (%d x %d at most)\n",
                displayMode, render::Device::MaxBackBufferSize, render::Device::MaxBackBufferSize);
        return refuse();
    }
    selectAdapter(std::atoi(dev));
    nRoot* adapter = refAdapter.GetUnsafe();
    if (!adapter) {
        n_error("nD3D8Server::SetDisplayMode(): no display adapter for '%s'\n", displayMode);
        return refuse();
    }
    if (std::strcmp(type, "full") != 0) {
        modeValid = true;
        return true;
    }
    const int code = rtypeCode(rtype);
    nRoot* modes = adapter->Find("modes");
    for (nRoot* m = modes ? modes->GetHead() : nullptr; m; m = m->GetSucc()) {
        if (envInt(m, "w", -1) == width && envInt(m, "h", -1) == height && envInt(m, "bpp", -1) == bpp &&
            envInt(m, "zbuf", -1) == zbuf && envInt(m, "sbuf", -1) == sbuf && rtypeCode(envString(m, "rtype")) == code) {
            refMode.Set(m);
            modeValid = true;
            return true;
        }
    }
    n_error("nD3D8Server::SetDisplayMode(): adapter %d offers no mode '%s'\n", selAdapter, displayMode);
    return refuse();
}

// ---- device open, close and reset

bool nD3D8Server::OpenDisplay() {
    if (!displayOpen) {
        displayOpen = devOpen();
        if (displayOpen) openMode = displayMode;
        return displayOpen;
    }
    // A mode the device cannot make leaves the open display as it was: a refused mode
    // does not even close it, and one whose device cannot be made is replaced by the
    // mode that was open.
    if (!modeValid || !refAdapter.GetUnsafe()) {
        n_error("nD3D8Server::OpenDisplay(): no display mode that can be opened is set; the display stays at '%s'\n",
                openMode.c_str());
        return false;
    }
    // A second open replaces the device rather than leaking the first.
    CloseDisplay();
    displayOpen = devOpen();
    if (displayOpen) {
        openMode = displayMode;
        return true;
    }
    const std::string failed = displayMode;
    const std::string before = openMode;
    displayOpen = SetDisplayMode(before.c_str()) && devOpen();
    n_error("nD3D8Server::OpenDisplay(): '%s' cannot be made; %s '%s'\n", failed.c_str(),
            displayOpen ? "the display stays at" : "the display is closed, it cannot be opened again at", before.c_str());
    return false;
}

bool nD3D8Server::devOpen() {
    if (!modeValid || !refAdapter.GetUnsafe()) {
        n_error("nD3D8Server::OpenDisplay(): no display mode that can be opened is set ('%s')\n", displayMode);
        return false;
    }
    const int adapter = adapterOrdinal();
    dispWidth = width;
    dispHeight = height;
    fullScreen = std::strcmp(type, "full") == 0;
    window->SetStyle(fullScreen ? window::WindowStyle::FullScreen : window::WindowStyle::Windowed);

    Format displayFormat = Format::X8R8G8B8;
    Format depthFormat = Format::D16;
    int backBuffers = 1;
    int deviceType = 1;
    if (fullScreen) {
        nRoot* mode = refMode.GetUnsafe();
        if (!mode) {
            n_error("nD3D8Server::OpenDisplay(): no full-screen mode selected\n");
            return false;
        }
        deviceType = envInt(mode, "d3d8_devicetyp", 0);
        displayFormat = Format(envInt(mode, "d3d8_dsp_format", 0));
        depthFormat = Format(envInt(mode, "d3d8_zbuf_format", 0));
        backBuffers = bbuf;
    } else {
        render::DisplayMode desktop;
        if (!d3d->GetDesktopMode(adapter, desktop)) {
            n_error("nD3D8Server::OpenDisplay(): cannot read the desktop mode of adapter %d\n", adapter);
            return false;
        }
        displayFormat = desktop.format;
        bpp = render::FormatBits(displayFormat);
        depthFormat = bpp < 24 ? Format::D16 : Format::D24S8;
        if (!d3d->SupportsDeviceType(adapter, DeviceType::Hardware, displayFormat, displayFormat, true))
            deviceType = int(DeviceType::Reference);
        if (!d3d->DepthFormatMatches(adapter, DeviceType(deviceType), displayFormat, displayFormat, depthFormat)) {
            depthFormat = Format::D16;
            if (!d3d->DepthFormatMatches(adapter, DeviceType(deviceType), displayFormat, displayFormat, depthFormat)) {
                n_error("nD3D8Server::OpenDisplay(): adapter %d has no depth buffer for its desktop format\n", adapter);
                return false;
            }
        }
    }
    if (deviceType < 1 || deviceType > 3) {
        n_error("nD3D8Server::devOpen: unknown device type!\n");
        return false;
    }
    devType = DeviceType(deviceType);
    if (!d3d->GetCaps(adapter, devType, caps)) {
        n_error("nD3D8Server::OpenDisplay(): cannot read the device capabilities\n");
        return false;
    }
    presentParams = render::PresentParameters();
    presentParams.backBufferWidth = dispWidth;
    presentParams.backBufferHeight = dispHeight;
    presentParams.backBufferFormat = displayFormat;
    presentParams.backBufferCount = backBuffers;
    presentParams.windowed = !fullScreen;
    presentParams.depthStencilFormat = depthFormat;
    presentParams.waitForVerticalSync = fullScreen;

    render::VertexProcessing processing = render::VertexProcessing::Software;
    if (caps.hardwareTransformAndLight)
        processing = caps.pureDevice ? render::VertexProcessing::PureHardware : render::VertexProcessing::Hardware;
    fitWindow(depthFormat);
    device = d3d->OpenDevice(adapter, devType, *window, processing, presentParams);
    if (!device) {
        n_error("nD3D8Server::OpenDisplay(): the device for '%s' cannot be created\n", displayMode);
        return false;
    }
    placeWindow();
    openPoolManagers();
    font = std::make_unique<nD3D8Font>("Trebuchet MS", 10, nD3D8Font::BOLD);
    initDeviceState();
    return true;
}

void nD3D8Server::fitWindow(Format depthFormat) {
    // The window is made before the mode is known. It is made again with the depth
    // format's bits (and, where its drawable keeps the size it was made with, as SDL's
    // offscreen driver's does, at the mode's size), so frames can go straight into it
    // instead of being copied there; where only the size differs, a resize is enough.
    int w = 0, h = 0;
    window->GetClientSize(w, h);
    const int depth = render::DepthBits(depthFormat);
    const int stencil = render::StencilBits(depthFormat);
    const bool sized = window::Window::DrawableFollowsSize() || (w == dispWidth && h == dispHeight);
    if (sized && window->GetDepthBits() == depth && window->GetStencilBits() == stencil) return;
    if (!window->Remake(dispWidth, dispHeight, depth, stencil)) {
        n_error("nD3D8Server::OpenDisplay(): the window cannot be made at %d x %d; frames are copied into it\n",
                dispWidth, dispHeight);
        return;
    }
    // The input and audio servers follow the handle.
    if (nRoot* hwnd = nKernelServer::ks->Lookup("/sys/env/hwnd"); hwnd && hwnd->IsA("nenv"))
        static_cast<nEnv*>(hwnd)->SetI(int32_t(window->GetId()));
}

void nD3D8Server::placeWindow() {
    if (!iconName.IsEmpty()) {
        nFileServer2* fs = nKernelServer::ks->GetFileServer();
        std::string path = fs ? fs->DiskPath(iconName.Get()) : std::string(iconName.Get());
        if (!window->SetIcon(path.c_str())) n_error("nD3D8Server: cannot load the window icon '%s'\n", path.c_str());
    }
    if (!windowTitle.IsEmpty()) window->SetTitle(windowTitle.Get());
    window->Place(0, 0, dispWidth, dispHeight);
    windowMinimised = false;
}

void nD3D8Server::CloseDisplay() {
    if (!displayOpen) return;
    devClose();
    displayOpen = false;
}

void nD3D8Server::devClose() {
    if (backBufferLocked) UnlockBackBuffer();
    primBuilder.reset();
    font.reset();
    textCount = 0;
    ReleaseResources();
    // The pools' device buffers go before the device.
    closePoolManagers();
    uiRenderer.reset();
    device.reset();
    inScene = false;
    deviceCursorShown = false;
    imageCursor = -1;  // the next device makes its own image
    window->Minimise();
    windowMinimised = true;
}

bool nD3D8Server::IsDisplayOpen() { return displayOpen; }

bool nD3D8Server::GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) {
    x0 = 0;
    y0 = 0;
    x1 = dispWidth;
    y1 = dispHeight;
    return true;
}

bool nD3D8Server::GetFeature(int& value) {
    value = 16;
    return true;
}

bool nD3D8Server::testResetDevice() {
    switch (device->CheckDeviceState()) {
    case render::DeviceState::Ready: return true;
    case render::DeviceState::NeedsReset:
        if (backBufferLocked) UnlockBackBuffer();
        ReleaseResources();
        uiRenderer.reset();
        if (font) {
            font->InvalidateDeviceObjects();
            font->DeleteDeviceObjects();
        }
        if (!device->Reset(presentParams)) {
            n_error("nD3D8Server: the device could not be reset\n");
            return false;
        }
        initDeviceState();
        return true;
    case render::DeviceState::Lost: break;
    }
    nKernelServer::Sleep(0.1f);
    return false;
}

void nD3D8Server::initDeviceState() {
    device->SetViewport(render::Viewport{0, 0, dispWidth, dispHeight, 0.0f, 1.0f});
    // The engine's right-handed view space becomes the device's left-handed one.
    render::Matrix view = render::IdentityMatrix();
    view[10] = -1.0f;
    device->SetTransform(render::TransformKind::View, view);
    device->SetTransform(render::TransformKind::World, render::IdentityMatrix());
    devModelview.Ident();
    sendViewVolume();
    device->SetRenderState(RenderState::CullMode, render::Cull::Cw);
    device->SetRenderState(RenderState::DitherEnable, 1);
    for (int stage = 0; stage < caps.maxSimultaneousTextures && stage < render::kMaxTextureStages; ++stage) {
        device->SetTextureStageState(stage, render::StageState::MipMapLodBias, render::FloatBits(-1.3f));
        device->SetTextureStageState(stage, render::StageState::MagFilter, render::TextureFilter::Linear);
    }
    if (!d3d->GetCaps(adapterOrdinal(), devType, caps)) return;
    makeFontObjects();
    device->Clear(render::kClearTarget | render::kClearDepth, clearColorPacked, 1.0f, 0);
    loadCursors();
    if (cursorShown) ShowCursor();
    else HideCursor();
}

// ---- window

void nD3D8Server::SetWindowTitle(const char* title) {
    nGfxServer::SetWindowTitle(title);
    window->SetTitle(title);
}

bool nD3D8Server::Trigger() {
    window->PumpMessages([this](const window::Message& msg) { return WindowProc(msg); });
    return !quitRequested;
}

bool nD3D8Server::WindowProc(const window::Message& msg) {
    switch (msg.kind) {
    case window::MessageKind::Close:
        // The window stays until the server goes; the main loop ends at the next Trigger.
        quitRequested = true;
        return true;
    case window::MessageKind::Size:
        windowMinimised = msg.minimised;
        return false;
    case window::MessageKind::Activate:
        refInput.Resolve();
        return false;
    case window::MessageKind::Deactivate:
        if (uiHost) uiHost->HandleMessage(msg);
        if (nInputServer* input = refInput.Resolve()) input->ReleaseAll();
        return false;
    case window::MessageKind::Paint:
        if (!fullScreen && displayOpen && !inScene && !backBufferLocked) Present();
        return false;
    case window::MessageKind::SetCursor:
        if (deviceCursorShown) {
            if (device) device->ShowCursor(true);
            return true;
        }
        if (!systemCursorShown) {
            window->SetCursorMode(window::CursorMode::Hidden);
            return true;
        }
        if (device) device->ShowCursor(false);
        return false;
    case window::MessageKind::MouseMove:
        if (!(uiHost && uiHost->HandleMessage(msg))) postInputEvent(msg);
        if (fullScreen && deviceCursorShown) {
            if (device) device->SetCursorPosition(msg.x, msg.y);
            return true;
        }
        return false;
    case window::MessageKind::ButtonDown:
        window->CaptureMouse(true);
        if (!(uiHost && uiHost->HandleMessage(msg))) postInputEvent(msg);
        return false;
    case window::MessageKind::ButtonUp:
        window->CaptureMouse(false);
        if (!(uiHost && uiHost->HandleMessage(msg))) postInputEvent(msg);
        return false;
    case window::MessageKind::KeyDown:
    case window::MessageKind::KeyUp:
    case window::MessageKind::Char:
    case window::MessageKind::Wheel:
        // What a tool window takes never reaches the game.
        if (!(uiHost && uiHost->HandleMessage(msg))) postInputEvent(msg);
        return false;
    }
    return false;
}

int nD3D8Server::TranslateKey(int vk) {
    // Engine codes by virtual key; the digits run 1..9, then 0.
    static const uint8_t table[221] = {
        0,  1,  2,  0,  3,  0,  0,  0,  4,  5,  0,  0,  0,  6,  0,  0,                  // 0..15
        7,  8,  9,  10, 11, 0,  0,  0,  0,  0,  0,  12, 0,  0,  0,  0,                  // 16..31
        13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,                 // 32..47
        38, 29, 30, 31, 32, 33, 34, 35, 36, 37, 0,  0,  0,  0,  0,  0,                  // 48..63
        0,  39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53,                 // 64..79
        54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 0,  0,                  // 80..95
        68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83,                 // 96..111
        84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99,                 // 112..127
        100, 101, 102, 103, 104, 105, 106, 107, 0, 0, 0, 0, 0, 0, 0, 0,                 // 128..143
        108, 109,                                                                       // 144, 145
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // 146..171
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // 172..197
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,               // 198..219
        110,                                                                            // 220
    };
    return (vk >= 0 && vk <= 220) ? table[vk] : 0;
}

void nD3D8Server::postInputEvent(const window::Message& msg) {
    nInputServer* input = refInput.Resolve();
    if (!input) return;
    int type = N_INPUT_NONE;
    switch (msg.kind) {
        case window::MessageKind::KeyDown:
        case window::MessageKind::KeyUp:
            // Alt combinations and F10 reach a window procedure only as system keys.
            if (msg.systemKey) return;
            type = msg.kind == window::MessageKind::KeyDown ? N_INPUT_KEY_DOWN : N_INPUT_KEY_UP;
            break;
        case window::MessageKind::Char: type = N_INPUT_KEY_CHAR; break;
        case window::MessageKind::MouseMove: type = N_INPUT_MOUSE_MOVE; break;
        case window::MessageKind::ButtonDown: type = N_INPUT_BUTTON_DOWN; break;
        case window::MessageKind::ButtonUp: type = N_INPUT_BUTTON_UP; break;
        default: return;  // the wheel reaches the input server through the relative mouse
    }
    nInputEvent* event = input->NewEvent();
    event->type = type;
    if (type == N_INPUT_KEY_DOWN || type == N_INPUT_KEY_UP || type == N_INPUT_KEY_CHAR) {
        event->deviceId = N_INPUT_DEV_KEYBOARD;
        event->number = type == N_INPUT_KEY_CHAR ? msg.character : TranslateKey(msg.virtualKey);
    } else {
        event->deviceId = N_INPUT_DEV_MOUSE;
        event->number = type == N_INPUT_MOUSE_MOVE ? 0 : msg.button;
        // Positions keep their sign while the mouse is captured outside the window.
        event->x = int16_t(msg.x);
        event->y = int16_t(msg.y);
        // No display, no size to divide by.
        const bool sized = displayOpen && dispWidth > 0 && dispHeight > 0;
        event->relX = sized ? float(event->x) / float(dispWidth) : 0.0f;
        event->relY = sized ? float(event->y) / float(dispHeight) : 0.0f;
    }
    input->PostEvent(event);
}

// ---- frame

bool nD3D8Server::BeginScene() {
    nGfxServer::BeginScene();
    if (!displayOpen || !device) return false;
    if (!testResetDevice()) return false;
    if (!device->BeginScene()) return false;
    if (clearBackBuffer) {
        if (render::StencilBits(presentParams.depthStencilFormat) > 0)
            device->Clear(render::kClearTarget | render::kClearDepth | render::kClearStencil, clearColorPacked, 1.0f,
                          stencilClear);
        else
            device->Clear(render::kClearTarget | render::kClearDepth, clearColorPacked, 1.0f, 0);
    }
    for (int i = 0; i < MaxLights; ++i) device->EnableLight(i, false);
    fogEnabled = false;
    device->SetRenderState(RenderState::FogEnable, 0);
    device->SetRenderState(RenderState::FogVertexMode, render::FogMode::None);
    inScene = true;
    return true;
}

void nD3D8Server::EndScene() {
    if (!device || !inScene) {
        n_error("nD3D8Server::EndScene(): no scene was begun\n");
        return;
    }
    drawTexts();
    // The tool windows lie over everything the game drew.
    if (uiHost && uiHost->GetDrawData()) {
        if (!uiRenderer) uiRenderer = std::make_unique<ui::Renderer>(*device);
        uiRenderer->Draw(*uiHost);
    }
    if (!device->EndScene()) return;
    Present();
    inScene = false;
    nGfxServer::EndScene();
}

bool nD3D8Server::Present() { return device && device->Present(); }

void nD3D8Server::SetClearColor(float r, float g, float b, float a) {
    nGfxServer::SetClearColor(r, g, b, a);
    clearColorPacked = packArgb(r, g, b, a);
}

void nD3D8Server::GetClearColor(float& r, float& g, float& b, float& a) { nGfxServer::GetClearColor(r, g, b, a); }

int nD3D8Server::GetColorFormat() { return BGRA; }

int nD3D8Server::GetStencilBits() { return device ? render::StencilBits(presentParams.depthStencilFormat) : 0; }

// ---- transforms

void nD3D8Server::SetViewVolume(float minx, float maxx, float miny, float maxy, float minz, float maxz) {
    nGfxServer::SetViewVolume(minx, maxx, miny, maxy, minz, maxz);
    if (device) sendViewVolume();
}

// Perspective projections from the view volume: the device's (left-handed, depth 0..1)
// and the engine's (right-handed, depth -1..1). With row vectors the off-centre terms
// scale z into x and y, so they sit in row 2.
void nD3D8Server::sendViewVolume() {
    const float l = viewVolume[0], r = viewVolume[1], b = viewVolume[2], t = viewVolume[3];
    const float n = viewVolume[4], f = viewVolume[5];
    if (r == l || t == b || f == n) {
        n_error("nD3D8Server::SetViewVolume(): empty view volume\n");
        return;
    }
    matrix44 dev(2 * n / (r - l), 0, 0, 0,
                 0, 2 * n / (t - b), 0, 0,
                 -(l + r) / (r - l), -(t + b) / (t - b), f / (f - n), 1,
                 0, 0, -n * f / (f - n), 0);
    device->SetTransform(render::TransformKind::Projection, toDevice(dev));
    devProjection = dev;
    matrix44 eng(2 * n / (r - l), 0, 0, 0,
                 0, 2 * n / (t - b), 0, 0,
                 (l + r) / (r - l), (t + b) / (t - b), -(f + n) / (f - n), -1,
                 0, 0, -2 * f * n / (f - n), 0);
    nGfxServer::SetMatrix(PROJECTION, eng);
}

void nD3D8Server::SetMatrix(int t, const matrix44& m) {
    if (device && t == MODELVIEW) {
        device->SetTransform(render::TransformKind::World, toDevice(m));
        devModelview = m;
    } else if (device && t == PROJECTION) {
        device->SetTransform(render::TransformKind::Projection, toDevice(m));
        devProjection = m;
    }
    nGfxServer::SetMatrix(t, m);
}

void nD3D8Server::PushMatrix(int t) {
    if (t == MODELVIEW && devModelviewDepth < ModelviewStackDepth) devModelviewStack[devModelviewDepth++] = devModelview;
    else if (t == PROJECTION && devProjectionDepth < OtherStackDepth) devProjectionStack[devProjectionDepth++] = devProjection;
    nGfxServer::PushMatrix(t);
}

void nD3D8Server::PopMatrix(int t) {
    if (t == MODELVIEW && devModelviewDepth > 0) {
        devModelview = devModelviewStack[--devModelviewDepth];
        if (device) device->SetTransform(render::TransformKind::World, toDevice(devModelview));
    } else if (t == PROJECTION && devProjectionDepth > 0) {
        devProjection = devProjectionStack[--devProjectionDepth];
        if (device) device->SetTransform(render::TransformKind::Projection, toDevice(devProjection));
    }
    nGfxServer::PopMatrix(t);
}

// ---- lights

bool nD3D8Server::SetLight(const nLight& light) {
    if (light.type < nLight::AMBIENT || light.type > nLight::DIRECTIONAL) {
        n_error("nD3D8Server::SetLight(): unknown light type %d\n", light.type);
        return false;
    }
    const int index = numLights;
    if (!nGfxServer::SetLight(light)) return false;
    if (!device) return true;
    const matrix44& mv = modelview;
    if (light.type == nLight::AMBIENT) {
        device->SetRenderState(RenderState::Ambient, packArgb(light.r, light.g, light.b, light.a));
        device->EnableLight(index, false);
        return true;
    }
    render::Light l;
    l.diffuse = render::Color4{light.r, light.g, light.b, light.a};
    l.range = 1000000.0f;
    if (light.type == nLight::POINT || light.type == nLight::SPOT) {
        l.type = light.type == nLight::POINT ? render::LightType::Point : render::LightType::Spot;
        l.position[0] = mv.m[3][0];
        l.position[1] = mv.m[3][1];
        l.position[2] = mv.m[3][2];
        l.attenuation0 = light.attConst;
        l.attenuation1 = light.attLinear;
        l.attenuation2 = light.attQuadratic;
    } else {
        l.type = render::LightType::Directional;
    }
    if (light.type == nLight::SPOT || light.type == nLight::DIRECTIONAL) {
        float d[3] = {-mv.m[2][0], -mv.m[2][1], -mv.m[2][2]};
        const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        // A degenerate z row keeps its negated components rather than dividing by ~0.
        if (len >= 1e-7f)
            for (float& c : d) c /= len;
        std::copy(d, d + 3, l.direction);
    }
    if (light.type == nLight::SPOT) {
        l.falloff = 1.0f;
        l.theta = 0.0f;
        l.phi = 2.0f * light.spotCone * 3.14159265358979f / 180.0f;
    }
    device->SetLight(index, l);
    device->EnableLight(index, true);
    return true;
}

// ---- render states

void nD3D8Server::SetRenderState(const nRenderState& rs) {
    if (rs.state == RsStencilClear) {
        stencilClear = uint32_t(rs.value.i);
        return;
    }
    if (!device) return;
    switch (rs.state) {
    case RsZBias: device->SetRenderState(RenderState::ZBias, uint32_t(n_saturate_int(rs.value.f))); break;
    case RsFogMode: {
        uint32_t mode = render::FogMode::None;
        switch (rs.value.i) {
        case 1: mode = render::FogMode::Linear; break;
        case 2: mode = render::FogMode::Exp; break;
        case 3: mode = render::FogMode::Exp2; break;
        default: break;
        }
        fogEnabled = mode != render::FogMode::None;
        device->SetRenderState(RenderState::FogEnable, fogEnabled ? 1 : 0);
        device->SetRenderState(RenderState::FogVertexMode, mode);
        break;
    }
    case RsFogStart: device->SetRenderState(RenderState::FogStart, render::FloatBits(rs.value.f)); break;
    case RsFogEnd: device->SetRenderState(RenderState::FogEnd, render::FloatBits(rs.value.f)); break;
    case RsFogDensity: device->SetRenderState(RenderState::FogDensity, render::FloatBits(rs.value.f)); break;
    case RsFogColor: {
        const float* c = static_cast<const float*>(rs.value.p);
        if (!c) {
            n_error("nD3D8Server::SetRenderState(): fog colour without colour\n");
            break;
        }
        device->SetRenderState(RenderState::FogColor, packArgb(c[0], c[1], c[2], c[3]));
        break;
    }
    case RsNormalizeNormals: device->SetRenderState(RenderState::NormalizeNormals, uint32_t(rs.value.i)); break;
    case RsStencilEnable: device->SetRenderState(RenderState::StencilEnable, uint32_t(rs.value.i)); break;
    case RsStencilFail: device->SetRenderState(RenderState::StencilFail, stencilOperation(rs.value.i)); break;
    case RsStencilZFail: device->SetRenderState(RenderState::StencilZFail, stencilOperation(rs.value.i)); break;
    case RsStencilPass: device->SetRenderState(RenderState::StencilPass, stencilOperation(rs.value.i)); break;
    case RsStencilFunc: device->SetRenderState(RenderState::StencilFunc, comparison(rs.value.i)); break;
    case RsStencilRef: device->SetRenderState(RenderState::StencilRef, uint32_t(rs.value.i)); break;
    case RsStencilMask: device->SetRenderState(RenderState::StencilMask, uint32_t(rs.value.i)); break;
    case RsColorWrite:
        device->SetRenderState(RenderState::ColorWriteEnable, rs.value.i == 1 ? uint32_t(render::ColorWrite::All) : 0u);
        break;
    default: break;
    }
}

// ---- gamma

void nD3D8Server::BuildGammaRamp(float r, float g, float b, render::GammaRamp& ramp) {
    auto entry = [](int i, float factor) {
        // NaN and negative factors give black; 0 times infinity is NaN too.
        const double v = double(i) * (factor > 0.0f ? factor : 0.0f);
        const int level = v >= 255.0 ? 255 : v > 0.0 ? int(v) : 0;
        return uint16_t(level * 256 + 255);
    };
    for (int i = 0; i < 256; ++i) {
        ramp.red[size_t(i)] = entry(i, r);
        ramp.green[size_t(i)] = entry(i, g);
        ramp.blue[size_t(i)] = entry(i, b);
    }
}

void nD3D8Server::SetGamma(float r, float g, float b) {
    if (!device || !caps.fullScreenGamma) return;
    render::GammaRamp ramp;
    BuildGammaRamp(r, g, b, ramp);
    if (!device->SetGammaRamp(ramp, caps.canCalibrateGamma)) n_error("nD3D8Server::SetGamma(): the ramp was refused\n");
}

// ---- back buffer

void* nD3D8Server::LockBackBuffer(const float* rect, nPixelFormat** format, int* pitch) {
    return lockBackBuffer(rect, format, pitch, true);
}

void* nD3D8Server::LockBackBufferForWrite(const float* rect, nPixelFormat** format, int* pitch) {
    return lockBackBuffer(rect, format, pitch, false);
}

void* nD3D8Server::lockBackBuffer(const float* rect, nPixelFormat** format, int* pitch, bool keepContents) {
    if (!device || !rect || !format || !pitch) {
        n_error("nD3D8Server::LockBackBuffer(): no display or no rectangle\n");
        return nullptr;
    }
    if (backBufferLocked) {
        n_error("nD3D8Server::LockBackBuffer(): the back buffer is locked already\n");
        return nullptr;
    }
    const render::Rect r{n_saturate_int(rect[0]), n_saturate_int(rect[1]), n_saturate_int(rect[2]),
                        n_saturate_int(rect[3])};
    // The caller writes the whole rectangle it asked for, so only a rectangle that fits
    // can be handed out.
    if (r.left < 0 || r.top < 0 || r.right > dispWidth || r.bottom > dispHeight || r.left >= r.right ||
        r.top >= r.bottom) {
        n_error("nD3D8Server::LockBackBuffer(): rectangle %d,%d-%d,%d does not fit the %dx%d back buffer\n", r.left,
                r.top, r.right, r.bottom, dispWidth, dispHeight);
        return nullptr;
    }
    render::LockedRect locked;
    if (!device->LockBackBuffer(r, locked, keepContents)) {
        n_error("nD3D8Server::LockBackBuffer(): the back buffer cannot be locked\n");
        return nullptr;
    }
    switch (device->GetDisplayMode().format) {
    case Format::A8R8G8B8:
    case Format::X8R8G8B8: lockFormat = nPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); break;
    case Format::R8G8B8: lockFormat = nPixelFormat(24, 0xFF0000, 0xFF00, 0xFF, 0); break;
    case Format::R5G6B5: lockFormat = nPixelFormat(16, 0xF800, 0x7E0, 0x1F, 0); break;
    default: nKernelServer::FatalError("nD3D8Server::LockBackBuffer():Error on surface format!");
    }
    *format = &lockFormat;
    *pitch = locked.pitch;
    backBufferLocked = true;
    return locked.bits;
}

void nD3D8Server::UnlockBackBuffer() {
    if (!backBufferLocked) {
        n_error("nD3D8Server::UnlockBackBuffer(): the back buffer is not locked\n");
        return;
    }
    if (device && !device->UnlockBackBuffer()) nKernelServer::FatalError("Aborting.\n");
    backBufferLocked = false;
}

// ---- screenshots

bool nD3D8Server::Screenshot(const char* file) {
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    if (!device || !device->CopyFrontBuffer(pixels, w, h) || w < 1 || h < 1) {
        n_error("nD3D8Server::Screenshot(): no picture to take\n");
        return false;
    }
    return writeScreenshot(file, pixels, w, h, w, h);
}

bool nD3D8Server::ScaledScreenshot(const char* file, int w, int h) {
    std::vector<uint32_t> pixels;
    int sw = 0, sh = 0;
    if (w < 1 || h < 1 || w > nBmpFile::MaxDimension || h > nBmpFile::MaxDimension) {
        n_error("nD3D8Server::ScaledScreenshot(): bad size %d x %d\n", w, h);
        return false;
    }
    if (!device || !device->CopyFrontBuffer(pixels, sw, sh) || sw < 1 || sh < 1) {
        n_error("nD3D8Server::ScaledScreenshot(): no picture to take\n");
        return false;
    }
    return writeScreenshot(file, pixels, sw, sh, w, h);
}

// ---- text: the font draws queued texts once it exists

bool nD3D8Server::BeginText() { return true; }
bool nD3D8Server::EndText() { return true; }

// ---- cursor

void nD3D8Server::ShowCursor() {
    // The observer shows the cursor every frame: only another cursor or texture makes a
    // new image (a texture lock, a conversion and a system cursor each); a driver that
    // could not make a cursor's image is not asked again for it.
    bool image = false;
    if (device && numCursors > 0 && imageCursor == curCursor &&
        imageTexture == cursors[curCursor].texture.GetUnsafe() && imageTexture != nullptr &&
        imageFile == cursors[curCursor].file.Get()) {
        image = imageMade;
    } else if (numCursors > 0 && device) {
        nTexture* tex = cursors[curCursor].texture.GetUnsafe();
        int pitch = 0;
        nPixelFormat* format = nullptr;
        void* bits = tex ? tex->Lock(0, 0, tex->GetWidth(), tex->GetHeight(), &pitch, &format) : nullptr;
        const std::unique_ptr<nPixelFormat> ownedFormat(format);  // the lock hands it over
        if (bits && format) {
            const int w = tex->GetWidth(), h = tex->GetHeight();
            nPixelFormat argb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
            argb.BeginConv(format);
            std::vector<uint32_t> pixels(size_t(w) * size_t(h));
            for (int y = 0; y < h; ++y)
                argb.Conv(static_cast<const uint8_t*>(bits) + size_t(y) * size_t(pitch), &pixels[size_t(y) * size_t(w)], w);
            tex->Unlock();
            const nMouseCursor& c = cursors[curCursor];
            image = device->SetCursorImage(c.hotX, c.hotY, w, h, pixels.data());
            imageMade = image;
            imageCursor = curCursor;
            imageTexture = tex;
            imageFile = c.file.Get();
        } else {
            if (bits) tex->Unlock();
            n_error("nD3D8Server::ShowCursor(): cursor %d has no image, showing the arrow\n", curCursor);
        }
    }
    if (image) {
        device->ShowCursor(true);
        deviceCursorShown = true;
        systemCursorShown = false;
    } else {
        if (device) device->ShowCursor(false);
        window->SetCursorMode(window::CursorMode::Arrow);
        systemCursorShown = true;
        deviceCursorShown = false;
    }
    nGfxServer::ShowCursor();
}

void nD3D8Server::HideCursor() {
    if (device) device->ShowCursor(false);
    if (fullScreen) {
        window->SetCursorMode(window::CursorMode::Hidden);
        systemCursorShown = false;
    } else {
        window->SetCursorMode(window::CursorMode::Arrow);
        systemCursorShown = true;
    }
    deviceCursorShown = false;
    nGfxServer::HideCursor();
}

void nD3D8Server::SetMaxTextureSize(int size) {
    if (size == maxTextureSize) return;
    nGfxServer::SetMaxTextureSize(size);
    if (size != maxTextureSize) return;
    makeFontObjects();
    loadCursors();
    if (cursorShown) ShowCursor();
    else HideCursor();
}

// ---- result names

const char* nD3D8Server::GetD3DErrorName(uint32_t hr) {
    struct Name {
        uint32_t code;
        const char* name;
    };
    // Direct3D 8 results: facility 0x876, codes as its headers number them.
    static const Name names[] = {
        {0, "D3D_OK"},
        {0x88760818, "D3DERR_WRONGTEXTUREFORMAT"},
        {0x88760819, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
        {0x8876081A, "D3DERR_UNSUPPORTEDCOLORARG"},
        {0x8876081B, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
        {0x8876081C, "D3DERR_UNSUPPORTEDALPHAARG"},
        {0x8876081D, "D3DERR_TOOMANYOPERATIONS"},
        {0x8876081E, "D3DERR_CONFLICTINGTEXTUREFILTER"},
        {0x8876081F, "D3DERR_UNSUPPORTEDFACTORVALUE"},
        {0x88760821, "D3DERR_CONFLICTINGRENDERSTATE"},
        {0x88760822, "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
        {0x88760826, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
        {0x88760827, "D3DERR_DRIVERINTERNALERROR"},
        {0x88760866, "D3DERR_NOTFOUND"},
        {0x88760867, "D3DERR_MOREDATA"},
        {0x88760868, "D3DERR_DEVICELOST"},
        {0x88760869, "D3DERR_DEVICENOTRESET"},
        {0x8876086A, "D3DERR_NOTAVAILABLE"},
        {0x8876086B, "D3DERR_INVALIDDEVICE"},
        {0x8876086C, "D3DERR_INVALIDCALL"},
        {0x8876017C, "D3DERR_OUTOFVIDEOMEMORY"},
    };
    for (const Name& n : names)
        if (n.code == hr) return n.name;
    return "*** UNDEFINED ***";
}
