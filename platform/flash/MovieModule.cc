#include "platform/flash/MovieModule.h"

#include <lua5.4/lauxlib.h>
#include <lua5.4/lua.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/font/Face.h"
#include "platform/window/KeyInput.h"

namespace flash {

namespace {

// A name a movie gives for one of its images: inside the movie's folder, no assigns.
bool SafeImageName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name.front() == '/' || name.front() == '\\') return false;
    if (name.find('\0') != std::string_view::npos || name.find(':') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

// UTF-8 of a code point below 0x10000.
size_t Utf8(uint32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = char(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = char(0xC0 | (cp >> 6));
        out[1] = char(0x80 | (cp & 0x3F));
        return 2;
    }
    out[0] = char(0xE0 | (cp >> 12));
    out[1] = char(0x80 | ((cp >> 6) & 0x3F));
    out[2] = char(0x80 | (cp & 0x3F));
    return 3;
}

uint8_t Byte(double unit) { return uint8_t(std::lround(std::clamp(unit, 0.0, 1.0) * 255.0)); }

// Pixel indices stay within this, so sums of a few never overflow an int.
constexpr double PixelLimit = double(1 << 29);

int PixelAt(double v) { return int(std::ceil(std::clamp(v - 0.5, -PixelLimit, PixelLimit))); }

// Pixels drawn, decoded or scaled in C that cost one instruction of the movie's budget:
// a draw() that loops over large pictures ends as one that loops in Lua.
constexpr uint64_t PixelsAnInstruction = MovieSpend::PixelsAnInstruction;

// The pixels of x0..x1 x y0..y1 that lie inside a w x h buffer.
uint64_t PixelsInside(int x0, int y0, int x1, int y1, int w, int h) {
    const int64_t cw = std::min<int64_t>(x1, w) - std::max(x0, 0), ch = std::min<int64_t>(y1, h) - std::max(y0, 0);
    return cw > 0 && ch > 0 ? uint64_t(cw) * uint64_t(ch) : 0;
}

// The values through which the game hands a movie the person's keys (and the pointer's coming
// and going) and the inventory bar's scroll the person drags: a handler that fails there fails
// the person as a key handler does.
MovieSpend::Input InputOf(std::string_view name) {
    return name == "input" || name == "move_command" ? MovieSpend::Input::Value : MovieSpend::Input::None;
}

// Values the game sets that act rather than describe: the keys, the inventory bar's scroll,
// and the clearing of lines the movie sent. A copy that takes a loose movie's place never
// hears them: it starts from what the game is, not from what the person did to the other.
bool Acts(std::string_view name) {
    return InputOf(name) != MovieSpend::Input::None || name == "Tessel_script" || name == "net_msg_output";
}

}  // namespace

MovieModule::MovieModule(MovieHost movieHost, LuaSandbox::Limits sandboxLimits)
    : host(std::move(movieHost)),
      limits(sandboxLimits),
      spend(this->host, sandboxLimits.instructions),
      images(ImageReader()) {
    ConnectCaches();
}

ImageCache::Reader MovieModule::ImageReader() {
    return [this](const std::string& name, std::string& bytes, std::string& error) {
        std::string file = this->folder + name;
        std::replace(file.begin(), file.end(), '\\', '/');
        if (!this->host.readFile || !this->host.readFile(file, bytes)) {
            error = "cannot read the image '" + file + "'";
            return false;
        }
        return true;
    };
}

MovieModule::~MovieModule() { KeepValue(0); }

void MovieModule::ConnectCaches() {
    // Called while the caches hold nothing: their keeper follows whose movie it is.
    const KeptBytes::Keeper keep = this->spend.Shipped() ? KeptBytes::Keeper() : this->host.keep;
    this->images.SetKeeper(keep);
    this->glyphs.SetKeeper(keep);
    this->images.SetPrice([this](ImageCache::Work work, uint64_t pixels, std::string& error) {
        return this->spend.AffordsPixels(work == ImageCache::Work::Scale, pixels, this->imageFile, error);
    });
    this->glyphs.SetPrice([this](std::string& error) { return this->spend.AffordsFace(error); });
}

void MovieModule::Report(std::string problem, bool always) {
    if (this->reports.size() > MaxReports && !always) return;
    if (problem.size() > MaxProblem) {
        // Never through a character's UTF-8 bytes.
        size_t end = MaxProblem;
        while (end > 0 && (uint8_t(problem[end]) & 0xC0) == 0x80) end--;
        problem.resize(end);
        problem += "[...]";
    }
    if (std::find(this->reports.begin(), this->reports.end(), problem) != this->reports.end()) return;
    this->reports.push_back(problem);
    if (!this->host.log) return;
    if (this->reports.size() > MaxReports && !always) {
        this->host.log("movie '" + this->path + "': further problems are not logged");
    } else {
        this->host.log("movie '" + this->path + "': " + problem);
    }
}

// --- Order of the player's calls ---

int32_t MovieModule::AttachWindow(uintptr_t handle) {
    if (this->state != State::Created && this->state != State::Attached) return OutOfOrder;
    this->window = handle;
    this->state = State::Attached;
    return Ok;
}

int32_t MovieModule::Initialize(int32_t, int32_t) {
    if (this->state != State::Attached) return OutOfOrder;
    this->state = State::Initialized;
    return Ok;
}

int32_t MovieModule::LoadMovie(const char* file) {
    if (this->state != State::Initialized) return OutOfOrder;
    if (file == nullptr || *file == '\0') return BadArgument;
    this->path = file;
    std::replace(this->path.begin(), this->path.end(), '\\', '/');
    const size_t slash = this->path.rfind('/');
    this->folder = slash == std::string::npos ? std::string() : this->path.substr(0, slash + 1);
    this->reports.clear();
    this->setByGame.clear();
    this->setByGameBytes = 0;

    this->refusedForTime = false;
    this->spend.SetShipped(this->host.shipped && this->host.shipped(this->path));
    ConnectCaches();
    std::string bytes, error;
    int started = -1;
    // A text that no frame compiles is refused by its size before it is read: reading,
    // copying and scanning tens of megabytes would hold the game as long as a frame or more.
    constexpr uint64_t Bom = 3;
    uint64_t size = 0;
    const bool sized = this->host.fileSize && this->host.fileSize(this->path, size);
    if (!sized || this->spend.SizeFits(size > Bom ? size - Bom : 0, error)) {
        if (!this->host.readFile || !this->host.readFile(this->path, bytes)) error = "cannot read the movie file";
        else started = Start(std::move(bytes), error);
    }
    // A start refused in RunTop has been answered there.
    if (started < 0 && !error.empty()) started = Refuse(error);
    if (started < 0) return this->refusedForTime ? RefusedForTime : MovieFailed;
    this->state = State::Loaded;
    return Ok;
}

int MovieModule::Start(std::string bytes, std::string& error) {
    const size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (!this->spend.SizeFits(bytes.size() - start, error)) return -1;
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    if (end > start && bytes[end - 1] == '\r') --end;
    if (bytes.compare(start, end - start, Marker) != 0) {
        error = std::string("not a movie: the first line is not \"") + Marker + "\"";
        return -1;
    }
    this->stageWidth = 800;
    this->stageHeight = 600;
    this->framesPerSecond = 12;
    this->frames = 0;
    ++this->starts;
    this->overBudget = false;
    this->stoppedForTime = false;
    // Values set before a refused start are the next start's.
    std::deque<Event> waiting;
    waiting.swap(this->spend.Waiting());
    this->spend.Attach(nullptr);
    this->sandbox = std::make_unique<LuaSandbox>(this->limits);
    // Data's memory bound is for what data brings: the game's own movies keep within their
    // own caps, so that loose movies filling it refuse none of them.
    if (this->host.keep && !this->spend.Shipped()) this->sandbox->SetKeeper(this->host.keep);
    if (!this->sandbox->Open(error) || !this->sandbox->Call(RegisterApi, this, error)) {
        this->sandbox.reset();
        return -1;
    }
    this->spend.Attach(this->sandbox.get());
    for (Event& event : waiting) Wait(std::move(event));
    // The top level is the movie's code like its draws: it runs in the frame's time for
    // data, and waits for a later frame when there is none. Compiling it is part of it.
    bytes.erase(0, start);
    this->top = std::move(bytes);
    this->spend.PriceTop(this->top.data(), this->top.size());
    this->topPending = true;
    return RunTop();
}

int MovieModule::Refuse(const std::string& error) {
    int started = -1;
    if (GiveWay(error, started)) return started;
    Report(this->refusedForTime ? error + ": not loaded; it is tried again at its next load" : error);
    return -1;
}

bool MovieModule::GiveWay(const std::string& error, int& started) {
    // A loose file that wins over the game's own copy is refused or stopped: the game's own
    // plays in its place, so that the player always has the game's menu.
    std::string own;
    if (this->spend.Shipped() || !this->host.readShipped || !this->host.readShipped(this->path, own)) return false;
    Report(error + "; the game's own copy of the movie plays in its place", true);
    this->refusedForTime = false;
    KeepValue(0);
    this->spend.SetShipped(true);
    // The game's own copy hears the game's state values set in the loose movie, in the order
    // the game last set them (a menu's report after the "running" that clears it), and nothing
    // that waited for the loose one: no key, click or entry is played to it again.
    this->spend.DropWaiting();
    std::vector<std::pair<uint64_t, Event>> values;
    for (auto& [name, kept] : this->setByGame) {
        Event event;
        event.kind = EventKind::Value;
        event.name = name;
        event.text = std::move(kept.second);
        event.sets = true;
        values.emplace_back(kept.first, std::move(event));
    }
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& value : values) Wait(std::move(value.second));
    this->setByGame.clear();
    this->setByGameBytes = 0;
    // What the loose movie kept of data's bound goes back.
    this->images = ImageCache(ImageReader());
    this->glyphs = GlyphCache();
    ConnectCaches();
    std::string ownError;
    started = Start(std::move(own), ownError);
    if (started < 0 && !ownError.empty()) Report(ownError);
    return true;
}

