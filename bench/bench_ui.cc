// Tool windows: a frame of one window with 200 buttons and 2,000 lines of text, built by
// the layer and drawn through the render layer at the graphics server's EndScene, against
// the same draw lists (built the same way in the same run) drawn with raw OpenGL client
// arrays, scissor and indexed draws into the same frame of the graphics server, which
// both sides begin, end and present; both end with glFinish. Ours also counts
// allocations per frame once the window exists.
// The editor control: a frame showing a 5,000-line script, coloured, after a one-line
// edit, against the same text in the plain multiline input after the same edit; and the
// allocations of coloured frames while the text stays unchanged.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <imgui.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchAllocations.h"
#include "bench/BenchGl.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"
#include "platform/render/GlHeaders.h"
#include "platform/ui/EditorControl.h"
#include "platform/ui/Host.h"
#include <imgui_stdlib.h>
#include "platform/ui/ToolWindow.h"

namespace {

constexpr int Buttons = 200;
constexpr int Lines = 2000;

struct Scene {
    Scene() {
        bench::InitVideo();
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
        });
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        if (!gfx->SetDisplayMode("w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)") || !gfx->OpenDisplay()) std::abort();
        host = std::make_unique<ui::Host>();
        gfx->SetUiHost(host.get());
        window = host->MakeToolWindow("Benchmark", 780, 580);
        window->SetPosition(10, 10);
        for (int i = 0; i < Buttons; ++i) {
            window->AddButton("Makro " + std::to_string(i), (i % 8) * 95, (i / 8) * 12, 90, 11);
        }
        for (int i = 0; i < Lines; ++i) text.push_back("Zeile " + std::to_string(i) + ": Die Tiefsee ist dunkel, kalt und still.");
        window->content = [this](ui::ToolWindow&) {
            ImGui::SetCursorPos(ImVec2(0.0f, 330.0f));
            ImGui::BeginChild("lines", ImVec2(0.0f, 0.0f), false);
            for (const std::string& line : text) ImGui::TextUnformatted(line.data(), line.data() + line.size());
            ImGui::EndChild();
        };
        window->Show();
        for (int i = 0; i < 3; ++i) host->Frame(800, 600, 0.03f);

        // The raw side's own font texture.
        ImGui::SetCurrentContext(host->GetContext());
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
        glGenTextures(1, &font);
        glBindTexture(GL_TEXTURE_2D, font);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        gfx->GetDevice()->ForgetBindings();
    }
    nKernelServer* kernel = nullptr;
    nD3D8Server* gfx = nullptr;
    std::unique_ptr<ui::Host> host;
    std::unique_ptr<ui::ToolWindow> window;
    std::vector<std::string> text;
    GLuint font = 0;
};

Scene& TheScene() {
    static Scene* scene = new Scene();
    return *scene;
}

void BM_UiOurs(benchmark::State& state) {
    Scene& s = TheScene();
    s.host->Frame(800, 600, 0.03f);
    s.gfx->BeginScene();
    s.gfx->EndScene();
    long allocations = 0;
    for (auto _ : state) {
        const long before = bench::allocations.load();
        s.host->Frame(800, 600, 0.03f);
        s.gfx->BeginScene();
        s.gfx->EndScene();
        glFinish();
        allocations += bench::allocations.load() - before;
    }
    state.counters["allocs_per_frame"] = double(allocations) / double(state.iterations());
    state.counters["vertices"] = double(s.host->GetDrawData()->TotalVtxCount);
}
BENCHMARK(BM_UiOurs)->Unit(benchmark::kMillisecond);

void BM_UiRaw(benchmark::State& state) {
    Scene& s = TheScene();
    s.gfx->SetUiHost(nullptr);
    for (auto _ : state) {
        s.host->Frame(800, 600, 0.03f);
        const ImDrawData* data = s.host->GetDrawData();
        s.gfx->BeginScene();
        glViewport(0, 0, 800, 600);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, 800, 600, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_SCISSOR_BIT);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glDisable(GL_FOG);
        glDisable(GL_ALPHA_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_SCISSOR_TEST);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, s.font);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        for (int n = 0; n < data->CmdListsCount; ++n) {
            const ImDrawList* list = data->CmdLists[n];
            const ImDrawVert* v = list->VtxBuffer.Data;
            for (const ImDrawCmd& cmd : list->CmdBuffer) {
                if (cmd.ElemCount == 0) continue;
                glScissor(int(cmd.ClipRect.x), int(600 - cmd.ClipRect.w), int(cmd.ClipRect.z - cmd.ClipRect.x),
                          int(cmd.ClipRect.w - cmd.ClipRect.y));
                const ImDrawVert* base = v + cmd.VtxOffset;
                glVertexPointer(2, GL_FLOAT, sizeof(ImDrawVert), &base->pos);
                glTexCoordPointer(2, GL_FLOAT, sizeof(ImDrawVert), &base->uv);
                glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ImDrawVert), &base->col);
                glDrawElements(GL_TRIANGLES, GLsizei(cmd.ElemCount), GL_UNSIGNED_SHORT,
                               list->IdxBuffer.Data + cmd.IdxOffset);
            }
        }
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glBindTexture(GL_TEXTURE_2D, 0);
        glPopAttrib();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        s.gfx->GetDevice()->ForgetBindings();
        s.gfx->EndScene();
        glFinish();
    }
    s.gfx->SetUiHost(s.host.get());
}
BENCHMARK(BM_UiRaw)->Unit(benchmark::kMillisecond);

