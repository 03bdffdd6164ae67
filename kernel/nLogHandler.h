#pragma once
#include <cstdarg>

class nLineBuffer;

// Receives every diagnostic text of the program: Print for log lines, Message for texts
// the user must see, Error for errors, Fatal for the text of a fatal stop. The base does
// nothing.
class nLogHandler {
public:
    // Puts `text` on the running game's screen for a while; must not wait for the user.
    using PlayDisplay = void (*)(void* context, const char* text);

    virtual ~nLogHandler() = default;
    virtual void Print(const char* fmt, va_list args) { (void)fmt, (void)args; }
    virtual void Message(const char* fmt, va_list args) { (void)fmt, (void)args; }
    virtual void Error(const char* fmt, va_list args) { (void)fmt, (void)args; }
    // Just before the process ends; as Error unless a handler shows more.
    virtual void Fatal(const char* fmt, va_list args) { Error(fmt, args); }
    // The recent lines, for the console and tools; null when the handler keeps none.
    virtual nLineBuffer* GetLineBuffer() { return nullptr; }

    // Set by the frame loop for as long as it runs (null: no game is running): a handler
    // that would stop the program to show a text shows it through this instead.
    void SetPlayDisplay(PlayDisplay show, void* context) {
        playDisplay_ = show;
        playContext_ = context;
    }
    PlayDisplay GetPlayDisplay() const { return playDisplay_; }
    void* GetPlayContext() const { return playContext_; }

    // While one lives, errors and messages go to the log only, neither to the game's screen
    // nor to a box: its owner tells the player itself (a failed save says so in German).
    class OffScreen {
    public:
        explicit OffScreen(nLogHandler* log) : log_(log) {
            if (log_) log_->offScreen_++;
        }
        ~OffScreen() {
            if (log_) log_->offScreen_--;
        }
        OffScreen(const OffScreen&) = delete;
        OffScreen& operator=(const OffScreen&) = delete;

    private:
        nLogHandler* log_;
    };
    bool IsOffScreen() const { return offScreen_ > 0; }

    // Set when the program ends: from then no text waits for a click in a box, a fatal
    // stop's neither; a handler writes it to standard error instead.
    void SetEnding() { ending_ = true; }
    bool IsEnding() const { return ending_; }

private:
    PlayDisplay playDisplay_ = nullptr;
    void* playContext_ = nullptr;
    int offScreen_ = 0;
    bool ending_ = false;
};