int MovieModule::RunTop() {
    if (!this->topPending) return this->sandbox ? 1 : -1;
    std::string error;
    const MovieSpend::Outcome ran = this->spend.RunTop(this->top, "@" + this->path, error);
    // The game's own movie is never refused for time: its start waits for a later frame.
    if (ran == MovieSpend::Outcome::Waits || (ran == MovieSpend::Outcome::PassedTime && this->spend.Shipped())) return 0;
    this->topPending = false;
    this->top = std::string();
    if (ran == MovieSpend::Outcome::Ran) return 1;
    this->refusedForTime = ran == MovieSpend::Outcome::PassedTime;
    const int own = Refuse(error);
    if (own >= 0) return own;
    this->spend.Attach(nullptr);
    this->sandbox.reset();
    return -1;
}

int32_t MovieModule::Play() {
    if (this->state != State::Loaded && this->state != State::Playing) return OutOfOrder;
    this->state = State::Playing;
    return Ok;
}

int32_t MovieModule::IsReady() {
    if (this->state == State::Playing) {
        const int top = RunTop();
        return top >= 0 ? top : this->refusedForTime ? RefusedForTime : MovieFailed;
    }
    return this->state == State::Loaded ? 0 : OutOfOrder;
}

int32_t MovieModule::Stop() {
    if (this->state == State::Stopped || this->state == State::Unloaded) return OutOfOrder;
    this->state = State::Stopped;
    return Ok;
}