struct EditorScene {
    explicit EditorScene(Scene& s) : scene(s) {
        window = s.host->MakeToolWindow("Editor", 780, 580);
        window->SetPosition(10, 10);
        control = std::make_unique<ui::EditorControl>(s.host.get());
        control->SetKeywords(0, "and break do else elseif end for function if in local nil not or repeat return "
                                "then until while sel up obj n_new float int string object self");
        const unsigned colours[] = {0x000000, 0x074F2D, 0x074F2D, 0x074F2D, 0x001FFF, 0xFF0000, 0x800000,
                                    0x800000, 0x000000, 0x4696FF, 0x000000, 0x505050, 0x000000};
        for (int i = 0; i < 13; ++i) control->GetStyle(i)->fore = colours[i];
        control->GetMargin(1)->type = 1;
        control->GetMargin(1)->width = 30;
        for (int i = 0; i < 5000; ++i) {
            text += "local v" + std::to_string(i) + " = obj('/usr/scene/n" + std::to_string(i) +
                    "'):getpos() -- Zeile " + std::to_string(i) + "\n";
        }
        control->SetText(text);
        control->EmptyUndoBuffer();
        window->content = [this](ui::ToolWindow& w) {
            if (plain) {
                ImGui::SetCursorPosX(ImGui::GetCursorPosX() + 30.0f);
                ImGui::InputTextMultiline("##plain", &text, ImVec2(730.0f, 540.0f), ImGuiInputTextFlags_AllowTabInput);
            } else {
                control->Build(w, 760.0f, 540.0f);
            }
        };
    }
    void Show(bool showPlain) {
        scene.window->Hide();
        window->Show();
        plain = showPlain;
        for (int i = 0; i < 3; ++i) scene.host->Frame(800, 600, 0.03f);
    }
    void Done() {
        window->Hide();
        scene.window->Show();
    }
    void Draw() {
        scene.host->Frame(800, 600, 0.03f);
        scene.gfx->BeginScene();
        scene.gfx->EndScene();
        glFinish();
    }
    Scene& scene;
    std::unique_ptr<ui::ToolWindow> window;
    std::unique_ptr<ui::EditorControl> control;
    std::string text;
    bool plain = false;
};

EditorScene& TheEditor() {
    static EditorScene* editor = new EditorScene(TheScene());
    return *editor;
}

// The edit: a character typed on line 10, then taken away, one per frame.
void BM_EditorColoured(benchmark::State& state) {
    EditorScene& e = TheEditor();
    e.Show(false);
    const size_t at = e.control->PositionFromLine(10) + 6;
    bool typed = false;
    for (auto _ : state) {
        e.control->SetCaret(typed ? at + 1 : at);
        if (typed) {
            e.control->DeleteBack();
        } else {
            e.control->TypeCharacter('x');
        }
        typed = !typed;
        e.Draw();
    }
    e.Done();
}
BENCHMARK(BM_EditorColoured)->Unit(benchmark::kMillisecond);

void BM_EditorPlain(benchmark::State& state) {
    EditorScene& e = TheEditor();
    e.Show(true);
    const size_t at = e.text.find("local v10 ") + 6;
    bool typed = false;
    for (auto _ : state) {
        if (typed) {
            e.text.erase(at, 1);
        } else {
            e.text.insert(at, 1, 'x');
        }
        typed = !typed;
        e.Draw();
    }
    e.Done();
}
BENCHMARK(BM_EditorPlain)->Unit(benchmark::kMillisecond);

void BM_EditorUnchanged(benchmark::State& state) {
    EditorScene& e = TheEditor();
    e.Show(false);
    long allocations = 0;
    for (auto _ : state) {
        const long before = bench::allocations.load();
        e.Draw();
        allocations += bench::allocations.load() - before;
    }
    state.counters["allocs_per_frame"] = double(allocations) / double(state.iterations());
    e.Done();
}
BENCHMARK(BM_EditorUnchanged)->Unit(benchmark::kMillisecond);

}  // namespace
