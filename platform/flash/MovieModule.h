#pragma once
// The Flash module of this engine: it plays movies of our own, Lua text files that
// start with the line "--tessel movie 1" and draw through a small API (rectangles,
// images, text) in software. Each movie runs in a sandboxed Lua state of its own; its
// variables are its string globals (dotted names walk tables from the globals); the
// host's mouse and key messages call its handlers. A movie's failures are logged once
// each and fail the call; they never stop the program. The movie's start, draws and
// events run when the host gives it time; what finds none waits for a later frame, in
// order, a value's handler once however often the value changed meanwhile; what a movie may
// spend is MovieSpend's.
#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/flash/Canvas.h"
#include "platform/flash/FlashModule.h"
#include "platform/flash/GlyphCache.h"
#include "platform/flash/ImageCache.h"
#include "platform/flash/LuaSandbox.h"
#include "platform/flash/MovieHost.h"
#include "platform/flash/MovieSpend.h"

struct lua_State;

namespace flash {

class MovieModule : public FlashModule {
public:
    // The line a movie file starts with.
    static constexpr const char* Marker = "--tessel movie 1";
    // The face text() uses when the movie names none.
    static constexpr const char* DefaultFace = "DejaVu Sans";
    // Largest render buffer side.
    static constexpr int32_t MaxSide = 16384;
    // Distinct problems logged for one movie; later ones are dropped.
    static constexpr size_t MaxReports = 16;
    // Bytes of a problem kept and logged: the log cuts a text to as many.
    static constexpr size_t MaxProblem = 1024;
    // Calls past their time before a movie is stopped; events kept waiting (MovieSpend).
    static constexpr int MaxOverTime = MovieSpend::MaxOverTime;
    static constexpr size_t MaxWaiting = MovieSpend::MaxWaiting;
    // Longest value read (logged past it): the game reads values every frame, and each read
    // copies its bytes. One longer than KeptValue goes back to data's bound at the next read.
    static constexpr size_t MaxValue = size_t(1) << 20;
    static constexpr size_t KeptValue = size_t(64) << 10;

    explicit MovieModule(MovieHost host, LuaSandbox::Limits limits = {});
    ~MovieModule() override;

    int32_t Play() override;
    int32_t Stop() override;
    int32_t AttachWindow(uintptr_t window) override;
    int32_t Initialize(int32_t a, int32_t b) override;
    int32_t LoadMovie(const char* path) override;
    int32_t Unload() override;
    int32_t SetMovieRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    int32_t Render(uint8_t* buffer, int32_t width, int32_t height, int32_t bytesPerPixel) override;
    int32_t CopyVariable(const char* name, size_t* length, char* buffer) override;
    int32_t GetVariable(const char* name, const char** text, size_t* length) override;
    int32_t IsReady() override;
    int32_t SetVariable(const char* name, const char* text) override;
    int32_t MouseEvent(uint32_t message, float x, float y, int32_t flags) override;
    int32_t KeyEvent(uint32_t message, int32_t code, int32_t extra) override;
    int32_t SetMessaging(bool on) override;
    int32_t RunWaiting() override;
    uint32_t Starts() const override { return this->starts; }
    // Events that wait for a later frame.
    size_t EventsWaiting() const { return this->spend.WaitingCount(); }
    // What the movie may spend and its prices.
    MovieSpend& Spend() { return this->spend; }

    uintptr_t GetWindow() const { return this->window; }
    double GetStageWidth() const { return this->stageWidth; }
    double GetStageHeight() const { return this->stageHeight; }

private:
    enum class State { Created, Attached, Initialized, Loaded, Playing, Stopped, Unloaded };
    struct Area {
        double left = 0, top = 0, right = 0, bottom = 0;
    };

    // Logs a problem of this movie (cut to MaxProblem bytes) unless it was logged before.
    // `always`: past the cap on a movie's problems too (that it is stopped or gives way).
    void Report(std::string problem, bool always = false);
    bool CanReadVariables() const { return this->state == State::Loaded || this->state == State::Playing; }
    // Calls a movie function under the sandbox, within what the host shares with it;
    // false (logged) when the movie fails, false with `waited` set when it is not to run now,
    // with `passed` when the call ended at a limit that does not stop the movie. `input`: what
    // the call hears of the person's input (MovieSpend::RunCall).
    bool CallMovie(lua_CFunction fn, MovieHost::Call kind = MovieHost::Call::Event,
                   MovieSpend::Input input = MovieSpend::Input::None);
    // A movie stopped for `why`: the game's own copy of a loose one takes its place (true,
    // `started` RunTop's answer), else one line is logged. Within a draw it waits for the
    // draw's end (`stopped`).
    bool Stopped(const std::string& why, int& started);
    // A loose movie refused or stopped for `error` gives way to the game's own copy of its
    // path: true when there is one (logged, `started` RunTop's answer or -1).
    bool GiveWay(const std::string& error, int& started);
    ImageCache::Reader ImageReader();
    // Keeps the last text the game set for `name` in a loose movie, for the game's own copy;
    // values that act (keys) are not kept.
    void KeepSetByGame(const char* name, const char* text);
    // The movie's top level, once the host gives it time: 1 ran, 0 waits, -1 failed (logged).
    int RunTop();
    // Starts the movie's text in a new state: RunTop's answer, or -1 with `error` when the
    // text is no movie or the state cannot be made.
    int Start(std::string bytes, std::string& error);
    // A start refused for `error`: RunTop's answer for the game's own copy of a loose movie,
    // else -1 (logged).
    int Refuse(const std::string& error);
    // An event: what the movie hears from its host besides its draws.
    using EventKind = MovieSpend::EventKind;
    using Event = MovieSpend::Event;
    // Runs the event now, after those that wait, or keeps it waiting.
    int32_t Deliver(Event event);
    bool RunEvent(const Event& event);
    void Wait(Event event);
    // Keeps room in data's bound for a loose movie's value read of `size` bytes; false when
    // there is none. 0 gives back what the last read kept.
    bool KeepValue(size_t size);
    // Hands the caches the keeper of data's bound and the prices of their work (each new
    // cache has neither).
    void ConnectCaches();
    bool ReadVariable(const char* name);
    bool ValidName(const char* name) const;