int32_t MovieModule::Unload() {
    if (this->state != State::Stopped) return OutOfOrder;
    this->spend.Attach(nullptr);
    this->sandbox.reset();
    this->top = std::string();
    this->topPending = false;
    this->images = ImageCache(ImageCache::Reader());
    this->glyphs = GlyphCache();
    ConnectCaches();
    KeepValue(0);
    this->scratch = std::vector<uint8_t>();
    this->state = State::Unloaded;
    return Ok;
}

int32_t MovieModule::SetMovieRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (this->state != State::Initialized && this->state != State::Loaded && this->state != State::Playing) {
        return OutOfOrder;
    }
    constexpr int32_t limit = 1 << 24;
    if (right <= left || bottom <= top || left < -limit || top < -limit || right > limit || bottom > limit) {
        return BadArgument;
    }
    this->rect = Area{double(left), double(top), double(right), double(bottom)};
    this->hasRect = true;
    return Ok;
}

int32_t MovieModule::SetMessaging(bool on) {
    if (this->state == State::Stopped || this->state == State::Unloaded) return OutOfOrder;
    this->messaging = on;
    return Ok;
}

// --- Drawing ---

int MovieModule::PixelX(double x) const { return PixelAt(this->area.left + x * this->scaleX); }
int MovieModule::PixelY(double y) const { return PixelAt(this->area.top + y * this->scaleY); }

int32_t MovieModule::Render(uint8_t* buffer, int32_t width, int32_t height, int32_t bytesPerPixel) {
    if (this->state != State::Playing) return OutOfOrder;
    if (buffer == nullptr || width < 1 || height < 1 || width > MaxSide || height > MaxSide ||
        (bytesPerPixel != 2 && bytesPerPixel != 4)) {
        return BadArgument;
    }
    // A movie stopped for its time keeps its last picture.
    if (this->stoppedForTime) return MovieFailed;
    // What waited comes first; a frame that waits keeps the buffer as it is.
    if (RunWaiting() == Waits && this->topPending) return Waits;
    if (this->sandbox && !this->overBudget && this->spend.AskDraw() == 0) return Waits;
    const size_t pixels = size_t(width) * size_t(height);
    if (this->scratch.size() < pixels * 4) this->scratch.resize(pixels * 4);
    uint8_t* target = this->scratch.data();
    std::memset(target, 0, pixels * 4);
    this->canvas.Attach(target, width, height);
    this->area = this->hasRect ? this->rect : Area{0, 0, double(width), double(height)};
    this->scaleX = (this->area.right - this->area.left) / this->stageWidth;
    this->scaleY = (this->area.bottom - this->area.top) / this->stageHeight;
    this->drawing = true;
    const bool drawn = CallMovie(CallDraw, MovieHost::Call::Draw);
    this->drawing = false;
    this->canvas.Attach(nullptr, 0, 0);
    ++this->frames;
    // A loose movie stopped by its draw: the game's own copy draws in its place.
    int started = -1;
    if (!this->stopped.empty() && Stopped(std::exchange(this->stopped, std::string()), started)) {
        return started > 0 ? Render(buffer, width, height, bytesPerPixel) : Waits;
    }
    // A draw that ended at a limit leaves the last picture for this frame, and for good once
    // the movie is stopped for its time.
    if (!drawn && this->passed) return Waits;
    if (!drawn && this->stoppedForTime) return MovieFailed;
    if (!drawn) {
        std::memset(buffer, 0, pixels * size_t(bytesPerPixel));
        return MovieFailed;
    }
    if (bytesPerPixel == 2) Canvas::PackA4R4G4B4(target, buffer, pixels);
    else std::memcpy(buffer, target, pixels * 4);
    return Ok;
}

// --- Variables and events ---

bool MovieModule::ValidName(const char* name) const {
    if (name == nullptr || *name == '\0') return false;
    // Dotted names walk tables: no empty step.
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '.' && (p == name || p[1] == '.' || p[1] == '\0')) return false;
    }
    return true;
}

bool MovieModule::ReadVariable(const char* name) {
    this->value.clear();
    // A long value read before goes back to data's bound: each read keeps only its own.
    if (this->valueKept > KeptValue) KeepValue(0);
    this->argName = name;
    this->valueRefused = false;
    const bool read = CallMovie(ReadGlobal, MovieHost::Call::Read);
    if (!this->valueRefused) return read;
    Report("a variable's value is longer than " + std::to_string(MaxValue) + " bytes or than data may keep: not read");
    return false;
}

