#pragma once
// The game's start-up and shutdown: builds the object tree in its fixed order (kernel and
// log, archive file server, the servers, input bindings, collision world, logic root and
// observer camera, window, display, start scripts), hands control to the observer's frame
// loop and, when the loop ends, releases everything in its fixed order. Each phase is
// written to the log. The phases are separate calls so that tests and benchmarks can stop
// between them; Run does them all.

class nKernelServer;
class nWin32LogHandler;
class nBaseObserver;

class AppMain {
public:
    // The application name: window title, log file "Brinewick.log", message-box caption.
    static constexpr const char* AppName = "Brinewick";
    // Exit codes of the process.
    static constexpr int ExitOk = 0;
    static constexpr int ExitNoDisplayCapability = 1;
    // The connection to the X server was lost: the macros were saved, the rest was not
    // released.
    static constexpr int ExitDisplayLost = 4;

    // `package` registers the classes; null takes the game's class package.
    explicit AppMain(void (*package)(nKernelServer*) = nullptr);
    // Shuts down when Shutdown has not run yet.
    ~AppMain();
    AppMain(const AppMain&) = delete;
    AppMain& operator=(const AppMain&) = delete;

    // Kernel and log handler, file server, servers, input bindings, collision world, logic
    // root and observer camera, window settings and icon. A server that cannot be made is
    // a fatal stop.
    void Build();
    // Opens the display full screen (fatal with the German display text when no mode
    // opens), places the observer camera and presents one empty frame.
    void OpenDisplay();
    // "bin:init_bw.n", the loading screen, "bin:init_repository.n" through the observer,
    // the game state, "bin:init_menue.n" and the frame sleep.
    void RunStartScripts();
    void Start() {
        Build();
        OpenDisplay();
        RunStartScripts();
    }
    // The observer's main loop; returns when it ends.
    void Loop();
    // Closes the display, releases the objects in their order (those a script deleted
    // are skipped), deletes the kernel and the log handler; the process's exit code.
    int Shutdown();

    int Run() {
        Start();
        Loop();
        return Shutdown();
    }

    // The part of the shutdown that needs no display, run from inside Xlib when the
    // connection is lost, for the AppMain built last: the tools are released (the macros are
    // saved) and logged. Its result is the exit code.
    static int DisplayLost();

    // Null before Build and after Shutdown.
    nKernelServer* GetKernel() const { return kernel_; }
    nBaseObserver* GetObserver() const;

    // The process: the display capability probe, then Run. A machine that cannot show the
    // game gets the German error box and exit code 1.
    static int WinMain();

    // The server rows in creation order: class and path.
    struct ServerRow {
        const char* className;
        const char* path;
    };
    static const ServerRow ServerRows[];
    static const int NumServerRows;
    // The objects shutdown releases, in order.
    static const char* const ReleaseOrder[];
    static const int NumReleaseOrder;

private:
    void Phase(const char* text);

    void (*package_)(nKernelServer*);
    nKernelServer* kernel_ = nullptr;
    nWin32LogHandler* log_ = nullptr;
};