    // Stage units to buffer pixels, rounded at pixel centres and kept far from overflow.
    int PixelX(double x) const;
    int PixelY(double y) const;

    // The movie's API.
    static MovieModule* Self(lua_State* L);
    void Register(lua_State* L);
    bool Numbers(lua_State* L, const char* call, int first, int count, double* out);
    Color ColorAt(const double* rgba) const;
    bool Drawing(const char* call);
    static int ApiStage(lua_State* L);
    static int ApiFps(lua_State* L);
    static int ApiClear(lua_State* L);
    static int ApiRect(lua_State* L);
    static int ApiImage(lua_State* L);
    // image()'s work; the pixels it decoded, scaled and drew.
    uint64_t DrawImage(lua_State* L);
    static int ApiText(lua_State* L);
    // text()'s arguments checked and its face opened (its cost in textWork); null when
    // there is nothing to draw.
    GlyphCache::Font* TextFace(lua_State* L);
    static int ApiTime(lua_State* L);
    static int ApiMessaging(lua_State* L);
    static int ApiPrint(lua_State* L);
    // Host calls into the movie (run inside the sandbox).
    static int RegisterApi(lua_State* L);
    static int CallDraw(lua_State* L);
    static int CallMouse(lua_State* L);
    static int CallKey(lua_State* L);
    static int CallChar(lua_State* L);
    static int CallValue(lua_State* L);
    static int ReadGlobal(lua_State* L);
    static int WriteGlobal(lua_State* L);

    MovieHost host;
    LuaSandbox::Limits limits;
    std::unique_ptr<LuaSandbox> sandbox;
    // Set when a call ran over its budget (instructions, time or memory): the movie is
    // not called again until it is loaded again.
    bool overBudget = false;
    bool stoppedForTime = false;  // then its last picture stays
    uint32_t starts = 0;          // texts started in this module (the game's own copy's too)
    bool refusedForTime = false;  // its start was stopped at its time: a later load may start it
    bool waited = false;
    bool passed = false;
    std::string stopped;  // why a draw going on stopped the movie
    // By name: the order the game last set each in, and its text.
    std::map<std::string, std::pair<uint64_t, std::string>, std::less<>> setByGame;
    uint64_t setByGameOrder = 0;
    size_t setByGameBytes = 0;
    std::string top;  // the movie's text until its top level ran
    bool topPending = false;
    MovieSpend spend;
    // A value set while handlers wait: on_value is not called.
    bool silentWrite = false;
    State state = State::Created;
    uintptr_t window = 0;
    bool messaging = false;
    std::string path;    // the movie file, '/'-separated
    std::string folder;  // its folder with a trailing '/', or ""
    std::vector<std::string> reports;

    double stageWidth = 800, stageHeight = 600;
    double framesPerSecond = 12;
    uint64_t frames = 0;
    bool hasRect = false;
    Area rect;

    // Render state: where the stage lands in the buffer being drawn.
    bool drawing = false;
    Area area;
    double scaleX = 1, scaleY = 1;
    Canvas canvas;
    std::vector<uint8_t> scratch;  // the frame being drawn, 32-bit: the buffer keeps the last until it is whole
    ImageCache images;
    GlyphCache glyphs;
    std::string textBytes;
    Color textColor;
    int textX = 0, textY = 0;
    uint64_t textWork = 0;

    // The argument of the call in progress and the text a read produced.
    const char* argName = nullptr;
    const char* argText = nullptr;
    const char* argKind = nullptr;
    double argX = 0, argY = 0;
    int32_t argFlags = 0;
    std::string value;
    size_t valueKept = 0;  // bytes of it counted in data's bound
    bool valueRefused = false;
    std::string_view imageFile;  // the image being drawn, for what its work logs
};

}  // namespace flash