void MovieModule::KeepSetByGame(const char* name, const char* text) {
    if (Acts(name)) return;
    // Within the bound of values that wait for a top level: past it the oldest names stay.
    const size_t size = std::strlen(text);
    auto found = this->setByGame.find(std::string_view(name));
    const size_t before = found == this->setByGame.end() ? 0 : found->second.second.size();
    if (this->setByGameBytes - before + size > MovieSpend::MaxWaitingValues) return;
    this->setByGameBytes = this->setByGameBytes - before + size;
    if (found == this->setByGame.end()) {
        this->setByGame.emplace(name, std::pair(++this->setByGameOrder, std::string(text, size)));
    } else {
        found->second.first = ++this->setByGameOrder;
        found->second.second.assign(text, size);
    }
}

bool MovieModule::KeepValue(size_t size) {
    if (size == 0) {
        this->value = std::string();
        if (this->host.keep && this->valueKept > 0) this->host.keep(-int64_t(this->valueKept));
        this->valueKept = 0;
        return true;
    }
    // What the game reads from its own movies is the game's: data's bound is for loose ones.
    if (this->spend.Shipped() || size <= this->valueKept) return true;
    if (this->host.keep && !this->host.keep(int64_t(size - this->valueKept))) return false;
    this->valueKept = size;
    return true;
}

int32_t MovieModule::CopyVariable(const char* name, size_t* length, char* buffer) {
    if (!CanReadVariables()) return OutOfOrder;
    if (!ValidName(name) || length == nullptr) return BadArgument;
    if (!ReadVariable(name)) return MovieFailed;
    if (buffer != nullptr && *length > 0) {
        const size_t copied = std::min(this->value.size(), *length - 1);
        std::memcpy(buffer, this->value.data(), copied);
        buffer[copied] = '\0';
    }
    *length = this->value.size();
    return Ok;
}

int32_t MovieModule::GetVariable(const char* name, const char** text, size_t* length) {
    if (!CanReadVariables()) return OutOfOrder;
    if (!ValidName(name) || text == nullptr || length == nullptr) return BadArgument;
    if (!ReadVariable(name)) return MovieFailed;
    *text = this->value.c_str();
    *length = this->value.size();
    return Ok;
}

int32_t MovieModule::SetVariable(const char* name, const char* text) {
    if (!CanReadVariables()) return OutOfOrder;
    if (!ValidName(name) || text == nullptr) return BadArgument;
    if (!this->spend.Shipped()) KeepSetByGame(name, text);
    RunWaiting();
    if (this->topPending) {
        // The movie's own names come first: the value is set once its top level has run.
        if (!this->sandbox || this->overBudget) return MovieFailed;
        Event event;
        event.kind = EventKind::Value;
        event.name = name;
        event.text = text;
        event.sets = true;
        if (event.text.size() > MaxValue) {
            Report("a value set before the movie started is longer than " + std::to_string(MaxValue) + " bytes: not set");
            return MovieFailed;
        }
        Wait(std::move(event));
        return Ok;
    }
    this->argName = name;
    this->argText = text;
    if (this->spend.WaitingCount() == 0) {
        if (CallMovie(WriteGlobal, MovieHost::Call::Event, InputOf(name))) return Ok;
        if (!this->waited) return MovieFailed;
    }
    // The value is kept now; the movie's handler hears of it when its time comes.
    this->argName = name;
    this->argText = text;
    this->silentWrite = true;
    std::string error;
    const bool set = this->sandbox && !this->overBudget && this->sandbox->Call(WriteGlobal, this, error);
    if (this->sandbox) this->spend.Spent();
    this->silentWrite = false;
    if (!set) {
        if (this->sandbox && !this->overBudget) Report(error);
        return MovieFailed;
    }
    Event event;
    event.kind = EventKind::Value;
    event.name = name;
    Wait(std::move(event));
    return Ok;
}

int32_t MovieModule::MouseEvent(uint32_t message, float x, float y, int32_t flags) {
    if (this->state != State::Playing) return OutOfOrder;
    if (!std::isfinite(x) || !std::isfinite(y)) return BadArgument;
    Event event;
    event.kind = EventKind::Mouse;
    switch (message) {
    case MouseMove: event.what = "move"; break;
    case MouseDown: event.what = "down"; break;
    case MouseUp: event.what = "up"; break;
    default: return BadArgument;
    }
    event.x = double(x) * this->stageWidth;
    event.y = double(y) * this->stageHeight;
    event.flags = flags;
    return Deliver(std::move(event));
}

int32_t MovieModule::KeyEvent(uint32_t message, int32_t code, int32_t) {
    if (this->state != State::Playing) return OutOfOrder;
    Event event;
    if (message == KeyDown || message == KeyUp) {
        event.kind = EventKind::Key;
        event.what = message == KeyDown ? "down" : "up";
        event.flags = code;
        return Deliver(std::move(event));
    }
    if (message != Character) return BadArgument;
    const uint32_t cp = code > 0 && code < 256 ? font::Face::ToUnicode(uint8_t(code)) : 0;
    if (cp == 0) return BadArgument;
    event.kind = EventKind::Char;
    Utf8(cp, event.utf8);
    return Deliver(std::move(event));
}

