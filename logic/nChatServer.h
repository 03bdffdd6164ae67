#pragma once
// The chat overlay (script class "nchatserver", "/sys/servers/chat"): coloured message
// lines that fade in, stay for the fade-out time, then slide up and fade out, and an
// optional input line whose text return hands to a script function as "name('text')".
// The frame calls HandleInput after the physics step and Render after the visual pass.
#include <cstdint>
#include <string>

#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "input/nEditLine.h"
#include "logic/nChatBuffer.h"

class nGfxServer;
class nInputServer;
class nScriptServer;

class nChatServer : public nRoot {
public:
    static const nClassInfo classInfo;

    // Key codes the input line reacts to.
    enum Key { KeyBackspace = 4, KeyReturn = 6, KeyCtrl = 8, KeyEnd = 16, KeyHome = 17,
               KeyLeft = 18, KeyRight = 20, KeyInsert = 26, KeyDelete = 27 };
    static constexpr int InputSize = nEditLine::Size;
    static constexpr int CallbackSize = 256;
    static constexpr int FontSize = 10;
    // Rows Render draws at most, newest first.
    static constexpr int MaxShown = 20;
    static constexpr int MaxReportRows = 2;
    // Room a report's last row keeps for its count: " (x999999)".
    static constexpr int CountWidth = 10;

    nChatServer();

    void Open() { open_ = true; }
    // Closing empties the message lines; a closed overlay is left alone.
    void Close();
    void Toggle();
    // The text and then a line feed, so every message starts its own line.
    void Add(const char* text, float r, float g, float b, float a);
    // As Add, for reports such as errors: at most MaxReportRows rows (a longer text ends in
    // "[...]"), and the same text again while its rows are still in the ring adds nothing
    // but counts on its last row (" (x2)", " (x3)", ...).
    void AddReport(const char* text, float r, float g, float b, float a);
    void SetInputColor(float r, float g, float b, float a);
    // Cut to 255 characters.
    void RegisterCallback(const char* name);
    void SetRenderOffset(float x, float y) {
        offsetX_ = x;
        offsetY_ = y;
    }
    void SetInput(bool on) { inputEnabled_ = on; }
    void SetFadeOutTime(float seconds) { fadeOutTime_ = seconds; }

    // Edits the input line from the input server's current events (not consumed).
    void HandleInput();
    // Draws the message lines and the input line through the gfx server's text queue.
    void Render();

    bool IsOpen() const { return open_; }
    bool IsInputEnabled() const { return inputEnabled_; }
    float GetFadeOutTime() const { return fadeOutTime_; }
    const char* GetInputText() const { return input_.GetText(); }
    int GetCursor() const { return input_.GetCursor(); }
    bool IsOverwrite() const { return input_.IsOverwrite(); }
    const char* GetCallback() const { return callback_; }
    nChatBuffer& GetBuffer() { return buffer_; }

private:
    // A report whose last row may still be in the ring.
    struct Report {
        uint64_t hash = 0;
        int index = -1;  // ring index of its last row
        float time = 0.0f;
        int count = 0;
        char row[nChatBuffer::LineCapacity] = {};  // that row as first written
    };
    static constexpr int NumReports = nChatBuffer::NumLines;

    double Now() const;
    // The report's last row while it is drawn (among the newest shown rows, not faded
    // out) and holds what the report wrote, else null.
    nChatBuffer::Line* ShownRow(const Report& report);
    void KeyDown(int code);
    void Submit();

    nPathRef<nInputServer> refInput_{"/sys/servers/input"};
    nPathRef<nGfxServer> refGfx_{"/sys/servers/gfx"};
    nPathRef<nScriptServer> refScript_{"/sys/servers/script"};
    bool open_ = true;
    bool inputEnabled_ = false;
    float fadeOutTime_ = 10.0f;
    float inputColor_[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    nChatBuffer buffer_;
    nEditLine input_;
    bool ctrlHeld_ = false;
    char callback_[CallbackSize] = {};
    nScriptServer::Origin callbackOrigin_ = nScriptServer::Origin::Person;
    float offsetX_ = -0.9f;
    float offsetY_ = -0.9f;
    // Render's line texts, kept so drawing allocates nothing once grown.
    std::string scratch_;
    Report reports_[NumReports];
    int nextReport_ = 0;
};