int32_t MovieModule::Deliver(Event event) {
    RunWaiting();
    if (!this->sandbox || this->overBudget) return MovieFailed;
    if (this->spend.WaitingCount() == 0 && !this->topPending) {
        const bool ran = RunEvent(event);
        if (!this->waited) return ran ? Ok : MovieFailed;
    }
    Wait(std::move(event));
    return Ok;
}

bool MovieModule::RunEvent(const Event& event) {
    this->argKind = event.what;
    this->argX = event.x;
    this->argY = event.y;
    this->argFlags = event.flags;
    switch (event.kind) {
    case EventKind::Value:
        this->argName = event.name.c_str();
        if (!event.sets) return CallMovie(CallValue, MovieHost::Call::Event, InputOf(event.name));
        this->argText = event.text.c_str();
        return CallMovie(WriteGlobal, MovieHost::Call::Event, InputOf(event.name));
    case EventKind::Mouse:
        return CallMovie(CallMouse, MovieHost::Call::Event,
                         std::string_view(event.what) != "move" ? MovieSpend::Input::Event : MovieSpend::Input::None);
    case EventKind::Key: return CallMovie(CallKey, MovieHost::Call::Event, MovieSpend::Input::Event);
    case EventKind::Char: {
        this->argText = event.utf8;
        const bool ran = CallMovie(CallChar, MovieHost::Call::Event, MovieSpend::Input::Event);
        this->argText = nullptr;
        return ran;
    }
    }
    return false;
}

void MovieModule::Wait(Event event) {
    switch (this->spend.Wait(std::move(event))) {
    case MovieSpend::Kept::Yes: break;
    case MovieSpend::Kept::OldestDropped:
        Report("events dropped: more than " + std::to_string(MaxWaiting) + " waited for the frame's time for data");
        break;
    case MovieSpend::Kept::Refused:
        Report("values set before the movie started hold more than " + std::to_string(MovieSpend::MaxWaitingValues) +
               " bytes: not set");
        break;
    }
}

bool MovieModule::Stopped(const std::string& why, int& started) {
    // The game's own copy starts outside a draw: the draw going on gives way when it ends.
    if (this->drawing) {
        this->stopped = why;
        return false;
    }
    if (GiveWay(why, started)) return true;
    Report(why + "; the movie is stopped until it is loaded again", true);
    return false;
}

int32_t MovieModule::RunWaiting() {
    if (!CanReadVariables()) return OutOfOrder;
    const int top = RunTop();
    if (top <= 0) return top == 0 ? Waits : MovieFailed;
    while (this->spend.WaitingCount() > 0) {
        // The game's own copy that took a stopped movie's place may not have started yet.
        if (this->topPending) return Waits;
        if (!this->sandbox || this->overBudget) {
            this->spend.DropWaiting();
            return MovieFailed;
        }
        const uint32_t startsBefore = this->starts;
        RunEvent(this->spend.Waiting().front());
        if (this->waited) return Waits;
        // A movie stopped by the event has no events left; the game's own copy that took its
        // place has the values the game set, none of them run yet.
        if (this->starts == startsBefore) this->spend.PopWaiting();
    }
    return Ok;
}

bool MovieModule::CallMovie(lua_CFunction fn, MovieHost::Call kind, MovieSpend::Input input) {
    this->waited = false;
    this->passed = false;
    if (!this->sandbox || this->overBudget) return false;
    std::string error;
    int started = -1;
    switch (this->spend.RunCall(fn, this, kind, error, input)) {
    case MovieSpend::Outcome::Ran: return true;
    case MovieSpend::Outcome::Waits: this->waited = true; return false;
    case MovieSpend::Outcome::PassedTime: this->passed = true; return false;
    case MovieSpend::Outcome::Ended:
        this->passed = true;
        Report(error + ": the call ends there and the movie goes on");
        return false;
    case MovieSpend::Outcome::RefusedAtStart:
        // As a top level that stops is: the game's own copy plays in its place, or the game's
        // later calls find no movie.
        this->refusedForTime = this->sandbox->WasOverTime();
        this->spend.Attach(nullptr);
        this->sandbox.reset();
        Refuse(this->refusedForTime ? error : error + ": not loaded");
        return false;
    case MovieSpend::Outcome::StoppedForTime:
        this->overBudget = true;
        this->stoppedForTime = true;
        Stopped("stopped: its calls took more than the frame's time for data again and again (" +
                    std::string(kind == MovieHost::Call::Draw ? "its draws " : "its event calls ") +
                    std::to_string(MaxOverTime) + " times it, however spaced)",
                started);
        return false;
    case MovieSpend::Outcome::StoppedForBudget:
        this->overBudget = true;
        Stopped(error, started);
        return false;
    case MovieSpend::Outcome::StoppedDeaf:
        Report(error);
        this->overBudget = true;
        Stopped(std::string("stopped: ") + (kind == MovieHost::Call::Draw ? "its draws" : "its key and mouse calls") +
                    " failed again and again (" + std::to_string(MaxOverTime) + " times)",
                started);
        return false;
    case MovieSpend::Outcome::Failed: Report(error); return false;
    }
    return false;
}

// --- Calls into the movie, run inside the sandbox ---

int MovieModule::RegisterApi(lua_State* L) {
    static_cast<MovieModule*>(lua_touserdata(L, 1))->Register(L);
    return 0;
}

void MovieModule::Register(lua_State* L) {
    const luaL_Reg api[] = {{"stage", ApiStage}, {"fps", ApiFps},   {"clear", ApiClear},         {"rect", ApiRect},
                            {"image", ApiImage}, {"text", ApiText}, {"time", ApiTime},           {"messaging", ApiMessaging},
                            {"print", ApiPrint}, {nullptr, nullptr}};
    lua_pushglobaltable(L);
    lua_pushlightuserdata(L, this);
    luaL_setfuncs(L, api, 1);
    lua_pop(L, 1);
}

// What the movie's code is made of, which no value replaces.
static bool IsCode(int type) {
    return type == LUA_TFUNCTION || type == LUA_TTABLE || type == LUA_TUSERDATA || type == LUA_TLIGHTUSERDATA ||
           type == LUA_TTHREAD;
}

// Pushes the table of values kept beside the names they share with the movie's code, by their
// whole names.
static void PushBeside(lua_State* L) {
    static const char key = 0;
    if (lua_rawgetp(L, LUA_REGISTRYINDEX, &key) == LUA_TTABLE) return;
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &key);
}

// Pushes the movie's global function `name`; false (nothing pushed) when it has none.
static bool PushHandler(lua_State* L, const char* name) {
    if (lua_getglobal(L, name) == LUA_TFUNCTION) return true;
    lua_pop(L, 1);
    return false;
}

int MovieModule::CallDraw(lua_State* L) {
    if (PushHandler(L, "draw")) lua_call(L, 0, 0);
    return 0;
}

int MovieModule::CallMouse(lua_State* L) {
    const auto* self = static_cast<MovieModule*>(lua_touserdata(L, 1));
    if (!PushHandler(L, "on_mouse")) return 0;
    lua_pushstring(L, self->argKind);
    lua_pushnumber(L, self->argX);
    lua_pushnumber(L, self->argY);
    lua_pushinteger(L, self->argFlags);
    lua_call(L, 4, 0);
    return 0;
}

int MovieModule::CallKey(lua_State* L) {
    const auto* self = static_cast<MovieModule*>(lua_touserdata(L, 1));
    if (!PushHandler(L, "on_key")) return 0;
    lua_pushstring(L, self->argKind);
    lua_pushinteger(L, self->argFlags);
    lua_call(L, 2, 0);
    return 0;
}

int MovieModule::CallChar(lua_State* L) {
    const auto* self = static_cast<MovieModule*>(lua_touserdata(L, 1));
    if (!PushHandler(L, "on_char")) return 0;
    lua_pushstring(L, self->argText);
    lua_call(L, 1, 0);
    return 0;
}

int MovieModule::CallValue(lua_State* L) {
    auto* self = static_cast<MovieModule*>(lua_touserdata(L, 1));
    if (!PushHandler(L, "on_value")) return 0;
    self->value.clear();
    ReadGlobal(L);
    lua_settop(L, 2);
    lua_pushstring(L, self->argName);
    lua_pushlstring(L, self->value.data(), self->value.size());
    lua_call(L, 2, 0);
    return 0;
}

int MovieModule::ReadGlobal(lua_State* L) {
    auto* self = static_cast<MovieModule*>(lua_touserdata(L, 1));
    lua_pushglobaltable(L);
    for (const char* step = self->argName;;) {
        const char* dot = std::strchr(step, '.');
        const size_t size = dot != nullptr ? size_t(dot - step) : std::strlen(step);
        if (!lua_istable(L, -1)) return 0;
        lua_pushlstring(L, step, size);
        lua_rawget(L, -2);
        lua_remove(L, -2);
        if (dot == nullptr) break;
        step = dot + 1;
    }
    if (IsCode(lua_type(L, -1))) {
        PushBeside(L);
        lua_getfield(L, -1, self->argName);
    }
    const int type = lua_type(L, -1);
    if (type != LUA_TSTRING && type != LUA_TNUMBER) return 0;
    size_t size = 0;
    const char* text = lua_tolstring(L, -1, &size);
    if (size > MaxValue || !self->KeepValue(size)) {
        self->valueRefused = true;
        return 0;
    }
    self->value.assign(text, size);
    return 0;
}

int MovieModule::WriteGlobal(lua_State* L) {
    auto* self = static_cast<MovieModule*>(lua_touserdata(L, 1));
    lua_pushglobaltable(L);
    const char* step = self->argName;
    for (const char* dot; (dot = std::strchr(step, '.')) != nullptr; step = dot + 1) {
        lua_pushlstring(L, step, size_t(dot - step));
        lua_pushvalue(L, -1);
        const int type = lua_rawget(L, -3);
        if (type == LUA_TNIL) {
            lua_pop(L, 1);
            lua_newtable(L);
            lua_pushvalue(L, -2);
            lua_pushvalue(L, -2);
            lua_rawset(L, -5);
        } else if (type != LUA_TTABLE) {
            return luaL_error(L, "variable '%s' cannot be set: a step of its name is no table", self->argName);
        }
        lua_remove(L, -2);  // the step's name
        lua_remove(L, -2);  // the table holding it
    }
    // A value never replaces what the movie's code is made of: its functions (those the module
    // gives it, text, rect, image and the rest, and its own) and its tables. It is kept beside
    // them, where the movie's handler and the game's reads find it.
    lua_pushstring(L, step);
    const bool code = IsCode(lua_rawget(L, -2));
    lua_pop(L, 1);
    if (code) {
        lua_pop(L, 1);
        PushBeside(L);
        lua_pushstring(L, self->argName);
    } else {
        lua_pushstring(L, step);
    }
    lua_pushstring(L, self->argText);
    lua_rawset(L, -3);
    lua_pop(L, 1);
    if (!self->silentWrite && PushHandler(L, "on_value")) {
        lua_pushstring(L, self->argName);
        lua_pushstring(L, self->argText);
        lua_call(L, 2, 0);
    }
    return 0;
}

// --- The movie's API ---

MovieModule* MovieModule::Self(lua_State* L) {
    return static_cast<MovieModule*>(lua_touserdata(L, lua_upvalueindex(1)));
}

bool MovieModule::Numbers(lua_State* L, const char* call, int first, int count, double* out) {
    for (int i = 0; i < count; ++i) {
        const int index = first + i;
        const bool number = lua_type(L, index) == LUA_TNUMBER;
        out[i] = number ? lua_tonumber(L, index) : 0.0;
        if (!number || !std::isfinite(out[i])) {
            Report(std::string(call) + ": argument " + std::to_string(index) + " must be a finite number");
            return false;
        }
    }
    return true;
}

Color MovieModule::ColorAt(const double* rgba) const {
    return Color{Byte(rgba[2]), Byte(rgba[1]), Byte(rgba[0]), Byte(rgba[3])};
}

bool MovieModule::Drawing(const char* call) {
    if (this->drawing) return true;
    Report(std::string(call) + ": drawing outside draw() draws nothing");
    return false;
}

int MovieModule::ApiStage(lua_State* L) {
    MovieModule* self = Self(L);
    double size[2];
    if (!self->Numbers(L, "stage", 1, 2, size)) return 0;
    if (size[0] < 1 || size[1] < 1 || size[0] > MaxSide || size[1] > MaxSide) {
        self->Report("stage: width and height must lie in 1 ... 16384");
        return 0;
    }
    self->stageWidth = size[0];
    self->stageHeight = size[1];
    return 0;
}

int MovieModule::ApiFps(lua_State* L) {
    MovieModule* self = Self(L);
    double rate = 0;
    if (!self->Numbers(L, "fps", 1, 1, &rate)) return 0;
    if (rate <= 0 || rate > 1000) {
        self->Report("fps: the frame rate must lie in (0, 1000]");
        return 0;
    }
    self->framesPerSecond = rate;
    return 0;
}

int MovieModule::ApiTime(lua_State* L) {
    const MovieModule* self = Self(L);
    lua_pushnumber(L, double(self->frames) / self->framesPerSecond);
    return 1;
}

int MovieModule::ApiMessaging(lua_State* L) {
    lua_pushboolean(L, Self(L)->messaging);
    return 1;
}

int MovieModule::ApiPrint(lua_State* L) {
    // Gathered only as far as the report keeps it: copies of one long string cost nothing.
    std::string line;
    const int count = lua_gettop(L);
    for (int i = 1; i <= count && line.size() <= MaxProblem; ++i) {
        size_t size = 0;
        const char* text = luaL_tolstring(L, i, &size);
        if (i > 1) line += '\t';
        const size_t room = MaxProblem + 1 > line.size() ? MaxProblem + 1 - line.size() : 0;
        line.append(text, std::min(size, room));
        lua_pop(L, 1);
    }
    Self(L)->Report("print: " + line);
    return 0;
}

int MovieModule::ApiClear(lua_State* L) {
    MovieModule* self = Self(L);
    double rgba[4];
    if (!self->Numbers(L, "clear", 1, 4, rgba) || !self->Drawing("clear")) return 0;
    self->canvas.Clear(PixelAt(self->area.left), PixelAt(self->area.top), PixelAt(self->area.right),
                       PixelAt(self->area.bottom), self->ColorAt(rgba));
    return 0;
}

int MovieModule::ApiRect(lua_State* L) {
    MovieModule* self = Self(L);
    double v[8];
    if (!self->Numbers(L, "rect", 1, 8, v) || !self->Drawing("rect")) return 0;
    if (v[2] <= 0 || v[3] <= 0) return 0;
    const int x0 = self->PixelX(v[0]), y0 = self->PixelY(v[1]), x1 = self->PixelX(v[0] + v[2]), y1 = self->PixelY(v[1] + v[3]);
    LuaSandbox::Charge(L, PixelsInside(x0, y0, x1, y1, self->canvas.Width(), self->canvas.Height()) / PixelsAnInstruction);
    self->canvas.Fill(x0, y0, x1, y1, self->ColorAt(v + 4));
    return 0;
}

uint64_t MovieModule::DrawImage(lua_State* L) {
    MovieModule* self = this;
    if (lua_type(L, 1) != LUA_TSTRING) {
        self->Report("image: argument 1 must be a file name");
        return 0;
    }
    size_t nameSize = 0;
    const char* name = lua_tolstring(L, 1, &nameSize);
    const std::string_view file(name, nameSize);
    double v[4] = {0, 0, 0, 0};
    const int count = lua_isnoneornil(L, 4) && lua_isnoneornil(L, 5) ? 2 : 4;
    if (!self->Numbers(L, "image", 2, count, v) || !self->Drawing("image")) return 0;
    if (!SafeImageName(file)) {
        self->Report("image: '" + std::string(file) + "' is no file name inside the movie's folder");
        return 0;
    }
    std::string error;
    self->imageFile = file;
    const uint64_t workBefore = self->images.PixelsWorked();
    uint64_t drawn = 0;
    const ImageCache::Image* image = self->images.Get(file, 0, 0, error);
    if (image != nullptr) {
        const double w = count == 4 ? v[2] : image->width, h = count == 4 ? v[3] : image->height;
        if (w <= 0 || h <= 0) return self->images.PixelsWorked() - workBefore;
        const int x0 = self->PixelX(v[0]), y0 = self->PixelY(v[1]);
        const int x1 = self->PixelX(v[0] + w), y1 = self->PixelY(v[1] + h);
        if (x1 <= x0 || y1 <= y0) return self->images.PixelsWorked() - workBefore;
        image = self->images.Get(file, x1 - x0, y1 - y0, error);
        if (image != nullptr) {
            drawn = PixelsInside(x0, y0, x1, y1, self->canvas.Width(), self->canvas.Height());
            self->canvas.Blit(image->pixels.data(), image->width, image->height, x0, y0);
        }
    }
    if (image == nullptr && !error.empty()) self->Report("image: " + error);
    return self->images.PixelsWorked() - workBefore + drawn;
}

int MovieModule::ApiImage(lua_State* L) {
    MovieModule* self = Self(L);
    self->spend.ClearPastBudget();
    const uint64_t work = self->DrawImage(L);
    self->imageFile = {};
    // Charged here, where no string of the call is alive: a budget error leaves by a
    // long jump. Work priced past the budget ends the call as the work's charge would, and
    // work priced once the time ran out as out of time.
    if (self->spend.PastTime()) LuaSandbox::StopAtTime(L);
    LuaSandbox::Charge(L, self->spend.PastBudget() ? UINT64_MAX : work / PixelsAnInstruction);
    return 0;
}

GlyphCache::Font* MovieModule::TextFace(lua_State* L) {
    this->textWork = 0;
    double pos[2], style[5];
    if (!Numbers(L, "text", 1, 2, pos) || !Numbers(L, "text", 4, 5, style)) return nullptr;
    const int type = lua_type(L, 3);
    if (type != LUA_TSTRING && type != LUA_TNUMBER) {
        Report("text: argument 3 must be text");
        return nullptr;
    }
    if (!lua_isnoneornil(L, 9) && lua_type(L, 9) != LUA_TSTRING) {
        Report("text: argument 9 must be a face name");
        return nullptr;
    }
    if (!Drawing("text")) return nullptr;
    size_t size = 0;
    const char* utf8 = lua_tolstring(L, 3, &size);
    size_t faceSize = 0;
    const char* face = lua_isnoneornil(L, 9) ? DefaultFace : lua_tolstring(L, 9, &faceSize);
    const double pixels = std::round(style[0] * this->scaleY);
    if (!(pixels >= 1)) return nullptr;
    std::string error;
    const size_t faces = this->glyphs.FacesOpened();
    const std::string_view faceName = face == DefaultFace ? std::string_view(DefaultFace) : std::string_view(face, faceSize);
    GlyphCache::Font* font = this->glyphs.Get(faceName, int(std::min(pixels, 1e6)), error);
    this->textWork = this->glyphs.FacesOpened() > faces ? this->spend.GetPrices().instructionsAFace : 0;
    if (font == nullptr) {
        if (!error.empty()) Report("text: " + error);
        return nullptr;
    }
    this->textBytes.clear();
    window::AppendCp1252FromUtf8(utf8, size, this->textBytes);
    this->textColor = ColorAt(style + 1);
    this->textX = PixelX(pos[0]);
    this->textY = PixelY(pos[1]);
    return font;
}

int MovieModule::ApiText(lua_State* L) {
    MovieModule* self = Self(L);
    self->spend.ClearPastBudget();
    GlyphCache::Font* font = self->TextFace(L);
    // Charged here and below, where no string of the call is alive: a budget error leaves
    // by a long jump.
    if (self->spend.PastTime()) LuaSandbox::StopAtTime(L);
    LuaSandbox::Charge(L, self->spend.PastBudget() ? UINT64_MAX : self->textWork);
    if (font == nullptr) return 0;
    const int lineX = self->textX, cell = font->face->GetCellHeight();
    int x = lineX, y = self->textY;
    const int right = self->canvas.Width(), bottom = self->canvas.Height();
    for (size_t i = 0; i < self->textBytes.size(); ++i) {
        const auto code = uint8_t(self->textBytes[i]);
        if (code == '\n') {
            x = lineX;
            y += cell;
            if (y >= bottom) break;
            continue;
        }
        if (x >= right || y + cell <= 0) continue;  // past the buffer's edge until the next line
        // A glyph made at a new size costs its rasterising, which the frame's time pays.
        const uint64_t worked = self->glyphs.PixelsWorked();
        const GlyphCache::Glyph& glyph = self->glyphs.GlyphOf(*font, code);
        if (self->glyphs.PixelsWorked() != worked) LuaSandbox::Charge(L, (self->glyphs.PixelsWorked() - worked) / PixelsAnInstruction);
        self->canvas.Blend(glyph.coverage.data(), glyph.width, glyph.height, x + glyph.left, y + glyph.top, self->textColor);
        x += font->face->GetAdvance(code);
    }
    if (self->glyphs.TakeRefused()) self->Report("text: glyphs past what a movie may keep are not drawn: data keeps as much as it may");
    return 0;
}

}  // namespace flash
